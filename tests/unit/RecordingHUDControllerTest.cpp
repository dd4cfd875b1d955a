#include "main/VideoRecorder/RecordingHUDController.h"

#include <gtest/gtest.h>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace std::chrono_literals;

TEST(RecordingHUDController, ClockShowsWholeMinutesAndStopMayReleaseTheHUDDuringTheClick) {
    EXPECT_EQ(RecordingHUDController::timeText(100min + 7s), "100:07");
    std::unique_ptr<RecordingHUDController> hud;
    hud = std::make_unique<RecordingHUDController>([&] { hud.reset(); },
                                                   std::make_shared<platform::WindowPlacement>());
    QPointer<QWidget> window = hud->window();
    hud->showWindow();
    window->findChild<QPushButton*>()->click();
    EXPECT_EQ(hud, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }));
}
