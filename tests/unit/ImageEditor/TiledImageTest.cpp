#include "main/ImageEditor/TiledImage.h"

#include <gtest/gtest.h>
#include <QPainter>

namespace {

QImage pattern(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x & 0xff, y & 0xff, (x * 3 + y) & 0xff));
        }
    }
    return image;
}

}  // namespace

TEST(TiledImage, StrokesAcrossTileEdgesMatchOnePlainBitmap) {
    QImage plain = pattern(700, 600);
    TiledImage tiled(plain);
    const auto draw = [](QPainter& painter) {
        painter.setPen(QPen(QColor(20, 200, 90, 180), 7.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(3.3, 5.7), QPointF(690.2, 580.9));
        painter.drawEllipse(QRectF(200.5, 180.25, 160, 150));
    };
    QPainter painter(&plain);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    tiled.paint(QRectF(0, 0, 700, 600), draw);
    EXPECT_EQ(tiled.toImage(), plain);
}
