#pragma once
// The two one-line settings files beside the program: ShellApp.ini holds the viewer program,
// CodeOut.ini the output folder. One line of text followed by CR LF, nothing else.

#include <optional>
#include <string>
#include <string_view>

#include "common/settings_line.h"
#include "core/path_style.h"

namespace brindle {

inline constexpr const char* kViewerSettingsFile = "ShellApp.ini";
inline constexpr const char* kOutputSettingsFile = "CodeOut.ini";

// The line format is the one every Brindle program reads (common/settings_line.h).
using common::kSettingsReadLimit;
using common::parseSettingsLine;
using common::SettingsLine;

// Reads programFolder + name; nothing when the file cannot be opened or holds no line.
std::optional<SettingsLine> readSettingsFile(const std::string& programFolder, const char* name);

// Creates or truncates programFolder + name and writes value + CR LF. False when it could not.
bool writeSettingsFile(const std::string& programFolder, const char* name, std::string_view value);

// Why a folder cannot be the output folder: a root or less (an empty text included), which the
// engine command would turn into the root; or a text longer than CodeOut.ini can give back.
enum class OutputFolderFault { None, Root, TooLong };
OutputFolderFault outputFolderFault(std::string_view folder, const PathStyle& style);

// The viewer command read from ShellApp.ini, with one blank appended; nothing if unread.
std::optional<std::string> readViewerCommand(const std::string& programFolder);
// The output folder read from CodeOut.ini; nothing if unread, if its line was cut, or if the
// window would refuse it (outputFolderFault): the default output folder then stays.
std::optional<std::string> readOutputFolder(const std::string& programFolder,
                                            const PathStyle& style);
bool writeViewerCommand(const std::string& programFolder, std::string_view viewerPath);
bool writeOutputFolder(const std::string& programFolder, std::string_view outputFolder);

}  // namespace brindle
