#include "main/CaptureService/VideoStreamConfiguration.h"

#include <gtest/gtest.h>

TEST(VideoStreamConfiguration, OutputSizeDropsToEvenWholePixels) {
    EXPECT_EQ(evenOutputSize(QSizeF(201.6, 101), 1), QSize(200, 100));
    EXPECT_EQ(evenOutputSize(QSizeF(250.5, 100.25), 2), QSize(500, 200));
    EXPECT_EQ(evenOutputSize(QSizeF(640, 480), 1), QSize(640, 480));
    EXPECT_EQ(evenOutputSize(QSizeF(1.2, 0.4), 1), QSize(2, 2));
    EXPECT_EQ(evenOutputSize(QSizeF(3, 3), 1), QSize(2, 2));
}

TEST(VideoStreamConfiguration, SourceIsTheRegionInRootPixelsWithTopLeftOrigin) {
    // A 1920x1080 display whose frame starts at the global origin, placed at root (0, 120).
    const QRectF screen(0, 0, 1920, 1080);
    const auto configuration =
        videoStreamConfiguration(QRectF(100, 200, 640, 480), screen, 1, QPoint(0, 120));
    // The region's top edge is 1080 - (200 + 480) = 400 below the display's top.
    EXPECT_EQ(configuration.sourceRect, QRect(100, 520, 640, 480));
    EXPECT_EQ(configuration.outputSize, QSize(640, 480));
    EXPECT_EQ(configuration.minimumFrameInterval, std::chrono::nanoseconds(33'333'333));
    EXPECT_EQ(configuration.queueDepth, 5);
    EXPECT_TRUE(configuration.showsCursor);
}

TEST(VideoStreamConfiguration, SecondDisplayAndScaleTwoMapToDevicePixels) {
    // A display right of the first, 1280x1024 points at scale 2, its top-left at root (3840, 0);
    // the region lies 824 - 400.25 = 423.75 points below its top, 847.5 pixels, rounded.
    const QRectF screen(1920, -200, 1280, 1024);
    const auto configuration =
        videoStreamConfiguration(QRectF(2000, 300, 250.5, 100.25), screen, 2, QPoint(3840, 0));
    EXPECT_EQ(configuration.sourceRect.topLeft(), QPoint(3840 + 160, 848));
    EXPECT_EQ(configuration.sourceRect.size(), QSize(501, 201));
    EXPECT_EQ(configuration.outputSize, QSize(500, 200));
}
