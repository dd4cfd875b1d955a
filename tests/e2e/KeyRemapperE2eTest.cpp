#include "main/KeyRemapper.h"
#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

namespace {

using Commands = std::vector<QuorvastelinCommand>;
constexpr auto screenshot = QuorvastelinCommand::screenshot;
constexpr auto video = QuorvastelinCommand::video;

// Keycodes of Xvfb's evdev keymap.
constexpr int leftControl = 37;
constexpr int leftShift = 50;
constexpr int leftSuper = 133;
constexpr int rightSuper = 134;
constexpr int key4 = 13;
constexpr int key5 = 14;
// Caps Lock and Num Lock toggled.
const QString caps = QStringLiteral("key 66 ");
const QString num = QStringLiteral("key 77 ");

void setUserKeyboard(QStringList arguments) {
    arguments += QStringList{"-option", "", "-option", "compose:ralt"};
    ASSERT_EQ(e2e::runTool("setxkbmap", arguments).exitCode, 0);
}

// xdotool with numeric keycodes, given as one line: after the mapping the keysym Super_L no
// longer exists.
QString chord(std::initializer_list<int> modifiers, int key) {
    QString down;
    QString up;
    for (int modifier : modifiers) {
        down += QStringLiteral("keydown %1 ").arg(modifier);
        up += QStringLiteral(" keyup %1").arg(modifier);
    }
    return down + QStringLiteral("key %1").arg(key) + up;
}

}  // namespace

// The remapper of this process against the real X server, whose user keeps compose:ralt.
TEST(KeyRemapperE2e, MapsKeepingTheUsersOptionAndExactlyControlWithFourOrFiveDeliversWhileItRuns) {
    setUserKeyboard({});
    const auto remapper = std::make_shared<KeyRemapper>();
    Commands commands;
    std::vector<bool> states;
    remapper->commandHandler = [&](QuorvastelinCommand command) { commands.push_back(command); };
    remapper->stateHandler = [&](bool running, bool) { states.push_back(running); };
    // Presses the steps, then Control plus the sentinel key, and waits for the sentinel's
    // command: X delivers in order, so by then every earlier press has arrived or never will.
    const auto commandsAfter = [&](const QString& steps, int sentinelKey = key5) {
        const std::size_t before = commands.size();
        e2e::xdotool(steps.split(' '));
        e2e::xdotool(chord({leftControl}, sentinelKey).split(' '));
        const QuorvastelinCommand sentinel = sentinelKey == key4 ? screenshot : video;
        const bool arrived =
            e2e::waitUntil([&] { return commands.size() > before && commands.back() == sentinel; });
        EXPECT_TRUE(arrived) << "the sentinel hot key never arrived";
        return Commands(commands.begin() + static_cast<std::ptrdiff_t>(before),
                        commands.end() - (arrived ? 1 : 0));
    };
    const QStringList usersAndOurOption{"compose:ralt", "altwin:ctrl_win"};

    // A combination another program holds leaves the other hot key working.
    xcb_connection_t* other = xcb_connect(e2e::display().toUtf8().constData(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    ASSERT_EQ(
        xcb_request_check(other, xcb_grab_key_checked(other, 0, root, XCB_MOD_MASK_CONTROL, key4,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
        nullptr);
    remapper->start();
    EXPECT_TRUE(remapper->isRunning());
    EXPECT_EQ(e2e::keyboardOptions(), usersAndOurOption);
    EXPECT_EQ(commandsAfter(chord({leftControl}, key4)), Commands{});
    xcb_disconnect(other);

    // Stopped, only our option goes and the hot keys are off until enabled again.
    remapper->stop();
    EXPECT_EQ(e2e::keyboardOptions(), QStringList{"compose:ralt"});
    e2e::xdotool(chord({leftControl}, key4).split(' '));
    remapper->enable();
    EXPECT_EQ(e2e::keyboardOptions(), usersAndOurOption);
    const struct {
        QString steps;
        int sentinelKey;
        Commands delivered;
    } presses[] = {
        {chord({leftSuper}, key4), key5, {screenshot}},
        {chord({rightSuper}, key5), key4, {video}},
        {chord({leftControl}, key4), key5, {screenshot}},
        {chord({leftControl, leftShift}, key4), key5, {}},
        {chord({leftSuper, leftShift}, key5), key4, {}},
        {caps + chord({leftControl}, key4), key5, {screenshot}},
        {caps + num + chord({leftControl}, key4), key5, {screenshot}},
        {num + chord({leftControl}, key4), key5, {screenshot}},
    };
    for (const auto& press : presses) {
        EXPECT_EQ(commandsAfter(press.steps, press.sentinelKey), press.delivered)
            << press.steps.toStdString();
    }
    ASSERT_TRUE(e2e::runTool("xset", {"q"}).output.contains("auto repeat:  on"))
        << "without the server's auto-repeat a held key would test nothing";
    EXPECT_EQ(commandsAfter(QStringLiteral("keydown %1 keydown %2 sleep 1.5 keyup %2 keyup %1")
                                .arg(leftControl)
                                .arg(key5),
                            key4),
              Commands{video})
        << "a held Control+5 fires once";

    // A desktop switching layouts resets the options; the hot keys follow the physical keys.
    setUserKeyboard({"-layout", "fr"});
    remapper->checkMappingStillApplied();
    EXPECT_FALSE(remapper->isRunning());
    remapper->start();
    EXPECT_EQ(states, (std::vector<bool>{true, false, true, false, true}));
    EXPECT_EQ(e2e::keyboardSetting("layout"), "fr");
    EXPECT_EQ(e2e::keyboardOptions(), usersAndOurOption);
    EXPECT_EQ(commandsAfter(chord({leftSuper}, key4)), Commands{screenshot});
}
