#include "main/KeyRemapper.h"
#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

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
constexpr int capsLock = 66;
constexpr int numLock = 77;

const QStringList usersOptionOnly{QStringLiteral("compose:ralt")};
const QStringList usersAndOurOption{QStringLiteral("compose:ralt"),
                                    QStringLiteral("altwin:ctrl_win")};

void setUserKeyboard(QStringList arguments) {
    arguments << QStringLiteral("-option") << QString() << QStringLiteral("-option")
              << QStringLiteral("compose:ralt");
    ASSERT_EQ(e2e::runTool(QStringLiteral("setxkbmap"), arguments).exitCode, 0);
}

// xdotool with numeric keycodes, given as one line: after the mapping the keysym Super_L no
// longer exists.
void xdotool(const QString& steps) {
    ASSERT_EQ(e2e::runTool(QStringLiteral("xdotool"), steps.split(' ')).exitCode, 0);
}

QString chord(std::initializer_list<int> modifiers, int key) {
    QString down;
    QString up;
    for (int modifier : modifiers) {
        down += QStringLiteral("keydown %1 ").arg(modifier);
        up += QStringLiteral(" keyup %1").arg(modifier);
    }
    return down + QStringLiteral("key %1").arg(key) + up;
}

// Counts the key presses of one keycode that reach this process, before the hot keys see them.
class PressCounter : public QAbstractNativeEventFilter {
  public:
    explicit PressCounter(int keycode) : keycode(keycode) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~PressCounter() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
        const auto* event = static_cast<const xcb_key_press_event_t*>(message);
        presses += (event->response_type & 0x7f) == XCB_KEY_PRESS && event->detail == keycode;
        return false;
    }
    int presses = 0;

  private:
    int keycode;
};

class KeyRemapperE2eTest : public testing::Test {
  protected:
    void SetUp() override {
        setUserKeyboard({});
        remapper = std::make_shared<KeyRemapper>();
        remapper->commandHandler = [this](QuorvastelinCommand command) {
            commands.push_back(command);
        };
        remapper->stateHandler = [this](bool running, bool) { states.push_back(running); };
    }

    // Presses the steps, then Control plus the sentinel key, and waits for the sentinel's
    // command: X delivers in order, so by then every earlier press has arrived or never will.
    Commands commandsAfter(const QString& steps, int sentinelKey = key5) {
        const QuorvastelinCommand sentinel = sentinelKey == key4 ? screenshot : video;
        const std::size_t before = commands.size();
        xdotool(steps);
        xdotool(chord({leftControl}, sentinelKey));
        const bool arrived =
            e2e::waitUntil([&] { return commands.size() > before && commands.back() == sentinel; });
        EXPECT_TRUE(arrived) << "the sentinel hot key never arrived";
        Commands delivered(commands.begin() + static_cast<std::ptrdiff_t>(before), commands.end());
        if (arrived) {
            delivered.pop_back();
        }
        return delivered;
    }

    std::shared_ptr<KeyRemapper> remapper;
    Commands commands;
    std::vector<bool> states;
};

TEST_F(KeyRemapperE2eTest, EnableKeepsTheUsersOptionAndExactlyControlWithFourOrFiveDelivers) {
    remapper->enable();
    EXPECT_EQ(states, std::vector<bool>{true});
    EXPECT_EQ(e2e::keyboardOptions(), usersAndOurOption);

    EXPECT_EQ(commandsAfter(chord({leftSuper}, key4)), Commands{screenshot});
    EXPECT_EQ(commandsAfter(chord({rightSuper}, key5), key4), Commands{video});
    EXPECT_EQ(commandsAfter(chord({leftControl}, key4)), Commands{screenshot});
    EXPECT_EQ(commandsAfter(chord({leftControl, leftShift}, key4)), Commands{});
    EXPECT_EQ(commandsAfter(chord({leftSuper, leftShift}, key5), key4), Commands{});

    xdotool(QStringLiteral("key %1").arg(capsLock));
    EXPECT_EQ(commandsAfter(chord({leftControl}, key4)), Commands{screenshot});
    xdotool(QStringLiteral("key %1 key %2").arg(capsLock).arg(numLock));
    EXPECT_EQ(commandsAfter(chord({leftControl}, key4)), Commands{screenshot});
    xdotool(QStringLiteral("key %1").arg(numLock));

    PressCounter seen(key5);
    EXPECT_EQ(commandsAfter(QStringLiteral("keydown %1 keydown %2 sleep 1.5 keyup %2 keyup %1")
                                .arg(leftControl)
                                .arg(key5),
                            key4),
              Commands{video})
        << "a held Control+5 fires once";
    EXPECT_GT(seen.presses, 1) << "the server sent no auto-repeat, so nothing was tested";
}

TEST_F(KeyRemapperE2eTest, StopRemovesOnlyOurOptionAndTheHotKeysUntilEnabledAgain) {
    remapper->start();
    remapper->stop();
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
    EXPECT_EQ(e2e::keyboardOptions(), usersOptionOnly);

    xdotool(chord({leftControl}, key4));
    remapper->enable();
    EXPECT_EQ(commandsAfter(chord({leftControl}, key4)), Commands{screenshot});
    EXPECT_EQ(commands, (Commands{screenshot, video}));
}

// A desktop switching layouts resets the options; the hot keys follow the physical keys.
TEST_F(KeyRemapperE2eTest, UpkeepReappliesAMappingResetByALayoutSwitch) {
    remapper->start();
    setUserKeyboard({QStringLiteral("-layout"), QStringLiteral("fr")});

    remapper->checkMappingStillApplied();
    EXPECT_FALSE(remapper->isRunning());
    remapper->start();

    EXPECT_EQ(states, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(e2e::keyboardSetting(QStringLiteral("layout")), QStringLiteral("fr"));
    EXPECT_EQ(e2e::keyboardOptions(), usersAndOurOption);
    EXPECT_EQ(commandsAfter(chord({leftSuper}, key4)), Commands{screenshot});
}

TEST_F(KeyRemapperE2eTest, ACombinationTakenByAnotherProgramLeavesTheOtherHotKeyWorking) {
    xcb_connection_t* other = xcb_connect(e2e::display().toUtf8().constData(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    ASSERT_EQ(
        xcb_request_check(other, xcb_grab_key_checked(other, 0, root, XCB_MOD_MASK_CONTROL, key4,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
        nullptr);

    remapper->start();

    EXPECT_TRUE(remapper->isRunning());
    EXPECT_EQ(commandsAfter(chord({leftControl}, key4)), Commands{});
    EXPECT_EQ(commands, Commands{video});
    xcb_disconnect(other);
}

}  // namespace
