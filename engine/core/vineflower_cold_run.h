#pragma once
// The Vineflower engine's cold run: node started for this class file alone, running the
// engine's one-shot mode (`vineflower.mjs --cold <class file>`), which decompiles with the
// same code as the engine's resident service, so that both give the same bytes.

#include <string>
#include <vector>

#include "engine/core/backend.h"
#include "engine/core/program_runner.h"

namespace brindle::engine {

// How the one-shot mode ends: the source on stdout (0), a source in which Vineflower marked a
// method it could not decompile (3), no source with one line on stderr (1).
inline constexpr int kVineflowerPartialSource = 3;
inline constexpr int kVineflowerNoSource = 1;

struct VineflowerColdSetup {
    std::string node;              // the node program, found
    std::string script;            // vineflower.mjs, absolute
    std::vector<std::string> env;  // node's whole environment
};

class VineflowerColdBackend final : public Backend {
public:
    VineflowerColdBackend(ProgramRunner& runner, VineflowerColdSetup setup);
    // Never BackendUnusable: whatever node does is this class file's outcome.
    Outcome decompile(DecompileJob& job) override;

private:
    ProgramRunner& runner_;
    VineflowerColdSetup setup_;
};

}  // namespace brindle::engine
