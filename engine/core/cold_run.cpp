#include "engine/core/cold_run.h"

#include <algorithm>

#include "engine/core/decompiler_output.h"
#include "engine/core/java_command.h"

namespace brindle::engine {

std::chrono::milliseconds timeLeft(const DecompileJob& job) {
    return std::max(
        std::chrono::milliseconds(0),
        std::chrono::duration_cast<std::chrono::milliseconds>(job.deadline - Clock::now()));
}

std::optional<Outcome> outcomeOfUnfinishedRun(const RunResult& run, const std::string& program,
                                              const DecompileJob& job) {
    using Ending = RunResult::Ending;
    switch (run.ending) {
        case Ending::StartFailed:
            return Outcome::failure(OutcomeKind::CannotStartJava, program + ": " + run.startError);
        case Ending::TimedOut:
            return Outcome::failure(OutcomeKind::TimedOut, {}, job.timeLimit.count());
        case Ending::OutputTooLarge:
            return Outcome::failure(OutcomeKind::SourceTooLarge);
        case Ending::Interrupted:
            return Outcome::failure(OutcomeKind::Interrupted, {}, run.status);
        case Ending::Signaled:
            return Outcome::failure(OutcomeKind::DecompilerSignaled, firstLine(run.err),
                                    run.status);
        case Ending::Exited:
            break;
    }
    return std::nullopt;
}

ColdRunBackend::ColdRunBackend(ProgramRunner& runner, ColdRunSetup setup)
    : runner_(runner), setup_(std::move(setup)) {}

Outcome ColdRunBackend::decompile(DecompileJob& job) {
    RunRequest request;
    request.program = setup_.java;
    request.args =
        coldRunArguments(setup_.classPath, job.classFile, setup_.serviceProgram, setup_.javaOptions);
    request.env = setup_.env;
    request.timeout = timeLeft(job);
    RunResult run = runner_.run(request);
    if (std::optional<Outcome> unfinished = outcomeOfUnfinishedRun(run, setup_.java, job))
        return std::move(*unfinished);
    if (setup_.serviceProgram && run.status == kColdModeNoSource)
        return Outcome::failure(OutcomeKind::NoSource, firstLine(run.err));
    if (run.status != 0)
        return Outcome::failure(OutcomeKind::DecompilerFailed, firstLine(run.err), run.status);
    // Procyon ends with status 0 even when it could not load the class; it then prints nothing.
    if (isBlank(run.out)) return Outcome::failure(OutcomeKind::NoSource, firstLine(run.err));
    return Outcome::withSource(std::move(run.out));
}

}  // namespace brindle::engine
