#include "tests/support/E2eSupport.h"
#include "tests/support/WaylandDesktop.h"

#include <gtest/gtest.h>
#include <csignal>

namespace {

const QString mainTitle = QStringLiteral("Quorvastelin 1.0.0");

bool mainWindowShown(const e2e::WaylandDesktop& desktop) {
    const auto window = e2e::findAccessible(
        e2e::parseAccessibles(desktop.bus().read(QStringLiteral("quorvastelin"))),
        QStringLiteral("filler"), mainTitle);
    return window && window->showing;
}

std::optional<e2e::Accessible> label(const e2e::WaylandDesktop& desktop, const QString& text) {
    return e2e::findAccessible(
        e2e::parseAccessibles(desktop.bus().read(QStringLiteral("quorvastelin"))),
        QStringLiteral("label"), text);
}

// The program on headless sway with its portals, as the desktop's user: "Chụp vùng" takes the
// desktop's picture and puts the overlay on each output, a window of its own on each, and
// Escape (from wtype, pressed again while the key is lost) cancels.
TEST(WaylandScreenshot, TheOverlayCoversEachOutputAndEscapeCancels) {
    e2e::WaylandDesktop desktop(true);
    ASSERT_TRUE(desktop.started());
    e2e::Program program(desktop.makeHome(), desktop.bus().environment(), desktop.runAs());
    ASSERT_TRUE(program.start());
    ASSERT_TRUE(e2e::waitUntil([&] { return mainWindowShown(desktop); }));
    ASSERT_TRUE(desktop.bus().press(QStringLiteral("quorvastelin"), QStringLiteral("Chụp vùng")));
    EXPECT_TRUE(e2e::waitUntil([&] {
        int covered = 0;
        for (const e2e::Accessible& node :
             e2e::parseAccessibles(desktop.bus().read(QStringLiteral("quorvastelin")))) {
            covered += node.role == QStringLiteral("filler") && node.showing &&
                       (node.extents == QRect(0, 0, 1280, 720) ||
                        node.extents == QRect(1280, 0, 800, 600));
        }
        return covered == 2;
    }));
    EXPECT_TRUE(e2e::repeatUntil(
        [&] {
            desktop.run(QStringLiteral("wtype"), {"-s", "300", "-k", "Escape"});
        },
        [&] {
            return label(desktop, QStringLiteral("Đã hủy chụp màn hình")) &&
                   mainWindowShown(desktop);
        }));
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), std::optional<int>(0));
}

TEST(WaylandWithoutPortals, TheStatusLineSaysWhatIsMissingAndNothingHangs) {
    e2e::WaylandDesktop desktop(false);
    ASSERT_TRUE(desktop.started());
    e2e::Program program(desktop.makeHome(), desktop.bus().environment(), desktop.runAs());
    ASSERT_TRUE(program.start());
    const QString missing = QStringLiteral(
        "Không thể chụp màn hình: Máy tính để bàn này không có cổng chụp màn hình "
        "(org.freedesktop.portal.Screenshot)");
    ASSERT_TRUE(e2e::waitUntil([&] { return label(desktop, missing).has_value(); }));
    EXPECT_TRUE(desktop.bus().press(QStringLiteral("quorvastelin"), QStringLiteral("Chụp vùng")));
    EXPECT_TRUE(e2e::waitUntil(
        [&] { return mainWindowShown(desktop) && label(desktop, missing).has_value(); }));
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), std::optional<int>(0));
}

}  // namespace
