#pragma once
// A command the front-end starts, held in both forms the platforms need: the command text that
// Windows hands to CreateProcessA, and the same command as an argument vector for posix_spawn,
// where every path is exactly one element whatever bytes it holds.

#include <string>
#include <vector>

namespace brindle {

struct ProcessCommand {
    std::string text;               // "C:\WINDOWS\Jad.exe -sjava -8 -ff -d\"C:\out\" \"C:\a.class\""
    std::vector<std::string> argv;  // {"/opt/brindle/jad", "-sjava", "-8", "-ff", "-d/out", "--", "/a.class"}
};

}  // namespace brindle
