#include "engine/core/service_backend.h"

#include <algorithm>

#include "common/utf8.h"
#include "engine/core/decompiler_output.h"
#include "engine/core/limits.h"
#include "engine/core/service_protocol.h"

namespace brindle::engine {

ServiceBackend::ServiceBackend(ServiceTransport& transport, unsigned testDelayMillis)
    : transport_(transport), testDelayMillis_(testDelayMillis) {}

Outcome ServiceBackend::decompile(DecompileJob& job) {
    const auto start = Clock::now();
    // The service reads both paths as UTF-8 text.
    if (!common::isUtf8(job.classFile) || !common::isUtf8(job.workingFolder))
        return Outcome::unusable("a path is not UTF-8 text");
    if (Outcome opened = transport_.open(); !opened.succeeded()) return opened;

    ServiceRequest fields;
    fields.key = transport_.key();
    fields.timeLimitSeconds = static_cast<std::uint32_t>(job.timeLimit.count());
    fields.testDelayMillis = testDelayMillis_;
    fields.classFile = job.classFile;
    fields.workingFolder = job.workingFolder;
    const std::optional<std::string> request = encodeRequest(fields);
    if (!request) return Outcome::unusable("a path is too long for the service");

    for (int attempt = 0;; ++attempt) {
        bool vanished = false;
        Outcome outcome = askOnce(job, *request, start, vanished);
        if (!vanished || attempt > 0 || Clock::now() >= job.deadline) return outcome;
    }
}

Outcome ServiceBackend::askOnce(DecompileJob& job, const std::string& request,
                                Clock::time_point start, bool& vanished) {
    std::string refusal;
    std::unique_ptr<ServiceConnection> connection = transport_.connect(refusal);
    if (!connection) {
        if (!refusal.empty()) return Outcome::unusable(refusal);
        const auto startUntil = std::min(job.deadline, start + kServiceStartLimit);
        const std::unique_ptr<ServiceStartLock> lock = transport_.lockStart(startUntil);
        if (!lock) return Outcome::unusable("cannot lock the service start");
        // Another engine run may have started one while this one waited for the lock.
        connection = transport_.connect(refusal);
        if (!connection) {
            if (!refusal.empty()) return Outcome::unusable(refusal);
            if (std::string error = transport_.startService(startUntil); !error.empty())
                return Outcome::unusable("the service did not start: " + error);
            connection = transport_.connect(refusal);
            if (!connection)
                return Outcome::unusable(refusal.empty() ? "the new service does not answer"
                                                         : refusal);
        }
    }
    if (!connection->send(request)) return Outcome::unusable("the service went away");

    // Queued behind other work until "started": that wait is not this class file's decompile
    // time, and it ends nothing when it runs long (the decompiles ahead of it are not this run's
    // to end); the class file is then decompiled without the service.
    std::string head(kAnswerHeaderSize, '\0');
    const auto sent = Clock::now();
    const ServiceConnection::Read queued =
        connection->read(head.data(), head.size(), sent + serviceQueueLimit(job.timeLimit));
    job.deadline += Clock::now() - sent;
    switch (queued) {
        case ServiceConnection::Read::TimedOut:
            return Outcome::unusable("the service is busy with other class files");
        case ServiceConnection::Read::Closed:
            vanished = true;
            return Outcome::unusable("the service ended without an answer");
        case ServiceConnection::Read::Done:
            break;
    }
    if (!isStartedFrame(head)) return Outcome::unusable("the service answered garbage");

    auto timedOut = [&] {
        // The decompiler cannot be stopped inside the service: end the service.
        connection->endService();
        return Outcome::failure(OutcomeKind::TimedOut, {}, job.timeLimit.count());
    };
    switch (connection->read(head.data(), head.size(), job.deadline)) {
        case ServiceConnection::Read::TimedOut:
            return timedOut();
        case ServiceConnection::Read::Closed:
            vanished = true;
            return Outcome::unusable("the service ended without an answer");
        case ServiceConnection::Read::Done:
            break;
    }
    const std::optional<AnswerHeader> header = decodeAnswerHeader(head);
    if (!header) return Outcome::unusable("the service answered garbage");
    const bool source = header->kind == AnswerKind::Source || header->kind == AnswerKind::Partial;
    if (source && header->length > kMaxSourceBytes)
        return Outcome::failure(OutcomeKind::SourceTooLarge);
    if (!source && header->length > kMaxServiceMessage)
        return Outcome::unusable("the service answered garbage");

    std::string body(header->length, '\0');
    switch (connection->read(body.data(), body.size(), job.deadline)) {
        case ServiceConnection::Read::TimedOut:
            return timedOut();
        case ServiceConnection::Read::Closed:
            return Outcome::unusable("the service's answer was cut short");
        case ServiceConnection::Read::Done:
            break;
    }
    if (connection->moreWaiting()) return Outcome::unusable("the service answered garbage");

    switch (header->kind) {
        case AnswerKind::Source:
            return Outcome::withSource(std::move(body));
        case AnswerKind::Partial:
            return Outcome::withPartialSource(std::move(body));
        case AnswerKind::NoSource:
            return Outcome::failure(OutcomeKind::NoSource, firstLine(body));
        case AnswerKind::RunCold:
            break;
    }
    return Outcome::unusable(std::move(body));
}

}  // namespace brindle::engine
