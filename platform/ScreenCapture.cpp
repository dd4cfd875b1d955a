#include "platform/ScreenCapture.h"

#include <cmath>

namespace platform {

namespace {

constexpr double pixelDust = 1e-6;

}  // namespace

int pixelsFloor(double pixels) {
    return static_cast<int>(std::floor(pixels + pixelDust));
}

int pixelsCeil(double pixels) {
    return static_cast<int>(std::ceil(pixels - pixelDust));
}

QRect displayPixelRect(const Display& display, const QRectF& sourceRect) {
    const double left = display.pixelGeometry.x() + sourceRect.x() * display.scale;
    const double top = display.pixelGeometry.y() + sourceRect.y() * display.scale;
    const double right = left + sourceRect.width() * display.scale;
    const double bottom = top + sourceRect.height() * display.scale;
    const int x = pixelsFloor(left);
    const int y = pixelsFloor(top);
    return {x, y, pixelsCeil(right) - x, pixelsCeil(bottom) - y};
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
