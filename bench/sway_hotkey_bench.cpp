// Time from a key press of Control+4 on sway to the screenshot command reaching the running
// instance's main thread: sway's binding runs the command entry, which hands the command over.
// Headless sway, keys from wtype (its start is counted in). Median of 20, beside which
// hotkey_latency_bench gives the X11 figure. Runs itself again as the desktop's user.
#include "platform/SingleInstance.h"
#include "platform/wayland/SwayIpc.h"
#include "tests/support/WaylandDesktop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int presses = 20;

int measureInside(int argc, char** argv, const QString& program) {
    QCoreApplication application(argc, argv);
    platform::SingleInstance instance;
    if (instance.becomePrimary() != platform::SingleInstance::Role::primary) {
        std::puts("another instance answers on this display");
        return 1;
    }
    bool arrived = false;
    instance.onRequest = [&arrived](platform::InstanceRequest request) {
        arrived = request == platform::InstanceRequest::screenshot;
    };
    platform::SwayIpc sway;
    const QString command = QStringLiteral("bindsym --no-repeat Ctrl+4 exec ") +
                            platform::swayQuoted(program + QStringLiteral(" --screenshot"));
    if (!sway.runCommand(command)) {
        std::puts("sway refused the binding");
        return 1;
    }
    std::vector<double> times;
    for (int press = 0; press < presses; ++press) {
        arrived = false;
        QElapsedTimer clock;
        clock.start();
        QProcess::startDetached(QStringLiteral("wtype"),
                                {"-M", "ctrl", "-P", "4", "-p", "4", "-m", "ctrl"});
        while (!arrived && clock.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        if (!arrived) {
            std::puts("the command did not arrive");
            return 1;
        }
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "Control+4 on headless sway to the command on the main thread: median %.1f ms, "
        "best %.1f ms, worst %.1f ms (%d presses)\n",
        (times[presses / 2 - 1] + times[presses / 2]) / 2, times.front(), times.back(), presses);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--inside") == 0) {
        return measureInside(argc, argv, QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication application(argc, argv);
    e2e::WaylandDesktop desktop(e2e::WaylandDesktop::Sway{});
    if (!desktop.started()) {
        std::puts("could not start headless sway");
        return 1;
    }
    const auto measured = desktop.run(
        e2e::reachableByAnyone(QCoreApplication::applicationFilePath()),
        {"--inside", e2e::reachableByAnyone(QFileInfo(QStringLiteral(QV_PROGRAM)).path() +
                                            QStringLiteral("/quorvastelin-command"))});
    std::fwrite(measured.output.constData(), 1, static_cast<size_t>(measured.output.size()),
                stdout);
    return measured.exitCode;
}
