#pragma once
// The cold run: Procyon's own command line started for this class file alone.

#include <string>
#include <vector>

#include "engine/core/backend.h"
#include "engine/core/program_runner.h"

namespace brindle::engine {

struct ColdRunSetup {
    std::string java;              // the java program, found
    std::string classPath;         // the Procyon jars, joined
    std::vector<std::string> env;  // java's whole environment
    std::vector<std::string> javaOptions;  // the platform's own (coldRunArguments)
};

class ColdRunBackend final : public Backend {
public:
    ColdRunBackend(ProgramRunner& runner, ColdRunSetup setup);
    // Never BackendUnusable: whatever java does is this class file's outcome.
    Outcome decompile(const DecompileJob& job) override;

private:
    ProgramRunner& runner_;
    ColdRunSetup setup_;
};

}  // namespace brindle::engine
