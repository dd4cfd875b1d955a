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
    std::vector<platform::Display> displays(3);
    for (const auto& [index, id] : {std::pair{0, 3u}, {1, 7u}, {2, 7u}}) {
        displays[index].displayID = id;
        displays[index].pixelGeometry = QRect(10 * index, 0, 100, 100);
    }
    platform::Screen screen;
    screen.displayID = 7;
    EXPECT_EQ(matchDisplay(screen, displays).value_or(platform::Display()).pixelGeometry.x(), 10);
    screen.displayID = 9;
    EXPECT_FALSE(matchDisplay(screen, displays).has_value());
    screen.displayID.reset();
    displays[0].displayID = 0;
    EXPECT_FALSE(matchDisplay(screen, displays).has_value());
}
