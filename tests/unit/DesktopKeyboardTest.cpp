#include "platform/wayland/GnomeKeyboard.h"
#include "platform/wayland/HyprlandKeyboard.h"
#include "platform/wayland/KdeKeyboard.h"
#include "platform/wayland/SwayKeyboard.h"

#include <gtest/gtest.h>

using Options = std::optional<QStringList>;

// Each row: a desktop's settings as it writes them, the options the user has there, and the
// settings once ours is added; taking ours out again gives back the user's own, and kxkbrc
// byte for byte. Our bindings name the physical key by its code, whatever the layout types.
TEST(DesktopKeyboardSettings, ReadTheUsersOptionsAndAddOrRemoveOnlyOurs) {
    const struct {
        QByteArray text;
        QStringList options;
        QByteArray withOurs;
    } kxkbrcRows[] = {
        // KWin ignores the options while ResetOldOptions is off.
        {"[Layout]\nOptions=compose:ralt\nResetOldOptions=false\n",
         {},
         "[Layout]\nOptions=altwin:ctrl_win\nResetOldOptions=true\n"},
        {"[General]\nOptions=x\n[Layout]\nUse=true",
         {},
         "[General]\nOptions=x\n[Layout]\nOptions=altwin:ctrl_win\nResetOldOptions=true\nUse=true"},
        {"", {}, "[Layout]\nOptions=altwin:ctrl_win\nResetOldOptions=true\n"},
        // A byte-order mark, Windows line ends, bytes that are no UTF-8, spaces around the
        // value and options in another group.
        {"\xEF\xBB\xBF[Layout]\r\nDisplayNames=\xFF\xFE\r\nResetOldOptions=true\r\n"
         "Options = caps:escape, compose:ralt \r\n[Other]\r\nOptions=z\r\n",
         {"caps:escape", "compose:ralt"},
         "\xEF\xBB\xBF[Layout]\r\nDisplayNames=\xFF\xFE\r\nResetOldOptions=true\r\n"
         "Options = caps:escape, compose:ralt,altwin:ctrl_win \r\n[Other]\r\nOptions=z\r\n"},
        {"[General]\r\nX=1\r\n",
         {},
         "[General]\r\nX=1\r\n[Layout]\r\nOptions=altwin:ctrl_win\r\nResetOldOptions=true\r\n"},
    };
    for (const auto& row : kxkbrcRows) {
        SCOPED_TRACE(row.text.toStdString());
        EXPECT_EQ(platform::kxkbrcOptions(row.text), row.options);
        const QByteArray added = platform::kxkbrcWithOurOption(row.text);
        EXPECT_EQ(added, row.withOurs);
        EXPECT_EQ(platform::kxkbrcWithOurOption(added), added);
        EXPECT_EQ(platform::kxkbrcWithoutOurOption(added, row.text), row.text);
        // Changed by the desktop meanwhile: only ours goes.
        const QByteArray changed = added + "[Later]\n";
        EXPECT_EQ(platform::kxkbrcOptions(platform::kxkbrcWithoutOurOption(changed, row.text)),
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

    const platform::HotKey key{5, "AE05", 14, "5", "--record", "Quay / dừng quay"};
    const struct {
        std::pair<QString, QString> bindAndUnbind;
        std::pair<QString, QString> expected;
    } bindingRows[] = {
        {platform::swayBindingCommands(key, R"(run "it")"),
         {R"(bindcode --no-repeat Ctrl+14 exec "run \"it\"")", "unbindcode Ctrl+14"}},
        {platform::hyprlandBindings(key, "run it"), {"CTRL,code:14,exec,run it", "CTRL,code:14"}},
    };
    for (const auto& row : bindingRows) {
        EXPECT_EQ(row.bindAndUnbind, row.expected) << row.bindAndUnbind.first.toStdString();
    }
}
