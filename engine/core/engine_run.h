#pragma once
// One run of the engine, from its command line to the written source: the same steps on every
// platform, the platform's part behind EngineHost.

#include <span>
#include <string>
#include <string_view>

#include "engine/core/engine_host.h"
#include "engine/core/outcome.h"

namespace brindle::engine {

struct EngineResult {
    Outcome outcome;
    std::string classFile;  // as given on the command line; empty for a bad command line
};

// Parses args (without the program's name; see command_line.h), reads the settings, reads the
// class file and its class name, hands the decompiler a path it can open, tries the backends
// and writes <folder>/<class name>.java. A failure writes nothing: an older output file stays
// as it was. Every temporary copy is gone when this returns.
EngineResult runEngine(std::span<const std::string_view> args, EngineHost& host);

}  // namespace brindle::engine
