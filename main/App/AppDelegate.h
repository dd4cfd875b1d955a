#pragma once

#include "main/App/InstallUpkeep.h"
#include "main/App/MainWindowController.h"
#include "main/CaptureService/CaptureService.h"
#include "main/HistoryDatabase.h"
#include "main/KeyRemapper.h"
#include "platform/Backends.h"
#include "platform/SingleInstance.h"

#include <QObject>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class QTimer;

// Creates the long-lived objects in a fixed order, owns the tray menu and the upkeep timer,
// and runs the orderly quit.
class AppDelegate : public QObject {
    Q_OBJECT
  public:
    explicit AppDelegate(platform::Backends backends);
    ~AppDelegate() override;

    // Launched to capture, the capture comes first: the tray, the key mapping and the upkeep
    // follow once a window of ours is on screen (the overlay, or the main window the capture
    // shows when it fails), at the latest a second later. The main window, which the capture
    // would hide at once, is not shown.
    enum class Launch { toWindow, toCapture };
    void applicationDidFinishLaunching(Launch launch = Launch::toWindow);
    // Tray click or a second start of the program.
    void applicationShouldHandleReopen();
    // A start of the program, or a desktop's key binding, asking the running instance.
    void handleRequest(platform::InstanceRequest request);
    // Later starts and the desktops' key bindings cannot reach this instance: said, not fatal.
    void reportUnreachableChannel(const QString& reason);
    // Every way of ending the program passes here before the process ends.
    void applicationShouldTerminate();

    void openMain();
    // Every request to end the program: the tray, the window's button and the signals.
    void quit();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void finishLaunching(Launch launch);
    void buildStatusMenu();
    void routeCommand(QuorvastelinCommand command);
    void screenshot();
    void video();
    void upkeep();

    const platform::Backends backends;
    std::shared_ptr<HistoryDatabase> database;
    std::shared_ptr<KeyRemapper> remapper;
    std::shared_ptr<CaptureService> capture;
    std::unique_ptr<MainWindowController> mainWindow;
    std::unique_ptr<QMenu> statusMenu;
    std::unique_ptr<QSystemTrayIcon> statusItem;
    std::unique_ptr<QTimer> retryTimer;
    std::unique_ptr<QTimer> launchDeadline;
    InstallUpkeep installUpkeep;
    bool launched = false;
    bool terminated = false;
    bool quitRequested = false;
    bool removalQuit = false;
};
