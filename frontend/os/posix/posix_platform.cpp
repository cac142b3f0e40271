// The host platform on Linux: POSIX calls and UTF-8 texts.

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>
#include <utility>

#include "common/process.h"
#include "common/program_path.h"
#include "core/path_rules.h"
#include "core/process_output.h"
#include "os/host_platform.h"

namespace brindle {
namespace {

void upperAscii(std::string& text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
}

constexpr PathStyle kPosixStyle{'/', 1, nullptr, upperAscii, false};

constexpr PlatformDefaults kPosixDefaults{
    "/opt/tarnwick/servlets", "xdg-open ", "xdg-open ", "jad", "typebind"};

class PosixFolderSearch final : public FolderSearch {
public:
    PosixFolderSearch(DIR* dir, std::string folder) : dir_(dir), folder_(std::move(folder)) {}
    ~PosixFolderSearch() override { closedir(dir_); }
    PosixFolderSearch(const PosixFolderSearch&) = delete;
    PosixFolderSearch& operator=(const PosixFolderSearch&) = delete;

    bool next(FolderEntry& entry) override {
        while (const dirent* found = readdir(dir_)) {
            struct stat info {};
            const std::string path = folder_ + found->d_name;
            if (lstat(path.c_str(), &info) != 0) continue;
            bool isDirectory = S_ISDIR(info.st_mode);
            if (S_ISLNK(info.st_mode)) {
                // A link to a folder could lead back to an ancestor or walk a folder twice;
                // the batch follows real folders only. Links to files are kept.
                struct stat target {};
                if (stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) continue;
            }
            entry.name = found->d_name;
            entry.isDirectory = isDirectory;
            return true;
        }
        return false;
    }

private:
    DIR* dir_;
    std::string folder_;
};

class PosixPlatform final : public Platform {
public:
    const PathStyle& pathStyle() const override { return kPosixStyle; }
    const PlatformDefaults& defaults() const override { return kPosixDefaults; }

    // The engine is installed beside the front-end.
    std::string windowsFolder() override {
        std::string folder = folderOf(programPath(), kPosixStyle);
        if (folder.size() > 1) folder.pop_back();
        return folder;
    }

    std::string programPath() override { return common::programPath(); }

    bool setCurrentDirectory(const std::string& folder) override {
        return chdir(folder.c_str()) == 0;
    }

    ProcessOutcome runAndWait(const ProcessCommand& command, ShowState) override {
        const common::ProcessRun run = common::runCollectingErrors(command.argv, kErrorOutputKept);
        return ProcessOutcome{run.started, run.exitStatus, firstErrorLine(run.errors, kPosixStyle)};
    }

    bool start(const ProcessCommand& command, ShowState) override {
        const common::ProcessId process =
            common::startProcess(command.argv, common::Streams::Inherited);
        if (process == common::kNoProcess) return false;
        // Nobody waits for a viewer, but its exit must still be collected.
        std::thread([process] { common::waitForProcess(process); }).detach();
        return true;
    }

    void clearAttributes(const std::string& path) override {
        struct stat info {};
        if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            chmod(path.c_str(), (info.st_mode & 07777) | S_IRUSR | S_IWUSR);
        }
    }

    void deleteFile(const std::string& path) override { unlink(path.c_str()); }

    std::unique_ptr<FolderSearch> findFirst(const std::string& pattern) override {
        const std::string folder = folderOf(pattern, kPosixStyle);
        DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
        if (dir == nullptr) return nullptr;
        return std::make_unique<PosixFolderSearch>(dir, folder);
    }

    void createFolder(const std::string& path) override { mkdir(path.c_str(), 0777); }

    std::optional<FolderIdentity> folderIdentity(const std::string& path) override {
        struct stat info {};
        if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
        return FolderIdentity{static_cast<std::uint64_t>(info.st_dev),
                              static_cast<std::uint64_t>(info.st_ino)};
    }

    PathKind kindOf(const std::string& path) override {
        struct stat info {};
        if (stat(path.c_str(), &info) != 0) return PathKind::Missing;
        if (S_ISDIR(info.st_mode)) return PathKind::Folder;
        return S_ISREG(info.st_mode) ? PathKind::File : PathKind::Other;
    }

    std::string createPrivateFolder() override {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = base != nullptr && *base == '/' ? base : "/tmp";
        if (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
        pattern += "/brindle-XXXXXX";
        // mkdtemp makes the folder with mode 0700: the user's alone.
        if (mkdtemp(pattern.data()) == nullptr) return {};
        return pattern;
    }

    void removeFolderTree(const std::string& path) override {
        // Depth first, links as themselves (FTW_PHYS), never crossing to another file system.
        nftw(
            path.c_str(),
            [](const char* entry, const struct stat*, int type, FTW*) {
                if (type == FTW_DP) {
                    rmdir(entry);
                } else {
                    unlink(entry);
                }
                return 0;
            },
            16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
    }

    // Linux takes any bytes but '/' and NUL in a name, and Brindle's names are UTF-8.
    std::optional<std::string> fileNameFromUtf8(std::string_view name) override {
        if (name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
            return std::nullopt;
        }
        return std::string(name);
    }
};

}  // namespace

Platform& hostPlatform() {
    static PosixPlatform platform;
    return platform;
}

const Texts& hostTexts() { return utf8Texts(); }

}  // namespace brindle
