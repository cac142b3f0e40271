// Files and folders on POSIX.

#include "common/files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

namespace brindle::common {
namespace {

void setError(std::string* error, std::string_view what, const std::string& path, int number) {
    if (error != nullptr) *error = std::string(what) + " " + path + ": " + std::strerror(number);
}

// Holds SIGINT, SIGTERM and SIGHUP back for as long as it lives; they arrive when it ends.
class TerminationSignalsHeld {
public:
    TerminationSignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
        pthread_sigmask(SIG_BLOCK, &set, &saved_);
    }
    ~TerminationSignalsHeld() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
    TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

private:
    sigset_t saved_{};
};

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string folderPart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a new file beside target under a short name of its own (the target's name may already
// be close to the length limit). The file mode creation mask applies as for any new file.
int createTemporary(const std::string& target, std::string& name) {
    constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    const std::string folder = folderPart(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 8; ++i) suffix += kLetters[random() % kLetters.size()];
        name = joinPath(folder, ".brindle-" + suffix);
        const int fd =
            open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    return path;
}

bool makeFolders(const std::string& folder, NewFolders access, std::string* error) {
    const mode_t mode = access == NewFolders::Private ? 0700 : 0777;
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        setError(error, "cannot create folder", folder, ENOTDIR);
        return false;
    }
    // Each missing level from the top; a level that exists is fine.
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string level = folder.substr(0, slash);
        if (!level.empty() && level.back() != '/' && mkdir(level.c_str(), mode) != 0 &&
            errno != EEXIST) {
            setError(error, "cannot create folder", level, errno);
            return false;
        }
        if (slash == std::string::npos) break;
    }
    if (stat(folder.c_str(), &st) != 0) {
        setError(error, "cannot create folder", folder, errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        setError(error, "cannot create folder", folder, ENOTDIR);
        return false;
    }
    return true;
}

bool replaceFile(const std::string& path, std::string_view bytes, const ReplaceOptions& options,
                 std::string* error) {
    std::string target = path;
    struct stat st {};
    bool keepMode = false;
    if (lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode) && options.followLink) {
            char* resolved = realpath(path.c_str(), nullptr);
            if (resolved == nullptr) {
                setError(error, "cannot write", path, errno);
                return false;
            }
            target = resolved;
            std::free(resolved);
            if (stat(target.c_str(), &st) != 0) {
                setError(error, "cannot write", path, errno);
                return false;
            }
        }
        keepMode = options.keepMode && S_ISREG(st.st_mode);
    }

    // From here until the rename a termination signal waits, so that it can never strand the
    // temporary file.
    const TerminationSignalsHeld held;
    std::string temporary;
    const int fd = createTemporary(target, temporary);
    if (fd < 0) {
        setError(error, "cannot write", path, errno);
        return false;
    }
    int failure = 0;
    if (!writeAll(fd, bytes) || (keepMode && fchmod(fd, st.st_mode & 07777) != 0) || fsync(fd) != 0)
        failure = errno;
    if (close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && rename(temporary.c_str(), target.c_str()) != 0) failure = errno;
    if (failure != 0) {
        unlink(temporary.c_str());
        setError(error, "cannot write", path, failure);
        return false;
    }
    return true;
}

ReadStatus readWholeFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                         std::string* systemError) {
    bytes.clear();
    auto failed = [systemError](ReadStatus status, int number) {
        if (systemError != nullptr) *systemError = std::strerror(number);
        return status;
    };
    // O_NONBLOCK keeps a FIFO from blocking the open; a regular file ignores it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return failed(errno == ENOENT ? ReadStatus::Missing : ReadStatus::CannotOpen, errno);
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};

    struct stat st {};
    if (fstat(fd, &st) != 0) return failed(ReadStatus::CannotRead, errno);
    if (S_ISDIR(st.st_mode)) return ReadStatus::IsFolder;
    if (!S_ISREG(st.st_mode)) return ReadStatus::NotRegular;
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) return ReadStatus::TooLarge;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0) return ReadStatus::Ok;
        if (n < 0) {
            if (errno == EINTR) continue;
            return failed(ReadStatus::CannotRead, errno);
        }
        // The file may grow while it is read.
        if (static_cast<std::size_t>(n) > maxBytes - bytes.size()) return ReadStatus::TooLarge;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace brindle::common
