#include "common/settings_line.h"

namespace brindle::common {

std::optional<SettingsLine> parseSettingsLine(std::string_view fileBytes) {
    const std::string_view text = fileBytes.substr(0, fileBytes.find('\0'));
    if (text.empty()) return std::nullopt;

    std::string_view line = text.substr(0, text.find('\n'));
    if (line.size() < text.size() && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    SettingsLine first;
    first.cut = line.size() > kSettingsReadLimit;
    first.value = line.substr(0, kSettingsReadLimit);
    return first;
}

}  // namespace brindle::common
