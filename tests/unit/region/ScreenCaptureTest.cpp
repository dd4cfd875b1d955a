#include "platform/wayland/PortalDesktop.h"
#include "platform/x11/X11ScreenCapture.h"

#include <gtest/gtest.h>

namespace {

QImage numbered(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x, y, 0));
        }
    }
    return image;
}

}  // namespace

TEST(ScreenCapture, PointsBecomeWholeDevicePixelsAndATruncatedFractionIsCropped) {
    const QRectF points(10, 20, 300, 200);
    EXPECT_EQ(platform::displayPixelRect({0, {}, QRect(0, 120, 1920, 1080), 2.0}, points),
              QRect(20, 160, 600, 400));
    EXPECT_EQ(platform::displayPixelRect({0, {}, QRect(0, 0, 1920, 1080), 1.0},
                                         QRectF(88, 279.8, 200.7, 100.2)),
              QRect(88, 279, 201, 101));
    // Points of whole pixels at 1.5 multiply back a hair beside them: the pixels stay exact.
    EXPECT_EQ(platform::displayPixelRect({0, {}, QRect(0, 0, 1920, 1080), 1.5},
                                         QRectF(QPointF(5, 2) / 1.5, QPointF(406, 203) / 1.5)),
              QRect(5, 2, 401, 201));
    // A portal's picture of the layout at its highest scale, cut back into a lower screen.
    const auto pieces = platform::cutPerScreen(
        numbered(200, 120), {{"A", QRect(0, 0, 60, 40), 1.0}, {"B", QRect(60, 20, 40, 40), 2.0}});
    EXPECT_EQ(pieces.at("B"), numbered(200, 120).copy(120, 40, 80, 80));
    EXPECT_EQ(platform::fitToOutputSize(numbered(21, 11), QSize(20, 10)), numbered(20, 10));
    EXPECT_EQ(platform::fitToOutputSize(numbered(40, 20), QSize(20, 10)).size(), QSize(20, 10));
}
