// The service client over a scripted transport: finding or starting the service, the one
// retry, the time-out, and every answer that is not a proper one. Answers are built with the
// protocol's own encoder.
#include "engine/core/service_backend.h"

#include <gtest/gtest.h>

#include "engine/core/limits.h"
#include "engine/core/service_protocol.h"
#include "fake_backends.h"

namespace {

using namespace brindle::engine;
using jadtest::FakeService;
using jadtest::FakeTransport;
using Read = ServiceConnection::Read;

constexpr auto kSource = static_cast<std::uint8_t>(AnswerKind::Source);
constexpr auto kNoSource = static_cast<std::uint8_t>(AnswerKind::NoSource);
constexpr auto kRunCold = static_cast<std::uint8_t>(AnswerKind::RunCold);

DecompileJob job() {
    DecompileJob j;
    j.classFile = "/in/源/A.class";
    j.workingFolder = "/work";
    j.timeLimit = std::chrono::seconds(60);
    j.deadline = Clock::now() + j.timeLimit;
    return j;
}

Outcome ask(FakeTransport& transport) {
    ServiceBackend backend(transport, 7);
    DecompileJob j = job();
    return backend.decompile(j);
}

// What a service sends for a request: "started", then the answer.
std::string served(std::uint8_t kind, std::string_view body) {
    return encodeAnswer(kStartedKind, {}) + encodeAnswer(kind, body);
}

TEST(ServiceBackend, StartsAMissingServiceAndSendsTheRequest) {
    FakeTransport transport;
    transport.services = {{served(kSource, "class A {}")}};
    const Outcome outcome = ask(transport);
    ASSERT_EQ(outcome.kind, OutcomeKind::Source) << outcome.detail;
    EXPECT_EQ(outcome.source, "class A {}");
    EXPECT_EQ(transport.starts, 1);
    EXPECT_EQ(transport.locks, 1);
    EXPECT_EQ(transport.connects, 3) << "before the lock, after it, after the start";

    ServiceRequest expected;
    expected.key = transport.key();
    expected.timeLimitSeconds = 60;
    expected.testDelayMillis = 7;
    expected.classFile = "/in/源/A.class";
    expected.workingFolder = "/work";
    EXPECT_EQ(transport.sent, std::vector<std::string>{*encodeRequest(expected)});
}

TEST(ServiceBackend, AServiceThatVanishesIsReplacedOnce) {
    FakeTransport once;
    once.listening = true;
    once.services = {{""}, {served(kSource, "class A {}")}};
    const Outcome retried = ask(once);
    ASSERT_EQ(retried.kind, OutcomeKind::Source) << retried.detail;
    EXPECT_EQ(once.starts, 1) << "the second attempt starts a new service";
    EXPECT_EQ(once.sent.size(), 2u);

    FakeTransport twice;
    twice.listening = true;
    twice.services = {{""}, {""}, {served(kSource, "class A {}")}};
    const Outcome given = ask(twice);
    EXPECT_EQ(given.kind, OutcomeKind::BackendUnusable);
    EXPECT_EQ(given.detail, "the service ended without an answer");
    EXPECT_EQ(twice.sent.size(), 2u);
}

TEST(ServiceBackend, PastTheDeadlineTheServiceIsEnded) {
    for (const std::string& answer :
         {encodeAnswer(kStartedKind, {}), served(kSource, "class A {}").substr(0, 21)}) {
        FakeTransport transport;
        transport.listening = true;
        transport.services = {{answer, Read::TimedOut}};
        const Outcome outcome = ask(transport);
        EXPECT_EQ(outcome.kind, OutcomeKind::TimedOut);
        EXPECT_EQ(outcome.number, 60);
        EXPECT_EQ(transport.ended, 1);
    }
}

TEST(ServiceBackend, TheTimeLimitRunsFromStartedAndAQueueEndsNothing) {
    // Queued past the whole time limit, then decompiled well within it.
    FakeTransport queued;
    queued.listening = true;
    queued.services = {{served(kSource, "class A {}"), Read::Closed, false, std::chrono::milliseconds(1500)}};
    ServiceBackend backend(queued, 0);
    DecompileJob j = job();
    j.timeLimit = std::chrono::seconds(1);
    j.deadline = Clock::now() + j.timeLimit;
    const auto deadline = j.deadline;
    const Outcome outcome = backend.decompile(j);
    ASSERT_EQ(outcome.kind, OutcomeKind::Source) << outcome.detail;
    EXPECT_GE(j.deadline - deadline, std::chrono::milliseconds(1500))
        << "what comes after gets the time limit less the decompile, not less the queue";
    EXPECT_EQ(queued.ended, 0);

    // Never started: another run's work keeps the decompilers busy; this run ends none of it.
    FakeTransport busy;
    busy.listening = true;
    busy.services = {{"", Read::TimedOut}};
    const Outcome passed = ask(busy);
    EXPECT_EQ(passed.kind, OutcomeKind::BackendUnusable);
    EXPECT_EQ(passed.detail, "the service is busy with other class files");
    EXPECT_EQ(busy.ended, 0);
}

TEST(ServiceBackend, EveryAnswerReachesTheCheckNamedForIt) {
    using namespace std::string_literals;
    const std::string longReason(kMaxServiceMessage + 1, 'r');
    const std::string started = encodeAnswer(kStartedKind, {});
    const struct {
        const char* what;
        std::string answer;
        OutcomeKind kind;
        std::string detail;
    } cases[] = {
        {"no source", served(kNoSource, "!!! ERROR: Failed to load class X.\nmore\n"),
         OutcomeKind::NoSource, "!!! ERROR: Failed to load class X."},
        {"no source, nothing said", served(kNoSource, ""), OutcomeKind::NoSource, ""},
        {"run cold", served(kRunCold, "a class may come from jad's working folder"),
         OutcomeKind::BackendUnusable, "a class may come from jad's working folder"},
        {"garbage", "HTTP/1.1 400 Bad Request\r\n\r\n", OutcomeKind::BackendUnusable,
         "the service answered garbage"},
        {"an answer without started", encodeAnswer(kSource, "class A {}"),
         OutcomeKind::BackendUnusable, "the service answered garbage"},
        {"started twice", started + served(kSource, "class A {}"), OutcomeKind::BackendUnusable,
         "the service answered garbage"},
        {"another protocol",
         "BRJ2\x03\0\0\0\0BRJ2\0\0\0\0\x05"s
         "class",
         OutcomeKind::BackendUnusable, "the service answered garbage"},
        {"an unknown kind", served(7, "class A {}"), OutcomeKind::BackendUnusable,
         "the service answered garbage"},
        {"a reason too long", served(kRunCold, longReason), OutcomeKind::BackendUnusable,
         "the service answered garbage"},
        {"a source cut short", served(kSource, "class A {}").substr(0, 23),
         OutcomeKind::BackendUnusable, "the service's answer was cut short"},
        {"more than the answer", served(kSource, "class A {}") + " and more",
         OutcomeKind::BackendUnusable, "the service answered garbage"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeTransport transport;
        transport.listening = true;
        transport.services = {FakeService{c.answer}};
        const Outcome outcome = ask(transport);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(outcome.detail, c.detail);
        EXPECT_EQ(transport.sent.size(), 1u) << "only a vanished service is asked again";
    }
}

TEST(ServiceBackend, ASourceWithAMarkedMethodIsASourceMarkedPartial) {
    for (const auto& [kind, partial] : {std::pair{AnswerKind::Source, false},
                                        std::pair{AnswerKind::Partial, true}}) {
        FakeTransport transport;
        transport.listening = true;
        transport.services = {{served(static_cast<std::uint8_t>(kind), "class A {}")}};
        const Outcome outcome = ask(transport);
        ASSERT_EQ(outcome.kind, OutcomeKind::Source) << outcome.detail;
        EXPECT_EQ(outcome.source, "class A {}");
        EXPECT_EQ(outcome.partial, partial);
    }
}

TEST(ServiceBackend, ASourceOverTheLimitIsTooLarge) {
    std::string head = served(kSource, "").substr(0, 2 * kAnswerHeaderSize - 4);
    const auto length = static_cast<std::uint32_t>(kMaxSourceBytes + 1);
    for (int shift = 24; shift >= 0; shift -= 8)
        head.push_back(static_cast<char>((length >> shift) & 0xFF));
    FakeTransport transport;
    transport.listening = true;
    transport.services = {{head}};
    EXPECT_EQ(ask(transport).kind, OutcomeKind::SourceTooLarge);
}

TEST(ServiceBackend, NoServiceToAskIsUnusable) {
    const struct {
        const char* what;
        void (*setUp)(FakeTransport&);
        std::string detail;
        bool tellUser;
    } cases[] = {
        {"no private folder",
         [](FakeTransport& t) {
             t.openOutcome = Outcome::unusable("the socket folder /r is not private", true);
         },
         "the socket folder /r is not private", true},
        {"another user's socket",
         [](FakeTransport& t) { t.refusal = "the socket belongs to another user"; },
         "the socket belongs to another user", false},
        {"no lock", [](FakeTransport& t) { t.lockable = false; }, "cannot lock the service start",
         false},
        {"no start", [](FakeTransport& t) { t.startError = "it ended while starting"; },
         "the service did not start: it ended while starting", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeTransport transport;
        transport.services = {{served(kSource, "class A {}")}};
        c.setUp(transport);
        const Outcome outcome = ask(transport);
        EXPECT_EQ(outcome.kind, OutcomeKind::BackendUnusable);
        EXPECT_EQ(outcome.detail, c.detail);
        EXPECT_EQ(outcome.tellUser, c.tellUser);
        EXPECT_TRUE(transport.sent.empty());
    }
}

TEST(ServiceBackend, APathThatIsNotUtf8NeverReachesTheService) {
    FakeTransport transport;
    transport.listening = true;
    transport.services = {{served(kSource, "class A {}")}};
    ServiceBackend backend(transport, 0);
    DecompileJob odd = job();
    odd.workingFolder = "/caf\xe9";
    EXPECT_EQ(backend.decompile(odd).kind, OutcomeKind::BackendUnusable);
    EXPECT_EQ(transport.opened, 0);
}

}  // namespace
