#pragma once
// The engine command lines and the other commands the front-end starts by text.

#include <string>
#include <string_view>

#include "core/path_style.h"
#include "core/process_command.h"

namespace brindle {

inline constexpr std::string_view kEngineOptions = "-sjava -8 -ff -d";

// Single-file mode: engine path, options, the quoted -d folder, a blank, and the class argument
// exactly as received (normally already quoted by the shell association). The argument vector
// ends the options with "--" before the class argument; the command text has no such mark.
ProcessCommand singleFileEngineCommand(std::string_view enginePath, std::string_view classArgument,
                                       std::string_view outputFolder, const PathStyle& style);

// Batch: as above, but the class path is quoted here and the folder is the mirrored folder.
ProcessCommand batchEngineCommand(std::string_view enginePath, std::string_view classPath,
                                  std::string_view mirroredFolder, const PathStyle& style);

// A program command text (which carries its own trailing blank, like "Notepad.exe ") followed
// directly by one target path; the argument vector holds the program and the target.
ProcessCommand commandWithTarget(std::string_view program, std::string_view target);

// A program started by its path alone, unquoted.
ProcessCommand programCommand(std::string_view programPath);

}  // namespace brindle
