#include "main/RegionSelector.h"
#include "tests/unit/region/FakeScreens.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QPointer>
#include <QTest>

namespace {

// Builds a selector over fake screens and records every result it delivers.
class RegionSelectorTest : public testing::Test {
  protected:
    void open(std::vector<platform::QtScreenInfo> qtScreens = laptopAndMonitor()) {
        screens = std::make_shared<FakeScreens>(std::move(qtScreens));
        openWith(screens);
    }
    void openWith(std::shared_ptr<FakeScreens> fake) {
        controller = RegionSelectorController::create(
            QStringLiteral("Kéo chuột để chọn vùng chụp  •  Esc để hủy"),
            [this](RegionResult result) {
                results.push_back(result);
                controller.reset();
            },
            fake);
        window = controller->window();
    }
    void TearDown() override {
        controller.reset();
        runDeferredDeletes();
        while (QGuiApplication::overrideCursor() != nullptr) {
            QGuiApplication::restoreOverrideCursor();
            ++unbalancedCursors;
        }
        EXPECT_EQ(unbalancedCursors, 0);
    }
    void pressEscape() { QTest::keyClick(window, Qt::Key_Escape); }

    std::shared_ptr<FakeScreens> screens;
    std::shared_ptr<RegionSelectorController> controller;
    QPointer<QWidget> window;
    std::vector<RegionResult> results;
    int unbalancedCursors = 0;
};

}  // namespace

TEST_F(RegionSelectorTest, OverlayCoversTheUnionOfAllScreensWithACrosshair) {
    open();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), QRect(0, 0, 3432, 1182));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::X11BypassWindowManagerHint));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
}

TEST_F(RegionSelectorTest, DragOnPrimaryGivesGlobalRectWithYUpAndThePrimary) {
    open();
    dragInQt(window, QPointF(100, 100), QPointF(400, 250));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rect, QRectF(100, 732, 300, 150));
    ASSERT_TRUE(results[0].screen.has_value());
    EXPECT_EQ(results[0].screen->name, "Built-in");
    EXPECT_EQ(results[0].screen->frame, QRectF(0, 0, 1512, 982));
}

TEST_F(RegionSelectorTest, DraggingBackwardsGivesTheSameRect) {
    open();
    dragInQt(window, QPointF(400, 250), QPointF(100, 100));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rect, QRectF(100, 732, 300, 150));
}

TEST_F(RegionSelectorTest, DragOnSecondScreenIsGlobalNotScreenRelative) {
    open();
    dragInQt(window, QPointF(1600, 400), QPointF(1801, 503));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rect, QRectF(1600, 479, 201, 103));
    EXPECT_EQ(results[0].screen->name, "Monitor");
    EXPECT_EQ(results[0].screen->frame, QRectF(1512, -200, 1920, 1080));
}

TEST_F(RegionSelectorTest, DragStopsAtTheEdgeOfTheScreenWhereItBegan) {
    open();
    dragInQt(window, QPointF(1400, 900), QPointF(2000, 1150));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rect, QRectF(1400, 0, 112, 82));
    EXPECT_EQ(results[0].screen->name, "Built-in");
}

TEST_F(RegionSelectorTest, DragStartedInAGapBetweenScreensIsIgnored) {
    open();
    dragInQt(window, QPointF(2000, 50), QPointF(2200, 300));
    dragInQt(window, QPointF(200, 1100), QPointF(400, 1150));
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(RegionSelectorTest, SelectionsUnderFourPointsAreDroppedAndTheOverlayStays) {
    open();
    dragInQt(window, QPointF(100, 100), QPointF(100, 100));
    dragInQt(window, QPointF(100, 100), QPointF(103, 200));
    dragInQt(window, QPointF(100, 100), QPointF(200, 103));
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(window->isVisible());
    dragInQt(window, QPointF(100, 100), QPointF(104, 104));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rect->size(), QSizeF(4, 4));
}

TEST_F(RegionSelectorTest, TopPixelRowOfALowerScreenBelongsToThatScreen) {
    open({{"Lower", QRect(0, 0, 1000, 800), 1.0}, {"Upper", QRect(0, -600, 1000, 600), 1.0}});
    dragInQt(window, QPointF(10, 0), QPointF(60, 50));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].screen->name, "Lower");
    EXPECT_EQ(results[0].rect, QRectF(10, 750, 50, 50));
}

TEST_F(RegionSelectorTest, EscapeCancelsOnceHidesTheOverlayAndRestoresTheCursor) {
    open();
    pressEscape();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].rect.has_value());
    EXPECT_FALSE(results[0].screen.has_value());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    runDeferredDeletes();
    EXPECT_TRUE(window.isNull());
}

