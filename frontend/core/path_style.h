#pragma once
// How paths are spelled on the platform Brindle runs on. The core's path rules are written once
// and handed one of these; nothing in the core asks which operating system it is on.

#include <cstddef>
#include <string>

namespace brindle {

struct PathStyle {
    char separator;          // '\\' on Windows, '/' on Linux
    std::size_t rootLength;  // length of a bare root: 3 for "C:\", 1 for "/"
    // True for the first byte of a double-byte character in the ANSI code page. Null where
    // every byte stands for itself (UTF-8 never puts an ASCII byte inside a character).
    bool (*isLeadByte)(unsigned char byte);
    // Upper-cases a text in place by the rules of the platform's character set.
    void (*upperCase)(std::string& text);
    // True where the file system takes names in any letter case for the same file (Windows).
    bool caseBlindNames;
};

}  // namespace brindle
