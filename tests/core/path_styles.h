#pragma once
// The two path styles, as the core tests use them on any host: Windows with code page 936's
// lead bytes, and Linux.

#include <string>

#include "core/path_style.h"

namespace brindle::testing {

inline bool cp936LeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

inline void upperAscii(std::string& text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
}

inline const PathStyle kWindows{'\\', 3, cp936LeadByte, upperAscii, true};
inline const PathStyle kLinux{'/', 1, nullptr, upperAscii, false};

// 擻 in code page 936: its trail byte is the backslash.
inline const std::string kTrailBackslash = "\x94\x5c";

}  // namespace brindle::testing
