#pragma once
// Reading what a decompiler printed.

#include <string>

namespace brindle::engine {

// The first line of text that is not blank, without trailing blanks, cut to
// kMaxQuotedErrorChars: what an error line quotes of the decompiler's error output.
std::string firstLine(const std::string& text);

// True when text holds nothing but blanks and line ends: no source.
bool isBlank(const std::string& text);

}  // namespace brindle::engine
