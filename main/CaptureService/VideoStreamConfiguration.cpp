#include "main/CaptureService/VideoStreamConfiguration.h"

#include <algorithm>
#include <cmath>

namespace {

int evenPixels(double points, double scale) {
    const int whole = std::max(static_cast<int>(std::trunc(points * scale)), 2);
    return whole - whole % 2;
}

}  // namespace

QSize evenOutputSize(const QSizeF& points, double backingScaleFactor) {
    return QSize(evenPixels(points.width(), backingScaleFactor),
                 evenPixels(points.height(), backingScaleFactor));
}

platform::StreamConfiguration videoStreamConfiguration(const platform::Display& display,
                                                       const QRectF& sourceRect,
                                                       double backingScaleFactor) {
    platform::StreamConfiguration configuration;
    configuration.sourceRect =
        platform::displayPixelRect(display, sourceRect).intersected(display.pixelGeometry);
    configuration.outputSize = evenOutputSize(sourceRect.size(), backingScaleFactor);
    configuration.minimumFrameInterval = std::chrono::nanoseconds(1'000'000'000 / 30);
    configuration.queueDepth = 5;
    configuration.showsCursor = true;
    configuration.displayID = display.displayID;
    return configuration;
}
