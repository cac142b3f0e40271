// Where the running program is, on Windows (UTF-8, as common's other paths there).

#include "common/program_path.h"

#include <windows.h>

#include <vector>

#include "common/win32/wide_text.h"

namespace brindle::common {

std::string programPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return win32::narrow(std::wstring_view(buffer.data(), length));
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string programFolder() {
    const std::string path = programPath();
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace brindle::common
