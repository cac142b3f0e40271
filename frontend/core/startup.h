#pragma once
// The platform-free steps of start-up: fill the state from the defaults, the program's location
// and the Windows folder, then let the two settings files override viewer and output folder.

#include <string>

#include "core/frontend_state.h"
#include "core/platform.h"

namespace brindle {

inline constexpr const char* kStartMenuFolder = "Start Menu";
inline constexpr const char* kOutputFolderName = "JavaSourceCode";

// Fills state in start-up order: current directory := Windows folder + "\Start Menu" (its
// success is not tested), source folder, output folders, viewer command, engine path, then
// ShellApp.ini and CodeOut.ini (an output folder the window would refuse leaves the default).
// Returns the program folder (with its trailing separator).
std::string fillFrontEndState(Platform& platform, FrontEndState& state);

enum class StartMode { SingleFile, Window };

// Single-file mode when the command tail is not empty.
StartMode startModeFor(const std::string& commandTail);

}  // namespace brindle
