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

// The region overlay covers the desktop's one output.
bool overlayShown(const e2e::WaylandDesktop& desktop) {
    for (const e2e::Accessible& node :
         e2e::parseAccessibles(desktop.bus().read(QStringLiteral("quorvastelin")))) {
        if (node.role == QStringLiteral("filler") && node.showing &&
            node.extents == QRect(0, 0, 1280, 720)) {
            return true;
        }
    }
    return false;
}

}  // namespace

// The program on headless KWin with KDE's portal, as the desktop's user: our option joins the
// user's in kxkbrc, Control+5 registered through the GlobalShortcuts portal puts up the region
// overlay when KDE's shortcut service fires it, and "Thoát" leaves the user's options alone.
TEST(KdeDesktop, MapsThroughKxkbrcAndTakesTheHotKeysFromThePortal) {
    e2e::WaylandDesktop desktop(e2e::WaylandDesktop::Kwin{});
    ASSERT_TRUE(desktop.started());
    const QString kxkbrc = desktop.configFolder() + QStringLiteral("/kxkbrc");
    const QByteArray users =
        "[Layout]\nLayoutList=us\nOptions=compose:ralt\nResetOldOptions=true\n";
    QFile file(kxkbrc);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(users);
    file.close();
    ASSERT_EQ(::chown(QFile::encodeName(kxkbrc).constData(), e2e::WaylandDesktop::userId,
                      e2e::WaylandDesktop::userId),
              0);

    e2e::Program program(desktop.makeHome(), desktop.bus().environment(), desktop.runAs());
    ASSERT_TRUE(program.start());
    EXPECT_TRUE(e2e::waitUntil([&] {
        return fileBytes(kxkbrc) ==
               "[Layout]\nLayoutList=us\nOptions=compose:ralt,altwin:ctrl_win\n"
               "ResetOldOptions=true\n";
    })) << fileBytes(kxkbrc).toStdString();
    EXPECT_TRUE(e2e::waitUntil([&] {
        return e2e::findAccessible(
                   e2e::parseAccessibles(desktop.bus().read(QStringLiteral("quorvastelin"))),
                   QStringLiteral("label"), QStringLiteral("● Command → Control đang hoạt động"))
            .has_value();
    }));
    EXPECT_TRUE(e2e::repeatUntil(
        [&] {
            desktop.run(
                QStringLiteral("gdbus"),
                {"call", "--session", "-d", "org.kde.kglobalaccel", "-o", "/component/quorvastelin",
                 "-m", "org.kde.kglobalaccel.Component.invokeShortcut", "record"});
        },
        [&] { return overlayShown(desktop); }));

    EXPECT_TRUE(desktop.bus().press(QStringLiteral("quorvastelin"), QStringLiteral("Thoát")));
    EXPECT_EQ(program.waitForExit(), std::optional<int>(0));
    EXPECT_EQ(fileBytes(kxkbrc), users);
}
