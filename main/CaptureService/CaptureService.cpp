#include "main/CaptureService/CaptureService.h"

#include "main/CaptureService/CaptureFileNaming.h"
#include "main/RegionSelector.h"
#include "main/VideoRecorder/RecordingHUDController.h"
#include "platform/Folders.h"

#include <QBuffer>
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
    : database(std::move(database)), platform(std::move(platform)) {}

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

std::optional<QString> CaptureService::saveScreenshot(const QImage& image) {
    const QString folder = rootFolder() + QStringLiteral("/Screenshots");
    if (!QDir().mkpath(folder)) {
        report(QStringLiteral("Không thể lưu ảnh chụp: Không tạo được thư mục ") + folder);
        return std::nullopt;
    }
    const QString path = chooseCaptureFilePath(folder, QStringLiteral("Screenshot"),
                                               QStringLiteral("png"), platform.now());

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG")) {
        report(QStringLiteral("Không thể lưu ảnh chụp: ảnh không có dữ liệu điểm ảnh"));
        return std::nullopt;
    }

    // The bytes go to a temporary file that is renamed into place, so the capture name never
    // holds a partial picture.
    QSaveFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(png) == png.size() && file.commit();
    if (!written) {
        report(QStringLiteral("Không thể lưu ảnh chụp: ") + file.errorString());
        return std::nullopt;
    }

    platform.clipboard->setPng(png);
    if (addToHistory(QStringLiteral("screenshot"), QFileInfo(path))) {
        report(QStringLiteral("Đã lưu và sao chép: ") + QFileInfo(path).fileName());
    }
    return path;
}
