#include "main/CaptureService/CaptureFileNaming.h"
#include "main/CaptureService/CaptureGeometry.h"
#include "main/CaptureService/CaptureService.h"
#include "main/CaptureService/VideoStreamConfiguration.h"
#include "main/RegionSelector.h"
#include "main/VideoRecorder/RecordingHUDController.h"
#include "main/VideoRecorder/ScreenVideoRecorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <chrono>

void CaptureService::startVideo() {
    if (videoRecorder) {
        stopRecording();
        return;
    }
    report(QStringLiteral("Đang chọn vùng quay…"));
    selectRegion({.prompt = QStringLiteral("Kéo chuột để chọn vùng quay  •  Esc để hủy"),
                  .failure = QStringLiteral("Không thể quay màn hình: "),
                  .selected = QStringLiteral("Đang chuẩn bị quay màn hình…"),
                  .cancelled = QStringLiteral("Đã hủy quay màn hình"),
                  // The overlay has to be off the screen before the stream's first frame.
                  .overlayGone = std::chrono::milliseconds(200)},
                 [service = QPointer<CaptureService>(this)](auto region) {
                     if (!service) {
                         return;
                     }
                     if (!region) {
                         service->finishVideoAttempt();
                         return;
                     }
                     service->prepareVideo(region->first, region->second);
                 });
}

void CaptureService::stopVideo(std::function<void()> whenSettled) {
    if (!videoRecorder) {
        if (whenSettled) {
            whenSettled();
        }
        return;
    }
    if (whenSettled) {
        whenRecordingSettled.push_back(std::move(whenSettled));
    }
    stopRecording();
}

void CaptureService::prepareVideo(const QRectF& region, const platform::Screen& screen) {
    QPointer<CaptureService> weakService(this);
    beginVideo(region, screen, [weakService](std::optional<Error> failure) {
        if (!weakService || !failure) {
            return;
        }
        weakService->videoRecorder.reset();
        weakService->report(QStringLiteral("Không thể quay màn hình: ") + failure->description);
        weakService->finishVideoAttempt();
    });
}

void CaptureService::beginVideo(const QRectF& region, const platform::Screen& screen,
                                std::function<void(std::optional<Error>)> done) {
    const auto displays = platform.screenCapture->displays();
    if (!displays.ok()) {
        done(displays.error());
        return;
    }
    const auto display = matchDisplay(screen, displays.value());
    if (!display) {
        done(Error::program(30, QStringLiteral("Không tìm thấy màn hình đã chọn")));
        return;
    }
    const QString folder = rootFolder() + QStringLiteral("/Recordings");
    if (!QDir().mkpath(folder)) {
        done(Error::platform(QStringLiteral("Không tạo được thư mục ") + folder));
        return;
    }
    const QDateTime startedAt = platform.now();
    const QString path = chooseCaptureFilePath(folder, QStringLiteral("Recording"),
                                               QStringLiteral("mov"), startedAt);
    // Noted before the file exists, so a recording whose writer dies is always found again.
    recordingNote = RecordingJournal(platform.journalFolder).begin(path, startedAt);
    if (!recordingNote) {
        done(Error::platform(QStringLiteral("Không ghi được sổ ghi bản quay trong ") +
                             platform.journalFolder));
        return;
    }
    const platform::StreamConfiguration configuration = videoStreamConfiguration(
        *display, displaySourceRect(region, screen.frame), screen.backingScaleFactor);
    auto created = ScreenVideoRecorder::create(
        configuration, path, RecorderPlatform{platform.makeScreenStream, platform.makeMovieWriter});
    if (!created.ok()) {
        recordingNote.reset();
        done(created.error());
        return;
    }
    videoRecorder = created.value();
    QPointer<CaptureService> weakService(this);
    videoRecorder->start(
        [weakService, path](Result<QString> result) {
            if (weakService) {
                weakService->finishRecording(path, result);
            }
        },
        [weakService, path, done](std::optional<Error> failure) {
            if (!weakService) {
                return;
            }
            if (failure) {
                weakService->videoRecorder.reset();
                QFile::remove(path);
                weakService->recordingNote.reset();
                done(failure);
                return;
            }
            weakService->showRecordingHUD();
            done(std::nullopt);
        });
}

void CaptureService::showRecordingHUD() {
    QPointer<CaptureService> weakService(this);
    recordingHUD = std::make_shared<RecordingHUDController>(
        [weakService] {
            if (weakService && weakService->videoRecorder) {
                weakService->stopRecording();
            }
        },
        platform.windowPlacement);
    recordingHUD->showWindow();
    report(QStringLiteral("Đang quay màn hình…"));
}

void CaptureService::stopRecording() {
    report(QStringLiteral("Đang hoàn tất video…"));
    closeRecordingHUD();
    videoRecorder->stop();
}

void CaptureService::closeRecordingHUD() {
    if (recordingHUD) {
        recordingHUD->close();
    }
    recordingHUD.reset();
}

void CaptureService::finishRecording(const QString& path, const Result<QString>& result) {
    videoRecorder.reset();
    closeRecordingHUD();
    // A failed recording leaves its movie only when frames reached it: those are kept.
    const QFileInfo movie(result.ok() ? result.value() : path);
    const bool listed = movie.exists() && addToHistory(QStringLiteral("video"), movie);
    if (!result.ok()) {
        report(QStringLiteral("Quay màn hình thất bại: ") + result.error().description);
    } else if (listed) {
        report(QStringLiteral("Đã lưu: ") + movie.fileName());
    }
    recordingNote.reset();
    finishVideoAttempt();
}

void CaptureService::recoverUnfinishedRecordings() {
    const QString recordings = QDir::cleanPath(rootFolder() + QStringLiteral("/Recordings"));
    for (const auto& note : RecordingJournal(platform.journalFolder).unfinished()) {
        const QFileInfo movie(note->moviePath);
        // A note naming anything but one of our own recordings is not followed.
        if (QDir::cleanPath(movie.absolutePath()) != recordings || !movie.exists()) {
            continue;
        }
        const Result<int> completed = platform.completeMovie(movie.filePath(), std::nullopt);
        if (!completed.ok()) {
            note->keep();
            report(QStringLiteral("Chưa khôi phục được bản quay ") + movie.fileName() +
                   QStringLiteral(": ") + completed.error().description);
            continue;
        }
        if (completed.value() == 0) {
            QFile::remove(movie.filePath());
            continue;
        }
        if (!addToHistory(QStringLiteral("video"), movie, note->startedAt.toUTC())) {
            note->keep();
            continue;
        }
        report(QStringLiteral("Đã khôi phục bản quay: ") + movie.fileName());
    }
}

void CaptureService::finishVideoAttempt() {
    if (onVideoFinished) {
        onVideoFinished();
    }
    for (const auto& settled : std::exchange(whenRecordingSettled, {})) {
        settled();
    }
}
