#include "core/process_output.h"

#include "core/batch_paths.h"

namespace brindle {

std::string firstErrorLine(std::string_view output, const PathStyle& style) {
    constexpr std::string_view kBlanks = " \t";
    while (!output.empty()) {
        const std::size_t end = output.find_first_of("\r\n");
        std::string_view line = output.substr(0, end);
        output.remove_prefix(end == std::string_view::npos ? output.size() : end + 1);
        const std::size_t first = line.find_first_not_of(kBlanks);
        if (first == std::string_view::npos) continue;
        line = line.substr(first, line.find_last_not_of(kBlanks) - first + 1);
        return std::string(line.substr(0, boundaryAtOrBefore(line, kErrorLineLimit, style)));
    }
    return {};
}

}  // namespace brindle
