#include "tests/support/E2eSupport.h"
#include "tests/support/XServer.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

// Every end-to-end test runs in a process of its own (CTest runs them one by one), with its
// own Xvfb showing two monitors. The process itself is an X client of that server too, so a
// test can drive platform pieces in-process or start the real program against it.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const bool listingOnly = testing::GTEST_FLAG(list_tests);
    if (listingOnly) {
        return RUN_ALL_TESTS();
    }
    XServer server;
    if (!server.started()) {
        std::fputs("could not start Xvfb\n", stderr);
        return 1;
    }
    qputenv("DISPLAY", server.display().toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/quorvastelin-e2e-XXXXXX"));
    qputenv("HOME", home.path().toUtf8());
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                             "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS"}) {
        qunsetenv(name);
    }
    e2e::setMonitor(QStringLiteral("A"), e2e::monitorA, QStringLiteral("screen"));
    e2e::setMonitor(QStringLiteral("B"), e2e::monitorB, QStringLiteral("none"));
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
