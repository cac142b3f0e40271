#include "core/engine_command.h"

#include <utility>

#include "core/path_rules.h"

namespace brindle {
namespace {

// The program part of a command text: everything before its trailing blanks.
std::string programOf(std::string_view commandText) {
    const std::size_t end = commandText.find_last_not_of(' ');
    return std::string(end == std::string_view::npos ? std::string_view{}
                                                     : commandText.substr(0, end + 1));
}

ProcessCommand engineCommand(std::string_view enginePath, const std::string& folder,
                             std::string_view classText, std::string_view classArgument) {
    ProcessCommand command;
    command.text.reserve(enginePath.size() + kEngineOptions.size() + folder.size() +
                         classText.size() + 3);
    command.text.append(enginePath).append(kEngineOptions);
    command.text.append("\"").append(folder).append("\" ").append(classText);
    std::string folderOption("-d");
    folderOption += folder;
    // "--" ends the options, so a class file whose name starts with "-" (a relative "-d.class")
    // reaches the engine as a file. The command text, for Windows, stays as it always was.
    command.argv = {programOf(enginePath), "-sjava", "-8", "-ff", std::move(folderOption), "--",
                    std::string(classArgument)};
    return command;
}

}  // namespace

ProcessCommand singleFileEngineCommand(std::string_view enginePath, std::string_view classArgument,
                                       std::string_view outputFolder, const PathStyle& style) {
    return engineCommand(enginePath, singleFileTargetFolder(outputFolder, style), classArgument,
                         classArgument);
}

ProcessCommand batchEngineCommand(std::string_view enginePath, std::string_view classPath,
                                  std::string_view mirroredFolder, const PathStyle& style) {
    std::string quoted;
    quoted.append("\"").append(classPath).append("\"");
    return engineCommand(enginePath, batchTargetFolder(mirroredFolder, style), quoted, classPath);
}

ProcessCommand commandWithTarget(std::string_view program, std::string_view target) {
    ProcessCommand command;
    command.text.append(program).append(target);
    command.argv = {programOf(program), std::string(target)};
    return command;
}

ProcessCommand programCommand(std::string_view programPath) {
    return ProcessCommand{std::string(programPath), {std::string(programPath)}};
}

}  // namespace brindle
