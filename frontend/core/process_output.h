#pragma once
// What Brindle keeps of a process's standard error: its first line, to tell the user why.

#include <cstddef>
#include <string>
#include <string_view>

#include "core/path_style.h"

namespace brindle {

// A platform keeps at most this much of what a process writes on its standard error; it reads
// and drops the rest, so that the process never waits on a full pipe.
inline constexpr std::size_t kErrorOutputKept = 64 * 1024;
// The longest error line shown.
inline constexpr std::size_t kErrorLineLimit = 400;

// The first line of output that holds more than blanks, without its line end and the blanks
// (spaces, tabs) around it, cut to kErrorLineLimit bytes where a character begins. Empty when
// there is none.
std::string firstErrorLine(std::string_view output, const PathStyle& style);

}  // namespace brindle
