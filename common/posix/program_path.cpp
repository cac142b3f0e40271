// Where the running program is, on Linux.

#include "common/program_path.h"

#include <unistd.h>

#include <vector>

namespace brindle::common {

std::string programPath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t got = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (got <= 0) return {};
        if (static_cast<std::size_t>(got) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(got));
        buffer.resize(buffer.size() * 2);
    }
}

std::string programFolder() {
    std::string path = programPath();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    path.resize(slash + 1);
    return path;
}

}  // namespace brindle::common
