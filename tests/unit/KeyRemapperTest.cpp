#include "main/KeyRemapper.h"
#include "tests/unit/FakeKeyboard.h"

#include <gtest/gtest.h>

namespace {

class KeyRemapperTest : public testing::Test {
  protected:
    void SetUp() override { remapper = makeRemapper(); }

    std::shared_ptr<KeyRemapper> makeRemapper() {
        auto made = std::make_shared<KeyRemapper>(KeyRemapperPlatform{tool, hotKeys});
        made->stateHandler = [this](bool running, bool trusted) {
            reports += std::string(running ? "on" : "off") + (trusted ? "" : "(untrusted)") + ' ';
        };
        return made;
    }

    // What the remapper did since the last call, in this order: tool runs (apply, clear),
    // reports (on, off), hot key installs (+) and removals (-).
    std::string took() {
        std::string done;
        for (bool enabled : std::exchange(tool->calls, {})) {
            done += enabled ? "apply " : "clear ";
        }
        return done + std::exchange(reports, "") +
               std::string(std::exchange(hotKeys->installs, 0), '+') +
               std::string(std::exchange(hotKeys->uninstalls, 0), '-');
    }

    std::shared_ptr<FakeMappingTool> tool = std::make_shared<FakeMappingTool>();
    std::shared_ptr<FakeHotKeys> hotKeys = std::make_shared<FakeHotKeys>();
    std::shared_ptr<KeyRemapper> remapper;
    std::string reports;
};

}  // namespace

// Each row: the state reached first, whether the tool works, the action, what that action did.
TEST_F(KeyRemapperTest, EveryTransitionRunsTheToolReportsAndMovesTheHotKeysAsItShould) {
    using Action = void (KeyRemapper::*)();
    const Action start = &KeyRemapper::start, enable = &KeyRemapper::enable,
                 request = &KeyRemapper::requestPermission, stop = &KeyRemapper::stop;
    const struct {
        const char* from;
        bool toolWorks;
        Action action;
        const char* did;
        bool running;
    } rows[] = {
        {"wanted", true, start, "apply on +", true},
        {"wanted", true, enable, "apply on +", true},
        {"wanted", false, start, "apply off ", false},
        {"failed", false, start, "apply off ", false},
        {"wanted", true, stop, "off ", false},
        {"active", true, start, "", true},
        {"active", true, stop, "clear off -", false},
        {"active", false, stop, "clear off -", false},
        {"off", true, start, "", false},
        {"off", true, stop, "off ", false},
        {"off", true, enable, "apply on +", true},
        {"off", false, request, "apply off ", false},
    };
    EXPECT_EQ(took(), "") << "construction has no outside effect";
    for (const auto& row : rows) {
        const std::string from = row.from;
        remapper = makeRemapper();
        tool->succeeds = from != "failed";
        if (from != "wanted") {
            remapper->enable();
        }
        if (from == "off") {
            remapper->stop();
        }
        took();
        tool->succeeds = row.toolWorks;
        (remapper.get()->*row.action)();
        EXPECT_EQ(took(), row.did) << "from " << from;
        EXPECT_EQ(remapper->isRunning(), row.running) << "from " << from;
        tool->succeeds = true;
        remapper->stop();
    }
    ASSERT_EQ(hotKeys->keys.size(), 2u);
    EXPECT_EQ(std::tuple(hotKeys->keys[0].id, hotKeys->keys[0].keyName, hotKeys->keys[0].keyCode,
                         hotKeys->keys[1].id, hotKeys->keys[1].keyName, hotKeys->keys[1].keyCode),
              std::tuple(4, QByteArray("AE04"), 13, 5, QByteArray("AE05"), 14));
}
