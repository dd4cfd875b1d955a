#include "main/ImageEditor/TiledImage.h"

#include <gtest/gtest.h>
#include <QPainter>
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

TEST(TiledImage, RoundTripKeepsPixelsSizeAndRatio) {
    QImage source = pattern(600, 300);
    source.setDevicePixelRatio(2.0);
    const TiledImage tiled(source);
    EXPECT_EQ(tiled.pixelSize(), QSize(600, 300));
    EXPECT_EQ(tiled.size(), QSizeF(300, 150));
    const QImage back = tiled.toImage();
    EXPECT_EQ(back.devicePixelRatio(), 2.0);
    EXPECT_EQ(back.convertToFormat(source.format()), source);
    EXPECT_EQ(tiled.copyPixels(QRect(250, 250, 20, 10)), source.copy(250, 250, 20, 10));
}

TEST(TiledImage, CopyIsIndependentOfTheSourcePicture) {
    QImage source = pattern(40, 40);
    const TiledImage tiled(source);
    source.fill(Qt::black);
    EXPECT_EQ(tiled.toImage().pixel(5, 5), qRgb(5, 5, 20));
}

TEST(TiledImage, CopiesShareTilesUntilPaintedAndPaintingDetachesOnlyTouchedTiles) {
    TiledImage image(pattern(1024, 768));
    const TiledImage snapshot = image;
    EXPECT_EQ(tileMemory(image), tileMemory(snapshot));
    image.paint(QRectF(10, 10, 20, 20),
                [](QPainter& painter) { painter.fillRect(QRectF(10, 10, 20, 20), Qt::red); });
    const auto after = tileMemory(image);
    const auto before = tileMemory(snapshot);
    std::size_t shared = 0;
    for (const uchar* block : after) {
        shared += before.count(block);
    }
    EXPECT_EQ(shared, after.size() - 1);
    EXPECT_EQ(snapshot.toImage().pixel(15, 15), qRgb(15, 15, 60));
    EXPECT_EQ(image.toImage().pixel(15, 15), qRgb(255, 0, 0));
}

TEST(TiledImage, StrokesAcrossTileEdgesMatchOnePlainBitmap) {
    const QImage source = pattern(700, 600);
    QImage plain = source;
    const auto draw = [](QPainter& painter) {
        painter.setPen(QPen(QColor(20, 200, 90, 180), 7.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(3.3, 5.7), QPointF(690.2, 580.9));
        painter.drawEllipse(QRectF(200.5, 180.25, 160, 150));
    };
    {
        QPainter painter(&plain);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter);
    }
    TiledImage tiled(source);
    tiled.paint(QRectF(0, 0, 700, 600), draw);
    EXPECT_EQ(tiled.toImage(), plain);
}

TEST(TiledImage, PaintingUsesImageUnitsAtFullBitmapResolution) {
    QImage source(200, 200, QImage::Format_ARGB32_Premultiplied);
    source.fill(Qt::white);
    source.setDevicePixelRatio(2.0);
    TiledImage tiled(source);
    tiled.paint(QRectF(10, 10, 1, 1),
                [](QPainter& painter) { painter.fillRect(QRectF(10, 10, 0.5, 0.5), Qt::blue); });
    const QImage result = tiled.toImage();
    EXPECT_EQ(result.pixel(20, 20), qRgb(0, 0, 255));
    EXPECT_EQ(result.pixel(21, 20), qRgb(255, 255, 255));
}

TEST(TiledImage, OnePixelImageWorks) {
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(Qt::green);
    TiledImage tiled(dot);
    tiled.paint(QRectF(0, 0, 1, 1),
                [](QPainter& painter) { painter.fillRect(0, 0, 1, 1, Qt::red); });
    EXPECT_EQ(tiled.toImage().pixel(0, 0), qRgb(255, 0, 0));
}
