#include "engine/posix/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace brindle::engine {
namespace {

std::string notPrivate(const std::string& folder, const struct stat& st) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return "the socket folder " + folder + " is not private to user " + std::to_string(geteuid()) +
           " (owner " + std::to_string(st.st_uid) + ", mode " + mode +
           "; it must be a folder of the user with mode 0700)";
}

}  // namespace

std::optional<std::string> runtimeFolder(const char* xdgRuntimeDir) {
    if (xdgRuntimeDir == nullptr || xdgRuntimeDir[0] != '/') return std::nullopt;
    return std::string(xdgRuntimeDir);
}

std::string privateSocketFolder(std::string& folder) {
    if (const std::optional<std::string> runtime = runtimeFolder(std::getenv("XDG_RUNTIME_DIR"))) {
        folder = *runtime;
    } else {
        folder = "/tmp/brindle-jad-" + std::to_string(geteuid());
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return "cannot create the socket folder " + folder + ": " + std::strerror(errno);
    }
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0)
        return "cannot use the socket folder " + folder + ": " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return "the socket folder " + folder + " is not a folder";
    if (st.st_uid != geteuid() || (st.st_mode & 07777) != 0700) return notPrivate(folder, st);
    return {};
}

}  // namespace brindle::engine
