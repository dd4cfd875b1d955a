// Time from an XTest key press of Control+4 to the screenshot command reaching the main
// thread, over 100 presses, on an Xvfb of its own. Prints the median and the worst case.
#include "main/KeyRemapper.h"
#include "platform/Backends.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int presses = 100;
constexpr uint8_t leftControl = 37;
constexpr uint8_t key4 = 13;

QString startXvfb(QProcess& server) {
    server.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                  QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1280x1024x24")});
    if (!server.waitForStarted() || !server.waitForReadyRead(10000)) {
        return {};
    }
    return QStringLiteral(":") + QString::fromLatin1(server.readLine().trimmed());
}

void fakeKey(xcb_connection_t* connection, uint8_t type, uint8_t keycode) {
    xcb_test_fake_input(connection, type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
    QProcess server;
    const QString display = startXvfb(server);
    if (display.isEmpty()) {
        std::fputs("could not start Xvfb\n", stderr);
        return 1;
    }
    qputenv("DISPLAY", display.toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);

    const platform::Backends x11 = platform::backendsFor(platform::KeyboardDesktop::x11);
    auto remapper =
        std::make_shared<KeyRemapper>(KeyRemapperPlatform{x11.keyMappingTool, x11.hotKeys});
    QEventLoop waiting;
    std::chrono::steady_clock::time_point pressed;
    std::vector<double> latencies;
    remapper->commandHandler = [&](QuorvastelinCommand) {
        const auto arrived = std::chrono::steady_clock::now();
        latencies.push_back(std::chrono::duration<double, std::milli>(arrived - pressed).count());
        waiting.quit();
    };
    remapper->start();
    if (!remapper->isRunning()) {
        std::fputs("the mapping could not be applied\n", stderr);
        return 1;
    }

    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &waiting, &QEventLoop::quit);
    xcb_connection_t* keyboard = xcb_connect(display.toUtf8().constData(), nullptr);
    for (int press = 0; press < presses; ++press) {
        // The server stamps events in milliseconds, and a release and press sharing a stamp
        // is how X marks auto-repeat; no hand presses faster than this anyway.
        QTimer::singleShot(5, &waiting, &QEventLoop::quit);
        waiting.exec();
        pressed = std::chrono::steady_clock::now();
        fakeKey(keyboard, XCB_KEY_PRESS, leftControl);
        fakeKey(keyboard, XCB_KEY_PRESS, key4);
        fakeKey(keyboard, XCB_KEY_RELEASE, key4);
        fakeKey(keyboard, XCB_KEY_RELEASE, leftControl);
        xcb_flush(keyboard);
        limit.start(5000);
        waiting.exec();
        limit.stop();
    }
    xcb_disconnect(keyboard);
    remapper->stop();

    if (latencies.size() != presses) {
        std::fprintf(stderr, "only %zu of %d presses arrived\n", latencies.size(), presses);
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("hot key press to command on the main thread, %d presses:\n", presses);
    std::printf("  median %.3f ms\n  worst  %.3f ms\n",
                (latencies[presses / 2 - 1] + latencies[presses / 2]) / 2, latencies.back());
    server.terminate();
    server.waitForFinished();
    return 0;
}
