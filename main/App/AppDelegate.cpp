#include "main/App/AppDelegate.h"

#include "platform/MainQueue.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

using namespace std::chrono_literals;

AppDelegate::AppDelegate(platform::Backends backends)
    : backends(std::move(backends)),
      database(std::make_shared<HistoryDatabase>()),
      remapper(std::make_shared<KeyRemapper>(
          KeyRemapperPlatform{this->backends.keyMappingTool, this->backends.hotKeys})),
      installUpkeep(platform::currentInstallEnvironment(),
                    std::make_shared<platform::SystemProcessRunner>(),
                    [] { platform::dispatchMainAfter(500ms, [] { QApplication::quit(); }); }) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching(Launch launch) {
    if (installUpkeep.relocateFromDiskImageIfNeeded()) {
        return;
    }
    const bool permissionReset = installUpkeep.migrateLegacyScreenCapturePermission();
    capture = std::make_shared<CaptureService>(database, CapturePlatform::of(backends));
    mainWindow = std::make_unique<MainWindowController>(
        database, capture, remapper, MainWindowPlatform{.readMovieFrame = backends.readMovieFrame});
    capture->recoverUnfinishedRecordings();
    if (permissionReset) {
        mainWindow->status->setText(
            QStringLiteral("Quyền cũ đã được làm mới — chọn Cho phép một lần khi chụp hoặc quay"));
    }
    if (const auto reason = remapper->unavailableReason()) {
        mainWindow->status->setText(*reason);
    }
    capture->reportUnavailableCapture();
    remapper->commandHandler = [delegate =
                                    QPointer<AppDelegate>(this)](QuorvastelinCommand command) {
        if (delegate) {
            delegate->routeCommand(command);
        }
    };
    if (launch == Launch::toCapture) {
        qApp->installEventFilter(this);
        launchDeadline = std::make_unique<QTimer>();
        launchDeadline->setSingleShot(true);
        connect(launchDeadline.get(), &QTimer::timeout, this,
                [this] { finishLaunching(Launch::toCapture); });
        launchDeadline->start(1s);
        return;
    }
    finishLaunching(launch);
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    // Queued, so that the window paints first.
    if (event->type() == QEvent::Expose && watched->isWindowType() &&
        static_cast<QWindow*>(watched)->isExposed()) {
        QMetaObject::invokeMethod(
            this, [this] { finishLaunching(Launch::toCapture); }, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void AppDelegate::finishLaunching(Launch launch) {
    // Quit before: nothing may be mapped after the mapping was taken down.
    if (launched || terminated) {
        return;
    }
    launched = true;
    qApp->removeEventFilter(this);
    launchDeadline.reset();
    buildStatusMenu();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        mainWindow->offerQuit([delegate = QPointer<AppDelegate>(this)] {
            if (delegate) {
                delegate->quit();
            }
        });
    }
    if (launch == Launch::toWindow) {
        mainWindow->showWindow();
    }
    remapper->start();
    retryTimer = std::make_unique<QTimer>();
    retryTimer->setInterval(2000ms);
    connect(retryTimer.get(), &QTimer::timeout, this, [delegate = QPointer<AppDelegate>(this)] {
        if (delegate) {
            delegate->upkeep();
        }
    });
    retryTimer->start();
}

void AppDelegate::routeCommand(QuorvastelinCommand command) {
    switch (command) {
        case QuorvastelinCommand::screenshot:
            screenshot();
            break;
        case QuorvastelinCommand::video:
            video();
            break;
    }
}

void AppDelegate::upkeep() {
    // An uninstalled program takes its mapping and key bindings with it, as its quitting does,
    // once no editor holds a picture that is not saved yet.
    if (installUpkeep.programRemoved() && !mainWindow->openEditor() && !removalQuit) {
        removalQuit = true;
        quit();
        return;
    }
    remapper->checkMappingStillApplied();
    remapper->start();
    mainWindow->refreshPermissionState();
}

void AppDelegate::buildStatusMenu() {
    statusItem = std::make_unique<QSystemTrayIcon>(
        QIcon::fromTheme(QStringLiteral("input-keyboard"), QIcon(QStringLiteral(":/icon.png"))));
    statusItem->setToolTip(QStringLiteral("Quorvastelin"));

    statusMenu = std::make_unique<QMenu>();
    statusMenu->addAction(QStringLiteral("Mở Quorvastelin"), this, &AppDelegate::openMain);
    statusMenu->addAction(QStringLiteral("Chụp vùng (⌘4)"), this, &AppDelegate::screenshot);
    statusMenu->addAction(QStringLiteral("Quay / dừng quay (⌘5)"), this, &AppDelegate::video);
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
    if (mainWindow) {
        mainWindow->reopen();
    }
}

void AppDelegate::handleRequest(platform::InstanceRequest request) {
    // A launch that handed itself over to an installed copy has no window to act in.
    if (!mainWindow) {
        return;
    }
    switch (request) {
        case platform::InstanceRequest::reopen:
            applicationShouldHandleReopen();
            break;
        case platform::InstanceRequest::screenshot:
            routeCommand(QuorvastelinCommand::screenshot);
            break;
        case platform::InstanceRequest::record:
            routeCommand(QuorvastelinCommand::video);
            break;
    }
}

void AppDelegate::reportUnreachableChannel(const QString& reason) {
    if (mainWindow) {
        mainWindow->status->setText(QStringLiteral("Không mở được kênh lệnh: ") + reason);
    }
}

void AppDelegate::openMain() {
    if (mainWindow) {
        mainWindow->showWindow();
    }
}

void AppDelegate::screenshot() {
    mainWindow->captureScreenshot();
}

void AppDelegate::video() {
    mainWindow->toggleVideo();
}

void AppDelegate::quit() {
    // A recording is finished and listed before the program ends. Asked again meanwhile, it
    // ends at once: what was written waits for the next start, which completes it.
    if (capture && capture->isRecording() && !quitRequested) {
        quitRequested = true;
        capture->stopVideo([] { QApplication::quit(); });
        return;
    }
    QApplication::quit();
}

void AppDelegate::applicationShouldTerminate() {
    if (terminated) {
        return;
    }
    terminated = true;
    remapper->stop();
}
