// A cold run's command and how each way java ends becomes an outcome, on a fake runner.
#include "engine/core/cold_run.h"

#include <gtest/gtest.h>

#include "fake_backends.h"

namespace {

using namespace brindle::engine;
using jadtest::FakeRunner;
using Ending = RunResult::Ending;

RunResult ended(Ending ending, int status = 0, std::string out = {}, std::string err = {}) {
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
    j.deadline = Clock::now() + std::chrono::seconds(30);  // a backend before took the rest
    return j;
}

TEST(ColdRun, RunsProcyonsCommandLineWithinWhatIsLeftOfTheBudget) {
    FakeRunner runner(ended(Ending::Exited, 0, "class A {}\n"));
    ColdRunBackend cold(runner, {"/usr/bin/java", "/p.jar:/q.jar", {"LC_ALL=C.UTF-8"}, {"@/opts"}});
    DecompileJob j = job();
    const Outcome outcome = cold.decompile(j);
    EXPECT_EQ(outcome.kind, OutcomeKind::Source);
    EXPECT_EQ(outcome.source, "class A {}\n");
    ASSERT_EQ(runner.requests.size(), 1u);
    const RunRequest& request = runner.requests[0];
    EXPECT_EQ(request.program, "/usr/bin/java");
    EXPECT_EQ(request.args,
              (std::vector<std::string>{"-XX:-UsePerfData", "-XX:-OmitStackTraceInFastThrow", "@/opts",
                                        "-cp", "/p.jar:/q.jar",
                                        "com.strobel.decompiler.DecompilerDriver", "/in/A.class"}));
    EXPECT_EQ(request.env, std::vector<std::string>{"LC_ALL=C.UTF-8"});
    EXPECT_LE(request.timeout, std::chrono::seconds(30));
    EXPECT_GT(request.timeout, std::chrono::seconds(25));
}

TEST(ColdRun, TheServiceProgramsColdModeWhenThereIsOne) {
    for (const auto& [status, kind] : {std::pair{0, OutcomeKind::Source},
                                       std::pair{3, OutcomeKind::NoSource},
                                       std::pair{1, OutcomeKind::DecompilerFailed}}) {
        SCOPED_TRACE(status);
        FakeRunner runner(ended(Ending::Exited, status, status == 0 ? "class A {}\n" : "",
                                status == 0 ? "" : "!!! ERROR: Failed to load class /in/A.class.\n"));
        ColdRunBackend cold(runner, {"/usr/bin/java", "/p.jar:/jad-service.jar", {}, {}, true});
        DecompileJob j = job();
        const Outcome outcome = cold.decompile(j);
        EXPECT_EQ(outcome.kind, kind);
        if (status != 0) {
            EXPECT_EQ(outcome.detail, "!!! ERROR: Failed to load class /in/A.class.");
        }
        ASSERT_EQ(runner.requests.size(), 1u);
        EXPECT_EQ(runner.requests[0].args,
                  (std::vector<std::string>{"-XX:-UsePerfData", "-XX:-OmitStackTraceInFastThrow",
                                            "-cp", "/p.jar:/jad-service.jar",
                                            "brindle.jad.JadService", "--cold", "/in/A.class"}));
    }
}

TEST(ColdRun, EachEndingBecomesItsOutcome) {
    const struct {
        RunResult run;
        OutcomeKind kind;
        long long number;
        std::string detail;
    } cases[] = {
        {ended(Ending::StartFailed), OutcomeKind::CannotStartJava, 0,
         "/usr/bin/java: Permission denied"},
        {ended(Ending::TimedOut), OutcomeKind::TimedOut, 120, ""},
        {ended(Ending::OutputTooLarge), OutcomeKind::SourceTooLarge, 0, ""},
        {ended(Ending::Interrupted, 15), OutcomeKind::Interrupted, 15, ""},
        {ended(Ending::Signaled, 9, "partial", "\n  \n  Killed  \nmore"),
         OutcomeKind::DecompilerSignaled, 9, "  Killed"},
        {ended(Ending::Exited, 3, "partial", "Error: no main class"), OutcomeKind::DecompilerFailed,
         3, "Error: no main class"},
        {ended(Ending::Exited, 0, " \n\t\r\n", "!!! ERROR: Failed to load class"),
         OutcomeKind::NoSource, 0, "!!! ERROR: Failed to load class"},
        {ended(Ending::Exited, 0, "", std::string(400, 'e')), OutcomeKind::NoSource, 0,
         std::string(300, 'e') + "..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        FakeRunner runner(c.run);
        ColdRunBackend cold(runner, {"/usr/bin/java", "/p.jar", {}, {}});
        DecompileJob j = job();
        const Outcome outcome = cold.decompile(j);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(outcome.number, c.number);
        EXPECT_EQ(outcome.detail, c.detail);
    }
}

}  // namespace
