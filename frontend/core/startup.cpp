#include "core/startup.h"

#include <utility>

#include "core/path_rules.h"
#include "core/settings_files.h"

namespace brindle {

std::string fillFrontEndState(Platform& platform, FrontEndState& state) {
    const PathStyle& style = platform.pathStyle();
    const PlatformDefaults& defaults = platform.defaults();
    const std::string windowsFolder = platform.windowsFolder();

    platform.setCurrentDirectory(windowsFolder + style.separator + kStartMenuFolder);

    state.sourceFolder = defaults.sourceFolder;

    const std::string programFolder = folderOf(platform.programPath(), style);
    state.defaultOutputFolder = programFolder + kOutputFolderName;
    state.outputFolder = state.defaultOutputFolder;

    state.viewerCommand = defaults.viewerCommand;
    state.enginePath = windowsFolder + style.separator + defaults.engineName + ' ';

    if (auto viewer = readViewerCommand(programFolder)) state.viewerCommand = std::move(*viewer);
    if (auto output = readOutputFolder(programFolder, style)) state.outputFolder = std::move(*output);
    return programFolder;
}

StartMode startModeFor(const std::string& commandTail) {
    return commandTail.empty() ? StartMode::Window : StartMode::SingleFile;
}

}  // namespace brindle
