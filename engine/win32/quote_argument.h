// Windows programs built with the C runtime (java.exe among them) split their command line by
// the runtime's rules; this puts one argument into a command line so that it arrives whole.
#pragma once

#include <string>
#include <string_view>

namespace brindle::engine::win32 {

// The argument as it must appear in a command line: unchanged when it holds no blank, tab or
// quote (and is not empty), else in quotes, with every quote escaped and the backslashes
// before a quote or before the closing quote doubled.
std::wstring quoteArgument(std::wstring_view argument);

}  // namespace brindle::engine::win32
