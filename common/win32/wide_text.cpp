#include "common/win32/wide_text.h"

#include <windows.h>

#include <vector>

namespace brindle::common::win32 {

std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

namespace {

std::string fromWide(UINT codePage, std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

}  // namespace

std::string narrow(std::wstring_view wide) { return fromWide(CP_UTF8, wide); }

std::string toAnsi(std::wstring_view wide) { return fromWide(CP_ACP, wide); }

std::wstring fullPath(std::string_view utf8Path) {
    const std::wstring path = widen(utf8Path);
    if (path.empty() || path.find(L'\0') != std::wstring::npos) return {};
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()),
                                              buffer.data(), nullptr);
        if (length == 0) return {};
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length);
    }
}

std::wstring longPath(std::string_view utf8Path) {
    const std::wstring prefix = L"\\\\?\\";
    if (widen(utf8Path).starts_with(prefix)) return widen(utf8Path);
    std::wstring full = fullPath(utf8Path);
    if (full.empty() || full.starts_with(prefix)) return full;
    if (full.starts_with(L"\\\\.\\")) return full;  // a device such as \\.\pipe\x
    if (full.starts_with(L"\\\\")) return prefix + L"UNC\\" + full.substr(2);
    return prefix + full;
}

std::string errorText(unsigned long error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : std::wstring();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    if (message.empty()) return "error " + std::to_string(error);
    return narrow(message);
}

}  // namespace brindle::common::win32

namespace brindle::common::win32 {

std::wstring ansiSafePath(const std::wstring& path) {
    BOOL lost = FALSE;
    const int size = static_cast<int>(path.size());
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.c_str(), size, nullptr, 0, nullptr, &lost);
    if (!lost) return path;
    std::vector<wchar_t> buffer(32768);
    const std::wstring prefixed = path.starts_with(L"\\\\") ? path : L"\\\\?\\" + path;
    const DWORD length = GetShortPathNameW(prefixed.c_str(), buffer.data(), 32768);
    if (length == 0 || length >= 32768) return path;
    std::wstring shortPath(buffer.data(), length);
    if (shortPath.starts_with(L"\\\\?\\") && !path.starts_with(L"\\\\")) shortPath.erase(0, 4);
    return shortPath;
}

}  // namespace brindle::common::win32
