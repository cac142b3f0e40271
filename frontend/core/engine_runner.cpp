#include "core/engine_runner.h"

#include "core/engine_command.h"
#include "core/path_rules.h"

namespace brindle {

void removeStaleResult(Platform& platform, const std::string& path) {
    platform.clearAttributes(path);
    platform.deleteFile(path);
}

void decompileAndShow(Platform& platform, const FrontEndState& state,
                             std::string_view classArgument) {
    const PathStyle& style = platform.pathStyle();
    const ProcessCommand engine =
        singleFileEngineCommand(state.enginePath, classArgument, state.outputFolder, style);
    const std::string expected =
        expectedOutputFile(state.outputFolder, baseName(classArgument, style), style);

    removeStaleResult(platform, expected);
    // An engine that cannot be started or that fails is not reported: the viewer then shows
    // its own answer for a missing file.
    platform.runAndWait(engine, ShowState::Hidden);
    platform.start(commandWithTarget(state.viewerCommand, expected), ShowState::Maximized);
}

}  // namespace brindle
