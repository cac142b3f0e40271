#pragma once
// Runs the engine on one class file: removes a stale result, runs the engine hidden and waits.
// In single-file mode it then opens the result in the viewer.

#include <string>
#include <string_view>

#include "core/frontend_state.h"
#include "core/platform.h"

namespace brindle {

// Clears the attributes of the file at path (so a read-only result can go) and deletes it.
// Both results are ignored: a missing file is the usual case.
void removeStaleResult(Platform& platform, const std::string& path);

// Single-file mode: engine command from the class argument (exactly as received) and the output
// folder, stale result removed, engine run hidden and waited for, then the viewer started
// maximized on the expected output file without waiting.
void decompileAndShow(Platform& platform, const FrontEndState& state,
                             std::string_view classArgument);

}  // namespace brindle
