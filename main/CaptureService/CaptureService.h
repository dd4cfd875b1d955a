#pragma once

#include "main/CaptureService/RecordingJournal.h"
#include "main/HistoryDatabase.h"
#include "platform/Backends.h"
#include "platform/Clipboard.h"
#include "platform/Error.h"
#include "platform/Folders.h"

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QRectF>
#include <QString>
#include <QThreadPool>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class RegionSelectorController;
class ScreenVideoRecorder;
class RecordingHUDController;
class QFileInfo;
class QWidget;

// The platform services the capture service reaches; tests hand in fakes.
struct CapturePlatform {
    std::shared_ptr<const platform::Screens> screens;
    std::shared_ptr<platform::ScreenCapture> screenCapture;
    platform::ScreenStreamFactory makeScreenStream;
    platform::MovieWriterFactory makeMovieWriter;
    platform::MovieCompletion completeMovie;
    platform::PointerPixelsWatch watchPointerPixels;
    std::shared_ptr<platform::WindowPlacement> windowPlacement;
    std::shared_ptr<platform::Clipboard> clipboard = std::make_shared<platform::SystemClipboard>();
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    QString journalFolder = platform::supportFolder() + QStringLiteral("/unfinished-recordings");

    static CapturePlatform of(const platform::Backends& backends);
};

// Turns capture requests into capture files, clipboard contents and history rows.
class CaptureService : public QObject {
    Q_OBJECT
  public:
    explicit CaptureService(std::shared_ptr<HistoryDatabase> database, CapturePlatform platform);
    ~CaptureService() override;

    // ~/Documents/Quorvastelin, decided once per process and not created by asking.
    static QString rootFolder();

    bool isRecording() const { return videoRecorder != nullptr; }

    // Writes the image as a PNG under Screenshots away from the GUI thread, then puts the same
    // bytes on the clipboard, records the row and reports; saved takes the file's path, or
    // nothing when it was not saved. Saves run one after another, each under a name of its own;
    // one still running when the service ends is finished and listed first.
    void saveScreenshot(const QImage& image, std::function<void(std::optional<QString>)> saved);

    // Lets the user drag out a region and answers its image at the screen's full pixel
    // density, once per finished selection: nothing on cancel or failure.
    void takeScreenshot(std::function<void(std::optional<QImage>)> completion);

    // The recording toggle: stops a running recording, otherwise asks for a region and
    // records it into Recordings until stopped.
    void startVideo();
    // Stops a running recording; whenSettled runs once it is saved or has failed, at once when
    // none runs.
    void stopVideo(std::function<void()> whenSettled = {});
    // Completes and lists the recordings an earlier run did not finish; a file without a
    // single frame is removed, and one that cannot be completed now waits for the next start.
    void recoverUnfinishedRecordings();
    // Says on the status line why no screenshot can be taken on this desktop, if none can.
    void reportUnavailableCapture() const;
    // The region overlay or the recording window while one of them is on screen.
    QWidget* shownWindow() const;

    std::function<void(const QString&)> onStatus;
    std::function<void()> onHistoryChanged;
    std::function<void()> onVideoFinished;

  private:
    void report(const QString& text) const;
    // Lists a saved capture; says so when the history cannot take it.
    bool addToHistory(const QString& type, const QFileInfo& file,
                      const QDateTime& createdAt = QDateTime::currentDateTimeUtc());
    // What a capture asks of the user before it runs, and what it says meanwhile.
    struct RegionRequest {
        QString prompt;
        // Starts the status line when the capture cannot go on.
        QString failure;
        QString selected;
        std::optional<QString> cancelled;
        // How long the overlay takes to leave the screen before its pixels may be read.
        std::chrono::milliseconds overlayGone;
    };
    // Takes the desktop's picture where it hands out whole ones only, so the overlay shows it
    // and the capture is cut from it; lets the user drag out a region; and once the overlay is
    // gone hands it over. Nothing on cancel or failure, said on the status line.
    void selectRegion(RegionRequest request,
                      std::function<void(std::optional<std::pair<QRectF, platform::Screen>>)> done);
    Result<QImage> capture(const QRectF& region, const platform::Screen& screen);
    void prepareVideo(const QRectF& region, const platform::Screen& screen);
    // Answers nothing once the recording runs, or the error that kept it from starting.
    void beginVideo(const QRectF& region, const platform::Screen& screen,
                    std::function<void(std::optional<Error>)> done);
    void showRecordingHUD();
    void stopRecording();
    void closeRecordingHUD();
    void finishRecording(const QString& path, const Result<QString>& result);
    // Every recording attempt ends here once, whatever became of it.
    void finishVideoAttempt();

    std::shared_ptr<HistoryDatabase> database;
    std::shared_ptr<RegionSelectorController> regionSelector;
    std::shared_ptr<ScreenVideoRecorder> videoRecorder;
    std::shared_ptr<RecordingHUDController> recordingHUD;
    std::unique_ptr<RecordingJournal::Note> recordingNote;
    std::vector<std::function<void()>> whenRecordingSettled;
    CapturePlatform platform;
    // Last, so that a save still running ends while everything it reports to exists.
    QThreadPool saving;
};
