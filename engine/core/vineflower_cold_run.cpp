#include "engine/core/vineflower_cold_run.h"

#include "engine/core/cold_run.h"
#include "engine/core/decompiler_output.h"

namespace brindle::engine {

VineflowerColdBackend::VineflowerColdBackend(ProgramRunner& runner, VineflowerColdSetup setup)
    : runner_(runner), setup_(std::move(setup)) {}

Outcome VineflowerColdBackend::decompile(DecompileJob& job) {
    RunRequest request;
    request.program = setup_.node;
    request.args = {setup_.script, "--cold", job.classFile};
    request.env = setup_.env;
    request.timeout = timeLeft(job);
    RunResult run = runner_.run(request);
    if (std::optional<Outcome> unfinished = outcomeOfUnfinishedRun(run, setup_.node, job))
        return std::move(*unfinished);
    switch (run.status) {
        case 0:
            if (isBlank(run.out)) break;
            return Outcome::withSource(std::move(run.out));
        case kVineflowerPartialSource:
            if (isBlank(run.out)) break;
            return Outcome::withPartialSource(std::move(run.out));
        case kVineflowerNoSource:
            break;
        default:
            return Outcome::failure(OutcomeKind::DecompilerFailed, firstLine(run.err), run.status);
    }
    return Outcome::failure(OutcomeKind::NoSource, firstLine(run.err));
}

}  // namespace brindle::engine
