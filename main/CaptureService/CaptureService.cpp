#include "main/CaptureService/CaptureService.h"

#include "main/CaptureService/CaptureFileNaming.h"
#include "main/CaptureService/PngEncoder.h"
#include "main/RegionSelector.h"
#include "main/VideoRecorder/RecordingHUDController.h"
#include "platform/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>
#include <QWidget>

CapturePlatform CapturePlatform::of(const platform::Backends& backends) {
    CapturePlatform seams;
    seams.screens = backends.screens;
    seams.screenCapture = backends.screenCapture;
    seams.makeScreenStream = backends.makeScreenStream;
    seams.makeMovieWriter = backends.makeMovieWriter;
    seams.completeMovie = backends.completeMovie;
    seams.watchPointerPixels = backends.watchPointerPixels;
    seams.windowPlacement = backends.windowPlacement;
    return seams;
}

CaptureService::CaptureService(std::shared_ptr<HistoryDatabase> database, CapturePlatform platform)
    : database(std::move(database)), platform(std::move(platform)) {
    saving.setMaxThreadCount(1);
}

void CaptureService::selectRegion(
    RegionRequest request,
    std::function<void(std::optional<std::pair<QRectF, platform::Screen>>)> done) {
    QPointer<CaptureService> weakService(this);
    const auto select = [weakService, request, done](std::optional<Error> failure) {
        if (!weakService) {
            return;
        }
        if (failure) {
            weakService->report(request.failure + failure->description);
            done(std::nullopt);
            return;
        }
        weakService->regionSelector = RegionSelectorController::create(
            request.prompt,
            [weakService, request, done](RegionResult result) {
                if (!weakService) {
                    return;
                }
                weakService->regionSelector.reset();
                if (!result.rect || !result.screen) {
                    if (request.cancelled) {
                        weakService->report(*request.cancelled);
                    }
                    done(std::nullopt);
                    return;
                }
                weakService->report(request.selected);
                QTimer::singleShot(request.overlayGone, weakService.data(), [done, result] {
                    done(std::pair(*result.rect, *result.screen));
                });
            },
            weakService->platform.screens, weakService->platform.watchPointerPixels);
    };
    platform.screenCapture->prepare(select);
}

CaptureService::~CaptureService() {
    saving.waitForDone();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    // Ended mid-recording: what reached the movie is completed at the next start.
    if (recordingNote) {
        recordingNote->keep();
    }
}

QString CaptureService::rootFolder() {
    static const QString folder = platform::documentsFolder() + QStringLiteral("/Quorvastelin");
    return folder;
}

QWidget* CaptureService::shownWindow() const {
    for (QWidget* window : {regionSelector ? regionSelector->window() : nullptr,
                            recordingHUD ? recordingHUD->window() : nullptr}) {
        if (window != nullptr && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

void CaptureService::report(const QString& text) const {
    if (onStatus) {
        onStatus(text);
    }
}

bool CaptureService::addToHistory(const QString& type, const QFileInfo& file,
                                  const QDateTime& createdAt) {
    if (const auto failure = database->add(type, file.absoluteFilePath(), createdAt)) {
        report(QStringLiteral("Đã lưu ") + file.fileName() +
               QStringLiteral(" nhưng không ghi được lịch sử: ") + *failure);
        return false;
    }
    if (onHistoryChanged) {
        onHistoryChanged();
    }
    return true;
}

namespace {

// A screenshot's file as written away from the GUI thread: its path and bytes, or why not.
struct WrittenScreenshot {
    QString path;
    QByteArray png;
    QString failure;
};

WrittenScreenshot writeScreenshot(const QImage& image, const QString& folder,
                                  const QDateTime& now) {
    WrittenScreenshot written;
    written.png = encodePng(image);
    if (written.png.isEmpty()) {
        written.failure = QStringLiteral("ảnh không có dữ liệu điểm ảnh");
        return written;
    }
    written.path =
        chooseCaptureFilePath(folder, QStringLiteral("Screenshot"), QStringLiteral("png"), now);
    // The bytes go to a temporary file that is renamed into place, so the capture name never
    // holds a partial picture.
    QSaveFile file(written.path);
    if (!file.open(QIODevice::WriteOnly) || file.write(written.png) != written.png.size() ||
        !file.commit()) {
        written.failure = file.errorString();
    }
    return written;
}

}  // namespace

void CaptureService::saveScreenshot(const QImage& image,
                                    std::function<void(std::optional<QString>)> saved) {
    const QString folder = rootFolder() + QStringLiteral("/Screenshots");
    if (!QDir().mkpath(folder)) {
        report(QStringLiteral("Không thể lưu ảnh chụp: Không tạo được thư mục ") + folder);
        saved(std::nullopt);
        return;
    }
    saving.start([this, image, folder, now = platform.now(), saved = std::move(saved)] {
        WrittenScreenshot written = writeScreenshot(image, folder, now);
        QMetaObject::invokeMethod(
            this,
            [this, written = std::move(written), saved] {
                if (!written.failure.isEmpty()) {
                    report(QStringLiteral("Không thể lưu ảnh chụp: ") + written.failure);
                    saved(std::nullopt);
                    return;
                }
                platform.clipboard->setPng(written.png);
                if (addToHistory(QStringLiteral("screenshot"), QFileInfo(written.path))) {
                    report(QStringLiteral("Đã lưu và sao chép: ") +
                           QFileInfo(written.path).fileName());
                }
                saved(written.path);
            },
            Qt::QueuedConnection);
    });
}
