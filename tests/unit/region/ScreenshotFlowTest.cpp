#include "main/CaptureService/CaptureService.h"
#include "tests/unit/region/FakeScreens.h"

#include <gtest/gtest.h>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

namespace {

class ScreenshotFlowTest : public testing::Test {
  protected:
    void SetUp() override {
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

    QTemporaryDir folder;
    std::unique_ptr<CaptureService> service = std::make_unique<CaptureService>(
        std::make_shared<HistoryDatabase>(folder.path()), fakeDesk());
    QStringList statuses;
    std::vector<std::optional<QImage>> images;
};

}  // namespace

TEST_F(ScreenshotFlowTest, SecondRequestReplacesTheOverlayWithoutStrayCompletionOrCursor) {
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    std::vector<std::optional<QImage>> firstImages;
    service->takeScreenshot([&](std::optional<QImage> image) { firstImages.push_back(image); });
    QPointer<QWidget> firstOverlay = shownWindow();
    take();
    runDeferredDeletes();
    EXPECT_TRUE(firstOverlay.isNull());
    QTest::keyClick(shownWindow(), Qt::Key_Escape);
    QTest::qWait(200);
    EXPECT_TRUE(firstImages.empty());
    EXPECT_EQ(images.size(), 1u);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
    QGuiApplication::restoreOverrideCursor();

    // Released while selecting, the service never completes.
    take();
    QPointer<QWidget> overlay = shownWindow();
    service.reset();
    runDeferredDeletes();
    EXPECT_TRUE(overlay.isNull());
    EXPECT_EQ(images.size(), 1u);
}
