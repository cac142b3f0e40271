#pragma once
// Error lines that stay one line whatever a path holds.

#include <string>
#include <string_view>

namespace brindle::common {

// text with newline, carriage return and tab written as \n, \r, \t and every other control
// byte (below 0x20, and 0x7F) as \xHH; all other bytes, UTF-8 or not, pass unchanged.
std::string printable(std::string_view text);

}  // namespace brindle::common
