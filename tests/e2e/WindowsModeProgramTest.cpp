#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <QTemporaryDir>
#include <csignal>
#include <cstdlib>

namespace {

constexpr int key4 = 13;
constexpr int key5 = 14;
constexpr uint8_t badAccess = 10;

const QString userOption = QStringLiteral("compose:ralt");
const QString ourOption = QStringLiteral("altwin:ctrl_win");

void setUserOptions(const QString& option) {
    ASSERT_EQ(e2e::runTool(QStringLiteral("setxkbmap"), {QStringLiteral("-option"), QString(),
                                                         QStringLiteral("-option"), option})
                  .exitCode,
              0);
}

bool mappingApplied() {
    return e2e::keyboardOptions() == QStringList{userOption, ourOption};
}

// Whether some other client holds Control plus the key: our own grab attempt is refused.
bool grabbedElsewhere(int keycode) {
    xcb_connection_t* connection = xcb_connect(e2e::display().toUtf8().constData(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_generic_error_t* error = xcb_request_check(
        connection, xcb_grab_key_checked(connection, 0, root, XCB_MOD_MASK_CONTROL,
                                         static_cast<xcb_keycode_t>(keycode), XCB_GRAB_MODE_ASYNC,
                                         XCB_GRAB_MODE_ASYNC));
    const bool refused = error && error->error_code == badAccess;
    std::free(error);
    xcb_disconnect(connection);
    return refused;
}

class WindowsModeProgramTest : public testing::Test {
  protected:
    void SetUp() override { setUserOptions(userOption); }

    void launch(const QProcessEnvironment& environment = {}) {
        program = std::make_unique<e2e::Program>(home.path(), environment);
        ASSERT_TRUE(program->start());
        ASSERT_TRUE(e2e::waitUntil(mappingApplied))
            << e2e::keyboardOptions().join(',').toStdString();
    }

    QTemporaryDir home;
    std::unique_ptr<e2e::Program> program;
};

TEST_F(WindowsModeProgramTest, LaunchAndUpkeepApplyTheMappingAndSigtermRemovesOnlyOurOption) {
    launch();
    const auto bothGrabbed = [] { return grabbedElsewhere(key4) && grabbedElsewhere(key5); };
    EXPECT_TRUE(e2e::waitUntil(bothGrabbed));

    setUserOptions(userOption);
    EXPECT_TRUE(e2e::waitUntil(mappingApplied)) << "the upkeep restores a reset mapping";
    EXPECT_TRUE(e2e::waitUntil(bothGrabbed));

    program->signal(SIGTERM);
    EXPECT_EQ(program->waitForExit(), std::optional<int>(0));
    EXPECT_EQ(e2e::keyboardOptions(), QStringList{userOption});
    EXPECT_FALSE(grabbedElsewhere(key4));
}

TEST_F(WindowsModeProgramTest, QuitFromTheTrayMenuEndsCleanlyAndRemovesOnlyOurOption) {
    e2e::SessionBus bus;
    e2e::TrayHost tray(bus);
    ASSERT_TRUE(e2e::waitUntil([&] { return tray.said("ready"); }));

    launch(bus.environment());
    tray.click(QStringLiteral("Thoát"));

    EXPECT_TRUE(e2e::waitUntil([&] { return tray.said("clicked Thoát"); }));
    EXPECT_EQ(program->waitForExit(), std::optional<int>(0));
    EXPECT_EQ(e2e::keyboardOptions(), QStringList{userOption});
}

}  // namespace
