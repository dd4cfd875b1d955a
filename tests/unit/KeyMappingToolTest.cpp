#include "platform/KeyMappingTool.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

using platform::KeyboardNames;
using platform::ProcessOutcome;

namespace {

struct RecordingRunner : platform::ProcessRunner {
    ProcessOutcome run(const QString& program, const QStringList& arguments) override {
        programs.append(program);
        argumentLists.append(arguments);
        return outcome;
    }
    ProcessOutcome outcome{ProcessOutcome::Kind::Exited, 0};
    QStringList programs;
    QList<QStringList> argumentLists;
};

KeyboardNames usersKeyboard() {
    return {QStringLiteral("evdev"),
            QStringLiteral("pc105"),
            QStringLiteral("us,de"),
            QStringLiteral(",nodeadkeys"),
            {QStringLiteral("compose:ralt"), QStringLiteral("grp:alt_shift_toggle")}};
}

platform::SetxkbmapTool::NamesReader reading(std::optional<KeyboardNames> names) {
    return [names] { return names; };
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

TEST(KeyboardNamesProperty, SplitsTheFiveStringsAndTheOptionList) {
    const KeyboardNames names = platform::parseKeyboardNames(
        property("evdev\0pc105\0us,de\0,nodeadkeys\0compose:ralt,altwin:ctrl_win\0"));

    EXPECT_EQ(names.rules, QStringLiteral("evdev"));
    EXPECT_EQ(names.model, QStringLiteral("pc105"));
    EXPECT_EQ(names.layout, QStringLiteral("us,de"));
    EXPECT_EQ(names.variant, QStringLiteral(",nodeadkeys"));
    EXPECT_EQ(names.options,
              (QStringList{QStringLiteral("compose:ralt"), QStringLiteral("altwin:ctrl_win")}));
}

TEST(KeyboardNamesProperty, MissingTrailingStringsAndEmptyOptionsMeanNothing) {
    const KeyboardNames names = platform::parseKeyboardNames(property("evdev\0pc105\0us"));

    EXPECT_EQ(names.layout, QStringLiteral("us"));
    EXPECT_TRUE(names.variant.isEmpty());
    EXPECT_TRUE(names.options.isEmpty());
    EXPECT_EQ(platform::parseKeyboardNames(property("a\0b\0c\0d\0,, x ,\0")).options,
              QStringList{QStringLiteral("x")});
}

TEST(KeyMappingArguments, OnKeepsEverythingAndPutsOurOptionLast) {
    EXPECT_EQ(platform::keyMappingArguments(usersKeyboard(), true),
              withOptions({QStringLiteral("compose:ralt"), QStringLiteral("grp:alt_shift_toggle"),
                           QStringLiteral("altwin:ctrl_win")}));
}

TEST(KeyMappingArguments, OnMovesAnEarlierCopyOfOurOptionToTheEnd) {
    KeyboardNames names = usersKeyboard();
    names.options.prepend(QStringLiteral("altwin:ctrl_win"));

    EXPECT_EQ(platform::keyMappingArguments(names, true),
              withOptions({QStringLiteral("compose:ralt"), QStringLiteral("grp:alt_shift_toggle"),
                           QStringLiteral("altwin:ctrl_win")}));
}

TEST(KeyMappingArguments, OffRemovesOnlyOurOption) {
    KeyboardNames names = usersKeyboard();
    names.options.insert(1, QStringLiteral("altwin:ctrl_win"));

    EXPECT_EQ(
        platform::keyMappingArguments(names, false),
        withOptions({QStringLiteral("compose:ralt"), QStringLiteral("grp:alt_shift_toggle")}));
}

TEST(KeyMappingArguments, EmptyFieldsAreLeftToSetxkbmapAndOptionsAreStillCleared) {
    EXPECT_EQ(platform::keyMappingArguments(KeyboardNames{}, true),
              (QStringList{QStringLiteral("-option"), QString(), QStringLiteral("-option"),
                           QStringLiteral("altwin:ctrl_win")}));
}

TEST(SetxkbmapTool, RunsTheToolByPathWithTheWholeArgumentList) {
    auto runner = std::make_shared<RecordingRunner>();
    platform::SetxkbmapTool tool(runner, QStringLiteral("/usr/bin/setxkbmap"),
                                 reading(usersKeyboard()));

    EXPECT_TRUE(tool.applyMapping(true));
    EXPECT_TRUE(tool.applyMapping(false));

    EXPECT_EQ(runner->programs, QStringList(2, QStringLiteral("/usr/bin/setxkbmap")));
    EXPECT_EQ(runner->argumentLists[0], platform::keyMappingArguments(usersKeyboard(), true));
    EXPECT_EQ(runner->argumentLists[1], platform::keyMappingArguments(usersKeyboard(), false));
}

TEST(SetxkbmapTool, AnyOutcomeButExitZeroIsFailure) {
    auto runner = std::make_shared<RecordingRunner>();
    platform::SetxkbmapTool tool(runner, QStringLiteral("setxkbmap"), reading(usersKeyboard()));

    for (const ProcessOutcome outcome : {ProcessOutcome{ProcessOutcome::Kind::Exited, 1},
                                         ProcessOutcome{ProcessOutcome::Kind::LaunchFailed, -1},
                                         ProcessOutcome{ProcessOutcome::Kind::TimedOut, -1},
                                         ProcessOutcome{ProcessOutcome::Kind::Crashed, -1}}) {
        runner->outcome = outcome;
        EXPECT_FALSE(tool.applyMapping(true));
    }
}

TEST(SetxkbmapTool, UnreadableKeyboardSettingsRunNoToolRatherThanLoseTheLayout) {
    auto runner = std::make_shared<RecordingRunner>();
    platform::SetxkbmapTool tool(runner, QStringLiteral("setxkbmap"), reading(std::nullopt));

    EXPECT_FALSE(tool.applyMapping(true));
    EXPECT_FALSE(tool.isMappingApplied());
    EXPECT_TRUE(runner->programs.isEmpty());
}

TEST(SetxkbmapTool, MappingCountsAsAppliedOnlyWhileTheServerCarriesOurOption) {
    KeyboardNames names = usersKeyboard();
    auto runner = std::make_shared<RecordingRunner>();
    platform::SetxkbmapTool tool(runner, QStringLiteral("setxkbmap"), [&names] { return names; });

    EXPECT_FALSE(tool.isMappingApplied());
    names.options.append(QStringLiteral("altwin:ctrl_win"));
    EXPECT_TRUE(tool.isMappingApplied());
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
    EXPECT_FALSE(toolAt(writeScript(folder, "exec sleep 30")).applyMapping(true));
    EXPECT_TRUE(toolAt(writeScript(folder, "exit 0")).applyMapping(true));
}

TEST(SetxkbmapTool, WithoutAnXServerTheSettingsAreUnreadable) {
    EXPECT_FALSE(platform::readServerKeyboardNames().has_value());
}
