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

// The laptop-and-monitor desk's displays, placed on the root.
class FakeDisplays : public platform::ScreenCapture {
  public:
    Result<std::vector<platform::Display>> displays() override {
        std::vector<platform::Display> found(2);
        found[0].displayID = platform::displayIdentifier("Built-in");
        found[0].pixelGeometry = QRect(0, 0, 3024, 1964);
        found[0].scale = 2;
        found[1].displayID = platform::displayIdentifier("Monitor");
        found[1].pixelGeometry = QRect(3024, 204, 1920, 1080);
        return found;
    }
    std::optional<QString> unavailableReason() const override { return std::nullopt; }
    Result<QImage> still(const platform::Display&, const QRectF&, QSize) override {
        return Error::platform("not used");
    }
};

// Asked for only once the test's own home is in place.
QString recordingsFolder() {
    return CaptureService::rootFolder() + QStringLiteral("/Recordings");
}
const QString expectedName = QStringLiteral("Recording_2024-03-07_09-05-02.mov");

QWidget* visibleHUD() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == "Đang quay") {
            return widget;
        }
    }
    return nullptr;
}

platform::StreamFrame completeFrame(std::chrono::nanoseconds time, QSize size) {
    QImage pixels(size, QImage::Format_RGB32);
    pixels.fill(Qt::darkCyan);
    return platform::StreamFrame{platform::FrameStatus::complete, time, pixels};
}

class VideoFlowTest : public testing::Test {
  protected:
    VideoFlowTest() {
        QDir(recordingsFolder()).removeRecursively();
        CapturePlatform seams;
        seams.screens = std::make_shared<FakeScreens>(laptopAndMonitor());
        seams.screenCapture = std::make_shared<FakeDisplays>();
        seams.makeScreenStream = fakeScreenStreams(control);
        seams.now = [] { return QDateTime(QDate(2024, 3, 7), QTime(9, 5, 2)); };
        service = std::make_unique<CaptureService>(database, seams);
        service->onStatus = [this](const QString& text) { statuses << text; };
        service->onVideoFinished = [this] { ++finished; };
        service->onHistoryChanged = [this] { ++historyChanges; };
    }
    void TearDown() override {
        service.reset();
        runDeferredDeletes();
        QDir(recordingsFolder()).removeRecursively();
        QFile::remove(recordingsFolder());
    }

    // Selects a 300 × 150 point region of the scale-2 laptop screen.
    void selectRegion() {
        service->startVideo();
        dragInQt(visibleOverlay(), QPointF(100, 632), QPointF(400, 782));
    }
    bool startRecording() {
        selectRegion();
        return QTest::qWaitFor([this] { return service->isRecording() && visibleHUD(); }, 5000);
    }
    // Waits for the end, then lets anything that might wrongly follow arrive before counting.
    bool waitForEnd() {
        const bool ended = QTest::qWaitFor([this] { return finished > 0; }, 20000);
        QTest::qWait(100);
        return ended && finished == 1;
    }

    QTemporaryDir folder;
    std::shared_ptr<HistoryDatabase> database = std::make_shared<HistoryDatabase>(folder.path());
    std::shared_ptr<FakeStreamControl> control = std::make_shared<FakeStreamControl>();
    std::unique_ptr<CaptureService> service;
    QStringList statuses;
    int finished = 0;
    int historyChanges = 0;
};

}  // namespace

TEST_F(VideoFlowTest, StopButtonSavesTheRecordingWithItsRowAndTheFiveStatuses) {
    ASSERT_TRUE(startRecording());
    EXPECT_EQ(control->configuration.sourceRect, QRect(200, 1264, 600, 300));
    EXPECT_EQ(control->configuration.outputSize, QSize(600, 300));
    EXPECT_TRUE(control->configuration.showsCursor);
    control->deliver(completeFrame(1s, QSize(600, 300)));
    control->deliver(completeFrame(1s + 33ms, QSize(600, 300)));
    visibleHUD()->findChild<QPushButton*>()->click();
    ASSERT_TRUE(waitForEnd());

    EXPECT_EQ(statuses, QStringList({"Đang chọn vùng quay…", "Đang chuẩn bị quay màn hình…",
                                     "Đang quay màn hình…", "Đang hoàn tất video…",
                                     "Đã lưu: " + expectedName}));
    EXPECT_EQ(historyChanges, 1);
    EXPECT_FALSE(service->isRecording());
    EXPECT_EQ(visibleHUD(), nullptr);
    EXPECT_TRUE(QFile::exists(recordingsFolder() + '/' + expectedName));
    const auto rows = database->recent();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].type, "video");
    EXPECT_EQ(rows[0].path, recordingsFolder() + '/' + expectedName);
}

TEST_F(VideoFlowTest, CancelledSelectionEndsTheAttempt) {
    service->startVideo();
    QTest::keyClick(visibleOverlay(), Qt::Key_Escape);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(statuses, QStringList({"Đang chọn vùng quay…", "Đã hủy quay màn hình"}));
    EXPECT_EQ(control->starts, 0);
}

TEST_F(VideoFlowTest, StopBeforeAnyFrameFailsAndLeavesNoFileOrRow) {
    ASSERT_TRUE(startRecording());
    service->startVideo();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(statuses.last(), "Quay màn hình thất bại: Video chưa có khung hình");
    EXPECT_EQ(historyChanges, 0);
    EXPECT_TRUE(database->recent().empty());
    EXPECT_TRUE(QDir(recordingsFolder()).isEmpty());
}

TEST_F(VideoFlowTest, TogglingAgainWhileFinishingOnlyRepeatsTheStatus) {
    control->holdStop = true;
    ASSERT_TRUE(startRecording());
    control->deliver(completeFrame(1s, QSize(600, 300)));
    service->startVideo();
    service->startVideo();
    service->stopVideo();
    ASSERT_TRUE(QTest::qWaitFor([this] { return control->stops > 0; }));
    QTest::qWait(100);
    EXPECT_EQ(statuses.count("Đang hoàn tất video…"), 3);
    EXPECT_EQ(control->stops, 1);
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(visibleOverlay(), nullptr) << "no new selection while finishing";
    control->releaseStop();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(statuses.last(), "Đã lưu: " + expectedName);
}

TEST_F(VideoFlowTest, UnusableFolderOrStreamIsReportedAndLeavesNoFile) {
    QDir().mkpath(CaptureService::rootFolder());
    QFile blocker(recordingsFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    selectRegion();
    ASSERT_TRUE(waitForEnd());
    EXPECT_TRUE(statuses.last().startsWith("Không thể quay màn hình: Không tạo được thư mục"));
    EXPECT_EQ(control->starts, 0);

    ASSERT_TRUE(blocker.remove());
    finished = 0;
    control->startFailure = Error::platform("Máy chủ X không trả lời");
    selectRegion();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(statuses.last(), "Không thể quay màn hình: Máy chủ X không trả lời");
    EXPECT_FALSE(service->isRecording());
    EXPECT_EQ(visibleHUD(), nullptr);
    EXPECT_TRUE(QDir(recordingsFolder()).isEmpty());
}
