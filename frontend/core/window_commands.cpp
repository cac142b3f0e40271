#include "core/window_commands.h"

#include "core/batch_paths.h"
#include "core/engine_command.h"
#include "core/settings_files.h"

namespace brindle {

const std::string& sourceLabelText(FrontEndState& state, const Texts& texts) {
    state.labelScratch.assign(texts.sourceLabelPrefix).append(state.sourceFolder);
    return state.labelScratch;
}

const std::string& outputLabelText(FrontEndState& state, const Texts& texts, OutputLabel when) {
    state.labelScratch.assign(when == OutputLabel::AtOpening ? texts.firstOutputLabelPrefix
                                                             : texts.outputLabelPrefix);
    state.labelScratch.append(state.outputFolder);
    return state.labelScratch;
}

bool openDefaultOutputFolder(Platform& platform, const FrontEndState& state) {
    return platform.start(
        commandWithTarget(platform.defaults().folderOpener, state.defaultOutputFolder),
        ShowState::Maximized);
}

bool openOutputFolder(Platform& platform, const FrontEndState& state) {
    return platform.start(commandWithTarget(platform.defaults().folderOpener, state.outputFolder),
                          ShowState::Maximized);
}

bool startRegistrar(Platform& platform, const std::string& programFolder) {
    return platform.start(programCommand(programFolder + platform.defaults().registrarName),
                          ShowState::Hidden);
}

bool isSourceChoice(Platform& platform, const std::string& path) {
    switch (platform.kindOf(path)) {
    case PathKind::Folder:
        return true;
    case PathKind::File:
        return isArchiveName(path, platform.pathStyle());
    default:
        return false;
    }
}

bool applySourceChoice(Platform& platform, FrontEndState& state, const std::string& path) {
    if (!isSourceChoice(platform, path)) return false;
    state.sourceFolder = path;
    return true;
}

void applyViewerChoice(FrontEndState& state, const std::string& programFolder,
                       const std::string& chosenPath) {
    if (chosenPath.empty()) return;
    writeViewerCommand(programFolder, chosenPath);
    state.viewerCommand = chosenPath;
}

OutputChoice applyOutputChoice(FrontEndState& state, const PathStyle& style,
                               const std::string& programFolder, const std::string& chosenPath) {
    switch (outputFolderFault(chosenPath, style)) {
    case OutputFolderFault::Root: return OutputChoice::RootRefused;
    case OutputFolderFault::TooLong: return OutputChoice::TooLongRefused;
    case OutputFolderFault::None: break;
    }
    state.outputFolder = chosenPath;
    writeOutputFolder(programFolder, chosenPath);
    return OutputChoice::Changed;
}

bool startOrStopBatch(BatchWalker& walker, const Texts& texts, std::string_view commandText) {
    if (commandText.substr(0, kStartCommandTextLimit) == texts.stopBatch) {
        walker.stop();
        return false;
    }
    return walker.start();
}

std::optional<std::string> producedFileAt(const FrontEndState& state, int selectionMark) {
    if (selectionMark < 0 || state.producedCount.load() <= 0) return std::nullopt;
    return state.producedFiles.at(static_cast<std::size_t>(selectionMark));
}

bool openProducedFile(Platform& platform, const FrontEndState& state, int selectionMark) {
    const std::optional<std::string> file = producedFileAt(state, selectionMark);
    if (!file) return false;
    return platform.start(commandWithTarget(state.viewerCommand + ' ', *file),
                          ShowState::Maximized);
}

std::optional<std::string> openOrExplainRow(Platform& platform, const FrontEndState& state,
                                            int selectionMark) {
    if (producedFileAt(state, selectionMark)) {
        std::optional<std::string> failure =
            state.producedFiles.failureAt(static_cast<std::size_t>(selectionMark));
        if (failure) return failure;
    }
    openProducedFile(platform, state, selectionMark);
    return std::nullopt;
}

}  // namespace brindle
