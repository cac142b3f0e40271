#pragma once
// Stand-ins for what the engine's backends talk to, scripted by the test: a backend, a program
// runner and a service transport. No JVM, no process, no socket.

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "engine/core/backend.h"
#include "engine/core/program_runner.h"
#include "engine/core/service_transport.h"

namespace jadtest {

using namespace brindle::engine;

// Answers each call with the next scripted outcome and records the jobs it got; `queued`: it
// waited that long for a free decompiler (it moves the job's deadline later).
class FakeBackend final : public Backend {
public:
    explicit FakeBackend(std::vector<Outcome> answers) : answers_(answers.begin(), answers.end()) {}
    Outcome decompile(DecompileJob& job) override {
        jobs.push_back(job);
        job.deadline += queued;
        Outcome next = answers_.front();
        if (answers_.size() > 1) answers_.pop_front();
        return next;
    }
    std::vector<DecompileJob> jobs;
    Clock::duration queued{};

private:
    std::deque<Outcome> answers_;
};

class FakeRunner final : public ProgramRunner {
public:
    explicit FakeRunner(RunResult result) : result_(std::move(result)) {}
    RunResult run(const RunRequest& request) override {
        requests.push_back(request);
        return result_;
    }
    std::vector<RunRequest> requests;

private:
    RunResult result_;
};

// One scripted connection: the bytes it answers with and how reading them ends; `queued`: the
// first bytes come that much later (reading gives up at its deadline).
struct FakeService {
    std::string answer;                                               // what the service sends
    ServiceConnection::Read atEnd = ServiceConnection::Read::Closed;  // reading past it
    bool moreWaiting = false;
    std::chrono::milliseconds queued{0};
};

// A transport whose service, once started, serves the scripted connections in turn; each
// connection records what was sent and whether the service was ended.
class FakeTransport final : public ServiceTransport {
public:
    Outcome openOutcome = Outcome::withSource({});
    bool listening = false;  // a service listens before the first connect
    std::string refusal;     // every connect is refused with this, when set
    std::string startError;  // startService fails with this, when set
    bool lockable = true;
    std::deque<FakeService> services;

    // What happened.
    int opened = 0;
    int connects = 0;
    int starts = 0;
    int locks = 0;
    std::vector<std::string> sent;
    int ended = 0;

    Outcome open() override {
        ++opened;
        return openOutcome;
    }
    const std::string& key() const override { return key_; }
    std::unique_ptr<ServiceConnection> connect(std::string& why) override;
    std::unique_ptr<ServiceStartLock> lockStart(Clock::time_point) override {
        ++locks;
        return lockable ? std::make_unique<ServiceStartLock>() : nullptr;
    }
    std::string startService(Clock::time_point) override {
        ++starts;
        if (startError.empty()) listening = true;
        return startError;
    }

private:
    std::string key_ = "0123456789abcdef";
};

class FakeConnection final : public ServiceConnection {
public:
    FakeConnection(FakeTransport& transport, FakeService service)
        : transport_(transport), service_(std::move(service)) {}
    bool send(std::string_view bytes) override {
        transport_.sent.emplace_back(bytes);
        return true;
    }
    Read read(char* into, std::size_t size, Clock::time_point deadline) override {
        if (at_ == 0 && service_.queued.count() > 0) {
            const auto until = Clock::now() + service_.queued;
            // A sleep may end a little early by the clock (Wine's does).
            while (Clock::now() < std::min(until, deadline))
                std::this_thread::sleep_until(std::min(until, deadline));
            if (until > deadline) return Read::TimedOut;
        }
        if (service_.answer.size() - at_ < size) {
            // A service that closes the connection early has gone away.
            if (service_.atEnd == Read::Closed) transport_.listening = false;
            return service_.atEnd;
        }
        service_.answer.copy(into, size, at_);
        at_ += size;
        return Read::Done;
    }
    bool moreWaiting() override { return service_.moreWaiting || at_ < service_.answer.size(); }
    void endService() override {
        ++transport_.ended;
        transport_.listening = false;
    }

private:
    FakeTransport& transport_;
    FakeService service_;
    std::size_t at_ = 0;
};

inline std::unique_ptr<ServiceConnection> FakeTransport::connect(std::string& why) {
    ++connects;
    if (!refusal.empty()) {
        why = refusal;
        return nullptr;
    }
    if (!listening || services.empty()) return nullptr;
    FakeService next = services.front();
    services.pop_front();
    return std::make_unique<FakeConnection>(*this, std::move(next));
}

}  // namespace jadtest
