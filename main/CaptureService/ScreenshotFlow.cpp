#include "main/CaptureService/CaptureGeometry.h"
#include "main/CaptureService/CaptureService.h"
#include "main/RegionSelector.h"

#include <QPointer>
#include <QTimer>
#include <chrono>

namespace {

// Hiding the overlay takes the server a frame or two; reading pixels sooner would catch it.
constexpr std::chrono::milliseconds overlayGoneDelay(150);

}  // namespace

void CaptureService::takeScreenshot(std::function<void(std::optional<QImage>)> completion) {
    QPointer<CaptureService> weakService(this);
    // Some desktops hand out only whole pictures of the screen: take it first, so the overlay
    // shows it and the capture is cut from it.
    platform.screenCapture->prepare([weakService, completion = std::move(completion)](
                                        std::optional<Error> failure) mutable {
        if (!weakService) {
            return;
        }
        if (failure) {
            weakService->report(QStringLiteral("Không thể chụp màn hình: ") + failure->description);
            if (completion) {
                completion(std::nullopt);
            }
            return;
        }
        weakService->selectScreenshotRegion(std::move(completion));
    });
}

void CaptureService::selectScreenshotRegion(std::function<void(std::optional<QImage>)> completion) {
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
        platform.screens, platform.watchPointerPixels);
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
