#include "main/CaptureService/CaptureGeometry.h"
#include "main/CaptureService/CaptureService.h"
#include "main/RegionSelector.h"

#include <QPointer>
#include <chrono>

void CaptureService::takeScreenshot(std::function<void(std::optional<QImage>)> completion) {
    const QString failure = QStringLiteral("Không thể chụp màn hình: ");
    selectRegion({.prompt = QStringLiteral("Kéo chuột để chọn vùng chụp  •  Esc để hủy"),
                  .failure = failure,
                  .selected = QStringLiteral("Đang chụp màn hình…"),
                  .cancelled = std::nullopt,
                  // Hiding the overlay takes the server a frame or two.
                  .overlayGone = std::chrono::milliseconds(150)},
                 [service = QPointer<CaptureService>(this), failure, completion](auto region) {
                     if (!service) {
                         return;
                     }
                     std::optional<QImage> image;
                     if (region) {
                         const Result<QImage> captured =
                             service->capture(region->first, region->second);
                         if (captured.ok()) {
                             image = captured.value();
                         } else {
                             service->report(failure + captured.error().description);
                         }
                     }
                     if (completion) {
                         completion(image);
                     }
                 });
}

void CaptureService::reportUnavailableCapture() const {
    platform.screenCapture->learnUnavailableReason(
        [service = QPointer<const CaptureService>(this)](std::optional<QString> reason) {
            if (service && reason) {
                service->report(QStringLiteral("Không thể chụp màn hình: ") + *reason);
            }
        });
}

Result<QImage> CaptureService::capture(const QRectF& region, const platform::Screen& screen) {
    const auto displays = platform.screenCapture->displays();
    if (!displays.ok()) {
        return displays.error();
    }
    const auto display = matchDisplay(screen, displays.value());
    if (!display) {
        return Error::program(1, QStringLiteral("Không tìm thấy màn hình đã chọn"));
    }
    const QRectF source = displaySourceRect(region, screen.frame);
    const QSize output = stillPixelSize(region.size(), screen.backingScaleFactor);
    if (const auto reason = platform.screenCapture->unavailableReason()) {
        return Error::program(2, *reason);
    }
    Result<QImage> still = platform.screenCapture->still(*display, source, output);
    if (!still.ok()) {
        return still;
    }
    QImage image = std::move(still).value();
    image.setDevicePixelRatio(screen.backingScaleFactor);
    return image;
}
