#include "common/win32/file_names.h"

#include <string>

namespace brindle::common::win32 {

bool isWindowsFileName(std::string_view name) {
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 ||
            std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            return false;
    }
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
    std::string stem(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const bool device = stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" ||
                        ((stem.starts_with("COM") || stem.starts_with("LPT")) && stem.size() == 4 &&
                         stem[3] >= '1' && stem[3] <= '9');
    return !device;
}

}  // namespace brindle::common::win32
