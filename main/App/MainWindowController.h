#pragma once

#include "main/CaptureService/CaptureService.h"
#include "main/HistoryDatabase.h"
#include "main/ImageEditor/ImageEditorController.h"
#include "main/KeyRemapper.h"
#include "platform/DesktopOpener.h"
#include "platform/MovieFrameReader.h"

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

class HistoryTableModel;
class QCheckBox;
class QHBoxLayout;
class QLabel;
class QTableView;
class QWidget;

struct MainWindowPlatform {
    platform::MovieFrameReader readMovieFrame;
    std::shared_ptr<platform::DesktopOpener> opener =
        std::make_shared<platform::SystemDesktopOpener>();
};

// The one ordinary window: the mapping switch and its status, the capture buttons, the
// general status line and the history list. It also steers a screenshot from the region
// selection through the editor to the saved file.
class MainWindowController : public QObject {
    Q_OBJECT
  public:
    MainWindowController(std::shared_ptr<HistoryDatabase> database,
                         std::shared_ptr<CaptureService> capture,
                         std::shared_ptr<KeyRemapper> remapper, MainWindowPlatform platform);
    ~MainWindowController() override;

    void captureScreenshot();
    void toggleVideo();
    // Called on every upkeep tick: keeps a wanted mapping applied and the status line true.
    void refreshPermissionState();
    // Shows the window in front, activated; closing it only hides it.
    void showWindow();
    // A tray click or a second start: the editor, overlay or recording window on screen comes
    // forward, and the main window only when none of them is shown.
    void reopen();
    // Without a tray there is no menu to quit from: the button row then offers "Thoát".
    void offerQuit(const std::function<void()>& quit);

    QWidget* window() const { return mainWindow.get(); }
    QLabel* status = nullptr;
    // The newest of the open editors, each of which saves its own picture.
    ImageEditorController* openEditor() const {
        return editors.empty() ? nullptr : editors.back().get();
    }

  private:
    void buildWindow();
    void installCallbacks();
    void updatePermissionState(bool running, bool trusted);
    void reloadList();
    void toggleMapping();
    void requestPermission();
    void openFolder();
    void hideWindow();
    void openSelected();
    void openEditorWith(const QImage& image);
    // Saves the editor's picture, or takes its cancel; a picture that could not be saved keeps
    // the editor.
    void editorFinished(const ImageEditorController* finished, std::optional<QImage> image,
                        ImageEditorController::SaveAnswer answer);
    void closeEditor(const ImageEditorController* finished);

    std::shared_ptr<HistoryDatabase> database;
    std::shared_ptr<CaptureService> capture;
    std::shared_ptr<KeyRemapper> remapper;
    MainWindowPlatform platform;
    std::unique_ptr<QWidget> mainWindow;
    QTableView* table = nullptr;
    HistoryTableModel* history = nullptr;
    QLabel* permissionStatus = nullptr;
    QCheckBox* mappingToggle = nullptr;
    QHBoxLayout* buttonRow = nullptr;
    std::vector<std::unique_ptr<ImageEditorController>> editors;
};
