// Which backends run, and the fall-back from one to the next, on fake backends.
#include "engine/core/backend_choice.h"

#include <gtest/gtest.h>

#include "fake_backends.h"

namespace {

using namespace brindle::engine;
using jadtest::FakeBackend;

TEST(BackendChoice, ColdAndRequiredPickTheRoles) {
    FakeBackend resident({Outcome::withSource("r")});
    FakeBackend other({Outcome::withSource("o")});
    FakeBackend cold({Outcome::withSource("c")});
    const std::vector<OfferedBackend> offered = {{&resident, BackendRole::Resident},
                                                 {&other, BackendRole::Resident},
                                                 {&cold, BackendRole::Cold}};
    const struct {
        bool cold;
        bool required;
        std::vector<Backend*> chosen;
    } cases[] = {
        {false, false, {&resident, &other, &cold}},
        {true, false, {&cold}},
        {false, true, {&resident, &other}},
        {true, true, {&cold}},  // a forced cold run wins over a required service
    };
    for (const auto& c : cases) {
        Settings settings;
        settings.cold = c.cold;
        settings.serviceRequired = c.required;
        EXPECT_EQ(chooseBackends(settings, offered), c.chosen) << c.cold << c.required;
    }
}

struct Chain {
    std::vector<Backend*> backends;
    std::vector<Outcome> notices;

