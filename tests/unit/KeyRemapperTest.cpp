#include "main/KeyRemapper.h"
#include "tests/unit/FakeKeyboard.h"

#include <gtest/gtest.h>
#include <QCoreApplication>

namespace {

using States = std::vector<std::pair<bool, bool>>;
using Calls = std::vector<bool>;

class KeyRemapperTest : public testing::Test {
  protected:
    void SetUp() override { remapper = makeRemapper(); }

    std::shared_ptr<KeyRemapper> makeRemapper() {
        auto made = std::make_shared<KeyRemapper>(KeyRemapperPlatform{tool, hotKeys});
        made->stateHandler = [this](bool running, bool trusted) {
            states.emplace_back(running, trusted);
        };
        made->commandHandler = [this](QuorvastelinCommand command) { commands.push_back(command); };
        return made;
    }

    // Brings the remapper to Off through an active mapping, then forgets what that took.
    void turnOff() {
        remapper->start();
        remapper->stop();
        forgetHistory();
    }
    void forgetHistory() {
        tool->calls.clear();
        states.clear();
        hotKeys->installs = 0;
        hotKeys->uninstalls = 0;
    }

    std::shared_ptr<FakeMappingTool> tool = std::make_shared<FakeMappingTool>();
    std::shared_ptr<FakeHotKeys> hotKeys = std::make_shared<FakeHotKeys>();
    std::shared_ptr<KeyRemapper> remapper;
    States states;
    std::vector<QuorvastelinCommand> commands;
};

}  // namespace

TEST_F(KeyRemapperTest, ConstructionHasNoOutsideEffect) {
    EXPECT_FALSE(remapper->isRunning());
    EXPECT_TRUE(tool->calls.empty());
    EXPECT_EQ(hotKeys->installs, 0);
    EXPECT_TRUE(states.empty());
}

TEST_F(KeyRemapperTest, FirstStartAppliesTheMappingInstallsTheFourAndFiveKeysAndReportsRunning) {
    remapper->start();

    EXPECT_TRUE(remapper->isRunning());
    EXPECT_EQ(tool->calls, Calls{true});
    EXPECT_EQ(states, (States{{true, true}}));
    EXPECT_EQ(hotKeys->installs, 1);
    ASSERT_EQ(hotKeys->keys.size(), 2u);
    EXPECT_EQ(hotKeys->keys[0].id, 4);
    EXPECT_EQ(hotKeys->keys[0].keyName, QByteArrayLiteral("AE04"));
    EXPECT_EQ(hotKeys->keys[1].id, 5);
    EXPECT_EQ(hotKeys->keys[1].keyName, QByteArrayLiteral("AE05"));
}

TEST_F(KeyRemapperTest, EveryWayOfTurningOnFromWantedWorksAlike) {
    for (void (KeyRemapper::*turnOn)() :
         {&KeyRemapper::start, &KeyRemapper::enable, &KeyRemapper::requestPermission}) {
        remapper = makeRemapper();
        forgetHistory();

        (remapper.get()->*turnOn)();

        EXPECT_TRUE(remapper->isRunning());
        EXPECT_EQ(tool->calls, Calls{true});
        EXPECT_EQ(states, (States{{true, true}}));
        remapper->stop();
    }
}

TEST_F(KeyRemapperTest, AFailingToolReportsNotRunningInstallsNothingAndEachStartRetries) {
    tool->succeeds = false;

    remapper->enable();
    remapper->start();
    remapper->start();

    EXPECT_FALSE(remapper->isRunning());
    EXPECT_EQ(tool->calls, (Calls{true, true, true}));
    EXPECT_EQ(hotKeys->installs, 0);
    EXPECT_EQ(states, (States{{false, true}, {false, true}, {false, true}}));
}

TEST_F(KeyRemapperTest, WhileActiveTurningOnAgainRunsNoToolAndReportsNothing) {
    remapper->start();
    forgetHistory();

    remapper->start();
    remapper->enable();
    remapper->requestPermission();

    EXPECT_TRUE(remapper->isRunning());
    EXPECT_TRUE(tool->calls.empty());
    EXPECT_EQ(hotKeys->installs, 0);
    EXPECT_TRUE(states.empty());
}

TEST_F(KeyRemapperTest, StopWhileActiveRemovesHotKeysAndMappingAndReports) {
    remapper->start();
    forgetHistory();

    remapper->stop();

    EXPECT_FALSE(remapper->isRunning());
    EXPECT_EQ(hotKeys->uninstalls, 1);
    EXPECT_EQ(tool->calls, Calls{false});
    EXPECT_EQ(states, (States{{false, true}}));
}

TEST_F(KeyRemapperTest, StopCountsAsStoppedEvenWhenClearingFails) {
    remapper->start();
    tool->succeeds = false;

    remapper->stop();

    EXPECT_FALSE(remapper->isRunning());
    EXPECT_EQ(hotKeys->uninstalls, 1);
}

