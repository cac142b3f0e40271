#pragma once
// Runs the engine on one class file: removes a stale result, runs the engine hidden and waits,
// and tells whether it wrote the source. In single-file mode it then opens the result in the
// viewer, or says why there is none.

#include <optional>
#include <string>
#include <string_view>

#include "core/frontend_state.h"
#include "core/platform.h"
#include "core/process_command.h"
#include "texts/texts.h"

namespace brindle {

// Clears the attributes of the file at path (so a read-only result can go) and deletes it.
// Both results are ignored: a missing file is the usual case.
void removeStaleResult(Platform& platform, const std::string& path);

// Why an engine run gave no source, or nothing when it did. A run succeeded when the engine
// ended with status 0 and the expected file is there. Otherwise the reason is, in this order:
// the engine could not be started ("无法启动反编译引擎：" and the engine's path), the engine's own
// line on its standard error, or "反编译引擎没有生成源文件".
std::optional<std::string> engineFailure(Platform& platform, const ProcessCommand& command,
                                         const ProcessOutcome& outcome,
                                         const std::string& expectedFile, const Texts& texts);

// Single-file mode: engine command from the class argument (exactly as received) and the output
// folder, stale result removed, engine run hidden and waited for, then the viewer started
// maximized on the expected output file without waiting. When the engine gave no source the
// viewer is not started; the message to show instead is returned: "反编译失败：", the class file
// (without the quotes around it), a line end, and the reason (engineFailure).
std::optional<std::string> decompileAndShow(Platform& platform, const FrontEndState& state,
                                            const Texts& texts, std::string_view classArgument);

}  // namespace brindle
