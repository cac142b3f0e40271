#pragma once
// The two one-line settings files beside the program: ShellApp.ini holds the viewer program,
// CodeOut.ini the output folder. One line of text followed by CR LF, nothing else.

#include <optional>
#include <string>
#include <string_view>

#include "core/path_style.h"

namespace brindle {

inline constexpr const char* kViewerSettingsFile = "ShellApp.ini";
inline constexpr const char* kOutputSettingsFile = "CodeOut.ini";

// At most this many characters of the first line are read, less its line end.
inline constexpr std::size_t kSettingsReadLimit = 279;

// The first line of a settings file.
struct SettingsLine {
    std::string value;  // at most kSettingsReadLimit characters, without the line end
    bool cut = false;   // the line went on past the limit: value is only its start
    bool operator==(const SettingsLine&) const = default;
};

// The first line held by a settings file's bytes, less a real line end (CR LF or a lone LF;
// without one the line ends with the bytes). Nothing for an empty file. Stops at a NUL byte,
// which no path can hold.
std::optional<SettingsLine> parseSettingsLine(std::string_view fileBytes);

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
