#pragma once
// The class-file association in the freedesktop.org way, as text: the desktop entry that starts
// brindle, the MIME package that names *.class files, and the merge of the default-application
// line into the user's mimeapps.list. No file is read or written here; main.cpp does that.

#include <optional>
#include <string>
#include <string_view>

namespace brindle::xdg {

inline constexpr std::string_view kDesktopFileName = "CoolBrindle.desktop";
inline constexpr std::string_view kMimePackageName = "CoolBrindle.xml";
inline constexpr std::string_view kMimeType = "application/x-java";
// The launcher: a link to brindle in the program folder, below the user's data folder.
inline constexpr std::string_view kLauncherFolder = "CoolBrindle";
inline constexpr std::string_view kLauncherName = "brindle";

// The base folder named by an XDG variable (its value, or null when unset): the value when it
// is an absolute path, else home followed by fallback (".local/share", ".config"). Without an
// absolute home there is no folder to use: nullopt.
std::optional<std::string> baseFolder(const char* value, const char* home,
                                      std::string_view fallback);

// One argument of an Exec key: quoted by the desktop-entry rules (", `, $ and \ escaped inside
// double quotes; % doubled so it is no field code), then escaped as a string value (\ doubled,
// newline, tab and carriage return written as \n, \t, \r).
std::string execArgument(std::string_view argument);

// True when path can stand in an Exec key as it is, unquoted and unescaped, and every launcher
// reads it alike: an absolute path of UTF-8 text whose ASCII characters are only letters,
// digits and "/._-+,@". Debian 12's xdg-open (1.1.3, without a desktop) splits Exec at blanks,
// keeps quotes and backslashes and expands wildcards; GLib looks for the program before it
// reads "%%" as "%". Such a path means the same to each of them.
bool isPlainExecProgram(std::string_view path);

// The launcher's path below the user's data folder (an absolute path without a trailing '/').
std::string launcherPath(std::string_view dataFolder);

// The desktop entry that starts program with the clicked file: program as it is when it is a
// plain Exec program, quoted by the Exec rules otherwise; the class-file icon in programFolder
// (an absolute path ending in '/').
std::string desktopEntry(std::string_view program, std::string_view programFolder);

// The shared-mime-info package that gives *.class files the type application/x-java.
std::string mimePackage();

// The user's mimeapps.list text with application/x-java=CoolBrindle.desktop as the default
// application: a line for that type in [Default Applications] is replaced in place (later
// duplicates, which would override it, are dropped), a missing line is added at the end of the
// section, a missing section at the end of the text. Every other line stays as it was; what is
// added ends its lines as the text does (CR LF when its first line ends so).
std::string mergeMimeApps(std::string_view existing);

}  // namespace brindle::xdg
