#include "main/CaptureService/VideoStreamConfiguration.h"

#include <algorithm>
#include <cmath>

namespace {

int evenPixels(qreal points, qreal scale) {
    const int whole = std::max(static_cast<int>(std::trunc(points * scale)), 2);
    return whole - whole % 2;
}

}  // namespace

QSize evenOutputSize(const QSizeF& points, qreal scale) {
    return QSize(evenPixels(points.width(), scale), evenPixels(points.height(), scale));
}

platform::StreamConfiguration videoStreamConfiguration(const QRectF& region,
                                                       const QRectF& screenFrame, qreal scale,
                                                       const QPoint& displayOrigin) {
    // Display-local points with the origin at the display's top-left corner.
    const QRectF local(region.x() - screenFrame.x(),
                       (screenFrame.y() + screenFrame.height()) - (region.y() + region.height()),
                       region.width(), region.height());
    const QRect source(displayOrigin.x() + qRound(local.x() * scale),
                       displayOrigin.y() + qRound(local.y() * scale),
                       std::max(qRound(local.width() * scale), 1),
                       std::max(qRound(local.height() * scale), 1));
    platform::StreamConfiguration configuration;
    configuration.sourceRect = source;
    configuration.outputSize = evenOutputSize(region.size(), scale);
    configuration.minimumFrameInterval = std::chrono::nanoseconds(1'000'000'000 / 30);
    configuration.queueDepth = 5;
    configuration.showsCursor = true;
    return configuration;
}
