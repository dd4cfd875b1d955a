#include "main/ImageEditor/Pixelation.h"

#include <gtest/gtest.h>
#include <QPainter>

TEST(Pixelation, EachBlockAveragesEveryPixelItCoversEvenOutsideTheAreaButNotBeyondTheImage) {
    QImage source(16, 10, QImage::Format_ARGB32_Premultiplied);
    source.fill(qRgb(0, 0, 0));
    QPainter(&source).fillRect(0, 0, 4, 8, QColor(200, 100, 40));
    // The area starts inside the first block: its colour still counts the whole block.
    const QImage mosaic = pixelated(source, QRect(2, 0, 14, 8), 8);
    ASSERT_EQ(mosaic.size(), QSize(14, 8));
    EXPECT_EQ(mosaic.pixel(0, 0), qRgb(100, 50, 20));
    EXPECT_EQ(mosaic.pixel(5, 7), qRgb(100, 50, 20));
    EXPECT_EQ(mosaic.pixel(6, 0), qRgb(0, 0, 0));
    // The last row of blocks holds two rows of pixels.
    source.fill(qRgb(90, 90, 90));
    EXPECT_EQ(pixelated(source, QRect(0, 0, 16, 10), 8).pixel(15, 9), qRgb(90, 90, 90));
}
