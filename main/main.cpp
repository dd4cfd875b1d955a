#include "main/App/AppDelegate.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("quorvastelin: no X11 display (DISPLAY is not set)\n", stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvastelin"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVASTELIN_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

    platform::SingleInstance instance;
    if (!instance.becomePrimary()) {
        return 0;
    }

    AppDelegate applicationDelegate;
    instance.onReopen = [&applicationDelegate] {
        applicationDelegate.applicationShouldHandleReopen();
    };
    platform::TerminationSignals terminationSignals([] { QApplication::quit(); });
    // A session manager's save request (commitDataRequest) is not an end: the mapping stays on
    // until the session really ends, which quits the application.
    QObject::connect(&application, &QApplication::aboutToQuit,
                     [&applicationDelegate] { applicationDelegate.applicationShouldTerminate(); });

    applicationDelegate.applicationDidFinishLaunching();
    application.exec();
    return 0;
}
