#include "main/CaptureService/VideoStreamConfiguration.h"

#include <gtest/gtest.h>

TEST(VideoStreamConfiguration, SourceIsTheRegionInRootPixelsAndTheOutputEvenWholePixels) {
    EXPECT_EQ(evenOutputSize(QSizeF(201.6, 101), 1), QSize(200, 100));
    EXPECT_EQ(evenOutputSize(QSizeF(1.2, 0.4), 1), QSize(2, 2));
    EXPECT_EQ(evenOutputSize(QSizeF(3, 3), 1), QSize(2, 2));
    const platform::Display display{0, {}, QRect(1920, 0, 2560, 2048), 2};
    const auto scaled = videoStreamConfiguration(display, QRectF(80, 423.75, 250.5, 100.25), 2);
    EXPECT_EQ(scaled.sourceRect, QRect(1920 + 160, 847, 501, 201));
    EXPECT_EQ(scaled.outputSize, QSize(500, 200));
    EXPECT_TRUE(scaled.showsCursor);
}
