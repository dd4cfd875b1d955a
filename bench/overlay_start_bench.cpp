// From the command line to a viewable overlay covering the first monitor, ours beside
// Flameshot's (when installed, for this comparison only) on one two-monitor X server, in
// alternating runs: with each program already running, and started cold with nothing running.
#include "tests/support/E2eSupport.h"
#include "tests/support/XServer.h"

#include <xcb/xcb.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int runs = 11;
const QRect firstMonitor(0, 0, 1920, 1080);

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

bool overlayViewable(xcb_connection_t* connection) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr), &std::free);
    if (!tree) {
        return false;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int index = 0; index < xcb_query_tree_children_length(tree.get()); ++index) {
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(
                connection, xcb_get_window_attributes(connection, children[index]), nullptr),
            &std::free);
        Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(connection, xcb_get_geometry(connection, children[index]),
                                   nullptr),
            &std::free);
        if (attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
            QRect(geometry->x, geometry->y, geometry->width, geometry->height)
                .contains(firstMonitor)) {
            return true;
        }
    }
    return false;
}

// Milliseconds from the start of the command until the overlay is viewable; then Escape.
double timeToOverlay(const XServer& server, xcb_connection_t* connection,
                     const QProcessEnvironment& environment, const QStringList& command,
                     QProcess& process) {
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(command.front(), command.mid(1));
    double shown = -1;
    while (clock.elapsed() < 15000) {
        if (overlayViewable(connection)) {
            shown = clock.nsecsElapsed() / 1e6;
            break;
        }
        QThread::usleep(500);
    }
    // Escape until the overlay has gone, as a user dismisses it.
    for (int press = 0; press < 50 && overlayViewable(connection); ++press) {
        QProcess::execute("env", {"DISPLAY=" + server.display(), "xdotool", "key", "Escape"});
        QThread::msleep(100);
    }
    return shown;
}

void stop(QProcess& process) {
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished();
        }
    }
}

struct Contender {
    QString name;
    QStringList resident;
    QStringList screenshot;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    XServer server(3840, 1080);
    if (!server.started()) {
        std::puts("could not start Xvfb");
        return 1;
    }
    for (const QStringList& monitor : {QStringList{"left", "1920/508x1080/286+0+0", "screen"},
                                       QStringList{"right", "1920/508x1080/286+1920+0", "none"}}) {
        QProcess xrandr;
        xrandr.start(
            "env", QStringList{"DISPLAY=" + server.display(), "xrandr", "--setmonitor"} + monitor);
        xrandr.waitForFinished();
    }
    const e2e::SessionBus bus;
    xcb_connection_t* connection = xcb_connect(server.display().toLocal8Bit().constData(), nullptr);
    // The desktops' key bindings run the command entry, which hands over without loading the
    // program's GUI libraries; the program itself is what a user types.
    std::vector<Contender> contenders = {
        {"quorvastelin", {QV_PROGRAM}, {QV_PROGRAM, "--screenshot"}},
        {"command entry", {QV_PROGRAM}, {QV_COMMAND_ENTRY, "--screenshot"}}};
    if (!QStandardPaths::findExecutable("flameshot").isEmpty()) {
        contenders.push_back({"flameshot", {"flameshot"}, {"flameshot", "gui"}});
    } else {
        std::puts("flameshot is not installed: ours alone");
    }
    std::printf("median of %d alternating runs, 3840x1080 Xvfb with two 1920x1080 monitors\n",
                runs);
    for (const bool cold : {false, true}) {
        std::vector<std::vector<double>> times(contenders.size());
        std::vector<std::unique_ptr<QTemporaryDir>> homes;
        std::vector<std::unique_ptr<QProcess>> residents;
        for (const Contender& contender : contenders) {
            homes.push_back(std::make_unique<QTemporaryDir>());
            QProcessEnvironment environment = bus.environment();
            environment.insert("DISPLAY", server.display());
            environment.insert("HOME", homes.back()->path());
            residents.push_back(std::make_unique<QProcess>());
            if (!cold) {
                residents.back()->setProcessEnvironment(environment);
                residents.back()->setStandardOutputFile(QProcess::nullDevice());
                residents.back()->setStandardErrorFile(QProcess::nullDevice());
                residents.back()->start(contender.resident.front(), contender.resident.mid(1));
                QThread::sleep(3);
            }
        }
        for (int run = 0; run < runs; ++run) {
            for (size_t index = 0; index < contenders.size(); ++index) {
                QProcessEnvironment environment = bus.environment();
                environment.insert("DISPLAY", server.display());
                environment.insert("HOME", homes[index]->path());
                QProcess command;
                const Contender& contender = contenders[index];
                times[index].push_back(
                    timeToOverlay(server, connection, environment, contender.screenshot, command));
                // Cold, the program started for the overlay is ended before the next run.
                stop(command);
            }
        }
        for (size_t index = 0; index < contenders.size(); ++index) {
            stop(*residents[index]);
            std::printf("%-13s %s: %7.1f ms", qPrintable(contenders[index].name),
                        cold ? "cold   " : "running", median(times[index]));
            if (contenders.back().name == "flameshot" && index + 1 < contenders.size()) {
                std::printf("   (%.2f of Flameshot's)",
                            median(times[index]) / median(times.back()));
            }
            std::printf("\n");
        }
    }
    xcb_disconnect(connection);
    return 0;
}
