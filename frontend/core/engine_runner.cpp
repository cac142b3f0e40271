#include "core/engine_runner.h"

#include "core/engine_command.h"
#include "core/path_rules.h"

namespace brindle {

void removeStaleResult(Platform& platform, const std::string& path) {
    platform.clearAttributes(path);
    platform.deleteFile(path);
}

std::optional<std::string> engineFailure(Platform& platform, const ProcessCommand& command,
                                         const ProcessOutcome& outcome,
                                         const std::string& expectedFile, const Texts& texts) {
    if (!outcome.started) {
        std::string reason(texts.engineMissing);
        if (!command.argv.empty()) reason += command.argv.front();
        return reason;
    }
    if (outcome.exitCode == 0 && platform.kindOf(expectedFile) == PathKind::File) {
        return std::nullopt;
    }
    if (!outcome.errorLine.empty()) return outcome.errorLine;
    return std::string(texts.noSourceWritten);
}

std::optional<std::string> decompileAndShow(Platform& platform, const FrontEndState& state,
                                            const Texts& texts, std::string_view classArgument) {
    const PathStyle& style = platform.pathStyle();
    const ProcessCommand engine =
        singleFileEngineCommand(state.enginePath, classArgument, state.outputFolder, style);
    const std::string expected =
        expectedOutputFile(state.outputFolder, baseName(classArgument, style), style);

    removeStaleResult(platform, expected);
    const ProcessOutcome outcome = platform.runAndWait(engine, ShowState::Hidden);
    if (std::optional<std::string> failure =
            engineFailure(platform, engine, outcome, expected, texts)) {
        std::string_view classFile = classArgument;
        if (classFile.size() >= 2 && classFile.front() == '"' && classFile.back() == '"') {
            classFile = classFile.substr(1, classFile.size() - 2);
        }
        std::string message(texts.decompileFailed);
        message.append(classFile).append("\n").append(*failure);
        return message;
    }
    platform.start(commandWithTarget(state.viewerCommand, expected), ShowState::Maximized);
    return std::nullopt;
}

}  // namespace brindle
