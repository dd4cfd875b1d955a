#include "platform/ScreenCapture.h"

#include <cmath>

namespace platform {

QRect displayPixelRect(const Display& display, const QRectF& sourceRect) {
    const double left = display.pixelGeometry.x() + sourceRect.x() * display.scale;
    const double top = display.pixelGeometry.y() + sourceRect.y() * display.scale;
    const double right = left + sourceRect.width() * display.scale;
    const double bottom = top + sourceRect.height() * display.scale;
    const int x = static_cast<int>(std::floor(left));
    const int y = static_cast<int>(std::floor(top));
    return {x, y, static_cast<int>(std::ceil(right)) - x, static_cast<int>(std::ceil(bottom)) - y};
}

QImage fitToOutputSize(const QImage& grabbed, QSize outputSize) {
    if (grabbed.size() == outputSize) {
        return grabbed;
    }
    const int extraWidth = grabbed.width() - outputSize.width();
    const int extraHeight = grabbed.height() - outputSize.height();
    if (extraWidth >= 0 && extraWidth <= 1 && extraHeight >= 0 && extraHeight <= 1) {
        return grabbed.copy(QRect(QPoint(0, 0), outputSize));
    }
    return grabbed.scaled(outputSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace platform