    Outcome run(const DecompileJob& job) {
        return runBackends(backends, job, [this](const Outcome& o) { notices.push_back(o); });
    }
};

DecompileJob jobWithin(std::chrono::seconds budget) {
    DecompileJob job;
    job.classFile = "/in/A.class";
    job.timeLimit = budget;
    job.deadline = Clock::now() + budget;
    return job;
}

TEST(BackendChoice, AnUnusableBackendHandsOverWithinTheSameBudget) {
    FakeBackend service({Outcome::unusable("the service answered garbage")});
    FakeBackend cold({Outcome::withSource("class A {}")});
    Chain chain{{&service, &cold}, {}};
    const DecompileJob job = jobWithin(std::chrono::seconds(60));
    const Outcome outcome = chain.run(job);

    EXPECT_EQ(outcome.kind, OutcomeKind::Source);
    EXPECT_EQ(outcome.source, "class A {}");
    ASSERT_EQ(cold.jobs.size(), 1u);
    EXPECT_EQ(cold.jobs[0].deadline, job.deadline)
        << "the cold run gets what is left, not a new limit";
    EXPECT_EQ(cold.jobs[0].classFile, job.classFile);
    EXPECT_TRUE(chain.notices.empty()) << "nothing the user could fix";
}

TEST(BackendChoice, TimeABackendWaitedInAQueueIsGivenBackToTheNext) {
    FakeBackend service({Outcome::unusable("the service is busy with other class files")});
    service.queued = std::chrono::seconds(50);
    FakeBackend cold({Outcome::withSource("class A {}")});
    Chain chain{{&service, &cold}, {}};
    const DecompileJob job = jobWithin(std::chrono::seconds(60));
    EXPECT_TRUE(chain.run(job).succeeded());
    ASSERT_EQ(cold.jobs.size(), 1u);
    EXPECT_EQ(cold.jobs[0].deadline, job.deadline + std::chrono::seconds(50));
}

TEST(BackendChoice, OnlyAReasonTheUserCanFixIsToldAndOnlyWhenAnotherBackendRuns) {
    FakeBackend service({Outcome::unusable("the socket folder /r is not private", true)});
    FakeBackend cold({Outcome::withSource("class A {}")});
    Chain fallback{{&service, &cold}, {}};
    EXPECT_TRUE(fallback.run(jobWithin(std::chrono::seconds(60))).succeeded());
    ASSERT_EQ(fallback.notices.size(), 1u);
    EXPECT_EQ(fallback.notices[0].detail, "the socket folder /r is not private");

    // Service required: the reason is the outcome itself, said once.
    Chain required{{&service}, {}};
    const Outcome outcome = required.run(jobWithin(std::chrono::seconds(60)));
    EXPECT_EQ(outcome.kind, OutcomeKind::BackendUnusable);
    EXPECT_EQ(outcome.detail, "the socket folder /r is not private");
    EXPECT_TRUE(required.notices.empty());
}

TEST(BackendChoice, AFailureOfTheClassIsNotRetriedElsewhere) {
    for (const Outcome& final : {Outcome::failure(OutcomeKind::NoSource, "!!! ERROR"),
                                 Outcome::failure(OutcomeKind::TimedOut, "", 60),
                                 Outcome::failure(OutcomeKind::SourceTooLarge)}) {
        FakeBackend service({final});
        FakeBackend cold({Outcome::withSource("class A {}")});
        Chain chain{{&service, &cold}, {}};
        EXPECT_EQ(chain.run(jobWithin(std::chrono::seconds(60))).kind, final.kind);
        EXPECT_TRUE(cold.jobs.empty());
    }
}

TEST(BackendChoice, NoBackendStartsOnceTheBudgetIsSpent) {
    FakeBackend service({Outcome::unusable("the service did not start: it did not start in time")});
    FakeBackend cold({Outcome::withSource("class A {}")});
    Chain chain{{&service, &cold}, {}};
    DecompileJob spent = jobWithin(std::chrono::seconds(7));
    spent.deadline = Clock::now() - std::chrono::milliseconds(1);
    const Outcome outcome = chain.run(spent);
    EXPECT_EQ(outcome.kind, OutcomeKind::TimedOut);
    EXPECT_EQ(outcome.number, 7);
    EXPECT_EQ(service.jobs.size(), 1u) << "the first backend always gets its chance";
    EXPECT_TRUE(cold.jobs.empty());
}

TEST(BackendChoice, WhenEveryBackendIsUnusableTheLastReasonStands) {
    FakeBackend first({Outcome::unusable("first")});
    FakeBackend second({Outcome::unusable("second")});
    Chain chain{{&first, &second}, {}};
    const Outcome outcome = chain.run(jobWithin(std::chrono::seconds(60)));
    EXPECT_EQ(outcome.kind, OutcomeKind::BackendUnusable);
    EXPECT_EQ(outcome.detail, "second");
}


TEST(BackendChoice, TheEnginesOfferedFollowTheChoiceAndEitherEngineIsEnoughByDefault) {
    FakeBackend procyonBackend({}), vineflowerBackend({});
    const Outcome noNode = Outcome::failure(OutcomeKind::NodeNotFound, "on PATH");
    const Outcome noJava = Outcome::failure(OutcomeKind::JavaNotFound, "on PATH");
    const struct {
        EngineChoice choice;
        bool procyonRuns, vineflowerRuns;
        OutcomeKind outcome;
        std::vector<DecompilerEngine> offered;
    } cases[] = {
        {EngineChoice::Better, true, true, OutcomeKind::Source,
         {DecompilerEngine::Vineflower, DecompilerEngine::Procyon}},
        {EngineChoice::Better, true, false, OutcomeKind::Source, {DecompilerEngine::Procyon}},
        {EngineChoice::Better, false, true, OutcomeKind::Source, {DecompilerEngine::Vineflower}},
        {EngineChoice::Better, false, false, OutcomeKind::JavaNotFound, {}},
        {EngineChoice::Procyon, true, true, OutcomeKind::Source, {DecompilerEngine::Procyon}},
        {EngineChoice::Procyon, false, true, OutcomeKind::JavaNotFound, {}},
        {EngineChoice::Vineflower, true, true, OutcomeKind::Source, {DecompilerEngine::Vineflower}},
        {EngineChoice::Vineflower, true, false, OutcomeKind::NodeNotFound, {}},
    };
    for (const auto& c : cases) {
        std::vector<OfferedBackend> offered{{&procyonBackend, BackendRole::Cold}};  // left over
        const auto offer = [](bool runs, Backend* backend, DecompilerEngine engine,
                              const Outcome& why) {
            return [=](std::vector<OfferedBackend>& o) {
                if (!runs) return why;
                o.push_back({backend, BackendRole::Resident, engine});
                return Outcome::withSource({});
            };
        };
        const Outcome outcome = offerEngines(
            c.choice, offered,
            offer(c.procyonRuns, &procyonBackend, DecompilerEngine::Procyon, noJava),
            offer(c.vineflowerRuns, &vineflowerBackend, DecompilerEngine::Vineflower, noNode));
        EXPECT_EQ(outcome.kind, c.outcome);
        std::vector<DecompilerEngine> engines;
        for (const OfferedBackend& o : offered) engines.push_back(o.engine);
        EXPECT_EQ(engines, c.offered) << static_cast<int>(c.choice) << c.procyonRuns << c.vineflowerRuns;
    }
}

}  // namespace
