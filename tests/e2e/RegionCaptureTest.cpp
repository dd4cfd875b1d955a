#include "main/CaptureService/CaptureService.h"
#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

// The capture service of this process, driven with the real pointer: a monitor removed mid-drag
// ends either kind of capture once, with its error, and no file.
TEST(RegionCapture, AMonitorRemovedMidDragEndsAScreenshotOrARecordingWithItsError) {
    QTemporaryDir support;
    CaptureService service(
        std::make_shared<HistoryDatabase>(support.path()),
        CapturePlatform::of(platform::backendsFor(platform::KeyboardDesktop::x11)));
    QStringList statuses;
    int ends = 0;
    service.onStatus = [&](const QString& text) { statuses << text; };
    service.onVideoFinished = [&] { ++ends; };
    const struct {
        std::function<void()> start;
        QString status;
    } rows[] = {
        {[&] { service.takeScreenshot([&](std::optional<QImage>) { ++ends; }); },
         "Không thể chụp màn hình: Không tìm thấy màn hình đã chọn"},
        {[&] { service.startVideo(); }, "Không thể quay màn hình: Không tìm thấy màn hình đã chọn"},
    };
    for (const auto& row : rows) {
        row.start();
        ASSERT_TRUE(
            e2e::waitUntil([] { return e2e::overlayShown(QCoreApplication::applicationPid()); }));
        e2e::drag({2100, 100}, {2500, 400}, [] {
            ASSERT_EQ(e2e::runTool("xrandr", {"--delmonitor", "B"}).exitCode, 0);
        });
        // A moment more after the end, for a stray second one.
        ASSERT_TRUE(e2e::waitUntil([&] { return ends > 0; }));
        QTest::qWait(300);
        EXPECT_EQ(std::exchange(ends, 0), 1);
        EXPECT_EQ(statuses.last(), row.status);
        e2e::setMonitor("B", e2e::monitorB, "none");
        ASSERT_TRUE(e2e::waitUntil([] { return QGuiApplication::screens().size() == 2; }));
    }
    EXPECT_FALSE(e2e::xdotool({"search", "--onlyvisible", "--name", "^Đang quay$"}));
    EXPECT_FALSE(QDir(QDir::homePath() + "/Documents/Quorvastelin/Recordings").exists());
}
