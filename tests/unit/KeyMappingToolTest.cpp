#include "platform/wayland/SwayKeyboard.h"
#include "platform/x11/SetxkbmapTool.h"
#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QTemporaryDir>

using platform::KeyboardNames;

namespace {

const QString ours = QStringLiteral("altwin:ctrl_win");
const QString compose = QStringLiteral("compose:ralt");
const QString toggle = QStringLiteral("grp:alt_shift_toggle");

struct RecordingRunner : platform::ProcessRunner {
    platform::ProcessOutcome run(const QString& program, const QStringList& arguments) override {
        calls.append(QStringList{program} + arguments);
        return {platform::ProcessOutcome::Kind::Exited, 0};
    }
    QList<QStringList> calls;
};

KeyboardNames usersKeyboard(QStringList options = {compose, toggle}) {
    return {"evdev", "pc105", "us,de", ",nodeadkeys", options};
}

QStringList withOptions(const QStringList& options) {
    QStringList arguments{"-rules", "evdev",    "-model",      "pc105",   "-layout",
                          "us,de",  "-variant", ",nodeadkeys", "-option", QString()};
    for (const QString& option : options) {
        arguments << "-option" << option;
    }
    return arguments;
}

}  // namespace

TEST(KeyMappingArguments, KeepTheUsersSettingsAndOnlyAddOrRemoveOurOptionLast) {
    EXPECT_EQ(platform::keyMappingArguments(usersKeyboard(), true),
              withOptions({compose, toggle, ours}));
    EXPECT_EQ(platform::keyMappingArguments(usersKeyboard({ours, compose, toggle}), true),
              withOptions({compose, toggle, ours}));
    EXPECT_EQ(platform::keyMappingArguments(usersKeyboard({compose, ours, toggle}), false),
              withOptions({compose, toggle}));
    EXPECT_EQ(platform::keyMappingArguments(KeyboardNames{}, true),
              (QStringList{"-option", QString(), "-option", ours}));
}

TEST(SetxkbmapTool, UnreadableKeyboardSettingsRunNoToolRatherThanLoseTheLayout) {
    auto runner = std::make_shared<RecordingRunner>();
    platform::SetxkbmapTool tool(runner, "setxkbmap", [] { return std::nullopt; });
    EXPECT_FALSE(tool.applyMapping(true));
    EXPECT_FALSE(tool.isMappingApplied());
    EXPECT_TRUE(runner->calls.isEmpty());
}

// The user's options come from sway's configuration and the files it includes, one-line or
// block form; a device set up by itself keeps its own list, and the keyboard type falls back to
// what every input gets.
TEST(SwayKeyboardOptions, OursGoesOnTopOfTheUsersForTheKeyboardTypeAndEachConfiguredKeyboard) {
    QTemporaryDir folder;
    QDir(folder.path()).mkdir("config.d");
    ASSERT_TRUE(
        testmedia::writeFile(folder.filePath("config.d/50-keyboard.conf"),
                             "input \"1:1:AT Keyboard\" {\n    xkb_layout us\n"
                             "    xkb_options \"grp:alt_shift_toggle,altwin:ctrl_win\"\n}\n"));
    const auto configured = platform::configuredKeyboardOptions(
        "# input type:keyboard xkb_options caps:none\ninput * xkb_options compose:ralt\n"
        "include config.d/*.conf\ninput type:touchpad tap enabled\n",
        folder.path());
    EXPECT_EQ(platform::keyboardOptionCommands(configured, {}, true),
              QStringList({R"(input "1:1:AT Keyboard" xkb_options "grp:alt_shift_toggle,)"
                           R"(altwin:ctrl_win")",
                           R"(input "type:keyboard" xkb_options "compose:ralt,altwin:ctrl_win")"}));
    EXPECT_EQ(platform::keyboardOptionCommands(configured, {}, false),
              QStringList({R"(input "1:1:AT Keyboard" xkb_options "grp:alt_shift_toggle")",
                           R"(input "type:keyboard" xkb_options "compose:ralt")"}));
    EXPECT_EQ(platform::keyboardOptionCommands({}, {"caps:none"}, false),
              QStringList{R"(input "type:keyboard" xkb_options "caps:none")"});
}
