#include "main/CaptureService/CaptureGeometry.h"

#include <algorithm>

std::optional<platform::Display> matchDisplay(const platform::Screen& screen,
                                              const std::vector<platform::Display>& displays) {
    if (!screen.displayID) {
        return std::nullopt;
    }
    const auto found = std::find_if(displays.begin(), displays.end(), [&](const auto& display) {
        return display.displayID == *screen.displayID;
    });
    if (found == displays.end()) {
        return std::nullopt;
    }
    return *found;
}

QRectF displaySourceRect(const QRectF& region, const QRectF& screenFrame) {
    return {region.x() - screenFrame.x(),
            (screenFrame.y() + screenFrame.height()) - (region.y() + region.height()),
            region.width(), region.height()};
}

QSize stillPixelSize(const QSizeF& regionSize, double backingScaleFactor) {
    // Truncated, which is the rule; rounding would not be.
    return {std::max(platform::pixelsFloor(regionSize.width() * backingScaleFactor), 2),
            std::max(platform::pixelsFloor(regionSize.height() * backingScaleFactor), 2)};
}
