#include "main/CaptureService/CaptureService.h"
#include "tests/unit/region/FakeScreens.h"

#include <gtest/gtest.h>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

namespace {

class ScreenshotFlowTest : public testing::Test {
  protected:
    ScreenshotFlowTest() {
        CapturePlatform seams;
        seams.screens = std::make_shared<FakeScreens>(laptopAndMonitor());
        seams.screenCapture = capture;
        service = std::make_unique<CaptureService>(std::make_shared<HistoryDatabase>(folder.path()),
                                                   seams);
        service->onStatus = [this](const QString& text) { statuses << text; };
    }
    void TearDown() override {
        service.reset();
        runDeferredDeletes();
        EXPECT_EQ(popLeftoverCursors(), 0);
    }
    void take() {
        service->takeScreenshot([this](std::optional<QImage> image) { images.push_back(image); });
    }
    bool waitForCompletion() {
        return QTest::qWaitFor([this] { return !images.empty(); }, 5000);
    }

    QTemporaryDir folder;
    std::shared_ptr<FakeScreenCapture> capture = std::make_shared<FakeScreenCapture>();
    std::unique_ptr<CaptureService> service;
    QStringList statuses;
    std::vector<std::optional<QImage>> images;
};

}  // namespace

TEST_F(ScreenshotFlowTest, RegionOnRetinaScreenIsCapturedAtTwiceItsPointsAfterTheStatusAndTheWait) {
    take();
    dragInQt(visibleOverlay(), QPointF(100, 632), QPointF(400, 782));
    EXPECT_EQ(statuses, QStringList{"Đang chụp màn hình…"});
    EXPECT_TRUE(capture->requests.empty()) << "the pixels are read only after the wait";
    ASSERT_TRUE(waitForCompletion());
    ASSERT_EQ(capture->requests.size(), 1u);
    EXPECT_EQ(capture->requests[0].displayID, platform::displayIdentifier("Built-in"));
    EXPECT_EQ(capture->requests[0].sourceRect, QRectF(100, 632, 300, 150));
    EXPECT_EQ(capture->requests[0].outputSize, QSize(600, 300));
    ASSERT_TRUE(images.at(0).has_value());
    EXPECT_EQ(images[0]->size(), QSize(600, 300));
    EXPECT_EQ(images[0]->deviceIndependentSize(), QSizeF(300, 150));
    EXPECT_EQ(statuses.size(), 1);
}

TEST_F(ScreenshotFlowTest, UnreachableCaptureBackendCompletesWithNothingAndSaysWhy) {
    capture->available = false;
    take();
    dragInQt(visibleOverlay(), QPointF(100, 100), QPointF(200, 200));
    ASSERT_TRUE(waitForCompletion());
    EXPECT_FALSE(images[0].has_value());
    EXPECT_EQ(statuses.last(), "Không thể chụp màn hình: Cần phiên X11 để chụp màn hình");
}

TEST_F(ScreenshotFlowTest, SecondRequestReplacesTheOverlayWithoutStrayCompletionOrCursor) {
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    std::vector<std::optional<QImage>> firstImages;
    service->takeScreenshot([&](std::optional<QImage> image) { firstImages.push_back(image); });
    QPointer<QWidget> firstOverlay = visibleOverlay();
    take();
    runDeferredDeletes();
    EXPECT_TRUE(firstOverlay.isNull());
    ASSERT_NE(visibleOverlay(), nullptr);
    QTest::keyClick(visibleOverlay(), Qt::Key_Escape);
    QTest::qWait(200);
    EXPECT_TRUE(firstImages.empty());
    EXPECT_EQ(images.size(), 1u);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
    QGuiApplication::restoreOverrideCursor();

    // Released while selecting, the service never completes.
    take();
    QPointer<QWidget> overlay = visibleOverlay();
    service.reset();
    runDeferredDeletes();
    EXPECT_TRUE(overlay.isNull());
    EXPECT_EQ(images.size(), 1u);
}
