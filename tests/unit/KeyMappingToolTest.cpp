#include "platform/wayland/SwayKeyboard.h"
#include "platform/x11/SetxkbmapTool.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using platform::KeyboardNames;
using platform::ProcessOutcome;

namespace {

const QString ours = QStringLiteral("altwin:ctrl_win");
const QString compose = QStringLiteral("compose:ralt");
const QString toggle = QStringLiteral("grp:alt_shift_toggle");

struct RecordingRunner : platform::ProcessRunner {
    ProcessOutcome run(const QString& program, const QStringList& arguments) override {
        programs.append(program);
        argumentLists.append(arguments);
        return {ProcessOutcome::Kind::Exited, 0};
    }
    QStringList programs;
    QList<QStringList> argumentLists;
};

KeyboardNames usersKeyboard(QStringList options = {compose, toggle}) {
    return {QStringLiteral("evdev"), QStringLiteral("pc105"), QStringLiteral("us,de"),
            QStringLiteral(",nodeadkeys"), options};
}

QStringList withOptions(const QStringList& options) {
    QStringList arguments{QStringLiteral("-rules"),   QStringLiteral("evdev"),
                          QStringLiteral("-model"),   QStringLiteral("pc105"),
                          QStringLiteral("-layout"),  QStringLiteral("us,de"),
                          QStringLiteral("-variant"), QStringLiteral(",nodeadkeys"),
                          QStringLiteral("-option"),  QString()};
    for (const QString& option : options) {
        arguments << QStringLiteral("-option") << option;
    }
    return arguments;
}

platform::SetxkbmapTool::NamesReader reading(std::optional<KeyboardNames> names) {
    return [names] { return names; };
}

// The property's bytes, embedded NULs included.
template <std::size_t size>
QByteArray property(const char (&bytes)[size]) {
    return QByteArray(bytes, static_cast<int>(size - 1));
}

// A real executable for the real process runner.
QString writeScript(const QTemporaryDir& folder, const char* body, bool executable = true) {
    const QString path = folder.filePath(QStringLiteral("setxkbmap"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray("#!/bin/sh\n") + body + '\n');
    file.close();
    if (executable) {
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }
    return path;
}

}  // namespace

TEST(KeyboardNamesProperty, MissingTrailingStringsAndEmptyOptionsMeanNothing) {
    const KeyboardNames names = platform::parseKeyboardNames(property("evdev\0pc105\0us"));
    EXPECT_EQ(names.layout, QStringLiteral("us"));
    EXPECT_TRUE(names.variant.isEmpty());
    EXPECT_TRUE(names.options.isEmpty());
    EXPECT_EQ(platform::parseKeyboardNames(property("a\0b\0c\0d\0,, x ,\0")).options,
              QStringList{QStringLiteral("x")});
}

TEST(KeyMappingArguments, KeepTheUsersSettingsAndOnlyAddOrRemoveOurOptionLast) {
    EXPECT_EQ(platform::keyMappingArguments(usersKeyboard(), true),
              withOptions({compose, toggle, ours}));
    EXPECT_EQ(platform::keyMappingArguments(usersKeyboard({ours, compose, toggle}), true),
              withOptions({compose, toggle, ours}));
    EXPECT_EQ(platform::keyMappingArguments(usersKeyboard({compose, ours, toggle}), false),
              withOptions({compose, toggle}));
    EXPECT_EQ(platform::keyMappingArguments(KeyboardNames{}, true),
              (QStringList{QStringLiteral("-option"), QString(), QStringLiteral("-option"), ours}));
}

TEST(SetxkbmapTool, RunsTheToolByPathAndCountsTheMappingAppliedWhileTheServerCarriesIt) {
    KeyboardNames names = usersKeyboard();
    auto runner = std::make_shared<RecordingRunner>();
    platform::SetxkbmapTool tool(runner, QStringLiteral("/usr/bin/setxkbmap"),
                                 [&names] { return names; });

    EXPECT_TRUE(tool.applyMapping(true));
    EXPECT_TRUE(tool.applyMapping(false));
    EXPECT_EQ(runner->programs, QStringList(2, QStringLiteral("/usr/bin/setxkbmap")));
    EXPECT_EQ(runner->argumentLists[0], withOptions({compose, toggle, ours}));
    EXPECT_EQ(runner->argumentLists[1], withOptions({compose, toggle}));

    EXPECT_FALSE(tool.isMappingApplied());
    names.options.append(ours);
    EXPECT_TRUE(tool.isMappingApplied());
}

TEST(SetxkbmapTool, UnreadableKeyboardSettingsRunNoToolRatherThanLoseTheLayout) {
    EXPECT_FALSE(platform::readServerKeyboardNames().has_value()) << "no X server here";
    auto runner = std::make_shared<RecordingRunner>();
    platform::SetxkbmapTool tool(runner, QStringLiteral("setxkbmap"), reading(std::nullopt));

    EXPECT_FALSE(tool.applyMapping(true));
    EXPECT_FALSE(tool.isMappingApplied());
    EXPECT_TRUE(runner->programs.isEmpty());
}

TEST(SetxkbmapTool, MissingBrokenFailingOrHungToolsCountAsFailure) {
    QTemporaryDir folder;
    auto runner = std::make_shared<platform::SystemProcessRunner>(std::chrono::milliseconds(300));
    const auto toolAt = [&](const QString& path) {
        return platform::SetxkbmapTool(runner, path, reading(usersKeyboard()));
    };

    EXPECT_FALSE(toolAt(folder.filePath(QStringLiteral("absent"))).applyMapping(true));
    EXPECT_FALSE(toolAt(writeScript(folder, "exit 0", false)).applyMapping(true));
    EXPECT_FALSE(toolAt(writeScript(folder, "exit 3")).applyMapping(true));
    EXPECT_FALSE(toolAt(writeScript(folder, "kill -9 $$")).applyMapping(true));
    EXPECT_FALSE(toolAt(writeScript(folder, "exec sleep 30")).applyMapping(true));
    EXPECT_TRUE(toolAt(writeScript(folder, "exit 0")).applyMapping(true));
}

// The user's options come from sway's configuration and the files it includes, one-line or
// block form; a device set up by itself keeps its own list, and the keyboard type falls back to
// what every input gets.
TEST(SwayKeyboardOptions, OursGoesOnTopOfTheUsersForTheKeyboardTypeAndEachConfiguredKeyboard) {
    QTemporaryDir folder;
    QDir(folder.path()).mkdir(QStringLiteral("config.d"));
    QFile included(folder.filePath(QStringLiteral("config.d/50-keyboard.conf")));
    ASSERT_TRUE(included.open(QIODevice::WriteOnly));
    included.write(
        "input \"1:1:AT Keyboard\" {\n    xkb_layout us\n"
        "    xkb_options \"grp:alt_shift_toggle,altwin:ctrl_win\"\n}\n");
    included.close();
    const QString config = QStringLiteral(
        "# input type:keyboard xkb_options caps:none\n"
        "input * xkb_options compose:ralt\n"
        "include config.d/*.conf\n"
        "input type:touchpad tap enabled\n");
    const auto configured = platform::configuredKeyboardOptions(config, folder.path());
    EXPECT_EQ(configured.size(), 2u);
    const struct {
        bool enabled;
        QStringList commands;
    } rows[] = {
        {true,
         {R"(input "1:1:AT Keyboard" xkb_options "grp:alt_shift_toggle,altwin:ctrl_win")",
          R"(input "type:keyboard" xkb_options "compose:ralt,altwin:ctrl_win")"}},
        {false,
         {R"(input "1:1:AT Keyboard" xkb_options "grp:alt_shift_toggle")",
          R"(input "type:keyboard" xkb_options "compose:ralt")"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(platform::keyboardOptionCommands(configured, {}, row.enabled), row.commands);
    }
    EXPECT_EQ(platform::keyboardOptionCommands({}, {QStringLiteral("caps:none")}, false),
              QStringList{R"(input "type:keyboard" xkb_options "caps:none")"});
}
