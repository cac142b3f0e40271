#pragma once
// The two one-line settings files beside the program: ShellApp.ini holds the viewer program,
// CodeOut.ini the output folder. One line of text followed by CR LF, nothing else.

#include <optional>
#include <string>
#include <string_view>

namespace brindle {

inline constexpr const char* kViewerSettingsFile = "ShellApp.ini";
inline constexpr const char* kOutputSettingsFile = "CodeOut.ini";

// At most this many characters of the first line are read, its line end included.
inline constexpr std::size_t kSettingsReadLimit = 279;

// The value held by a settings file's bytes: the first kSettingsReadLimit characters of the
// first line, less a real line end (CR LF or a lone LF) if one is there. Nothing for an empty
// file. Stops at a NUL byte, which no path can hold.
std::optional<std::string> parseSettingsLine(std::string_view fileBytes);

// Reads programFolder + name; nothing when the file cannot be opened or holds no line.
std::optional<std::string> readSettingsFile(const std::string& programFolder, const char* name);

// Creates or truncates programFolder + name and writes value + CR LF. False when it could not.
bool writeSettingsFile(const std::string& programFolder, const char* name, std::string_view value);

// The viewer command read from ShellApp.ini, with one blank appended; nothing if unread.
std::optional<std::string> readViewerCommand(const std::string& programFolder);
std::optional<std::string> readOutputFolder(const std::string& programFolder);
bool writeViewerCommand(const std::string& programFolder, std::string_view viewerPath);
bool writeOutputFolder(const std::string& programFolder, std::string_view outputFolder);

}  // namespace brindle
