// typebind: registers brindle, from the registrar's own folder, as the program that opens
// .class files for the user who runs it. It prints nothing, reads no arguments and always ends
// with exit code 0; what cannot be written is skipped.

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "registrar/xdg/association.h"

extern char** environ;

namespace {

using namespace brindle::xdg;

// The folder of the running program, with its trailing '/'.
std::optional<std::string> programFolder() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return std::nullopt;
    std::string path(buffer, static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::nullopt;
    path.resize(slash + 1);
    return path;
}

// Creates folder and every missing folder above it, new ones private to the user as the XDG
// rules ask; true when folder is there at the end.
bool makeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat info {};
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

enum class Read { ok, missing, failed };

Read readWhole(const std::string& path, std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? Read::missing : Read::failed;
    text.clear();
    char buffer[8192];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            close(fd);
            return Read::failed;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    return Read::ok;
}

// Replaces the file at path with bytes through a temporary file beside it and a rename, so a
// reader (or a crash) never meets half a file. A symbolic link is followed and kept; an
// existing file keeps its permissions.
bool replaceFile(const std::string& path, std::string_view bytes) {
    std::string target = path;
    struct stat info {};
    mode_t mode = 0644;
    if (lstat(path.c_str(), &info) == 0) {
        if (S_ISLNK(info.st_mode)) {
            char* resolved = realpath(path.c_str(), nullptr);
            if (resolved == nullptr) return false;
            target = resolved;
            std::free(resolved);
            if (stat(target.c_str(), &info) != 0) return false;
        }
        if (!S_ISREG(info.st_mode)) return false;
        mode = info.st_mode & 07777;
    }
    std::string temporary = target + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) return false;
    bool ok = fchmod(fd, mode) == 0;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        ok = wrote > 0;
        if (ok) done += static_cast<std::size_t>(wrote);
    }
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    return ok;
}

// Makes path a symbolic link to target through a new link beside it and a rename, so that a
// launcher never finds it missing. An existing link is replaced; anything else at path is left
// alone (false).
bool replaceLink(const std::string& path, const std::string& target) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) return false;
    const std::string temporary = path + ".new" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) return false;
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

// The program the desktop entry starts. Launchers differ in how they read a quoted Exec
// program, so where the data folder's path needs no quoting the entry names a link there to
// brindle in the program folder (brindle finds its own folder through the link); elsewhere it
// names brindle itself, quoted.
std::string entryProgram(const std::string& programFolder, const std::string& dataFolder) {
    const std::string launcher = launcherPath(dataFolder);
    const std::string brindle = programFolder + std::string(kLauncherName);
    if (isPlainExecProgram(launcher) &&
        makeFolders(dataFolder + "/" + std::string(kLauncherFolder)) &&
        replaceLink(launcher, brindle)) {
        return launcher;
    }
    return brindle;
}

// Runs program (found on PATH) with one argument, silently, and waits for it; a program that
// is not installed is skipped.
void runQuietly(const char* program, const std::string& argument) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return;
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::string name = program;
    std::string arg = argument;
    char* argv[] = {name.data(), arg.data(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, program, &actions, nullptr, argv, environ) == 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

void registerClassFiles() {
    const std::optional<std::string> folder = programFolder();
    // A desktop entry is UTF-8 text: a folder name that is not cannot be written into one.
    if (!folder || !isUtf8(*folder)) return;
    const char* home = std::getenv("HOME");
    const auto data = baseFolder(std::getenv("XDG_DATA_HOME"), home, ".local/share");
    const auto config = baseFolder(std::getenv("XDG_CONFIG_HOME"), home, ".config");
    if (!data || !config) return;

    const std::string applications = *data + "/applications";
    if (!makeFolders(applications) ||
        !replaceFile(applications + "/" + std::string(kDesktopFileName),
                     desktopEntry(entryProgram(*folder, *data), *folder))) {
        return;  // without the entry, a default naming it would point nowhere
    }
    const std::string mime = *data + "/mime";
    const std::string packages = mime + "/packages";
    const bool typed = makeFolders(packages) &&
                       replaceFile(packages + "/" + std::string(kMimePackageName), mimePackage());

    // The user's own list is only rewritten when it could be read whole (or is not there yet).
    const std::string list = *config + "/mimeapps.list";
    std::string existing;
    if (makeFolders(*config) && readWhole(list, existing) != Read::failed) {
        replaceFile(list, mergeMimeApps(existing));
    }

    if (typed) runQuietly("update-mime-database", mime);
    runQuietly("update-desktop-database", applications);
}

}  // namespace

int main() {
    registerClassFiles();
    return 0;
}
