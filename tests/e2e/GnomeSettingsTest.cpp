#include "platform/wayland/GnomeKeyboard.h"
#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QTemporaryDir>

namespace {

const QString inputSources = QStringLiteral("org.gnome.desktop.input-sources");
const QString mediaKeys = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
const QString keybindings =
    QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");

QString gsettings(const QStringList& arguments) {
    return QString::fromUtf8(e2e::runTool(QStringLiteral("gsettings"), arguments).output).trimmed();
}

}  // namespace

// GNOME's settings in a private dconf, through the real gsettings: our option and keybindings
// join the user's own, and taking them away, or finding ours orphaned, leaves exactly the user's.
TEST(GnomeSettings, OurOptionAndKeybindingsJoinTheUsersAndLeaveThemAsTheyWere) {
    QTemporaryDir home;
    QDir(home.path()).mkdir(QStringLiteral("runtime"));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The settings service the bus starts takes its folders from us.
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.filePath(QStringLiteral("runtime"))));
    qunsetenv("XDG_CONFIG_HOME");
    e2e::SessionBus bus;
    ASSERT_TRUE(bus.started());
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            bus.environment().value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")).toUtf8());
    const QString usersOptions = QStringLiteral("['compose:ralt']");
    const QString usersKeybindings = QStringLiteral("['%1custom0/']").arg(keybindings);
    gsettings({"set", inputSources, "xkb-options", usersOptions});
    const QString screenshotKeybinding = mediaKeys + QStringLiteral(".custom-keybinding:") +
                                         keybindings + QStringLiteral("quorvastelin-screenshot/");
    // One that a package removed while the program ran left behind goes at the next start.
    gsettings(
        {"set", screenshotKeybinding, "command", "\"'/gone/quorvastelin-command' --record\""});
    gsettings({"set", mediaKeys, "custom-keybindings",
               QStringLiteral("['%1custom0/', '%1quorvastelin-screenshot/']").arg(keybindings)});

    platform::GnomeMappingTool mapping;
    platform::GnomeCustomKeybindings hotKeys;
    EXPECT_EQ(gsettings({"get", mediaKeys, "custom-keybindings"}), usersKeybindings);
    EXPECT_EQ(gsettings({"get", screenshotKeybinding, "command"}), QStringLiteral("''"));
    ASSERT_TRUE(mapping.applyMapping(true));
    hotKeys.install({{4, "AE04", 13, "4", "--screenshot", "Chụp vùng"},
                     {5, "AE05", 14, "5", "--record", "Quay / dừng quay"}},
                    {});
    EXPECT_TRUE(mapping.isMappingApplied());

    hotKeys.uninstall();
    ASSERT_TRUE(mapping.applyMapping(false));
    EXPECT_FALSE(mapping.isMappingApplied());
    EXPECT_EQ(gsettings({"get", inputSources, "xkb-options"}), usersOptions);
    EXPECT_EQ(gsettings({"get", mediaKeys, "custom-keybindings"}), usersKeybindings);
    EXPECT_EQ(gsettings({"get", screenshotKeybinding, "binding"}), QStringLiteral("''"));
}
