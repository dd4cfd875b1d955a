#include "main/VideoRecorder/RecordingHUDController.h"

#include <gtest/gtest.h>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace std::chrono_literals;

namespace {

bool showsLabel(QWidget* window, const QString& text) {
    const auto labels = window->findChildren<QLabel*>();
    return std::any_of(labels.begin(), labels.end(),
                       [&](QLabel* label) { return label->text() == text; });
}

}  // namespace

TEST(RecordingHUDController, WindowSitsAtTheTopRightAndItsStopMayReleaseTheHUDDuringTheClick) {
    std::unique_ptr<RecordingHUDController> hud;
    hud = std::make_unique<RecordingHUDController>([&] { hud.reset(); });
    QPointer<QWidget> window = hud->window();
    EXPECT_EQ(window->windowTitle(), "Đang quay");
    const QRect visible = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(QRect(window->pos(), window->size()),
              QRect(visible.right() + 1 - 240, visible.y() + 90 - 58, 220, 58));
    EXPECT_TRUE(showsLabel(window, "●") && showsLabel(window, "00:00"));
    hud->showWindow();
    auto* button = window->findChild<QPushButton*>();
    EXPECT_EQ(button->text(), "Dừng");
    button->click();
    EXPECT_EQ(hud, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }));
}

TEST(RecordingHUDController, ClockShowsWholeMinutesAndSecondsElapsed) {
    EXPECT_EQ(RecordingHUDController::timeText(75min + 3s), "75:03");
    EXPECT_EQ(RecordingHUDController::timeText(100min + 7s), "100:07");
    auto now = std::chrono::steady_clock::time_point(1000s);
    RecordingHUDController hud([] {}, [&now] { return now; });
    now += 59900ms;
    EXPECT_TRUE(QTest::qWaitFor([&] { return showsLabel(hud.window(), "00:59"); }, 5000));
    now += 1100ms;
    EXPECT_TRUE(QTest::qWaitFor([&] { return showsLabel(hud.window(), "01:01"); }, 5000));
}
