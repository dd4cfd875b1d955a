#include "main/App/InstallUpkeep.h"

#include "platform/InstallEnvironment.h"

#include <gtest/gtest.h>

namespace {

// Records every child process instead of starting one.
class FakeRunner : public platform::ProcessRunner {
  public:
    platform::ProcessOutcome run(const QString& program, const QStringList& arguments) override {
        calls << QStringList{program} + arguments;
        return {platform::ProcessOutcome::Kind::Exited, 0};
    }
    QList<QStringList> calls;
};

}  // namespace

// Linux has no bundle to relocate and no capture permission to reset: both steps answer
// false without starting anything or ending the program.
TEST(InstallUpkeep, OnLinuxNeitherStepRunsAToolOrEndsTheProgram) {
    auto runner = std::make_shared<FakeRunner>();
    int terminations = 0;
    InstallUpkeep upkeep(platform::currentInstallEnvironment(), runner, [&] { ++terminations; });
    EXPECT_FALSE(upkeep.relocateFromDiskImageIfNeeded());
    EXPECT_FALSE(upkeep.migrateLegacyScreenCapturePermission());
    EXPECT_TRUE(runner->calls.isEmpty());
    EXPECT_EQ(terminations, 0);
}
