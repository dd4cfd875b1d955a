#include "platform/wayland/GnomeKeyboard.h"
#include "platform/wayland/HyprlandKeyboard.h"
#include "platform/wayland/KdeKeyboard.h"

#include <gtest/gtest.h>

using Options = std::optional<QStringList>;

// Each row: a desktop's settings as it writes them, the options the user has there, and the
// settings once ours is added; taking ours out again gives back the user's own.
TEST(DesktopKeyboardSettings, ReadTheUsersOptionsAndAddOrRemoveOnlyOurs) {
    const struct {
        QString text;
        QStringList options;
        QString withOurs;
    } kxkbrcRows[] = {
        // KWin ignores the options while ResetOldOptions is off.
        {"[Layout]\nOptions=compose:ralt\nResetOldOptions=false\n",
         {},
         "[Layout]\nOptions=altwin:ctrl_win\nResetOldOptions=true\n"},
        {"[General]\nOptions=x\n[Layout]\nUse=true",
         {},
         "[General]\nOptions=x\n[Layout]\nOptions=altwin:ctrl_win\nResetOldOptions=true\nUse=true"},
        {"", {}, "[Layout]\nOptions=altwin:ctrl_win\nResetOldOptions=true\n"},
    };
    for (const auto& row : kxkbrcRows) {
        EXPECT_EQ(platform::kxkbrcOptions(row.text), row.options) << row.text.toStdString();
        const QString added = platform::kxkbrcWithOptions(
            row.text, platform::withOurOption(platform::kxkbrcOptions(row.text), true));
        EXPECT_EQ(added, row.withOurs);
        EXPECT_EQ(platform::kxkbrcOptions(platform::kxkbrcWithOptions(
                      added, platform::withOurOption(platform::kxkbrcOptions(added), false))),
                  row.options);
    }

    const struct {
        QByteArray json;
        Options options;
    } hyprctlRows[] = {
        {R"({"option": "input:kb_options", "str": "compose:ralt,altwin:ctrl_win", "set": true})",
         QStringList{"compose:ralt", "altwin:ctrl_win"}},
        {R"({"option": "input:kb_options", "str": "[[EMPTY]]", "set": false})", QStringList{}},
        {R"({"option": "input:kb_options", "int": 0})", std::nullopt},
        {"no such option", std::nullopt},
    };
    for (const auto& row : hyprctlRows) {
        EXPECT_EQ(platform::hyprlandKeyboardOptions(row.json), row.options) << row.json.data();
    }
}
