#include "engine/core/decompiler_output.h"

#include "engine/core/limits.h"

namespace brindle::engine {

std::string firstLine(const std::string& text) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (!line.empty()) {
            if (line.size() > kMaxQuotedErrorChars)
                line = line.substr(0, kMaxQuotedErrorChars) + "...";
            return line;
        }
        start = end + 1;
    }
    return {};
}

bool isBlank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace brindle::engine
