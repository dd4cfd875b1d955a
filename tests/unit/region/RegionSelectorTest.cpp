#include "main/RegionSelector.h"
#include "tests/unit/region/FakeScreens.h"

#include <gtest/gtest.h>
#include <QPointer>
#include <QTest>

TEST(RegionSelector, OnlyLeftDragsOfFourPointsEachWaySelectAndEscapeCancelsOnce) {
    std::shared_ptr<RegionSelectorController> controller;
    std::vector<RegionResult> results;
    QPointer<QWidget> window;
    const auto open = [&] {
        results.clear();
        controller = RegionSelectorController::create("Kéo chuột để chọn vùng chụp  •  Esc để hủy",
                                                      [&](RegionResult result) {
                                                          results.push_back(result);
                                                          controller.reset();
                                                      },
                                                      std::make_shared<FakeScreens>(), {});
        window = controller->window();
    };
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
    dragInQt(window, QPointF(104, 104), QPointF(100, 100));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rect, QRectF(100, 878, 4, 4));
    EXPECT_EQ(results[0].screen->name, "Built-in");

    open();
    sendMouse(window, QEvent::MouseButtonPress, QPointF(100, 100));
    sendMouse(window, QEvent::MouseMove, QPointF(300, 300));
    QTest::keyClick(window, Qt::Key_Escape);
    QTest::keyClick(window, Qt::Key_Escape);
    sendMouse(window, QEvent::MouseButtonRelease, QPointF(300, 300));
    ASSERT_EQ(results.size(), 1u) << "mouse-up after Escape delivers nothing more";
    EXPECT_FALSE(results[0].rect.has_value() || results[0].screen.has_value());
    keepAlive.reset();
    runDeferredDeletes();
    EXPECT_EQ(popLeftoverCursors(), 0);
}
