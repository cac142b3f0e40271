#pragma once
// The argument and environment arrays that exec and posix_spawn take.

#include <string>
#include <vector>

namespace brindle::common {

// The strings as a null-ended array of pointers; valid while strings lives unchanged.
inline std::vector<char*> cStrings(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace brindle::common
