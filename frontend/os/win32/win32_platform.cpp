// The host platform on Windows: the ANSI Win32 API and GB2312 texts.

#include <windows.h>

#include <vector>

#include "core/path_rules.h"
#include "os/host_platform.h"

namespace brindle {
namespace {

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

// Creates the process from the command text alone; the handle of the new process, or null.
HANDLE createProcess(const ProcessCommand& command, ShowState show) {
    // CreateProcessA may write into the command line, so it gets a copy of any length.
    std::vector<char> commandLine(command.text.begin(), command.text.end());
    commandLine.push_back('\0');

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showCommand(show);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
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

    bool runAndWait(const ProcessCommand& command, ShowState show) override {
        const HANDLE process = createProcess(command, show);
        if (process == nullptr) return false;
        WaitForSingleObject(process, INFINITE);
        CloseHandle(process);
        return true;
    }

    bool start(const ProcessCommand& command, ShowState show) override {
        const HANDLE process = createProcess(command, show);
        if (process == nullptr) return false;
        CloseHandle(process);
        return true;
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
};

}  // namespace

Platform& hostPlatform() {
    static Win32Platform platform;
    return platform;
}

const Texts& hostTexts() { return gb2312Texts(); }

}  // namespace brindle
