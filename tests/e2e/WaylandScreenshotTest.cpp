#include "tests/support/E2eSupport.h"
#include "tests/support/HistoryFile.h"
#include "tests/support/TestMedia.h"
#include "tests/support/WaylandDesktop.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <unistd.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTest>
#include <csignal>
#include <map>
#include <memory>

namespace {

using e2e::mainTitle;
using e2e::WaylandDesktop;

// Pictures of the user's, named as KDE's portal names its own, for this second and the next three.
std::map<QString, QByteArray> placeUsersPictures(const QString& folder) {
    std::map<QString, QByteArray> pictures;
    const QDateTime now = QDateTime::currentDateTime();
    for (int second = 0; second < 4; ++second) {
        const QString name =
            now.addSecs(second).toString(QStringLiteral("'Screenshot_'yyyyMMdd_hhmmss'.png'"));
        QFile file(folder + name);
        if (file.open(QIODevice::WriteOnly) && file.write(name.toUtf8()) == name.size() &&
            ::fchown(file.handle(), WaylandDesktop::userId, WaylandDesktop::userId) == 0) {
            pictures[name] = name.toUtf8();
        }
    }
    return pictures;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::map<QString, QByteArray> filesIn(const QString& folder) {
    std::map<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        files[name] = fileBytes(folder + name);
    }
    return files;
}

// The program as the desktop's user on each layout of outputs of headless sway with its portals,
// fractional scales and a layout larger as one picture than an image may hold among them, on
// KWin compositing with OpenGL, with KDE's portal, at whole and fractional scales, and on GNOME
// Shell. Told on sway it runs on a desktop whose keyboard it cannot reach, it says so and leaves
// Windows Mode off; on KWin and GNOME it turns it on. Then the whole cycle on each output of the
// row: "Chụp vùng" clicked with the pointer, on KWin Command+4 through the portal's shortcut, on
// GNOME the physical Super+4 (allowed beforehand or through the shell's question answered
// Allow), a drag there, Return in the editor. The saved picture is exactly the output's own
// pixels under the region, as the compositor copies them, the clipboard holds the same bytes,
// and the history lists it. On KWin a picture of the user's that KDE's portal would name alike
// stays as it was, and the portal's own pictures go once read; our option joins the user's in
// kxkbrc while the program runs, left Super is Control, and Command+5 through the portal's
// shortcut selects a region whose recording KDE's screen-sharing portal refuses, as its dialog
// cannot come up headless, and the program says so.
TEST(WaylandScreenshot, SavesExactlyTheDraggedPixelsOfEitherOutputAndCopiesThem) {
    using Output = WaylandDesktop::Sway::Output;
    const struct Drag {
        QString output;
        QPoint from;
        QPoint to;
    } scaleOne{"HEADLESS-1", QPoint(100, 120), QPoint(420, 330)},
        second{"HEADLESS-2", QPoint(1380, 100), QPoint(1580, 200)},
        kwin{"Virtual-0", QPoint(100, 120), QPoint(501, 371)},
        // Where the main window was.
        onGnome{"Meta-0", QPoint(60, 420), QPoint(380, 630)};
    const struct {
        std::vector<Output> outputs;
        std::vector<Drag> drags;
        std::optional<double> kwinScale;
        std::optional<WaylandDesktop::Gnome> gnome = std::nullopt;
    } layouts[] = {
        {{}, {{"HEADLESS-2", QPoint(1400, 100), QPoint(1600, 250)}, scaleOne}, {}},
        {{{"HEADLESS-2", QSize(1920, 1200), 1.5}}, {second}, {}},
        {{{"HEADLESS-2", QSize(1600, 1000), 1.25}}, {second}, {}},
        {{{"HEADLESS-1", QSize(3840, 2160), 1}, {"HEADLESS-2", QSize(2880, 1800), 2}},
         {{"HEADLESS-2", QPoint(3940, 100), QPoint(4140, 200)}},
         {}},
        {{}, {kwin}, 1},
        {{}, {kwin}, 2},
        {{}, {kwin}, 1.5},
        {{}, {onGnome}, {}, WaylandDesktop::Gnome()},
        {{}, {onGnome}, {}, WaylandDesktop::Gnome{.screenshotsAllowed = false}},
    };
    for (const auto& layout : layouts) {
        WaylandDesktop::Sway sway{.portals = true};
        for (const Output& output : layout.outputs) {
            sway.output(output.name, output.pixels, output.scale);
        }
        SCOPED_TRACE(layout.kwinScale.value_or(sway.outputs.back().scale));
        const auto owned =
            layout.gnome ? std::make_unique<WaylandDesktop>(*layout.gnome)
            : layout.kwinScale
                ? std::make_unique<WaylandDesktop>(WaylandDesktop::Kwin{*layout.kwinScale})
                : std::make_unique<WaylandDesktop>(sway);
        WaylandDesktop& desktop = *owned;
        ASSERT_TRUE(desktop.started());
        const QString kxkbrc = desktop.configFolder() + "/kxkbrc";
        const QByteArray usersKxkbrc =
            "[Layout]\nLayoutList=us\nOptions=compose:ralt\nResetOldOptions=true\n";
        ASSERT_TRUE(!layout.kwinScale ||
                    (testmedia::writeFile(kxkbrc, usersKxkbrc) &&
                     ::chown(QFile::encodeName(kxkbrc).constData(), WaylandDesktop::userId,
                             WaylandDesktop::userId) == 0));
        const auto leftSuper = [&] { return e2e::firstSymbol(desktop.clientKeymap(), "LWIN"); };
        // What each output shows before the program runs, once its background is drawn.
        std::map<QString, QImage> shownBefore;
        for (const auto& [name, frame] : desktop.outputFrames()) {
            ASSERT_TRUE(e2e::waitUntil([&] {
                const QImage shown = desktop.outputShown(name);
                shownBefore[name] = shown;
                return !shown.isNull() && shown.pixel(1, 100) != shown.pixel(2, 100) &&
                       shown == desktop.outputShown(name);
            }));
        }
        // Plugged in before the program starts, as a mouse is; on KWin, whose pictures show the
        // pointer, it rests in a corner away from every region.
        e2e::WaylandPointer pointer(desktop);
        ASSERT_TRUE(!layout.kwinScale || pointer.moveTo(QPoint(1279, 719)));
        e2e::Program program =
            desktop.program(layout.kwinScale || layout.gnome
                                ? QStringList()
                                : QStringList{"SWAYSOCK=", "XDG_CURRENT_DESKTOP=weston"});
        ASSERT_TRUE(program.start());
        const e2e::ProgramView view(desktop.bus());
        const auto mainWindowShown = [&] { return view.shown("filler", mainTitle).has_value(); };
        ASSERT_TRUE(e2e::waitUntil(mainWindowShown));
        if (layout.kwinScale || layout.gnome) {
            ASSERT_TRUE(
                e2e::waitUntil([&] { return view.says("● Command → Control đang hoạt động"); }));
            EXPECT_TRUE(!layout.kwinScale || e2e::waitUntil([&] {
                return fileBytes(kxkbrc) ==
                           "[Layout]\nLayoutList=us\nOptions=compose:ralt,altwin:ctrl_win\n"
                           "ResetOldOptions=true\n" &&
                       leftSuper() == "Control_L";
            })) << fileBytes(kxkbrc).toStdString();
        } else {
            EXPECT_TRUE(
                view.says("Không thể đổi phím Command → Control: chưa hỗ trợ máy tính để bàn "
                          "này (weston)"));
            EXPECT_TRUE(view.says("Command → Control đang tắt"));
        }
        const auto overlayUp = [&] { return desktop.overlayOnEachOutput(view); };

        for (const Drag& drag : layout.drags) {
            SCOPED_TRACE(drag.output.toStdString());
            QPoint origin;
            double scale = 1;
            for (const auto& [name, frame] : desktop.outputFrames()) {
                if (name == drag.output) {
                    origin = frame.topLeft();
                    scale = static_cast<double>(shownBefore[name].width()) / frame.width();
                }
            }
            ASSERT_TRUE(e2e::waitUntil(mainWindowShown));
            const QString pictures = desktop.makeHome() + "/Pictures/";
            std::map<QString, QByteArray> usersPictures;
            if (layout.kwinScale) {
                usersPictures = placeUsersPictures(pictures);
                ASSERT_TRUE(e2e::waitUntil([&] { return desktop.invokeShortcut("screenshot"); }));
            }
            // Clicked where the desktop shows the button; a click while the desktop still places
            // the window goes elsewhere, and the user clicks again. On GNOME, the left Super key
            // with the 4 key, as the user presses Command+4; the first time, the shell asks
            // whether applications may take screenshots, and the user allows it.
            if (layout.gnome && !layout.gnome->screenshotsAllowed) {
                ASSERT_TRUE(pointer.press({KEY_LEFTMETA, KEY_4}));
                ASSERT_TRUE(pointer.clickOn(e2e::ProgramView(desktop.bus(), "gnome-shell"),
                                            "push button", "Allow"));
                ASSERT_TRUE(e2e::waitUntil(overlayUp));
            } else if (!layout.kwinScale) {
                ASSERT_TRUE(e2e::repeatUntil(
                    [&] {
                        const auto button = view.shown("push button", "Chụp vùng");
                        if (layout.gnome) {
                            pointer.press({KEY_LEFTMETA, KEY_4});
                        } else if (const auto origin = desktop.contentOrigin(mainTitle);
                                   button && origin) {
                            pointer.moveTo(*origin + button->extents.center());
                            pointer.click();
                        }
                    },
                    overlayUp));
            } else {
                ASSERT_TRUE(e2e::waitUntil(overlayUp));
            }
            // Every output dims at once, with the pointer left where it was.
            for (const auto& [name, frame] : desktop.outputFrames()) {
                SCOPED_TRACE(name.toStdString());
                EXPECT_TRUE(
                    e2e::waitUntil([&] { return desktop.outputShown(name) != shownBefore[name]; }));
            }
            // Sizes in pixels are cut to whole pixels, never rounded up.
            const QPoint size = drag.to - drag.from;
            const QRect pixels(
                (drag.from - origin) * scale,
                QSize(static_cast<int>(size.x() * scale), static_cast<int>(size.y() * scale)));
            const QImage picture = shownBefore[drag.output];
            // The drag begins once the overlay is on screen there, dimming the output's picture.
            ASSERT_TRUE(pointer.moveTo(drag.from));
            ASSERT_TRUE(e2e::waitUntil([&] {
                const QImage shown = desktop.outputShown(drag.output);
                return !shown.isNull() &&
                       shown.pixel(pixels.topLeft()) != picture.pixel(pixels.topLeft());
            }));
            // A drag the desktop did not pass on is made again, as a user would.
            ASSERT_TRUE(e2e::repeatUntil(
                [&] { pointer.drag(drag.from, drag.to); },
                [&] { return view.shown("filler", e2e::editorTitle).has_value(); }));
            const QString savedPrefix = QStringLiteral("Đã lưu và sao chép: ");
            std::optional<QString> saved;
            ASSERT_TRUE(e2e::repeatUntil(
                [&] {
                    if (layout.kwinScale) {
                        pointer.type(KEY_ENTER);
                    } else if (layout.gnome) {
                        pointer.press({KEY_ENTER});
                    } else {
                        desktop.run("wtype", {"-s", "300", "-k", "Return"});
                    }
                },
                [&] {
                    saved = view.labelStartingWith(savedPrefix);
                    return saved && mainWindowShown();
                }));
            const QString path =
                program.capturesFolder("Screenshots") + '/' + saved->mid(savedPrefix.size());
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            EXPECT_EQ(QImage::fromData(bytes, "PNG").convertToFormat(QImage::Format_RGB32),
                      picture.copy(pixels).convertToFormat(QImage::Format_RGB32));
            // GNOME gives no tool of ours its clipboard.
            if (!layout.gnome) {
                EXPECT_EQ(desktop.run("wl-paste", {"-t", "image/png"}).output, bytes);
                EXPECT_EQ(desktop.run("wl-paste", {"--list-types"}).output, "image/png\n");
            }
            EXPECT_EQ(historyFile::read(program.historyPath()).rows.front(),
                      std::make_pair(QStringLiteral("screenshot"), path));
            EXPECT_EQ(filesIn(pictures), usersPictures);
        }
        if (layout.kwinScale) {
            EXPECT_TRUE(e2e::repeatUntil([&] { desktop.invokeShortcut("record"); }, overlayUp));
            EXPECT_TRUE(e2e::repeatUntil([&] { pointer.drag(QPoint(100, 100), QPoint(300, 250)); },
                                         [&] {
                                             return view.says(
                                                 "Không thể quay màn hình: Yêu cầu quay màn hình "
                                                 "đã bị từ chối");
                                         }));
        }
        // The window's Thoát ends it on KWin at scale 1, a signal elsewhere.
        if (layout.kwinScale == 1) {
            EXPECT_TRUE(desktop.bus().press("quorvastelin", "Thoát"));
            EXPECT_EQ(program.waitForExit(), std::optional<int>(0));
        } else {
            EXPECT_EQ(program.stop(), std::optional<int>(0));
        }
        if (layout.kwinScale) {
            EXPECT_EQ(fileBytes(kxkbrc), usersKxkbrc);
            EXPECT_TRUE(e2e::waitUntil([&] { return leftSuper() == "Super_L"; }));
        }
    }
}

// Where no screenshot can be taken, the status line says why, also when asked again, and nothing
// hangs: sway without portals, and GNOME Shell whose question the user denies. A question still
// on screen past the portal's own patience is waited for as long as it stands, and once it is
// gone unanswered, the next attempt asks again.
TEST(WaylandScreenshotRefused, TheStatusLineSaysWhyAndNothingHangs) {
    using Gnome = WaylandDesktop::Gnome;
    const struct {
        std::optional<Gnome> gnome;
        QString reason;
    } rows[] = {
        {std::nullopt,
         "Máy tính để bàn này không có cổng chụp màn hình (org.freedesktop.portal.Screenshot)"},
        {Gnome{.screenshotsAllowed = false},
         "Máy tính để bàn đã từ chối quyền chụp màn hình — bật lại trong phần Quyền riêng tư của "
         "Cài đặt"},
    };
    for (const auto& row : rows) {
        const auto owned = row.gnome ? std::make_unique<WaylandDesktop>(*row.gnome)
                                     : std::make_unique<WaylandDesktop>(WaylandDesktop::Sway{});
        WaylandDesktop& desktop = *owned;
        ASSERT_TRUE(desktop.started());
        e2e::WaylandPointer pointer(desktop);
        e2e::Program program = desktop.program();
        ASSERT_TRUE(program.start());
        const e2e::ProgramView view(desktop.bus());
        const e2e::ProgramView shell(desktop.bus(), "gnome-shell");
        ASSERT_TRUE(e2e::waitUntil([&] { return view.shown("filler", mainTitle).has_value(); }));
        for (const bool late : row.gnome ? std::vector{true, false} : std::vector<bool>()) {
            EXPECT_TRUE(desktop.bus().press("quorvastelin", "Chụp vùng"));
            ASSERT_TRUE(
                e2e::waitUntil([&] { return shell.shown("push button", "Deny").has_value(); }));
            if (late) {
                QTest::qWait(35000);
                EXPECT_TRUE(view.says("Đang chọn vùng chụp…"));
            }
            EXPECT_TRUE(pointer.clickOn(shell, "push button", "Deny"));
            if (late) {
                EXPECT_TRUE(e2e::waitUntil([&] {
                    return view.says("Không thể chụp màn hình: Cổng chụp màn hình không trả lời");
                }));
            }
        }
        const QString said = "Không thể chụp màn hình: " + row.reason;
        ASSERT_TRUE(e2e::waitUntil([&] { return view.says(said); }));
        EXPECT_TRUE(desktop.bus().press("quorvastelin", "Chụp vùng"));
        EXPECT_TRUE(e2e::waitUntil(
            [&] { return view.shown("filler", mainTitle).has_value() && view.says(said); }));
        EXPECT_EQ(program.stop(), std::optional<int>(0));
    }
}

// What the left Super key and the right Alt key produce.
std::pair<QString, QString> superAndRightAlt(const WaylandDesktop& desktop) {
    const QString keymap = desktop.clientKeymap();
    return {e2e::firstSymbol(keymap, "LWIN"), e2e::firstSymbol(keymap, "RALT")};
}

// Whether sway still holds a binding for Control plus this key code; sway tells only by
// refusing to remove one it does not have.
bool swayBindsControlWith(const WaylandDesktop& desktop, int keyCode) {
    return desktop.run("swaymsg", {"unbindcode Ctrl+" + QString::number(keyCode)}).exitCode == 0;
}

// sway in a window of an Xvfb, whose keyboard it configures as a real one with each row's
// layout, and GNOME Shell with its own keyboard settings, without the GlobalShortcuts portal or
// with another desktop's offering it and failing: while the program runs, left Super is Control
// there, the user's compose key stays, and Control with the physical 4 and 5 keys, whatever the
// layout types with them (held as people hold them; on GNOME the physical Super with them),
// selects a region for a screenshot and a recording, also after sway's configuration was reloaded
// or GNOME's options set back to the user's, dropping ours, and the upkeep put them back. The
// Windows Mode box turned off and on as a screen reader does turns the mapping with it. GNOME's
// keybindings of ours join the user's own. However the program ends, only the user's option
// remains, and on GNOME only the user's keybindings once the program has taken its own out.
TEST(WaylandKeyboard, WindowsModeAndTheHotKeysLastExactlyAsLongAsTheProgram) {
    const auto mapped = std::pair{QStringLiteral("Control_L"), QStringLiteral("Multi_key")};
    const auto unmapped = std::pair{QStringLiteral("Super_L"), QStringLiteral("Multi_key")};
    using Gnome = WaylandDesktop::Gnome;
    const struct {
        QString layout;
        QString fourKeyTypes;
        int signal;
        std::optional<int> exitStatus;
        std::optional<Gnome> gnome = std::nullopt;
    } rows[] = {
        {"us", "4", 0, 0},
        {"vn", "ocircumflex", SIGTERM, 0},
        {"fr", "apostrophe", 0, 0},
        {"ru", "4", SIGKILL, -1},
        {"us", "4", 0, 0, Gnome()},
        {"vn", "ocircumflex", SIGTERM, 0, Gnome{.layout = "vn"}},
        {"us", "4", SIGKILL, -1, Gnome{.portalBackends = {"gnome", "gnome-shell", "gtk", "kde"}}}};
    const QString windowsMode =
        QStringLiteral("Windows Mode: Command → Control  •  Control giữ nguyên  •  Option = Alt");
    const QString mediaKeys = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
    const QByteArray usersKeybindings =
        "['/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/']\n";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.layout.toStdString() + (row.gnome ? " on GNOME" : ""));
        const auto owned = row.gnome ? std::make_unique<WaylandDesktop>(*row.gnome)
                                     : std::make_unique<WaylandDesktop>(
                                           WaylandDesktop::Sway{.portals = true,
                                                                .sharedOutput = std::nullopt,
                                                                .inXServer = true,
                                                                .layout = row.layout});
        WaylandDesktop& desktop = *owned;
        ASSERT_TRUE(desktop.started());
        // GNOME's seat has a keyboard once one is plugged in.
        e2e::WaylandPointer keyboard(desktop);
        const auto type = [&](const QStringList& onXServer, const QList<int>& onGnome) {
            if (row.gnome) {
                keyboard.press(onGnome);
            } else {
                desktop.typeOnXServer(onXServer);
            }
        };
        const e2e::ProgramView view(desktop.bus());
        ASSERT_TRUE(e2e::waitUntil([&] { return superAndRightAlt(desktop) == unmapped; }));
        ASSERT_EQ(e2e::firstSymbol(desktop.clientKeymap(), "AE04"), row.fourKeyTypes);
        e2e::Program program = desktop.program();
        ASSERT_TRUE(program.start());
        ASSERT_TRUE(e2e::waitUntil([&] { return superAndRightAlt(desktop) == mapped; }));
        ASSERT_TRUE(
            e2e::waitUntil([&] { return view.says("● Command → Control đang hoạt động"); }));
        if (row.gnome) {
            EXPECT_TRUE(desktop.run("gsettings", {"get", mediaKeys, "custom-keybindings"})
                            .output.startsWith(usersKeybindings.chopped(2) + ", "));
            desktop.run("gsettings", {"set", "org.gnome.desktop.input-sources", "xkb-options",
                                      "['compose:ralt']"});
        } else {
            desktop.run("swaymsg", {"reload"});
        }
        // xdotool finds 4 and 5 on the X server's own US keymap: the keys with codes 13 and 14.
        for (const auto& [key, kind] : {std::pair{"4", "chụp"}, std::pair{"5", "quay"}}) {
            // Pressed again until the upkeep has bound the keys anew.
            EXPECT_TRUE(e2e::repeatUntil(
                [&] {
                    type({"keydown", "Control_L", "keydown", key, "sleep", "0.4", "keyup", key,
                          "keyup", "Control_L"},
                         {125, key[0] - '0' + 1});
                },
                [&] { return view.says(QStringLiteral("Đang chọn vùng %1…").arg(kind)); }));
            EXPECT_TRUE(e2e::repeatUntil(
                [&] {
                    type({"key", "Escape"}, {1});
                },
                [&] { return view.says(QStringLiteral("Đã hủy %1 màn hình").arg(kind)); }));
        }
        EXPECT_EQ(superAndRightAlt(desktop), mapped);
        for (const auto& [now, keymap] :
             {std::pair{"Command → Control đang tắt", unmapped},
              std::pair{"● Command → Control đang hoạt động", mapped}}) {
            EXPECT_TRUE(desktop.bus().press("quorvastelin", windowsMode));
            EXPECT_TRUE(e2e::waitUntil(
                [&] { return view.says(now) && superAndRightAlt(desktop) == keymap; }));
        }
        if (row.signal == 0) {
            EXPECT_TRUE(desktop.bus().press("quorvastelin", "Thoát"));
        } else {
            program.signal(row.signal);
        }
        EXPECT_EQ(program.waitForExit(), row.exitStatus);
        EXPECT_TRUE(e2e::waitUntil([&] { return superAndRightAlt(desktop) == unmapped; }));
        if (row.signal == SIGKILL) {
            continue;
        }
        if (row.gnome) {
            EXPECT_EQ(desktop.run("gsettings", {"get", mediaKeys, "custom-keybindings"}).output,
                      usersKeybindings);
        } else {
            EXPECT_FALSE(swayBindsControlWith(desktop, 13));
            EXPECT_FALSE(swayBindsControlWith(desktop, 14));
        }
    }
}

}  // namespace
