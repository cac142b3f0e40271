#pragma once
// The cold run: a java started for this class file alone, running the service program's
// one-shot mode (the service's own decompile code, so that the source is the service's byte for
// byte), or Procyon's own command line when there is no service program.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/backend.h"
#include "engine/core/program_runner.h"

namespace brindle::engine {

struct ColdRunSetup {
    std::string java;              // the java program, found
    std::string classPath;         // the Procyon jars and the service program if any, joined
    std::vector<std::string> env;  // java's whole environment
    std::vector<std::string> javaOptions;  // the platform's own (coldRunArguments)
    bool serviceProgram = false;   // classPath holds the service program
};

// What is left of the job's time budget, never less than nothing.
std::chrono::milliseconds timeLeft(const DecompileJob& job);

// The outcome of a run that did not exit on its own (it did not start, was ended, timed out,
// wrote too much); nullopt when it exited and its status says the rest. program: as started.
std::optional<Outcome> outcomeOfUnfinishedRun(const RunResult& run, const std::string& program,
                                              const DecompileJob& job);

class ColdRunBackend final : public Backend {
public:
    ColdRunBackend(ProgramRunner& runner, ColdRunSetup setup);
    // Never BackendUnusable: whatever java does is this class file's outcome.
    Outcome decompile(DecompileJob& job) override;

private:
    ProgramRunner& runner_;
    ColdRunSetup setup_;
};

}  // namespace brindle::engine
