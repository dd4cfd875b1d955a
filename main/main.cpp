#include "main/App/AppDelegate.h"
#include "platform/Backends.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    const std::optional<platform::InstanceRequest> request =
        platform::requestFromArguments(argc, argv);
    if (!request) {
        std::fputs(platform::usageLine, stderr);
        return 2;
    }
    // A desktop's key binding starts us for every press: hand over before Qt sets up a GUI.
    if (*request != platform::InstanceRequest::reopen &&
        platform::SingleInstance::handOver(*request)) {
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("quorvastelin: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvastelin"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVASTELIN_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

    platform::SingleInstance instance;
    switch (instance.becomePrimary(*request)) {
        case platform::SingleInstance::Role::primary:
            break;
        case platform::SingleInstance::Role::handedOver:
            return 0;
        case platform::SingleInstance::Role::unreachable:
            std::fputs(
                "quorvastelin: another instance is starting on this display but does not "
                "answer\n",
                stderr);
            return 1;
    }

    AppDelegate applicationDelegate(
        platform::backendsFor(platform::sessionKeyboardDesktop(QApplication::platformName())));
    instance.onRequest = [&applicationDelegate](platform::InstanceRequest handedOver) {
        applicationDelegate.handleRequest(handedOver);
    };
    platform::TerminationSignals terminationSignals(
        [&applicationDelegate] { applicationDelegate.quit(); });
    // A session manager's save request (commitDataRequest) is not an end: the mapping stays on
    // until the session really ends, which quits the application.
    QObject::connect(&application, &QApplication::aboutToQuit,
                     [&applicationDelegate] { applicationDelegate.applicationShouldTerminate(); });

    applicationDelegate.applicationDidFinishLaunching(*request == platform::InstanceRequest::reopen
                                                          ? AppDelegate::Launch::toWindow
                                                          : AppDelegate::Launch::toCapture);
    if (const auto failure = instance.channelFailure()) {
        applicationDelegate.reportUnreachableChannel(*failure);
    }
    if (*request != platform::InstanceRequest::reopen) {
        applicationDelegate.handleRequest(*request);
    }
    application.exec();
    return 0;
}
