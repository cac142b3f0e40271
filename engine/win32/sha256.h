// SHA-256 through Windows' own cryptography (CNG).
#pragma once

#include <string>
#include <string_view>

namespace brindle::engine::win32 {

// The digest of bytes as 64 lower-case hex digits; empty when CNG is not available.
std::string sha256Hex(std::string_view bytes);

}  // namespace brindle::engine::win32
