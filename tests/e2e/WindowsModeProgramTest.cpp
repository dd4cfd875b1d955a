#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <csignal>

namespace {

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
    setUserOptions(userOption);
    EXPECT_TRUE(e2e::waitUntil(mappingApplied)) << "the upkeep restores a reset mapping";

    program->signal(SIGTERM);
    EXPECT_EQ(program->waitForExit(), std::optional<int>(0));
    EXPECT_EQ(e2e::keyboardOptions(), QStringList{userOption});
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
