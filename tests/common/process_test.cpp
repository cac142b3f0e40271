// Running a program while collecting its standard error: what it says, how it ended, and that
// neither a flood of output nor a program it leaves behind holds the caller up.

#include "common/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace brindle::common {
namespace {

TEST(RunCollectingErrors, TheErrorsAndTheExitStatus) {
    const ProcessRun run = runCollectingErrors(
        {"sh", "-c", "echo out; echo 'first line' >&2; echo more >&2; exit 3"}, 1024);
    EXPECT_TRUE(run.started);
    EXPECT_EQ(run.exitStatus, 3);
    EXPECT_EQ(run.errors, "first line\nmore\n");  // the output went nowhere

    const ProcessRun missing = runCollectingErrors({"/nonexistent/engine", "x"}, 1024);
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(runCollectingErrors({}, 1024).started);
}

TEST(RunCollectingErrors, AFloodIsReadAndOnlyTheStartKept) {
    // Four megabytes: far more than a pipe holds, so the program would stop if nobody read.
    const ProcessRun run = runCollectingErrors(
        {"sh", "-c", "head -c 4194304 /dev/zero | tr '\\0' x >&2; exit 0"}, 100);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.errors, std::string(100, 'x'));
}

TEST(RunCollectingErrors, AProgramLeftRunningWithThePipeDoesNotHoldTheCaller) {
    const auto begin = std::chrono::steady_clock::now();
    const ProcessRun run =
        runCollectingErrors({"sh", "-c", "echo gone >&2; sleep 60 & exit 5"}, 1024);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(30));
    EXPECT_EQ(run.exitStatus, 5);
    EXPECT_EQ(run.errors, "gone\n");
}

}  // namespace
}  // namespace brindle::common
