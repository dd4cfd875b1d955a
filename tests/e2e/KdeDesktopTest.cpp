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
// user's in kxkbrc, Control+5 registered through the GlobalShortcuts portal starts a recording
// when KDE's shortcut service fires it, and "Thoát" leaves the user's options alone. KWin
// cannot hand out the desktop's picture without a GPU, so the recording ends there, saying so.
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
    EXPECT_TRUE(e2e::repeatUntil(
        [&] {
            desktop.run("gdbus", {"call", "--session", "-d", "org.kde.kglobalaccel", "-o",
                                  "/component/quorvastelin", "-m",
                                  "org.kde.kglobalaccel.Component.invokeShortcut", "record"});
        },
        [&] { return view.labelStartingWith("Không thể quay màn hình: ").has_value(); }));
    EXPECT_TRUE(desktop.bus().press("quorvastelin", "Thoát"));
    EXPECT_EQ(program.waitForExit(), std::optional<int>(0));
    EXPECT_EQ(fileBytes(kxkbrc), users);
}
