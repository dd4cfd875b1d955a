#include "main/App/AppDelegate.h"

#include "platform/MainQueue.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

using namespace std::chrono_literals;

AppDelegate::AppDelegate()
    : database(std::make_shared<HistoryDatabase>()),
      installUpkeep(platform::currentInstallEnvironment(),
                    std::make_shared<platform::SystemProcessRunner>(),
                    [] { platform::dispatchMainAfter(500ms, [] { QApplication::quit(); }); }) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    if (installUpkeep.relocateFromDiskImageIfNeeded()) {
        return;
    }
    installUpkeep.migrateLegacyScreenCapturePermission();
    capture = std::make_shared<CaptureService>(database);
    buildStatusMenu();
}

void AppDelegate::buildStatusMenu() {
    statusItem = std::make_unique<QSystemTrayIcon>(
        QIcon::fromTheme(QStringLiteral("input-keyboard"), QIcon(QStringLiteral(":/icon.png"))));
    statusItem->setToolTip(QStringLiteral("Quorvastelin"));

    statusMenu = std::make_unique<QMenu>();
    statusMenu->addAction(QStringLiteral("Mở Quorvastelin"), this, &AppDelegate::openMain);
    statusMenu->addSeparator();
    QAction* quitAction = statusMenu->addAction(QStringLiteral("Thoát"), this, &AppDelegate::quit);
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    statusItem->setContextMenu(statusMenu.get());
    connect(statusItem.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    applicationShouldHandleReopen();
                }
            });
    statusItem->show();
}

void AppDelegate::applicationShouldHandleReopen() {
    openMain();
}

void AppDelegate::openMain() {}

void AppDelegate::quit() {
    QApplication::quit();
}

void AppDelegate::applicationShouldTerminate() {
    if (terminated) {
        return;
    }
    terminated = true;
}
