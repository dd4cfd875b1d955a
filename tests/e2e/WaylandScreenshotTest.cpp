#include "tests/support/E2eSupport.h"
#include "tests/support/HistoryFile.h"
#include "tests/support/WaylandDesktop.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QRegularExpression>
#include <csignal>

namespace {

const QString mainTitle = QStringLiteral("Quorvastelin 1.0.0");
const QString editorTitle = QStringLiteral("Chỉnh sửa ảnh — Quorvastelin");

bool mainWindowShown(const e2e::WaylandDesktop& desktop) {
    const auto window = e2e::findAccessible(
        e2e::parseAccessibles(desktop.bus().read(QStringLiteral("quorvastelin"))),
        QStringLiteral("filler"), mainTitle);
    return window && window->showing;
}

std::optional<QString> statusStartingWith(const e2e::WaylandDesktop& desktop,
                                          const QString& prefix) {
    for (const e2e::Accessible& node :
         e2e::parseAccessibles(desktop.bus().read(QStringLiteral("quorvastelin")))) {
        if (node.role == QStringLiteral("label") && node.name.startsWith(prefix)) {
            return node.name;
        }
    }
    return std::nullopt;
}

// One window of ours covering each output.
bool overlayCoversEachOutput(const e2e::WaylandDesktop& desktop) {
    int covered = 0;
    for (const e2e::Accessible& node :
         e2e::parseAccessibles(desktop.bus().read(QStringLiteral("quorvastelin")))) {
        covered +=
            node.role == QStringLiteral("filler") && node.showing &&
            (node.extents == QRect(0, 0, 1280, 720) || node.extents == QRect(1280, 0, 800, 600));
    }
    return covered == 2;
}

std::optional<e2e::Accessible> label(const e2e::WaylandDesktop& desktop, const QString& text) {
    return e2e::findAccessible(
        e2e::parseAccessibles(desktop.bus().read(QStringLiteral("quorvastelin"))),
        QStringLiteral("label"), text);
}

// The program on headless sway with its portals, as the desktop's user: "Chụp vùng" takes the
// desktop's picture and puts the overlay on each output, a window of its own on each, and
// Escape (from wtype, pressed again while the key is lost) cancels. Told it runs on a desktop
// whose keyboard it cannot reach, it says so and leaves Windows Mode off.
TEST(WaylandScreenshot, TheOverlayCoversEachOutputAndEscapeCancels) {
    e2e::WaylandDesktop desktop(true);
    ASSERT_TRUE(desktop.started());
    e2e::Program program(desktop.makeHome(), desktop.bus().environment(),
                         desktop.runAs() + QStringList{"SWAYSOCK=", "XDG_CURRENT_DESKTOP=weston"});
    ASSERT_TRUE(program.start());
    ASSERT_TRUE(e2e::waitUntil([&] { return mainWindowShown(desktop); }));
    EXPECT_TRUE(label(desktop,
                      "Không thể đổi phím Command → Control: chưa hỗ trợ máy tính để bàn "
                      "này (weston)"));
    EXPECT_TRUE(label(desktop, "Command → Control đang tắt"));
    // A press that reaches the window before it is ready to act goes unseen; press again.
    ASSERT_TRUE(e2e::repeatUntil(
        [&] { desktop.bus().press(QStringLiteral("quorvastelin"), QStringLiteral("Chụp vùng")); },
        [&] { return overlayCoversEachOutput(desktop); }));
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

// The whole cycle on each output, one at scale 2 and one at scale 1: "Chụp vùng" clicked with
// the pointer, a drag there, Return in the editor. The saved picture is the output's own pixels
// under the region, the clipboard holds the same bytes, and the history lists it.
TEST(WaylandScreenshot, SavesExactlyTheDraggedPixelsOfEitherOutputAndCopiesThem) {
    e2e::WaylandDesktop desktop(true);
    ASSERT_TRUE(desktop.started());
    // Plugged in before the program starts, as a mouse is.
    e2e::WaylandPointer pointer(desktop);
    const QString home = desktop.makeHome();
    e2e::Program program(home, desktop.bus().environment(), desktop.runAs());
    ASSERT_TRUE(program.start());
    const struct {
        QString output;
        QPoint origin;
        int scale;
        QPoint from;
        QPoint to;
    } drags[] = {
        {QStringLiteral("HEADLESS-2"), QPoint(1280, 0), 2, QPoint(1400, 100), QPoint(1600, 250)},
        {QStringLiteral("HEADLESS-1"), QPoint(0, 0), 1, QPoint(100, 120), QPoint(420, 330)},
    };
    for (const auto& drag : drags) {
        SCOPED_TRACE(drag.output.toStdString());
        ASSERT_TRUE(e2e::waitUntil([&] { return mainWindowShown(desktop); }));
        // Clicked where the desktop shows the button; a click while the desktop still places
        // the window goes elsewhere, and the user clicks again.
        ASSERT_TRUE(e2e::repeatUntil(
            [&] {
                const auto button = e2e::findAccessible(
                    e2e::parseAccessibles(desktop.bus().read(QStringLiteral("quorvastelin"))),
                    QStringLiteral("push button"), QStringLiteral("Chụp vùng"));
                if (const auto origin = desktop.contentOrigin(mainTitle); button && origin) {
                    pointer.moveTo(*origin + button->extents.center());
                    pointer.press();
                    pointer.release();
                }
            },
            [&] { return overlayCoversEachOutput(desktop); }));

        // The drag begins once the overlay is on screen there, dimming the output's picture.
        const QRect pixels(
            (drag.from - drag.origin) * drag.scale,
            QSize(drag.to.x() - drag.from.x(), drag.to.y() - drag.from.y()) * drag.scale);
        const QImage picture = e2e::WaylandDesktop::outputPicture(drag.output);
        ASSERT_TRUE(pointer.moveTo(drag.from));
        ASSERT_TRUE(e2e::waitUntil([&] {
            const QImage shown = desktop.outputShown(drag.output);
            return !shown.isNull() &&
                   shown.pixel(pixels.topLeft()) != picture.pixel(pixels.topLeft());
        }));
        // A drag the desktop did not pass on is made again, as a user would.
        ASSERT_TRUE(e2e::repeatUntil(
            [&] { pointer.drag(drag.from, drag.to); },
            [&] {
                const auto editor = e2e::findAccessible(
                    e2e::parseAccessibles(desktop.bus().read(QStringLiteral("quorvastelin"))),
                    QStringLiteral("filler"), editorTitle);
                return editor && editor->showing;
            }));
        const QString savedPrefix = QStringLiteral("Đã lưu và sao chép: ");
        std::optional<QString> saved;
        ASSERT_TRUE(e2e::repeatUntil(
            [&] {
                desktop.run(QStringLiteral("wtype"), {"-s", "300", "-k", "Return"});
            },
            [&] {
                saved = statusStartingWith(desktop, savedPrefix);
                return saved && mainWindowShown(desktop);
            }));
        const QString path =
            home + "/Documents/Quorvastelin/Screenshots/" + saved->mid(savedPrefix.size());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_EQ(QImage::fromData(bytes, "PNG").convertToFormat(QImage::Format_RGB32),
                  picture.copy(pixels));
        EXPECT_EQ(desktop.run(QStringLiteral("wl-paste"), {"-t", "image/png"}).output, bytes);
        EXPECT_EQ(desktop.run(QStringLiteral("wl-paste"), {"--list-types"}).output, "image/png\n");
        EXPECT_EQ(historyFile::read(home + "/.local/share/Quorvastelin/history.db").rows.front(),
                  std::make_pair(QStringLiteral("screenshot"), path));
    }
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

// What the left Super key and the right Alt key produce in the keymap sway hands its clients.
std::pair<QString, QString> superAndRightAlt(const e2e::WaylandDesktop& desktop) {
    const QString keymap = desktop.clientKeymap();
    static const QRegularExpression superKey(QStringLiteral(R"(key <LWIN>\s*\{\s*\[\s*(\w+))"));
    static const QRegularExpression rightAlt(QStringLiteral(R"(key <RALT>\s*\{[^}]*\[\s*(\w+))"));
    return {superKey.match(keymap).captured(1), rightAlt.match(keymap).captured(1)};
}

// Whether sway still holds a binding for Control plus this key; sway tells only by refusing to
// remove one it does not have.
bool swayBindsControlWith(const e2e::WaylandDesktop& desktop, const char* key) {
    return desktop.run(QStringLiteral("swaymsg"), {QStringLiteral("unbindsym Ctrl+") + key})
               .exitCode == 0;
}

// sway in a window of an Xvfb, whose keyboard it configures as a real one: while the program
// runs, left Super is Control there, the user's compose key stays, and sway's Control+4 and
// Control+5 (typed on that keyboard, held as people hold them) select a region for a screenshot
// and a recording, also after a reload of sway's configuration has dropped both and the upkeep
// put them back.
// However the program ends, only the user's option remains.
TEST(WaylandKeyboard, OnSwayWindowsModeAndTheHotKeysLastExactlyAsLongAsTheProgram) {
    e2e::WaylandDesktop desktop(true, std::nullopt, true);
    ASSERT_TRUE(desktop.started());
    const auto mapped = std::pair{QStringLiteral("Control_L"), QStringLiteral("Multi_key")};
    const auto unmapped = std::pair{QStringLiteral("Super_L"), QStringLiteral("Multi_key")};
    ASSERT_EQ(superAndRightAlt(desktop), unmapped);
    const struct {
        int signal;
        std::optional<int> exitStatus;
    } endings[] = {{0, 0}, {SIGTERM, 0}, {SIGKILL, -1}};
    for (const auto& ending : endings) {
        SCOPED_TRACE(ending.signal);
        e2e::Program program(desktop.makeHome(), desktop.bus().environment(), desktop.runAs());
        ASSERT_TRUE(program.start());
        ASSERT_TRUE(e2e::waitUntil([&] { return superAndRightAlt(desktop) == mapped; }));
        ASSERT_TRUE(e2e::waitUntil([&] {
            return label(desktop, QStringLiteral("● Command → Control đang hoạt động")).has_value();
        }));
        if (ending.signal == 0) {
            desktop.run(QStringLiteral("swaymsg"), {QStringLiteral("reload")});
            const struct {
                const char* key;
                QString selecting;
                QString cancelled;
            } hotKeys[] = {{"4", "Đang chọn vùng chụp…", "Đã hủy chụp màn hình"},
                           {"5", "Đang chọn vùng quay…", "Đã hủy quay màn hình"}};
            for (const auto& hotKey : hotKeys) {
                // Pressed again until the upkeep has bound the keys anew after the reload.
                EXPECT_TRUE(e2e::repeatUntil(
                    [&] {
                        desktop.typeOnXServer({"keydown", "Control_L", "keydown", hotKey.key,
                                               "sleep", "0.4", "keyup", hotKey.key, "keyup",
                                               "Control_L"});
                    },
                    [&] { return label(desktop, hotKey.selecting).has_value(); }));
                EXPECT_TRUE(e2e::repeatUntil(
                    [&] {
                        desktop.typeOnXServer({"key", "Escape"});
                    },
                    [&] { return label(desktop, hotKey.cancelled).has_value(); }));
            }
            EXPECT_EQ(superAndRightAlt(desktop), mapped);
            EXPECT_TRUE(
                desktop.bus().press(QStringLiteral("quorvastelin"), QStringLiteral("Thoát")));
        } else {
            program.signal(ending.signal);
        }
        EXPECT_EQ(program.waitForExit(), ending.exitStatus);
        EXPECT_TRUE(e2e::waitUntil([&] { return superAndRightAlt(desktop) == unmapped; }));
        if (ending.signal != SIGKILL) {
            EXPECT_FALSE(swayBindsControlWith(desktop, "4"));
            EXPECT_FALSE(swayBindsControlWith(desktop, "5"));
        }
    }
}

}  // namespace
