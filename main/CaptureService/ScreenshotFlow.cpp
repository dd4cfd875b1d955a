#include "main/CaptureService/CaptureGeometry.h"
#include "main/CaptureService/CaptureService.h"
#include "main/RegionSelector.h"

#include <QPointer>
#include <QTimer>
#include <chrono>

namespace {

// Hiding the overlay takes the server a frame or two; reading pixels sooner would catch it.
constexpr std::chrono::milliseconds overlayGoneDelay(150);

// Stands where a system version check would: stills need a reachable X server.
const QString backendMissing = QStringLiteral("Cần phiên X11 để chụp màn hình");

}  // namespace

void CaptureService::takeScreenshot(std::function<void(std::optional<QImage>)> completion) {
    QPointer<CaptureService> weakService(this);
    regionSelector = RegionSelectorController::create(
        QStringLiteral("Kéo chuột để chọn vùng chụp  •  Esc để hủy"),
        [weakService, completion = std::move(completion)](RegionResult result) {
            if (!weakService) {
                return;
            }
            weakService->regionSelector.reset();
            if (!result.rect || !result.screen) {
                if (completion) {
                    completion(std::nullopt);
                }
                return;
            }
            weakService->report(QStringLiteral("Đang chụp màn hình…"));
            QTimer::singleShot(
                overlayGoneDelay, weakService.data(),
                [service = weakService.data(), result, completion] {
                    const Result<QImage> image = service->capture(*result.rect, *result.screen);
                    if (!image.ok()) {
                        service->report(QStringLiteral("Không thể chụp màn hình: ") +
                                        image.error().description);
                    }
                    if (completion) {
                        completion(image.ok() ? std::optional(image.value()) : std::nullopt);
                    }
                });
        },
        platform.screens);
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
    if (!platform.screenCapture->isAvailable()) {
        return Error::program(2, backendMissing);
    }
    Result<QImage> still = platform.screenCapture->still(*display, source, output);
    if (!still.ok()) {
        return still;
    }
    QImage image = std::move(still).value();
    image.setDevicePixelRatio(screen.backingScaleFactor);
    return image;
}
