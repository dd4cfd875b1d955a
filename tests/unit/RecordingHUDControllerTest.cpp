#include "main/VideoRecorder/RecordingHUDController.h"

#include <gtest/gtest.h>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

using namespace std::chrono_literals;

namespace {

QLabel* labelReading(QWidget* window, const QString& text) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->text() == text) {
            return label;
        }
    }
    return nullptr;
}

}  // namespace

TEST(RecordingHUDController, TimeTextIsMinutesAndSecondsWithoutHours) {
    EXPECT_EQ(RecordingHUDController::timeText(0s), "00:00");
    EXPECT_EQ(RecordingHUDController::timeText(59s), "00:59");
    EXPECT_EQ(RecordingHUDController::timeText(61s), "01:01");
    EXPECT_EQ(RecordingHUDController::timeText(75min + 3s), "75:03");
    EXPECT_EQ(RecordingHUDController::timeText(100min + 7s), "100:07");
}

TEST(RecordingHUDController, WindowIsTitledFloatingAndPlacedBelowTheTopRight) {
    RecordingHUDController hud([] {});
    QWidget* window = hud.window();
    EXPECT_EQ(window->windowTitle(), "Đang quay");
    EXPECT_EQ(window->size(), QSize(220, 58));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    const QRect visible = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window->x(), visible.x() + visible.width() - 240);
    EXPECT_EQ(window->y() + window->height(), visible.y() + 90);

    QLabel* dot = labelReading(window, QStringLiteral("●"));
    ASSERT_NE(dot, nullptr);
    EXPECT_EQ(dot->font().pixelSize(), 18);
    EXPECT_GT(dot->palette().color(QPalette::WindowText).red(), 200);
    EXPECT_NE(labelReading(window, "00:00"), nullptr);
    EXPECT_FALSE(window->isVisible()) << "built hidden until shown";
    hud.showWindow();
    EXPECT_TRUE(window->isVisible());
    hud.close();
    EXPECT_FALSE(window->isVisible());
}

TEST(RecordingHUDController, TicksShowWholeSecondsElapsedOnTheClock) {
    auto now = std::chrono::steady_clock::time_point(1000s);
    RecordingHUDController hud([] {}, [&now] { return now; });
    EXPECT_NE(labelReading(hud.window(), "00:00"), nullptr);
    now += 59900ms;
    EXPECT_TRUE(QTest::qWaitFor([&] { return labelReading(hud.window(), "00:59"); }, 5000));
    now += 1100ms;
    EXPECT_TRUE(QTest::qWaitFor([&] { return labelReading(hud.window(), "01:01"); }, 5000));
}

TEST(RecordingHUDController, StopButtonCallsItsCallbackOnce) {
    int stops = 0;
    RecordingHUDController hud([&stops] { ++stops; });
    auto* button = hud.window()->findChild<QPushButton*>();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Dừng");
    button->click();
    button->click();
    EXPECT_EQ(stops, 1);
}

TEST(RecordingHUDController, StopCallbackMayReleaseTheControllerDuringTheClick) {
    std::unique_ptr<RecordingHUDController> hud;
    int stops = 0;
    hud = std::make_unique<RecordingHUDController>([&] {
        ++stops;
        hud.reset();
    });
    QPointer<QWidget> window = hud->window();
    window->findChild<QPushButton*>()->click();
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(hud, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }));
}

TEST(RecordingHUDController, EachWindowStopsOnlyItsOwnRecording) {
    int firstStops = 0;
    int secondStops = 0;
    RecordingHUDController first([&firstStops] { ++firstStops; });
    RecordingHUDController second([&secondStops] { ++secondStops; });
    second.window()->findChild<QPushButton*>()->click();
    EXPECT_EQ(firstStops, 0);
    EXPECT_EQ(secondStops, 1);
    first.window()->findChild<QPushButton*>()->click();
    EXPECT_EQ(firstStops, 1);
    EXPECT_EQ(secondStops, 1);
}

TEST(RecordingHUDController, ReleasingTheControllerStopsTheTicks) {
    auto hud = std::make_unique<RecordingHUDController>([] {});
    QPointer<QTimer> timer = hud->findChild<QTimer*>();
    ASSERT_FALSE(timer.isNull());
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 1000);
    hud.reset();
    EXPECT_TRUE(timer.isNull());
}
