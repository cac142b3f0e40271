// The host platform on Windows: the ANSI Win32 API and GB2312 texts.

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/win32/child_handles.h"
#include "common/win32/pipe_reader.h"
#include "core/path_rules.h"
#include "core/process_output.h"
#include "os/host_platform.h"

namespace brindle {
namespace {

using common::win32::makeChildPipe;
using common::win32::openNulForChild;
using common::win32::PipeReader;
using common::win32::UniqueHandle;

bool isAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

void upperAnsi(std::string& text) {
    if (text.empty()) return;
    // CharUpperBuffA follows the ANSI code page and leaves double-byte characters whole.
    CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
}

constexpr PathStyle kWin32Style{'\\', 3, isAnsiLeadByte, upperAnsi, true};

constexpr PlatformDefaults kWin32Defaults{
    "C:\\Tarnwick\\Servlets", "Notepad.exe ", "Explorer.exe ", "Jad.exe", "Typebind.exe"};

WORD showCommand(ShowState show) {
    return static_cast<WORD>(show == ShowState::Hidden ? SW_HIDE : SW_SHOWMAXIMIZED);
}

// Held while a process is created: a handle made inheritable for one child (the engine's error
// pipe) must reach no other, or the pipe would not end when the engine does.
std::mutex creating;

// Creates the process from the command text alone; the handle of the new process, or none.
// errorOutput, when given, becomes its standard error, with its input and output on NUL, and the
// process gets no console window of its own.
UniqueHandle createProcess(const ProcessCommand& command, ShowState show,
                           HANDLE errorOutput = nullptr) {
    // CreateProcessA may write into the command line, so it gets a copy of any length.
    std::vector<char> commandLine(command.text.begin(), command.text.end());
    commandLine.push_back('\0');

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showCommand(show);
    DWORD flags = NORMAL_PRIORITY_CLASS;
    UniqueHandle nul;
    if (errorOutput != nullptr) {
        nul = openNulForChild();
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = nul.get();
        startup.hStdOutput = nul.get();
        startup.hStdError = errorOutput;
        flags |= CREATE_NO_WINDOW;
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        nullptr, &startup, &process)) {
        return {};
    }
    CloseHandle(process.hThread);
    return UniqueHandle(process.hProcess);
}

// Allows the current user, and no one else, into a folder and everything made in it.
class UserOnlySecurity {
public:
    UserOnlySecurity() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<char> user(size);
        char* sid = nullptr;
        if (size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
            ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
            // Protected (no inherited entries); full access for the user, inherited by files
            // and folders made inside.
            const std::string sddl = std::string("D:P(A;OICI;FA;;;") + sid + ")";
            LocalFree(sid);
            ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                                 &descriptor_, nullptr);
        }
        CloseHandle(token);
    }
    ~UserOnlySecurity() {
        if (descriptor_ != nullptr) LocalFree(descriptor_);
    }
    UserOnlySecurity(const UserOnlySecurity&) = delete;
    UserOnlySecurity& operator=(const UserOnlySecurity&) = delete;

    // Null when the descriptor could not be made.
    SECURITY_ATTRIBUTES* attributes() {
        if (descriptor_ == nullptr) return nullptr;
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = descriptor_;
        attributes_.bInheritHandle = FALSE;
        return &attributes_;
    }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

void removeTree(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            const DWORD attributes = entry.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                RemoveDirectoryA(path.c_str());  // the link alone, not what it leads to
            } else {
                removeTree(path);
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

// A name the Windows file system keeps as given: no reserved or control character, no
// trailing dot or blank (which it would drop), and no device name, with or without extension.
bool isPlainWindowsName(const std::string& name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (IsDBCSLeadByte(byte) && i + 1 < name.size()) {
            ++i;
            continue;
        }
        if (byte < 0x20 || std::strchr("<>:\"/\\|?*", byte) != nullptr) return false;
    }
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    upperAnsi(stem);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (stem == device) return false;
    }
    const bool port = stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0;
    return !(stem.size() == 4 && port && stem[3] >= '1' && stem[3] <= '9');
}

class Win32FolderSearch final : public FolderSearch {
public:
    Win32FolderSearch(HANDLE handle, const WIN32_FIND_DATAA& first) : handle_(handle), data_(first) {}
    ~Win32FolderSearch() override { FindClose(handle_); }
    Win32FolderSearch(const Win32FolderSearch&) = delete;
    Win32FolderSearch& operator=(const Win32FolderSearch&) = delete;

    bool next(FolderEntry& entry) override {
        for (;;) {
            if (pending_) {
                pending_ = false;
            } else if (!FindNextFileA(handle_, &data_)) {
                return false;
            }
            const DWORD attributes = data_.dwFileAttributes;
            entry.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            // A folder link or junction could lead back to an ancestor or walk a folder twice;
            // the batch follows real folders only. Links to files are kept.
            if (entry.isDirectory && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
            entry.name = data_.cFileName;
            return true;
        }
    }

private:
    HANDLE handle_;
    WIN32_FIND_DATAA data_;
    bool pending_ = true;  // find-first already delivered the first entry
};

class Win32Platform final : public Platform {
public:
    const PathStyle& pathStyle() const override { return kWin32Style; }
    const PlatformDefaults& defaults() const override { return kWin32Defaults; }

