#include "main/CaptureService/CaptureGeometry.h"

#include <gtest/gtest.h>

TEST(CaptureGeometry, SourceRectsOfTheWorkedExamplesAndOfScreensBelowAndLeft) {
    const QRectF region(100, 200, 300, 150);
    EXPECT_EQ(displaySourceRect(region, QRectF(0, 0, 1512, 982)), QRectF(100, 632, 300, 150));
    EXPECT_EQ(stillPixelSize(region.size(), 2.0), QSize(600, 300));

    EXPECT_EQ(displaySourceRect(QRectF(1600, 500, 200.7, 100.2), QRectF(1512, -200, 1920, 1080)),
              QRectF(88, 279.8, 200.7, 100.2));

    EXPECT_EQ(displaySourceRect(QRectF(-2500, -900, 100, 50), QRectF(-2560, -1024, 2560, 1024)),
              QRectF(60, 850, 100, 50));
}

TEST(CaptureGeometry, PixelSizesTruncateNeverRoundAndAreAtLeastTwo) {
    EXPECT_EQ(stillPixelSize(QSizeF(200.7, 100.99), 1.0), QSize(200, 100));
    EXPECT_EQ(stillPixelSize(QSizeF(100.75, 4.4), 2.0), QSize(201, 8));
    EXPECT_EQ(stillPixelSize(QSizeF(4.9, 4.9), 1.0), QSize(4, 4));
    EXPECT_EQ(stillPixelSize(QSizeF(1.5, 0.4), 1.0), QSize(2, 2));
}

TEST(CaptureGeometry, DisplayMatchTakesTheFirstWithTheScreensIdentifierOrNothing) {
    const auto display = [](quint32 id, int x) {
        platform::Display result;
        result.displayID = id;
        result.pixelGeometry = QRect(x, 0, 100, 100);
        return result;
    };
    platform::Screen screen;
    screen.displayID = 7;
    const auto found = matchDisplay(screen, {display(3, 0), display(7, 10), display(7, 20)});
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->pixelGeometry.x(), 10);

    screen.displayID = 9;
    EXPECT_FALSE(matchDisplay(screen, {display(3, 0), display(7, 10)}).has_value());
    EXPECT_FALSE(matchDisplay(screen, {}).has_value());
    screen.displayID.reset();
    EXPECT_FALSE(matchDisplay(screen, {display(0, 0)}).has_value());
}
