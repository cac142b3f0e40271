#pragma once
// Checking text for UTF-8.

#include <string_view>

namespace brindle::common {

// True when text is well-formed UTF-8 (no overlong form, no surrogate, nothing above U+10FFFF)
// and holds no zero byte: what a file path, a desktop entry or an XML file can carry.
bool isUtf8(std::string_view text);

}  // namespace brindle::common
