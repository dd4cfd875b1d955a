#include "main/CaptureService/VideoStreamConfiguration.h"

#include <gtest/gtest.h>

TEST(VideoStreamConfiguration, OutputSizeDropsToEvenWholePixels) {
    EXPECT_EQ(evenOutputSize(QSizeF(201.6, 101), 1), QSize(200, 100));
    EXPECT_EQ(evenOutputSize(QSizeF(250.5, 100.25), 2), QSize(500, 200));
    EXPECT_EQ(evenOutputSize(QSizeF(1.2, 0.4), 1), QSize(2, 2));
    EXPECT_EQ(evenOutputSize(QSizeF(3, 3), 1), QSize(2, 2));
}

TEST(VideoStreamConfiguration, SourceIsTheRegionInRootPixelsWithinItsDisplay) {
    platform::Display display;
    display.pixelGeometry = QRect(1920, 0, 2560, 2048);
    display.scale = 2;
    const auto scaled = videoStreamConfiguration(display, QRectF(80, 423.75, 250.5, 100.25), 2);
    EXPECT_EQ(scaled.sourceRect, QRect(1920 + 160, 847, 501, 201));
    EXPECT_EQ(scaled.outputSize, QSize(500, 200));
    EXPECT_TRUE(scaled.showsCursor);

    display.pixelGeometry = QRect(0, 120, 1920, 1080);
    display.scale = 1;
    const auto edge = videoStreamConfiguration(display, QRectF(1800.5, 1000, 119.5, 80), 1);
    EXPECT_EQ(edge.sourceRect, QRect(1800, 1120, 120, 80));
    EXPECT_EQ(edge.outputSize, QSize(118, 80));
}
