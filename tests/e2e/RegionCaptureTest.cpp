#include "main/CaptureService/CaptureService.h"
#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool overlayShown() {
    return e2e::overlayShown(QCoreApplication::applicationPid());
}

// The capture service of this process over the two monitors showing the position pattern,
// driven with the real pointer in root window pixels.
class RegionCaptureTest : public testing::Test {
  protected:
    void SetUp() override {
        e2e::showOnRoot(e2e::positionPattern());
        service.onStatus = [this](const QString& text) { statuses << text; };
        service.onVideoFinished = [this] { ++ends; };
    }

    // Waits for the capture to end, and a moment more for a stray second end.
    void expectOneEnd() {
        ASSERT_TRUE(e2e::waitUntil([this] { return ends > 0; }));
        QTest::qWait(300);
        EXPECT_EQ(ends, 1);
        ends = 0;
    }

    QTemporaryDir support;
    CaptureService service{std::make_shared<HistoryDatabase>(support.path())};
    QStringList statuses;
    int ends = 0;
};

}  // namespace

// Each row a drag and the root pixels the screenshot must hold exactly: the region on either
// monitor, clamped to the screen the drag began on; mid-drag the overlay shows the desktop
// undimmed inside the selection and dimmed outside. A drag from the gap above A selects nothing
// and Escape pressed twice cancels once.
TEST_F(RegionCaptureTest, ScreenshotsHoldExactlyThePixelsDraggedOnEitherMonitorClampedToIt) {
    const struct {
        QPoint from, to;
        QRect captured;
    } drags[] = {
        {{700, 650}, {300, 400}, {300, 400, 400, 250}},
        {{2000, 100}, {2400, 300}, {2000, 100, 400, 200}},
        {{1700, 900}, {2300, 1150}, {1700, 900, 220, 250}},
        {{100, 50}, {400, 400}, {}},
    };
    for (const auto& drag : drags) {
        SCOPED_TRACE(drag.from.x());
        std::optional<QImage> image;
        service.takeScreenshot([&](std::optional<QImage> result) {
            image = std::move(result);
            ++ends;
        });
        ASSERT_TRUE(e2e::waitUntil(overlayShown));
        e2e::drag(drag.from, drag.to, [&] {
            const QPoint inside = drag.captured.center();
            const QPoint outside(drag.captured.left() - 20, inside.y());
            // Taken again until the overlay has painted the drag.
            EXPECT_TRUE(drag.captured.isEmpty() || e2e::waitUntil([&] {
                            const QImage picture(e2e::saveScreenPicture(
                                QStringLiteral("region-drag-%1").arg(drag.from.x())));
                            return !picture.isNull() &&
                                   picture.pixel(inside) ==
                                       e2e::positionColour(inside.x(), inside.y()) &&
                                   qRed(picture.pixel(outside)) <
                                       qRed(e2e::positionColour(outside.x(), outside.y()));
                        }));
        });
        if (drag.captured.isEmpty()) {
            EXPECT_TRUE(overlayShown());
            e2e::xdotool({"key", "Escape", "Escape"});
        }
        expectOneEnd();
        ASSERT_EQ(image.has_value(), !drag.captured.isEmpty());
        EXPECT_TRUE(!image || image->convertToFormat(QImage::Format_RGB32) ==
                                  e2e::positionPattern().copy(drag.captured));
    }
    EXPECT_FALSE(overlayShown());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// A monitor removed mid-drag ends either kind of capture once, with its error, and no file.
TEST_F(RegionCaptureTest, AMonitorRemovedMidDragEndsAScreenshotOrARecordingWithItsError) {
    const struct {
        std::function<void()> start;
        QString status;
    } rows[] = {
        {[this] { service.takeScreenshot([this](std::optional<QImage>) { ++ends; }); },
         "Không thể chụp màn hình: Không tìm thấy màn hình đã chọn"},
        {[this] { service.startVideo(); },
         "Không thể quay màn hình: Không tìm thấy màn hình đã chọn"},
    };
    for (const auto& row : rows) {
        row.start();
        ASSERT_TRUE(e2e::waitUntil(overlayShown));
        e2e::drag({2100, 100}, {2500, 400}, [] {
            ASSERT_EQ(e2e::runTool("xrandr", {"--delmonitor", "B"}).exitCode, 0);
        });
        expectOneEnd();
        EXPECT_EQ(statuses.last(), row.status);
        e2e::setMonitor("B", e2e::monitorB, "none");
        ASSERT_TRUE(e2e::waitUntil([] { return QGuiApplication::screens().size() == 2; }));
    }
    EXPECT_FALSE(e2e::xdotool({"search", "--onlyvisible", "--name", "^Đang quay$"}));
    EXPECT_FALSE(QDir(QDir::homePath() + "/Documents/Quorvastelin/Recordings").exists());
}
