#include "platform/Screens.h"

#include <gtest/gtest.h>

using platform::layoutScreens;
using platform::ScreenSpace;

TEST(Screens, FramesAreMeasuredFromThePrimarysLowerLeftCorner) {
    EXPECT_EQ(layoutScreens({{"A", QRect(0, 120, 1920, 1080), 1.0}}).screens.front().frame,
              QRectF(0, 0, 1920, 1080));

    const auto layout = layoutScreens({{"Primary", QRect(0, 0, 1920, 1080), 1.0},
                                       {"Above", QRect(200, -900, 1600, 900), 1.0},
                                       {"Below", QRect(0, 1080, 1280, 1024), 1.0},
                                       {"Left", QRect(-2560, -300, 2560, 1440), 2.0}});
    ASSERT_EQ(layout.screens.size(), 4u);
    EXPECT_EQ(layout.screens[1].frame, QRectF(200, 1080, 1600, 900));
    EXPECT_EQ(layout.screens[2].frame, QRectF(0, -1024, 1280, 1024));
    EXPECT_EQ(layout.screens[3].frame, QRectF(-2560, -60, 2560, 1440));
    EXPECT_EQ(layout.screens[3].backingScaleFactor, 2.0);
}

TEST(Screens, QtAndGlobalConversionsFlipYAndAreEachOthersInverse) {
    const ScreenSpace space(QRectF(0, 120, 1920, 1080));
    EXPECT_EQ(space.toGlobal(QPointF(10, 120)), QPointF(10, 1080));
    EXPECT_EQ(space.toGlobal(QPointF(10, 1200)), QPointF(10, 0));
    EXPECT_EQ(space.toGlobal(QRectF(10, 200, 50, 30)).topLeft(), space.toGlobal(QPointF(10, 230)));

    const QRectF qtRect(-300.5, -40.25, 120.75, 33.5);
    EXPECT_EQ(space.toQt(space.toGlobal(qtRect)), qtRect);
    const QPointF qtPoint(2500.5, -17.25);
    EXPECT_EQ(space.toQt(space.toGlobal(qtPoint)), qtPoint);
}

TEST(Screens, PixelsBecomePointsByTheScreenShowingThemScaledAroundItsCorner) {
    // The test desktop at scale 2: Qt keeps each screen's corner and halves the rest.
    const auto layout =
        layoutScreens({{"A", QRect(0, 120, 960, 540), 2.0}, {"B", QRect(1920, 0, 640, 512), 2.0}});
    const struct {
        QPointF pixel;
        std::optional<QPointF> point;
    } cases[] = {
        {{1400, 300}, QPointF(700, 450)},    {{1801, 501}, QPointF(900.5, 349.5)},
        {{1919, 1199}, QPointF(959.5, 0.5)}, {{1920, 0}, QPointF(1920, 660)},
        {{2000, 1100}, std::nullopt},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(platform::pointAtPixel(layout, example.pixel), example.point)
            << example.pixel.x() << ',' << example.pixel.y();
    }
}

TEST(Screens, DisplayIdentifierComesFromTheNameAndANamelessScreenHasNone) {
    EXPECT_NE(platform::displayIdentifier("HDMI-1"), platform::displayIdentifier("HDMI-2"));
    const auto layout =
        layoutScreens({{"HDMI-1", QRect(0, 0, 10, 10), 1.0}, {"", QRect(10, 0, 10, 10), 1.0}});
    EXPECT_EQ(layout.screens[0].displayID, platform::displayIdentifier("HDMI-1"));
    EXPECT_FALSE(layout.screens[1].displayID.has_value());
}
