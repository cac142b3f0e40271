#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace brindle::jad {
namespace {

std::string describe(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

class BlockTerminationSignals {
public:
    BlockTerminationSignals() {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
        sigprocmask(SIG_BLOCK, &set, &saved_);
    }
    ~BlockTerminationSignals() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
    BlockTerminationSignals(const BlockTerminationSignals&) = delete;
    BlockTerminationSignals& operator=(const BlockTerminationSignals&) = delete;

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

mode_t currentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

}  // namespace

std::string joinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string makeFolders(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return {};
        return describe("cannot create folder", folder, ENOTDIR);
    }
    // Create each missing level from the top; an existing level is fine.
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        const std::string level = folder.substr(0, pos);
        if (level.empty() || level.back() == '/') continue;
        if (mkdir(level.c_str(), 0777) != 0 && errno != EEXIST)
            return describe("cannot create folder", level, errno);
    }
    if (stat(folder.c_str(), &st) != 0) return describe("cannot create folder", folder, errno);
    if (!S_ISDIR(st.st_mode)) return describe("cannot create folder", folder, ENOTDIR);
    return {};
}

std::string replaceFile(const std::string& folder, const std::string& fileName,
                        std::string_view contents) {
    const std::string target = joinPath(folder, fileName);
    // A short fixed name: the class name may already be close to the length limit.
    std::string pattern = joinPath(folder, ".jad-XXXXXX");
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');

    // From here until the rename a termination signal waits, so that it can
    // never strand the temporary file.
    BlockTerminationSignals block;
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return describe("cannot write", target, errno);

    int error = 0;
    if (!writeAll(fd, contents) || fchmod(fd, 0666 & ~currentUmask()) != 0 || fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temp.data(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        unlink(temp.data());
        return describe("cannot write", target, error);
    }
    return {};
}

}  // namespace brindle::jad
