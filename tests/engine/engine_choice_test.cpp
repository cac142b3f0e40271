// Which engine writes the source: Engine.ini's line, what counts as a whole source of
// Procyon's, and the default's choice between the two engines, on fake backends.
#include "engine/core/engine_choice.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fake_backends.h"

namespace {

using namespace brindle::engine;
using brindle::common::SettingsLine;
using jadtest::FakeBackend;

TEST(EngineChoice, EngineIniNamesOneEngineInAnyLetterCase) {
    const struct {
        std::optional<SettingsLine> line;
        EngineChoice choice;
    } cases[] = {
        {SettingsLine{"procyon"}, EngineChoice::Procyon},
        {SettingsLine{"PROCYON"}, EngineChoice::Procyon},
        {SettingsLine{"Vineflower"}, EngineChoice::Vineflower},
        {SettingsLine{"vineFLOWER"}, EngineChoice::Vineflower},
        {std::nullopt, EngineChoice::Better},
        {SettingsLine{""}, EngineChoice::Better},
        {SettingsLine{"cfr"}, EngineChoice::Better},
        {SettingsLine{" procyon"}, EngineChoice::Better},
        {SettingsLine{"procyon2"}, EngineChoice::Better},
        {SettingsLine{"procyon", true}, EngineChoice::Better},  // a cut line names nothing
    };
    for (const auto& c : cases)
        EXPECT_EQ(engineChoice(c.line), c.choice) << (c.line ? c.line->value : "(no line)");
}

TEST(EngineChoice, EngineIniIsReadBesideTheProgram) {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() /
        ("brindle-engine-ini-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(folder);
    const std::string programFolder = folder.string() + "/";
    EXPECT_EQ(readEngineChoice(programFolder), EngineChoice::Better) << "no file";
    for (const auto& [bytes, choice] :
         {std::pair{"Procyon\r\n", EngineChoice::Procyon},
          std::pair{"vineflower\n", EngineChoice::Vineflower},
          std::pair{"vineflower\r\nprocyon\r\n", EngineChoice::Vineflower},
          std::pair{"", EngineChoice::Better}}) {
        std::ofstream(folder / kEngineSettingsFile, std::ios::binary) << bytes;
        EXPECT_EQ(readEngineChoice(programFolder), choice) << bytes;
    }
    EXPECT_EQ(readEngineChoice(""), EngineChoice::Better) << "no program folder known";
    fs::remove_all(folder);
}

TEST(EngineChoice, ProcyonsGapsMakeItsSourcePartial) {
    const struct {
        const char* source;
        bool partial;
    } cases[] = {
        {"class A { int f() { return 1; } }", false},
        {"class A { Object f(Object o) { return ProcyonInvokeDynamicHelper_1.invoke(o); } }", true},
        {"class A {\n    // This method could not be decompiled.\n}", true},
        {"class A { void f() { throw new IllegalStateException(\"An error occurred while "
         "decompiling this method.\"); } }",
         true},
        {"class A { String s = \"could not\"; }", false},
    };
    for (const auto& c : cases) EXPECT_EQ(procyonSourceIsPartial(c.source), c.partial) << c.source;
}

DecompileJob job() {
    DecompileJob j;
    j.classFile = "/in/A.class";
    j.timeLimit = std::chrono::seconds(60);
    j.deadline = Clock::now() + j.timeLimit;
    return j;
}

const Outcome kWhole = Outcome::withSource("class A { /* Vineflower */ }");
const Outcome kMarked = Outcome::withPartialSource("class A { /* Vineflower, marked */ }");
const Outcome kNone = Outcome::failure(OutcomeKind::NoSource, "Vineflower wrote no source");
const Outcome kProcyonWhole = Outcome::withSource("class A { /* Procyon */ }");
const Outcome kProcyonHelper =
    Outcome::withSource("class A { /* Procyon */ ProcyonInvokeDynamicHelper_1 h; }");
const Outcome kProcyonNone = Outcome::failure(OutcomeKind::NoSource, "!!! ERROR");

TEST(EngineChoice, TheDefaultAsksProcyonOnlyWhereVineflowersSourceIsNotWhole) {
    const struct {
        const char* what;
        Outcome vineflower;
        Outcome procyon;
        bool procyonRuns;
        Outcome written;  // kind, source and partial of the outcome
    } cases[] = {
        {"Vineflower whole", kWhole, kProcyonWhole, false, kWhole},
        {"Vineflower marked, Procyon whole", kMarked, kProcyonWhole, true, kProcyonWhole},
        {"Vineflower marked, Procyon's helper", kMarked, kProcyonHelper, true, kMarked},
        {"Vineflower marked, Procyon none", kMarked, kProcyonNone, true, kMarked},
        {"Vineflower none, Procyon whole", kNone, kProcyonWhole, true, kProcyonWhole},
        {"Vineflower none, Procyon's helper", kNone, kProcyonHelper, true,
         Outcome::withPartialSource(kProcyonHelper.source)},
        {"neither", kNone, kProcyonNone, true, kNone},
        {"Vineflower timed out", Outcome::failure(OutcomeKind::TimedOut, {}, 60), kProcyonWhole,
         false, Outcome::failure(OutcomeKind::TimedOut, {}, 60)},
        {"interrupted in Procyon", kMarked, Outcome::failure(OutcomeKind::Interrupted, {}, 15),
         true, Outcome::failure(OutcomeKind::Interrupted, {}, 15)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeBackend vineflower({c.vineflower});
        FakeBackend procyon({c.procyon});
        const std::vector<Backend*> vf{&vineflower};
        const std::vector<Backend*> pr{&procyon};
        const Outcome outcome = decompileWithEngines(vf, pr, job(), [](const Outcome&) {});
        EXPECT_EQ(outcome.kind, c.written.kind);
        EXPECT_EQ(outcome.source, c.written.source);
        EXPECT_EQ(outcome.partial, c.written.partial);
        EXPECT_EQ(procyon.jobs.size(), c.procyonRuns ? 1u : 0u);
    }
}

TEST(EngineChoice, OneEngineAloneRunsItsWholeChain) {
    FakeBackend vfService({Outcome::unusable("the service did not start")});
    FakeBackend vfCold({kMarked});
    FakeBackend prService({Outcome::unusable("the service did not start")});
    FakeBackend prCold({kProcyonHelper});
    const std::vector<Backend*> vf{&vfService, &vfCold};
    const std::vector<Backend*> pr{&prService, &prCold};
    const std::vector<Backend*> none;

    const Outcome vineflowerAlone = decompileWithEngines(vf, none, job(), [](const Outcome&) {});
    EXPECT_EQ(vineflowerAlone.source, kMarked.source) << "a marked source is still written";
    EXPECT_TRUE(vineflowerAlone.partial);
    const Outcome procyonAlone = decompileWithEngines(none, pr, job(), [](const Outcome&) {});
    EXPECT_EQ(procyonAlone.source, kProcyonHelper.source);
    EXPECT_TRUE(procyonAlone.partial);
    EXPECT_EQ(vfCold.jobs.size(), 1u);
    EXPECT_EQ(prCold.jobs.size(), 1u);
}

TEST(EngineChoice, ProcyonGetsOnlyWhatVineflowerLeftOfTheBudget) {
    FakeBackend vineflower({kNone});
    vineflower.queued = std::chrono::seconds(5);  // given back: waiting is not decompiling
    FakeBackend procyon({kProcyonWhole});
    const std::vector<Backend*> vf{&vineflower};
    const std::vector<Backend*> pr{&procyon};
    const DecompileJob j = job();
    EXPECT_TRUE(decompileWithEngines(vf, pr, j, [](const Outcome&) {}).succeeded());
    ASSERT_EQ(procyon.jobs.size(), 1u);
    EXPECT_EQ(procyon.jobs[0].deadline, j.deadline + std::chrono::seconds(5))
        << "one deadline for both engines, less no time spent waiting";
}

TEST(EngineChoice, ProcyonIsNotStartedOnceTheTimeIsUp) {
    FakeBackend vineflower({kNone});
    FakeBackend procyon({kProcyonWhole});
    const std::vector<Backend*> vf{&vineflower};
    const std::vector<Backend*> pr{&procyon};
    DecompileJob spent = job();
    spent.deadline = Clock::now() - std::chrono::milliseconds(1);
    const Outcome outcome = decompileWithEngines(vf, pr, spent, [](const Outcome&) {});
    EXPECT_EQ(outcome.kind, OutcomeKind::NoSource) << "what Vineflower said stands";
    EXPECT_TRUE(procyon.jobs.empty());
}

TEST(EngineChoice, AReasonAboutTheSocketFolderIsToldOnce) {
    const Outcome notPrivate = Outcome::unusable("the socket folder /r is not private", true);
    FakeBackend vfService({notPrivate});
    FakeBackend vfCold({kMarked});
    FakeBackend prService({notPrivate});
    FakeBackend prCold({kProcyonWhole});
    const std::vector<Backend*> vf{&vfService, &vfCold};
    const std::vector<Backend*> pr{&prService, &prCold};
    std::vector<std::string> told;
    const Outcome outcome = decompileWithEngines(
        vf, pr, job(), [&told](const Outcome& o) { told.push_back(o.detail); });
    EXPECT_EQ(outcome.source, kProcyonWhole.source);
    EXPECT_EQ(told, std::vector<std::string>{"the socket folder /r is not private"});
}

}  // namespace
