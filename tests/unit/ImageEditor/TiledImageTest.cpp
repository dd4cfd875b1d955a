#include "main/ImageEditor/TiledImage.h"

#include <gtest/gtest.h>
#include <QPainter>
#include <algorithm>
#include <set>

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

std::set<const uchar*> tileMemory(const TiledImage& image) {
    std::set<const uchar*> blocks;
    image.forEachTile([&](const QImage& tile) { blocks.insert(tile.constBits()); });
    return blocks;
}

}  // namespace

TEST(TiledImage, CopiesShareTilesUntilPaintedAndPaintingDetachesOnlyTouchedTiles) {
    TiledImage image(pattern(1024, 768));
    const TiledImage snapshot = image;
    EXPECT_EQ(tileMemory(image), tileMemory(snapshot));
    image.paint(QRectF(10, 10, 20, 20),
                [](QPainter& painter) { painter.fillRect(QRectF(10, 10, 20, 20), Qt::red); });
    const auto before = tileMemory(snapshot);
    EXPECT_EQ(
        std::ranges::count_if(tileMemory(image), [&](auto tile) { return before.contains(tile); }),
        std::ssize(before) - 1);
    EXPECT_EQ(snapshot.toImage().pixel(15, 15), qRgb(15, 15, 60));
    EXPECT_EQ(image.toImage().pixel(15, 15), qRgb(255, 0, 0));
}

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
