// The Vineflower engine's cold run: its command and how each way node ends becomes an outcome,
// on a fake runner.
#include "engine/core/vineflower_cold_run.h"

#include <gtest/gtest.h>

#include "fake_backends.h"

namespace {

using namespace brindle::engine;
using jadtest::FakeRunner;
using Ending = RunResult::Ending;

RunResult ended(Ending ending, int status, std::string out = {}, std::string err = {}) {
    RunResult r;
    r.ending = ending;
    r.status = status;
    r.out = std::move(out);
    r.err = std::move(err);
    if (ending == Ending::StartFailed) r.startError = "Permission denied";
    return r;
}

DecompileJob job() {
    DecompileJob j;
    j.classFile = "/in/A.class";
    j.timeLimit = std::chrono::seconds(120);
    j.deadline = Clock::now() + std::chrono::seconds(30);
    return j;
}

TEST(VineflowerColdRun, RunsTheOneShotModeWithinWhatIsLeftOfTheBudget) {
    FakeRunner runner(ended(Ending::Exited, 0, "class A {}\n"));
    VineflowerColdBackend cold(
        runner, {"/usr/bin/node", "/opt/vineflower/vineflower.mjs", {"LC_ALL=C.UTF-8"}});
    DecompileJob j = job();
    EXPECT_EQ(cold.decompile(j).source, "class A {}\n");
    ASSERT_EQ(runner.requests.size(), 1u);
    const RunRequest& request = runner.requests[0];
    EXPECT_EQ(request.program, "/usr/bin/node");
    EXPECT_EQ(request.args, (std::vector<std::string>{"/opt/vineflower/vineflower.mjs", "--cold",
                                                      "/in/A.class"}));
    EXPECT_EQ(request.env, std::vector<std::string>{"LC_ALL=C.UTF-8"});
    EXPECT_LE(request.timeout, std::chrono::seconds(30));
    EXPECT_GT(request.timeout, std::chrono::seconds(25));
}

TEST(VineflowerColdRun, EachEndingHasItsOutcome) {
    const struct {
        const char* what;
        RunResult run;
        OutcomeKind kind;
        bool partial;
        std::string detail;
    } cases[] = {
        {"source", ended(Ending::Exited, 0, "class A {}"), OutcomeKind::Source, false, ""},
        {"marked source", ended(Ending::Exited, 3, "class A {}"), OutcomeKind::Source, true, ""},
        {"no source", ended(Ending::Exited, 1, "", "not a class file (cut short)\nmore\n"),
         OutcomeKind::NoSource, false, "not a class file (cut short)"},
        {"a blank source", ended(Ending::Exited, 0, " \n"), OutcomeKind::NoSource, false, ""},
        {"another status", ended(Ending::Exited, 13, "", "SyntaxError: x\n"),
         OutcomeKind::DecompilerFailed, false, "SyntaxError: x"},
        {"signal", ended(Ending::Signaled, 9), OutcomeKind::DecompilerSignaled, false, ""},
        {"no start", ended(Ending::StartFailed, 0), OutcomeKind::CannotStartJava, false,
         "/usr/bin/node: Permission denied"},
        {"time-out", ended(Ending::TimedOut, 0), OutcomeKind::TimedOut, false, ""},
        {"too much", ended(Ending::OutputTooLarge, 0), OutcomeKind::SourceTooLarge, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRunner runner(c.run);
        VineflowerColdBackend cold(runner, {"/usr/bin/node", "/v/vineflower.mjs", {}});
        DecompileJob j = job();
        const Outcome outcome = cold.decompile(j);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(outcome.partial, c.partial);
        EXPECT_EQ(outcome.detail, c.detail);
    }
}

}  // namespace