    std::string windowsFolder() override {
        char buffer[MAX_PATH + 1];
        const UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
        if (length == 0 || length >= sizeof buffer) return {};
        return std::string(buffer, length);
    }

    std::string programPath() override {
        std::vector<char> buffer(MAX_PATH + 1);
        for (;;) {
            const DWORD length =
                GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (length == 0) return {};
            if (length < buffer.size()) return std::string(buffer.data(), length);
            if (buffer.size() >= 32768) return {};
            buffer.resize(buffer.size() * 2);
        }
    }

    bool setCurrentDirectory(const std::string& folder) override {
        return SetCurrentDirectoryA(folder.c_str()) != FALSE;
    }

    ProcessOutcome runAndWait(const ProcessCommand& command, ShowState show) override {
        ProcessOutcome outcome;
        UniqueHandle readEnd;
        UniqueHandle process;
        {
            const std::lock_guard lock(creating);
            UniqueHandle writeEnd;
            if (!makeChildPipe(readEnd, writeEnd)) return outcome;
            process = createProcess(command, show, writeEnd.get());
            // writeEnd closes here, while no other child can be started: the child holds its
            // own copy, and the pipe ends when the child (and anything it handed the copy on
            // to) does.
        }
        if (!process.valid()) return outcome;
        outcome.started = true;
        // Read while it runs, so that it never waits on a full pipe. A child of the engine that
        // kept the pipe open must not hold the batch: the engine's end is what counts.
        PipeReader errors(readEnd.get(), kErrorOutputKept);
        errors.readUntilExit(process.get());
        DWORD code = 0;
        GetExitCodeProcess(process.get(), &code);
        outcome.exitCode = static_cast<int>(code);
        outcome.errorLine = firstErrorLine(errors.text(), kWin32Style);
        return outcome;
    }

    bool start(const ProcessCommand& command, ShowState show) override {
        const std::lock_guard lock(creating);
        return createProcess(command, show).valid();
    }

    void clearAttributes(const std::string& path) override {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    void deleteFile(const std::string& path) override { DeleteFileA(path.c_str()); }

    std::unique_ptr<FolderSearch> findFirst(const std::string& pattern) override {
        WIN32_FIND_DATAA data{};
        const HANDLE handle = FindFirstFileA(pattern.c_str(), &data);
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<Win32FolderSearch>(handle, data);
    }

    void createFolder(const std::string& path) override { CreateDirectoryA(path.c_str(), nullptr); }

    std::optional<FolderIdentity> folderIdentity(const std::string& path) override {
        // A folder opens as a file only with backup semantics; no access right is asked for,
        // so neither sharing nor the folder's permissions stand in the way.
        const HANDLE folder =
            CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (folder == INVALID_HANDLE_VALUE) return std::nullopt;
        BY_HANDLE_FILE_INFORMATION info{};
        const BOOL known = GetFileInformationByHandle(folder, &info);
        CloseHandle(folder);
        if (!known || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return std::nullopt;
        return FolderIdentity{info.dwVolumeSerialNumber,
                              (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                                  info.nFileIndexLow};
    }

    PathKind kindOf(const std::string& path) override {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::Folder;
        return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? PathKind::Other : PathKind::File;
    }

    std::string createPrivateFolder() override {
        char base[MAX_PATH + 1];
        const DWORD length = GetTempPathA(sizeof base, base);
        if (length == 0 || length >= sizeof base) return {};
        UserOnlySecurity security;
        // Never a folder others could enter.
        if (security.attributes() == nullptr) return {};
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            const unsigned long long mix =
                GetTickCount64() * 0x9E3779B97F4A7C15ull ^
                (static_cast<unsigned long long>(GetCurrentProcessId()) << 20) ^ counter++;
            char name[32];
            std::snprintf(name, sizeof name, "brindle-%08llx", mix & 0xFFFFFFFFull);
            const std::string folder = std::string(base, length) + name;
            if (CreateDirectoryA(folder.c_str(), security.attributes())) return folder;
            if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
        }
        return {};
    }

    void removeFolderTree(const std::string& path) override { removeTree(path); }

    std::optional<std::string> fileNameFromUtf8(std::string_view name) override {
        if (name.empty() || name.size() > INT_MAX / 2) return std::nullopt;
        const int size = static_cast<int>(name.size());
        const int wideLength =
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size, nullptr, 0);
        if (wideLength <= 0) return std::nullopt;
        std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size, wide.data(),
                            wideLength);
        // Without best fit, a character the code page lacks is not quietly replaced by a
        // look-alike (a full-width dot by '.'): it is refused.
        BOOL lossy = FALSE;
        const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                               wideLength, nullptr, 0, nullptr, &lossy);
        if (length <= 0 || lossy) return std::nullopt;
        std::string narrow(static_cast<std::size_t>(length), '\0');
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, narrow.data(),
                            length, nullptr, &lossy);
        if (lossy || !isPlainWindowsName(narrow)) return std::nullopt;
        return narrow;
    }
};

}  // namespace

Platform& hostPlatform() {
    static Win32Platform platform;
    return platform;
}

const Texts& hostTexts() { return gb2312Texts(); }

}  // namespace brindle
