#include "platform/ProcessRunner.h"

#include <gtest/gtest.h>

using platform::ProcessOutcome;
using namespace std::chrono_literals;

TEST(SystemProcessRunner, ReportsExitStatusLaunchFailureAndTimeoutAndNeverBlocksOnAFullPipe) {
    platform::SystemProcessRunner runner;
    // Far more output than a pipe buffer holds, and an argument the child must see unsplit.
    EXPECT_TRUE(runner
                    .run("/bin/sh", {"-c",
                                     "[ \"$1\" = 'a b {\"c\":1}' ] && head -c 4000000 /dev/zero &&"
                                     " head -c 4000000 /dev/zero >&2",
                                     "sh", "a b {\"c\":1}"})
                    .succeeded());
    const ProcessOutcome failed = runner.run("/bin/sh", {"-c", "exit 3"});
    EXPECT_EQ(std::pair(failed.kind, failed.exitStatus),
              std::pair(ProcessOutcome::Kind::Exited, 3));
    EXPECT_EQ(runner.run("/nonexistent/tool", {}).kind, ProcessOutcome::Kind::LaunchFailed);
    EXPECT_EQ(platform::SystemProcessRunner(300ms).run("/bin/sleep", {"30"}).kind,
              ProcessOutcome::Kind::TimedOut);
}
