#include "engine/posix/class_copy_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/files.h"
#include "common/utf8.h"

namespace brindle::engine {
namespace {

constexpr std::array kEndingSignals{SIGINT, SIGTERM, SIGHUP};

// What a signal handler must remove: the folder and its files, as the handler reads them. Only
// changed while the ending signals are blocked, so the handler never meets it half-made.
struct Removal {
    std::string folder;
    std::vector<std::string> files;
    std::array<struct sigaction, kEndingSignals.size()> saved{};
};
Removal* g_removal = nullptr;

void removeFiles(const Removal& removal) {
    for (const std::string& file : removal.files) unlink(file.c_str());
    rmdir(removal.folder.c_str());
}

extern "C" void removeCopyAndEnd(int sig) {
    // Only async-signal-safe calls. SA_RESETHAND has restored the default action, so the
    // signal raised again ends the program once this handler returns.
    if (g_removal != nullptr) removeFiles(*g_removal);
    raise(sig);
}

class EndingSignalsBlocked {
public:
    EndingSignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        for (const int sig : kEndingSignals) sigaddset(&set, sig);
        sigprocmask(SIG_BLOCK, &set, &saved_);
    }
    ~EndingSignalsBlocked() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
    EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
    EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;

private:
    sigset_t saved_{};
};

std::string temporaryBase() {
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir != nullptr && tmpdir[0] == '/' && common::isUtf8(tmpdir)) return tmpdir;
    return "/tmp";
}

bool writeFile(const std::string& path, const std::string& bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::string_view rest = bytes;
    bool ok = true;
    while (ok && !rest.empty()) {
        const ssize_t n = write(fd, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) rest.remove_prefix(static_cast<std::size_t>(n));
    }
    const int saved = errno;
    ok = close(fd) == 0 && ok;
    if (!ok && errno == 0) errno = saved;
    return ok;
}

}  // namespace

std::unique_ptr<ClassCopyFolder> ClassCopyFolder::create(const std::vector<CopiedFile>& files,
                                                         std::string& error) {
    if (files.empty() || g_removal != nullptr) {
        error = "cannot make a private copy of the class file";
        return nullptr;
    }
    std::unique_ptr<ClassCopyFolder> copy(new ClassCopyFolder);
    auto removal = std::make_unique<Removal>();
    {
        const EndingSignalsBlocked blocked;
        std::string pattern = common::joinPath(temporaryBase(), "brindle-jad-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) {
            error = "cannot make a private copy of the class file in " + temporaryBase() + ": " +
                    std::strerror(errno);
            return nullptr;
        }
        removal->folder = pattern;
        for (const CopiedFile& file : files)
            removal->files.push_back(common::joinPath(removal->folder, file.name));
        struct sigaction action {};
        action.sa_handler = removeCopyAndEnd;
        sigemptyset(&action.sa_mask);
        for (const int sig : kEndingSignals) sigaddset(&action.sa_mask, sig);
        action.sa_flags = static_cast<int>(SA_RESETHAND);
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i)
            sigaction(kEndingSignals[i], &action, &removal->saved[i]);
        g_removal = removal.release();
    }
    copy->first_ = g_removal->files.front();
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!writeFile(g_removal->files[i], files[i].bytes)) {
            error = "cannot make a private copy of the class file: " +
                    common::joinPath(g_removal->folder, files[i].name) + ": " +
                    std::strerror(errno);
            return nullptr;  // the destructor removes what was made
        }
    }
    return copy;
}

ClassCopyFolder::~ClassCopyFolder() {
    remove();
}

void ClassCopyFolder::remove() {
    if (g_removal == nullptr) return;
    const EndingSignalsBlocked blocked;
    removeFiles(*g_removal);
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i)
        sigaction(kEndingSignals[i], &g_removal->saved[i], nullptr);
    delete g_removal;
    g_removal = nullptr;
}

}  // namespace brindle::engine