TEST_F(KeyRemapperTest, StopWhileOffOrWantedRunsNoToolButStillReports) {
    tool->succeeds = false;
    remapper->start();
    forgetHistory();

    remapper->stop();
    remapper->stop();

    EXPECT_TRUE(tool->calls.empty());
    EXPECT_EQ(hotKeys->uninstalls, 0);
    EXPECT_EQ(states, (States{{false, true}, {false, true}}));
}

TEST_F(KeyRemapperTest, StartAfterStopDoesNothing) {
    turnOff();

    remapper->start();

    EXPECT_FALSE(remapper->isRunning());
    EXPECT_TRUE(tool->calls.empty());
    EXPECT_TRUE(states.empty());
}

TEST_F(KeyRemapperTest, EnableFromOffAppliesAgainAndRegistersHotKeysAfresh) {
    turnOff();

    remapper->enable();

    EXPECT_TRUE(remapper->isRunning());
    EXPECT_EQ(tool->calls, Calls{true});
    EXPECT_EQ(hotKeys->installs, 1);
    EXPECT_EQ(states, (States{{true, true}}));
}

TEST_F(KeyRemapperTest, RequestPermissionFromOffWithAFailingToolReportsNotRunning) {
    turnOff();
    tool->succeeds = false;

    remapper->requestPermission();

    EXPECT_FALSE(remapper->isRunning());
    EXPECT_EQ(states, (States{{false, true}}));
    remapper->start();
    EXPECT_EQ(tool->calls, (Calls{true, true}));
}

TEST_F(KeyRemapperTest, DestructionWhileActiveRemovesEverythingWithoutReporting) {
    remapper->start();
    forgetHistory();

    remapper.reset();

    EXPECT_EQ(hotKeys->uninstalls, 1);
    EXPECT_EQ(tool->calls, Calls{false});
    EXPECT_TRUE(states.empty());
}

TEST_F(KeyRemapperTest, DestructionWhileOffRunsNoTool) {
    turnOff();

    remapper.reset();

    EXPECT_TRUE(tool->calls.empty());
}

TEST_F(KeyRemapperTest, HotKeyIdsBecomeCommandsAndOthersAreIgnored) {
    remapper->start();

    hotKeys->onPress(4);
    hotKeys->onPress(5);
    hotKeys->onPress(0);
    hotKeys->onPress(6);

    EXPECT_EQ(commands, (std::vector<QuorvastelinCommand>{QuorvastelinCommand::screenshot,
                                                          QuorvastelinCommand::video}));
}

TEST_F(KeyRemapperTest, PressesWithoutACommandHandlerOrAfterTheRemapperIsGoneDoNothing) {
    remapper->start();
    const auto onPress = hotKeys->onPress;
    remapper->commandHandler = nullptr;

    onPress(4);
    remapper.reset();
    onPress(5);

    EXPECT_TRUE(commands.empty());
}

TEST_F(KeyRemapperTest, AMappingResetBehindOurBackCountsAsLostUntilTheNextStart) {
    remapper->start();
    tool->serverCarriesOption = false;
    forgetHistory();

    remapper->checkMappingStillApplied();

    EXPECT_FALSE(remapper->isRunning());
    EXPECT_EQ(hotKeys->uninstalls, 1);
    EXPECT_EQ(states, (States{{false, true}}));
    EXPECT_TRUE(tool->calls.empty());

    remapper->start();

    EXPECT_TRUE(remapper->isRunning());
    EXPECT_EQ(hotKeys->installs, 1);
    EXPECT_EQ(states, (States{{false, true}, {true, true}}));
}

TEST_F(KeyRemapperTest, AMappingStillInPlaceOrNotRunningIsLeftAlone) {
    remapper->checkMappingStillApplied();
    EXPECT_EQ(tool->queries, 0);

    remapper->start();
    forgetHistory();
    remapper->checkMappingStillApplied();

    EXPECT_EQ(tool->queries, 1);
    EXPECT_TRUE(remapper->isRunning());
    EXPECT_TRUE(states.empty());
    EXPECT_EQ(hotKeys->uninstalls, 0);
}

TEST_F(KeyRemapperTest, WithoutAnXDisplayTheStateMachineStillWorksAndHotKeysAreAbsent) {
    auto offscreen = std::make_shared<KeyRemapper>(
        KeyRemapperPlatform{tool, std::make_shared<platform::X11HotKeys>()});
    offscreen->stateHandler = [this](bool running, bool trusted) {
        states.emplace_back(running, trusted);
    };

    offscreen->start();
    QCoreApplication::processEvents();
    offscreen->stop();

    EXPECT_EQ(states, (States{{true, true}, {false, true}}));
}
