#include "main/CaptureService/CaptureService.h"

#include "main/CaptureService/CaptureFileNaming.h"
#include "main/RegionSelector.h"
#include "main/VideoRecorder/RecordingHUDController.h"
#include "platform/Folders.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QWidget>

CaptureService::CaptureService(std::shared_ptr<HistoryDatabase> database, CapturePlatform platform)
    : database(std::move(database)), platform(std::move(platform)) {}

CaptureService::~CaptureService() = default;

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

std::optional<QString> CaptureService::saveScreenshot(const QImage& image) {
    const QString folder = rootFolder() + QStringLiteral("/Screenshots");
    QDir().mkpath(folder);
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
    database->add(QStringLiteral("screenshot"), path);
    if (onHistoryChanged) {
        onHistoryChanged();
    }
    report(QStringLiteral("Đã lưu và sao chép: ") + QFileInfo(path).fileName());
    return path;
}
