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

QLabel* labelReading(QWidget* window, const QString& text) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->text() == text) {
            return label;
        }
    }
    return nullptr;
}

}  // namespace

TEST(RecordingHUDController, WindowIsTitledFloatingPlacedAndStopsOnce) {
    int stops = 0;
    RecordingHUDController hud([&stops] { ++stops; });
    QWidget* window = hud.window();
    EXPECT_EQ(window->windowTitle(), "Đang quay");
    EXPECT_EQ(window->size(), QSize(220, 58));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(window->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                                          Qt::WindowMaximizeButtonHint));
    const QRect visible = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window->x(), visible.x() + visible.width() - 240);
    EXPECT_EQ(window->y() + window->height(), visible.y() + 90);
    QLabel* dot = labelReading(window, QStringLiteral("●"));
    ASSERT_NE(dot, nullptr);
    EXPECT_GT(dot->palette().color(QPalette::WindowText).red(), 200);
    EXPECT_NE(labelReading(window, "00:00"), nullptr);
    hud.showWindow();
    EXPECT_TRUE(window->isVisible());

    auto* button = window->findChild<QPushButton*>();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Dừng");
    button->click();
    button->click();
    EXPECT_EQ(stops, 1);
    hud.close();
    EXPECT_FALSE(window->isVisible());
}

TEST(RecordingHUDController, ClockShowsWholeMinutesAndSecondsElapsed) {
    EXPECT_EQ(RecordingHUDController::timeText(75min + 3s), "75:03");
    EXPECT_EQ(RecordingHUDController::timeText(100min + 7s), "100:07");
    auto now = std::chrono::steady_clock::time_point(1000s);
    RecordingHUDController hud([] {}, [&now] { return now; });
    now += 59900ms;
    EXPECT_TRUE(QTest::qWaitFor([&] { return labelReading(hud.window(), "00:59"); }, 5000));
    now += 1100ms;
    EXPECT_TRUE(QTest::qWaitFor([&] { return labelReading(hud.window(), "01:01"); }, 5000));
}

TEST(RecordingHUDController, StopCallbackMayReleaseTheControllerDuringTheClick) {
    std::unique_ptr<RecordingHUDController> hud;
    hud = std::make_unique<RecordingHUDController>([&] { hud.reset(); });
    QPointer<QWidget> window = hud->window();
    window->findChild<QPushButton*>()->click();
    EXPECT_EQ(hud, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }));
}
