#include "tests/support/E2eSupport.h"
#include "tests/support/WaylandDesktop.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <QFile>

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

// The program on headless KWin with KDE's portal, as the desktop's user: our option joins the
// user's in kxkbrc, and KWin hands its clients a keymap where left Super is Control; Control+5
// registered through the GlobalShortcuts portal starts a recording when KDE's shortcut service
// fires it and a region is dragged, and "Thoát" leaves the user's options and left Super alone.
// KDE's screen-sharing portal asks through a dialog that cannot come up headless, so it refuses
// the recording, and the program says so.
TEST(KdeDesktop, MapsThroughKxkbrcAndTakesTheHotKeysFromThePortal) {
    e2e::WaylandDesktop desktop(e2e::WaylandDesktop::Kwin{});
    ASSERT_TRUE(desktop.started());
    const QString kxkbrc = desktop.configFolder() + "/kxkbrc";
    const QByteArray users =
        "[Layout]\nLayoutList=us\nOptions=compose:ralt\nResetOldOptions=true\n";
    QFile file(kxkbrc);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(users) == users.size());
    file.close();
    ASSERT_EQ(::chown(QFile::encodeName(kxkbrc).constData(), e2e::WaylandDesktop::userId,
                      e2e::WaylandDesktop::userId),
              0);

    e2e::Program program = desktop.program();
    ASSERT_TRUE(program.start());
    EXPECT_TRUE(e2e::waitUntil([&] {
        return fileBytes(kxkbrc) ==
               "[Layout]\nLayoutList=us\nOptions=compose:ralt,altwin:ctrl_win\n"
               "ResetOldOptions=true\n";
    })) << fileBytes(kxkbrc).toStdString();
    const e2e::ProgramView view(desktop.bus());
    EXPECT_TRUE(e2e::waitUntil([&] { return view.says("● Command → Control đang hoạt động"); }));
    const auto leftSuper = [&] { return e2e::firstSymbol(desktop.clientKeymap(), "LWIN"); };
    EXPECT_TRUE(e2e::waitUntil([&] { return leftSuper() == "Control_L"; }));
    // Command+5 selects a region, and the recording of it is refused.
    e2e::WaylandPointer pointer(desktop);
    EXPECT_TRUE(e2e::repeatUntil([&] { desktop.invokeShortcut("record"); },
                                 [&] { return desktop.overlayOnEachOutput(view); }));
    EXPECT_TRUE(e2e::repeatUntil(
        [&] { pointer.drag(QPoint(100, 100), QPoint(300, 250)); },
        [&] { return view.says("Không thể quay màn hình: Yêu cầu quay màn hình đã bị từ chối"); }));
    EXPECT_TRUE(desktop.bus().press("quorvastelin", "Thoát"));
    EXPECT_EQ(program.waitForExit(), std::optional<int>(0));
    EXPECT_EQ(fileBytes(kxkbrc), users);
    EXPECT_TRUE(e2e::waitUntil([&] { return leftSuper() == "Super_L"; }));
}
