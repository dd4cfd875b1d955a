#include "main/RegionSelector.h"
#include "tests/unit/region/FakeScreens.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QPointer>
#include <QTest>

namespace {

using Screens = std::vector<platform::QtScreenInfo>;

// Builds a selector over fake screens and records every result it delivers.
class RegionSelectorTest : public testing::Test {
  protected:
    void open(Screens qtScreens = laptopAndMonitor(), bool whiteDesktop = false) {
        auto screens = std::make_shared<FakeScreens>(std::move(qtScreens));
        if (whiteDesktop) {
            screens->desktop.emplace();
            for (const auto& screen : screens->layout().screens) {
                QPixmap white(screen.frame.size().toSize());
                white.fill(Qt::white);
                screens->desktop->push_back({screen.frame, white});
            }
        }
        results.clear();
        controller = RegionSelectorController::create(
            QStringLiteral("Kéo chuột để chọn vùng chụp  •  Esc để hủy"),
            [this](RegionResult result) {
                results.push_back(result);
                controller.reset();
            },
            screens);
        window = controller->window();
    }
    RegionResult dragged(QPointF from, QPointF to, Screens qtScreens = laptopAndMonitor()) {
        open(std::move(qtScreens));
        dragInQt(window, from, to);
        EXPECT_EQ(results.size(), 1u);
        return results.empty() ? RegionResult{} : results[0];
    }
    void TearDown() override {
        controller.reset();
        runDeferredDeletes();
        EXPECT_EQ(popLeftoverCursors(), 0);
    }

    std::shared_ptr<RegionSelectorController> controller;
    QPointer<QWidget> window;
    std::vector<RegionResult> results;
};

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

}  // namespace

TEST_F(RegionSelectorTest, DragsGiveGlobalRectsWithYUpAndTheScreenTheyBeganOn) {
    const RegionResult onPrimary = dragged(QPointF(400, 250), QPointF(100, 100));
    EXPECT_EQ(onPrimary.rect, QRectF(100, 732, 300, 150));
    ASSERT_TRUE(onPrimary.screen.has_value());
    EXPECT_EQ(onPrimary.screen->frame, QRectF(0, 0, 1512, 982));

    const RegionResult topRow = dragged(
        QPointF(10, 0), QPointF(60, 50),
        {{"Lower", QRect(0, 0, 1000, 800), 1.0}, {"Upper", QRect(0, -600, 1000, 600), 1.0}});
    EXPECT_EQ(topRow.screen->name, "Lower");
    EXPECT_EQ(topRow.rect, QRectF(10, 750, 50, 50));
}

TEST_F(RegionSelectorTest, OnlyLeftDragsOfFourPointsEachWaySelectAndEscapeCancelsOnce) {
    open();
    auto keepAlive = controller;
    EXPECT_EQ(window->geometry(), QRect(0, 0, 3432, 1182));
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
    dragInQt(window, QPointF(100, 100), QPointF(103, 200));
    dragInQt(window, QPointF(100, 100), QPointF(200, 103));
    QTest::keyClick(window, Qt::Key_Return);
    sendMouse(window, QEvent::MouseButtonPress, QPointF(100, 100), Qt::RightButton);
    sendMouse(window, QEvent::MouseMove, QPointF(300, 300), Qt::RightButton);
    sendMouse(window, QEvent::MouseButtonRelease, QPointF(300, 300), Qt::RightButton);
    EXPECT_TRUE(results.empty());
    dragInQt(window, QPointF(100, 100), QPointF(104, 104));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rect->size(), QSizeF(4, 4));

    open();
    sendMouse(window, QEvent::MouseButtonPress, QPointF(100, 100));
    sendMouse(window, QEvent::MouseMove, QPointF(300, 300));
    QTest::keyClick(window, Qt::Key_Escape);
    QTest::keyClick(window, Qt::Key_Escape);
    sendMouse(window, QEvent::MouseButtonRelease, QPointF(300, 300));
    ASSERT_EQ(results.size(), 1u) << "mouse-up after Escape delivers nothing more";
    EXPECT_FALSE(results[0].rect.has_value());
    EXPECT_FALSE(results[0].screen.has_value());
}

TEST_F(RegionSelectorTest, PromptIsCentredOverTheUnionOrOnThePrimaryWhenThatCentreIsInAGap) {
    open({{"A", QRect(0, 0, 800, 600), 1.0}, {"B", QRect(800, 0, 800, 600), 1.0}}, true);
    QImage painted = window->grab().toImage();
    EXPECT_GT(promptPixelsAround(painted, 800), 200);
    EXPECT_EQ(promptPixelsAround(painted, 400), 0);

    controller.reset();
    open(
        {{"Built-in", QRect(0, 0, 1512, 982), 1.0}, {"Monitor", QRect(1512, 102, 1920, 1080), 1.0}},
        true);
    painted = window->grab().toImage();
    EXPECT_GT(promptPixelsAround(painted, 756), 200);
}
