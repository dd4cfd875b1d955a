#include "tests/support/E2eSupport.h"
#include "tests/support/XServer.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

// Each test runs in a process of its own with its own two-monitor Xvfb, of which the process
// is a client too: a test can drive platform pieces in-process or start the real program.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    XServer server;
    if (!server.started()) {
        std::fputs("could not start Xvfb\n", stderr);
        return 1;
    }
    qputenv("DISPLAY", server.display().toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QTemporaryDir home(QDir::tempPath() + "/quorvastelin-e2e-XXXXXX");
    qputenv("HOME", home.path().toUtf8());
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                             "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS"}) {
        qunsetenv(name);
    }
    e2e::setMonitor("A", e2e::monitorA, "screen");
    e2e::setMonitor("B", e2e::monitorB, "none");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
