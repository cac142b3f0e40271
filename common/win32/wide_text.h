// Text at the Win32 boundary. A program that uses these helpers keeps its texts in UTF-8, as the
// portable code does, and speaks UTF-16 to the wide API, so that no path depends on the ANSI
// code page and none is limited to MAX_PATH characters.
#pragma once

#include <string>
#include <string_view>

namespace brindle::common::win32 {

// UTF-8 to UTF-16; a byte that is not valid UTF-8 becomes U+FFFD.
std::wstring widen(std::string_view utf8);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string narrow(std::wstring_view wide);

// UTF-16 to the ANSI code page (what an ANSI program such as Brindle.exe reads); a character
// the code page does not hold becomes '?'.
std::string toAnsi(std::wstring_view wide);

// The absolute form of a path: GetFullPathNameW resolves a relative path against the current
// folder, a drive-relative "C:x", "." and "..", '/' and doubled separators. Empty when that fails.
std::wstring fullPath(std::string_view utf8Path);

// fullPath with the "\\?\" prefix ("\\?\UNC\" for a share), for the wide file API: such a path
// may be longer than MAX_PATH. A path that already has the prefix is kept as it is.
std::wstring longPath(std::string_view utf8Path);

// The system's text for a Win32 error code, in UTF-8, without its line end.
std::string errorText(unsigned long error);

}  // namespace brindle::common::win32

namespace brindle::common::win32 {

// A path for a program that reads its command line in the ANSI code page (java.exe does): the
// full path when the code page holds every character of it, else its short (8.3) form where
// the volume keeps one, else the full path all the same.
std::wstring ansiSafePath(const std::wstring& path);

}  // namespace brindle::common::win32
