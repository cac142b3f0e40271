#include "engine/win32/search_places.h"

#include <algorithm>
#include <vector>

namespace brindle::engine::win32 {

bool isFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring environmentText(const wchar_t* name) {
    std::vector<wchar_t> buffer(512);
    for (;;) {
        const DWORD length =
            GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length);
    }
}

std::wstring unquoteFolder(std::wstring text) {
    text.erase(std::remove(text.begin(), text.end(), L'"'), text.end());
    while (!text.empty() && (text.back() == L'\\' || text.back() == L'/' || text.back() == L' '))
        text.pop_back();
    return text;
}

std::wstring registryText(HKEY key, const wchar_t* value) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
        return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS)
        return {};
    text.resize(wcsnlen(text.c_str(), text.size()));
    if (type == REG_EXPAND_SZ) {
        std::vector<wchar_t> expanded(32768);
        const DWORD length = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), 32768);
        if (length > 0 && length <= 32768) text = expanded.data();
    }
    return text;
}

std::wstring firstOnPath(const wchar_t* program) {
    const std::wstring path = environmentText(L"PATH");
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L';', start);
        if (end == std::wstring::npos) end = path.size();
        const std::wstring folder = unquoteFolder(path.substr(start, end - start));
        start = end + 1;
        if (folder.empty()) continue;
        const std::wstring candidate = folder + L"\\" + program;
        if (isFile(candidate)) return candidate;
    }
    return {};
}

}  // namespace brindle::engine::win32
