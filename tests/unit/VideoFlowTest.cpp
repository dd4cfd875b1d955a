#include "main/CaptureService/CaptureService.h"
#include "tests/support/FakeScreenStream.h"
#include "tests/unit/region/FakeScreens.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {

QWidget* visibleHUD() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == "Đang quay") {
            return widget;
        }
    }
    return nullptr;
}

class VideoFlowTest : public testing::Test {
  protected:
    VideoFlowTest() {
        QDir(recordings).removeRecursively();
        service = std::make_unique<CaptureService>(
            database,
            CapturePlatform{.now = [] { return QDateTime(QDate(2024, 3, 7), QTime(9, 5, 2)); },
                            .screens = std::make_shared<FakeScreens>(),
                            .screenCapture = std::make_shared<FakeScreenCapture>(),
                            .makeScreenStream = fakeScreenStreams(control)});
        service->onStatus = [this](const QString& text) { statuses << text; };
        service->onVideoFinished = [this] { ++finished; };
    }
    void TearDown() override {
        service.reset();
        runDeferredDeletes();
        QDir(recordings).removeRecursively();
    }

    // Selects a 300 × 150 point region of the scale-2 laptop screen.
    bool startRecording() {
        service->startVideo();
        dragInQt(visibleOverlay(), QPointF(100, 632), QPointF(400, 782));
        return QTest::qWaitFor([this] { return service->isRecording() && visibleHUD(); }, 5000);
    }
    void deliverFrame(std::chrono::nanoseconds time) {
        QImage pixels(600, 300, QImage::Format_RGB32);
        pixels.fill(Qt::darkCyan);
        control->deliver({platform::FrameStatus::complete, time, pixels});
    }
    // Waits for the end, then lets anything that might wrongly follow arrive before counting.
    bool waitForEnd() {
        const bool ended = QTest::qWaitFor([this] { return finished > 0; }, 20000);
        QTest::qWait(100);
        return ended && std::exchange(finished, 0) == 1;
    }

    const QString recordings = CaptureService::rootFolder() + QStringLiteral("/Recordings");
    const QString saved = recordings + "/Recording_2024-03-07_09-05-02.mov";
    QTemporaryDir folder;
    std::shared_ptr<HistoryDatabase> database = std::make_shared<HistoryDatabase>(folder.path());
    std::shared_ptr<FakeStreamControl> control = std::make_shared<FakeStreamControl>();
    std::unique_ptr<CaptureService> service;
    QStringList statuses;
    int finished = 0;
};

}  // namespace

TEST_F(VideoFlowTest, StopButtonSavesTheRecordingWithItsRowAndTheFiveStatuses) {
    ASSERT_TRUE(startRecording());
    EXPECT_EQ(control->configuration.sourceRect, QRect(200, 1264, 600, 300));
    EXPECT_EQ(control->configuration.outputSize, QSize(600, 300));
    deliverFrame(1s);
    deliverFrame(1s + 33ms);
    visibleHUD()->findChild<QPushButton*>()->click();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(statuses, QStringList({"Đang chọn vùng quay…", "Đang chuẩn bị quay màn hình…",
                                     "Đang quay màn hình…", "Đang hoàn tất video…",
                                     "Đã lưu: Recording_2024-03-07_09-05-02.mov"}));
    EXPECT_EQ(visibleHUD(), nullptr);
    EXPECT_TRUE(QFile::exists(saved));
    ASSERT_EQ(database->recent().size(), 1u);
    EXPECT_EQ(database->recent()[0].path, saved);
}

TEST_F(VideoFlowTest, TogglingWhileFinishingOnlyRepeatsTheStatusAndAFramelessStopFails) {
    control->holdStop = true;
    ASSERT_TRUE(startRecording());
    deliverFrame(1s);
    service->startVideo();
    service->startVideo();
    service->stopVideo();
    ASSERT_TRUE(QTest::qWaitFor([this] { return control->stops > 0; }));
    QTest::qWait(100);
    EXPECT_EQ(statuses.count("Đang hoàn tất video…"), 3);
    EXPECT_EQ(control->stops, 1);
    EXPECT_EQ(visibleOverlay(), nullptr) << "no new selection while finishing";
    control->releaseStop();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(statuses.last(), "Đã lưu: Recording_2024-03-07_09-05-02.mov");

    QFile::remove(saved);
    control->holdStop = false;
    ASSERT_TRUE(startRecording());
    service->startVideo();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(statuses.last(), "Quay màn hình thất bại: Video chưa có khung hình");
    EXPECT_EQ(database->recent().size(), 1u);
    EXPECT_TRUE(QDir(recordings).isEmpty());
}
