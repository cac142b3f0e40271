// Files and folders on Windows. Paths are UTF-8 and reach the wide API in their "\\?\" form, so
// that paths in any script and of any length work, whatever the ANSI code page.

#include "common/files.h"

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cwchar>

#include "common/win32/file_names.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide_text.h"

namespace brindle::common {
namespace {

using win32::errorText;
using win32::longPath;
using win32::narrow;
using win32::UniqueHandle;

void setError(std::string* error, std::string_view what, const std::string& path, DWORD number) {
    if (error != nullptr) *error = std::string(what) + " " + path + ": " + errorText(number);
}

// While a file is being replaced, a console's Ctrl+C, Ctrl+Break or close waits until the new
// file is in place (or the temporary file gone), then ends the program as it would have.
std::atomic<int> g_replacing{0};

BOOL WINAPI holdWhileReplacing(DWORD) {
    while (g_replacing.load() > 0) Sleep(10);
    return FALSE;
}

class InterruptsHeld {
public:
    InterruptsHeld() {
        SetConsoleCtrlHandler(holdWhileReplacing, TRUE);
        ++g_replacing;
    }
    ~InterruptsHeld() {
        --g_replacing;
        SetConsoleCtrlHandler(holdWhileReplacing, FALSE);
    }
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;
};

bool isFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// "D:P(A;OICI;FA;;;<user>)": full access for the user alone, inherited by what is created
// inside; empty when the user's identity cannot be read.
std::wstring privateDescriptor() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    std::wstring sddl;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        wchar_t* sid = nullptr;
        if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
            sddl = L"D:P(A;OICI;FA;;;" + std::wstring(sid) + L")";
            LocalFree(sid);
        }
    }
    CloseHandle(token);
    return sddl;
}

bool createFolder(const std::wstring& folder, NewFolders access) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (access == NewFolders::Private) {
        const std::wstring sddl = privateDescriptor();
        if (!sddl.empty() && ConvertStringSecurityDescriptorToSecurityDescriptorW(
                                 sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
            attributes.lpSecurityDescriptor = descriptor;
    }
    const BOOL made = CreateDirectoryW(folder.c_str(), &attributes);
    const DWORD error = GetLastError();
    if (descriptor != nullptr) LocalFree(descriptor);
    SetLastError(error);
    return made != FALSE;
}

// The path as the user knows it: without the "\\?\" prefix.
std::string shown(const std::wstring& path) {
    if (path.starts_with(L"\\\\?\\UNC\\")) return narrow(L"\\\\" + path.substr(8));
    if (path.starts_with(L"\\\\?\\")) return narrow(path.substr(4));
    return narrow(path);
}

}  // namespace

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    path += name;
    return path;
}

bool makeFolders(const std::string& folder, NewFolders access, std::string* error) {
    const std::wstring wide = longPath(folder);
    if (wide.empty()) {
        setError(error, "cannot create folder", folder, ERROR_INVALID_NAME);
        return false;
    }
    if (isFolder(wide)) return true;
    // Create each missing level from the top, past "\\?\C:\" or "\\?\UNC\server\share\".
    std::size_t start = 0;
    if (wide.compare(4, 4, L"UNC\\") == 0) {
        start = wide.find(L'\\', 8);
        start = start == std::wstring::npos ? wide.size() : wide.find(L'\\', start + 1);
    } else {
        start = wide.find(L'\\', 4);
    }
    while (start != std::wstring::npos && start < wide.size()) {
        const std::size_t end = wide.find(L'\\', start + 1);
        const std::wstring level = wide.substr(0, end);
        if (!createFolder(level, access)) {
            const DWORD number = GetLastError();
            if (number != ERROR_ALREADY_EXISTS || !isFolder(level)) {
                setError(error, "cannot create folder", shown(level),
                         number == ERROR_ALREADY_EXISTS ? ERROR_DIRECTORY : number);
                return false;
            }
        }
        start = end;
    }
    if (isFolder(wide)) return true;
    setError(error, "cannot create folder", folder, ERROR_PATH_NOT_FOUND);
    return false;
}

// Windows has no file modes to keep and Jad.exe no links to follow: options are not used. A
// name that Windows' own programs cannot open (isWindowsFileName) is refused.
bool replaceFile(const std::string& path, std::string_view bytes, const ReplaceOptions&,
                 std::string* error) {
    const std::wstring target = longPath(path);
    const std::size_t slash = target.find_last_of(L'\\');
    if (target.empty() || slash == std::wstring::npos || slash < 4) {
        setError(error, "cannot write", path, ERROR_INVALID_NAME);
        return false;
    }
    const std::wstring folder = target.substr(0, slash);
    if (!win32::isWindowsFileName(narrow(target.substr(slash + 1)))) {
        setError(error, "cannot write", path, ERROR_INVALID_NAME);
        return false;
    }

    InterruptsHeld held;
    std::wstring temp;
    UniqueHandle file;
    for (unsigned attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
        // A short name: the target's may already be close to the length limit.
        wchar_t name[32];
        swprintf(name, 32, L"\\.brindle-%08lx%02x", GetCurrentProcessId() ^ GetTickCount(), attempt);
        temp = folder + name;
        file.reset(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid() && GetLastError() != ERROR_FILE_EXISTS) {
            setError(error, "cannot write", path, GetLastError());
            return false;
        }
    }
    if (!file.valid()) {
        setError(error, "cannot write", path, ERROR_FILE_EXISTS);
        return false;
    }
    DWORD number = 0;
    while (number == 0 && !bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr) || written == 0) {
            number = GetLastError();
        } else {
            bytes.remove_prefix(written);
        }
    }
    if (number == 0 && !FlushFileBuffers(file.get())) number = GetLastError();
    if (!file.close() && number == 0) number = GetLastError();
    if (number == 0) {
        // A rename replaces a read-only file on Linux; the same here.
        const DWORD attributes = GetFileAttributesW(target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
            SetFileAttributesW(target.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
        if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            number = GetLastError();
    }
    if (number != 0) {
        DeleteFileW(temp.c_str());
        setError(error, "cannot write", path, number);
        return false;
    }
    return true;
}

ReadStatus readWholeFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                         std::string* systemError) {
    auto fail = [systemError](ReadStatus status, DWORD number) {
        if (systemError != nullptr) *systemError = errorText(number);
        return status;
    };
    const std::wstring wide = longPath(path);
    if (wide.empty()) return fail(ReadStatus::CannotOpen, ERROR_INVALID_NAME);
    if (isFolder(wide)) return ReadStatus::IsFolder;
    UniqueHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD number = GetLastError();
        const bool missing = number == ERROR_FILE_NOT_FOUND || number == ERROR_PATH_NOT_FOUND;
        return fail(missing ? ReadStatus::Missing : ReadStatus::CannotOpen, number);
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK) return ReadStatus::NotRegular;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return fail(ReadStatus::CannotRead, GetLastError());
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) return ReadStatus::TooLarge;
    bytes.clear();
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr))
            return fail(ReadStatus::CannotRead, GetLastError());
        if (got == 0) return ReadStatus::Ok;
        if (bytes.size() + got > maxBytes) return ReadStatus::TooLarge;
        bytes.append(buffer, got);
    }
}

}  // namespace brindle::common
