#include "platform/ProcessRunner.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>

using platform::ProcessOutcome;
using namespace std::chrono_literals;

TEST(SystemProcessRunner, ReportsExitStatusAndLaunchFailure) {
    platform::SystemProcessRunner runner;
    EXPECT_TRUE(runner.run("/bin/true", {}).succeeded());
    const ProcessOutcome failed = runner.run("/bin/sh", {"-c", "exit 3"});
    EXPECT_EQ(failed.kind, ProcessOutcome::Kind::Exited);
    EXPECT_EQ(failed.exitStatus, 3);
    EXPECT_EQ(runner.run("/nonexistent/tool", {}).kind, ProcessOutcome::Kind::LaunchFailed);
}

TEST(SystemProcessRunner, ArgumentsArriveUnsplit) {
    platform::SystemProcessRunner runner;
    EXPECT_TRUE(runner.run("/bin/sh", {"-c", "[ \"$1\" = 'a b {\"c\":1}' ]", "sh", "a b {\"c\":1}"})
                    .succeeded());
}

TEST(SystemProcessRunner, ChattyChildNeverBlocksOnAFullPipe) {
    platform::SystemProcessRunner runner;
    // Far more output than a pipe buffer holds.
    EXPECT_TRUE(
        runner.run("/bin/sh", {"-c", "head -c 4000000 /dev/zero; head -c 4000000 /dev/zero >&2"})
            .succeeded());
}

TEST(SystemProcessRunner, HungChildIsKilledAfterTheTimeout) {
    platform::SystemProcessRunner runner(300ms);
    EXPECT_EQ(runner.run("/bin/sleep", {"30"}).kind, ProcessOutcome::Kind::TimedOut);
}