TEST_F(RegionSelectorTest, EscapeTwiceOrMouseUpAfterEscapeDeliversOneResult) {
    auto fake = std::make_shared<FakeScreens>(laptopAndMonitor());
    openWith(fake);
    auto keepAlive = controller;
    sendMouse(window, QEvent::MouseButtonPress, QPointF(100, 100));
    sendMouse(window, QEvent::MouseMove, QPointF(300, 300));
    pressEscape();
    pressEscape();
    sendMouse(window, QEvent::MouseButtonRelease, QPointF(300, 300));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].rect.has_value());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(RegionSelectorTest, OtherKeysAndButtonsNeverCancelOrSelect) {
    open();
    QTest::keyClick(window, Qt::Key_Return);
    QTest::keyClick(window, Qt::Key_Q);
    sendMouse(window, QEvent::MouseButtonPress, QPointF(100, 100), Qt::RightButton);
    sendMouse(window, QEvent::MouseMove, QPointF(300, 300), Qt::RightButton);
    sendMouse(window, QEvent::MouseButtonRelease, QPointF(300, 300), Qt::RightButton);
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(RegionSelectorTest, ReleasingWithoutAResultPopsTheCursorAndHidesWithoutCompletion) {
    open();
    controller.reset();
    EXPECT_TRUE(results.empty());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    runDeferredDeletes();
    EXPECT_TRUE(window.isNull());
}

TEST_F(RegionSelectorTest, WithoutCompositorTheDesktopStillIsDimmedAndTheSelectionIsNot) {
    auto fake = std::make_shared<FakeScreens>(
        std::vector<platform::QtScreenInfo>{{"A", QRect(0, 0, 400, 300), 1.0}});
    QPixmap white(400, 300);
    white.fill(Qt::white);
    fake->desktop = std::vector<platform::DesktopPiece>{{QRectF(0, 0, 400, 300), white}};
    openWith(fake);
    sendMouse(window, QEvent::MouseButtonPress, QPointF(100, 100));
    sendMouse(window, QEvent::MouseMove, QPointF(300, 250));
    const QImage painted = window->grab().toImage();
    EXPECT_EQ(painted.pixelColor(200, 200), QColor(Qt::white));
    EXPECT_NEAR(painted.pixelColor(20, 280).red(), 140, 2);
    EXPECT_EQ(painted.pixelColor(200, 100), QColor(0, 122, 255));
}

namespace {

// Counts the prompt's dark backing in a strip 45 points below the overlay's top.
int promptPixelsAround(const QImage& painted, int centreX) {
    int dark = 0;
    for (int x = centreX - 60; x < centreX + 60; ++x) {
        for (int y = 46; y < 56; ++y) {
            dark += qRed(painted.pixel(x, y)) < 60 ? 1 : 0;
        }
    }
    return dark;
}

std::optional<std::vector<platform::DesktopPiece>> whiteDesktop(
    const std::vector<platform::QtScreenInfo>& screens) {
    const auto layout = platform::layoutScreens(screens);
    std::vector<platform::DesktopPiece> pieces;
    for (const auto& screen : layout.screens) {
        QPixmap white(screen.frame.size().toSize());
        white.fill(Qt::white);
        pieces.push_back({screen.frame, white});
    }
    return pieces;
}

}  // namespace

TEST_F(RegionSelectorTest, PromptIsCentredOverTheUnionWhenScreensShowItThere) {
    const std::vector<platform::QtScreenInfo> sideBySide{{"A", QRect(0, 0, 800, 600), 1.0},
                                                         {"B", QRect(800, 0, 800, 600), 1.0}};
    auto fake = std::make_shared<FakeScreens>(sideBySide);
    fake->desktop = whiteDesktop(sideBySide);
    openWith(fake);
    const QImage painted = window->grab().toImage();
    EXPECT_GT(promptPixelsAround(painted, 800), 200);
    EXPECT_EQ(promptPixelsAround(painted, 400), 0);
}

TEST_F(RegionSelectorTest, PromptMovesToThePrimaryWhenTheUnionCentreIsInAGap) {
    const std::vector<platform::QtScreenInfo> lowerMonitor{
        {"Built-in", QRect(0, 0, 1512, 982), 1.0}, {"Monitor", QRect(1512, 102, 1920, 1080), 1.0}};
    auto fake = std::make_shared<FakeScreens>(lowerMonitor);
    fake->desktop = whiteDesktop(lowerMonitor);
    openWith(fake);
    const QImage painted = window->grab().toImage();
    EXPECT_GT(promptPixelsAround(painted, 756), 200);
}
