#include "service_client.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "child_process.h"
#include "output_file.h"

namespace brindle::jad {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kMagic = "BRJ2";
constexpr std::string_view kServiceClass = "brindle.jad.JadService";
// How long a new service may take to listen before jad decompiles without it.
constexpr auto kStartLimit = std::chrono::seconds(30);

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    [[nodiscard]] int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

ServiceAnswer runCold(std::string why) {
    ServiceAnswer a;
    a.kind = ServiceAnswer::Kind::RunCold;
    a.text = std::move(why);
    return a;
}

int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
}

std::string hex64(std::uint64_t v) {
    constexpr std::string_view kHex = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, v >>= 4) out[static_cast<std::size_t>(i)] = kHex[v & 0xF];
    return out;
}

void fnv(std::uint64_t& h, std::string_view bytes) {
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ULL;
    }
    h ^= 0xFF;  // field separator
    h *= 0x100000001b3ULL;
}

// Names this jad's service: a service started from another build of the
// service, another java or other jars has another name and is never asked.
std::string serviceKey(const ServiceRequest& r, const struct stat& jar) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    fnv(h, kMagic);
    fnv(h, r.java);
    for (const std::string& part : r.classPath) fnv(h, part);
    fnv(h, r.serviceJar);
    for (const long long n : {static_cast<long long>(jar.st_dev), static_cast<long long>(jar.st_ino),
                              static_cast<long long>(jar.st_size),
                              static_cast<long long>(jar.st_mtim.tv_sec),
                              static_cast<long long>(jar.st_mtim.tv_nsec)})
        fnv(h, std::to_string(n));
    return hex64(h);
}

bool fillAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A connected socket, or -1 when nothing listens there.
int connectTo(const std::string& path) {
    sockaddr_un address{};
    if (!fillAddress(path, address)) return -1;
    for (int attempt = 0; attempt < 50; ++attempt) {
        Fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (fd.get() < 0) return -1;
        if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            const int flags = fcntl(fd.get(), F_GETFL);
            if (flags < 0 || fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return -1;
            return fd.release();
        }
        // A full backlog: the service is busy accepting; try again shortly.
        if (errno != EAGAIN) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

void putU32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void putString(std::string& out, std::string_view s) {
    putU32(out, static_cast<std::uint32_t>(s.size()));
    out.append(s);
}

bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

enum class ReadResult { Done, Closed, TimedOut };

// Reads exactly `size` bytes by the deadline.
ReadResult readAll(int fd, char* into, std::size_t size, Clock::time_point deadline) {
    while (size > 0) {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, msLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return ReadResult::Closed;
        if (ready == 0) return ReadResult::TimedOut;
        const ssize_t n = read(fd, into, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return ReadResult::Closed;
        into += n;
        size -= static_cast<std::size_t>(n);
    }
    return ReadResult::Done;
}

bool peerIsUs(int fd, pid_t& pid) {
    ucred cred{};
    socklen_t size = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0) return false;
    pid = cred.pid;
    return cred.uid == geteuid() && cred.pid > 0;
}

// Holds an exclusive lock on the folder's start lock, so that two jad runs
// that find no service start only one.
class StartLock {
public:
    StartLock(const std::string& path, Clock::time_point until) {
        fd_.reset(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (fd_.get() < 0) return;
        while (flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || Clock::now() >= until) {
                fd_.reset();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        locked_ = true;
    }
    [[nodiscard]] bool locked() const { return locked_; }

private:
    Fd fd_;  // closing it releases the lock
    bool locked_ = false;
};

// Only async-signal-safe calls: runs between fork and exec.
[[noreturn]] void becomeService(int readyFd, const char* workingFolder, char* const* argv,
                                char* const* envp) {
    if (setsid() < 0) _exit(127);
    const pid_t second = fork();
    if (second != 0) _exit(second < 0 ? 127 : 0);  // the service is nobody's child
    if (dup2(readyFd, 3) < 0 || fcntl(3, F_SETFD, 0) != 0) _exit(127);
    const int null = open("/dev/null", O_RDWR);
    if (null < 0) _exit(127);
    for (int fd = 0; fd <= 2; ++fd) {
        if (dup2(null, fd) < 0) _exit(127);
    }
    if (syscall(SYS_close_range, 4u, ~0u, 0u) != 0) {
        for (int fd = 4; fd < 65536; ++fd) close(fd);
    }
    struct sigaction dflt {};
    dflt.sa_handler = SIG_DFL;
    sigemptyset(&dflt.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) (void)sigaction(sig, &dflt, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    umask(077);
    if (chdir(workingFolder) != 0) _exit(127);
    execve(argv[0], argv, envp);
    _exit(127);
}

// Starts a service on `socketPath` and waits until it listens. Returns an
// error text, empty when it listens.
std::string startService(const ServiceRequest& r, const std::string& socketPath,
                         const std::string& key, Clock::time_point until) {
    std::string classPath;
    for (const std::string& jar : r.classPath) classPath += jar + ":";
    classPath += r.serviceJar;
    // No perf data file: a service killed on a time-out would leave it in /tmp.
    const std::vector<std::string> args = {r.java,         "-XX:-UsePerfData",  "-XX:+UseParallelGC", "-cp",
                                           classPath,      std::string(kServiceClass), socketPath,
                                           key,            std::to_string(r.idleSeconds)};
    std::vector<char*> argv = cStrings(args);
    std::vector<char*> envp = cStrings(r.env);

    // An empty working folder: Procyon looks for classes it does not find elsewhere below it.
    const std::string empty = socketPath.substr(0, socketPath.rfind('/')) + "/brindle-jad-empty";
    if (mkdir(empty.c_str(), 0700) != 0 && errno != EEXIST)
        return "cannot create " + empty + ": " + std::strerror(errno);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::string("cannot start it: ") + std::strerror(errno);
    Fd readEnd(fds[0]);
    Fd writeEnd(fds[1]);
    const pid_t first = fork();
    if (first < 0) return std::string("cannot start it: ") + std::strerror(errno);
    if (first == 0) becomeService(writeEnd.get(), empty.c_str(), argv.data(), envp.data());
    writeEnd.reset();
    int status = 0;
    while (waitpid(first, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "cannot start it";

    char byte = 0;
    switch (readAll(readEnd.get(), &byte, 1, until)) {
        case ReadResult::Done:
            return byte == 'R' ? std::string() : "it did not start";
        case ReadResult::Closed:
            return "it ended while starting";
        case ReadResult::TimedOut:
            return "it did not start in time";
    }
    return "it did not start";
}

std::string describeFolder(const std::string& folder, const struct stat& st) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return "the socket folder " + folder + " is not private to user " +
           std::to_string(geteuid()) + " (owner " + std::to_string(st.st_uid) + ", mode " + mode +
           "; it must be a folder of the user with mode 0700)";
}

ServiceAnswer askOnce(const ServiceRequest& r, const std::string& key,
                      const std::string& socketPath, const std::string& folder,
                      Clock::time_point start, Clock::time_point deadline, bool& vanished) {
    Fd socketFd(connectTo(socketPath));
    if (socketFd.get() < 0) {
        const auto startUntil = std::min(deadline, start + kStartLimit);
        const StartLock lock(joinPath(folder, "brindle-jad-" + key + ".lock"), startUntil);
        if (!lock.locked()) return runCold("cannot lock the service start");
        // Another jad may have started one while this one waited for the lock.
        socketFd.reset(connectTo(socketPath));
        if (socketFd.get() < 0) {
            struct stat st {};
            if (lstat(socketPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
                unlink(socketPath.c_str());  // a dead service's socket
            if (std::string error = startService(r, socketPath, key, startUntil); !error.empty())
                return runCold("the service did not start: " + error);
            socketFd.reset(connectTo(socketPath));
            if (socketFd.get() < 0) return runCold("the new service does not answer");
        }
    }
    pid_t servicePid = 0;
    if (!peerIsUs(socketFd.get(), servicePid))
        return runCold("the socket belongs to another user");

    std::string message(kMagic);
    putString(message, key);
    putU32(message, static_cast<std::uint32_t>(r.timeout.count()));
    putU32(message, r.testDelayMillis);
    putString(message, r.classFile);
    putString(message, r.workingFolder);
    if (!sendAll(socketFd.get(), message)) return runCold("the service went away");

    auto timedOut = [&] {
        // Procyon cannot be stopped inside the service: end the service, the
        // next run starts a new one.
        kill(servicePid, SIGKILL);
        ServiceAnswer a;
        a.kind = ServiceAnswer::Kind::TimedOut;
        return a;
    };
    std::array<char, 9> head{};
    switch (readAll(socketFd.get(), head.data(), head.size(), deadline)) {
        case ReadResult::TimedOut:
            return timedOut();
        case ReadResult::Closed:
            vanished = true;
            return runCold("the service ended without an answer");
        case ReadResult::Done:
            break;
    }
    if (std::string_view(head.data(), 4) != kMagic) return runCold("the service answered garbage");
    const auto kind = static_cast<unsigned char>(head[4]);
    std::uint32_t length = 0;
    for (std::size_t i = 5; i < 9; ++i) length = (length << 8) | static_cast<unsigned char>(head[i]);
    if (kind > 2) return runCold("the service answered garbage");
    ServiceAnswer a;
    if (kind == 0 && length > r.maxSource) {
        a.kind = ServiceAnswer::Kind::TooLarge;
        return a;
    }
    if (kind != 0 && length > (1u << 20)) return runCold("the service answered garbage");
    a.text.resize(length);
    switch (readAll(socketFd.get(), a.text.data(), length, deadline)) {
        case ReadResult::TimedOut:
            return timedOut();
        case ReadResult::Closed:
            return runCold("the service's answer was cut short");
        case ReadResult::Done:
            break;
    }
    // Nothing may follow the answer.
    char extra = 0;
    if (recv(socketFd.get(), &extra, 1, MSG_DONTWAIT) > 0) return runCold("the service answered garbage");
    a.kind = kind == 0 ? ServiceAnswer::Kind::Source
             : kind == 1 ? ServiceAnswer::Kind::NoSource
                         : ServiceAnswer::Kind::RunCold;
    return a;
}


}  // namespace

std::string serviceFolder(std::string& folder) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') {
        folder = runtime;
    } else {
        folder = "/tmp/brindle-jad-" + std::to_string(geteuid());
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return "cannot create the socket folder " + folder + ": " + std::strerror(errno);
    }
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0)
        return "cannot use the socket folder " + folder + ": " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return "the socket folder " + folder + " is not a folder";
    if (st.st_uid != geteuid() || (st.st_mode & 07777) != 0700) return describeFolder(folder, st);
    return {};
}

ServiceAnswer askService(const ServiceRequest& r) {
    const auto start = Clock::now();
    const auto deadline = start + r.timeout;

    struct stat jar {};
    if (stat(r.serviceJar.c_str(), &jar) != 0 || !S_ISREG(jar.st_mode))
        return runCold("no service program at " + r.serviceJar);

    std::string folder;
    if (std::string error = serviceFolder(folder); !error.empty()) {
        ServiceAnswer a = runCold(error);
        a.warning = error + "; decompiling without the service";
        return a;
    }
    const std::string key = serviceKey(r, jar);
    const std::string socketPath = joinPath(folder, "brindle-jad-" + key + ".sock");
    if (sockaddr_un probe{}; !fillAddress(socketPath + ".0000000000", probe)) {
        ServiceAnswer a = runCold("the socket folder path is too long");
        a.warning = "the socket folder " + folder +
                    " has too long a path for a socket; decompiling without the service";
        return a;
    }

    // A service that ends just as this run connects (idle, or killed by another
    // run's time-out) closes without an answer: then one new service is tried.
    for (int attempt = 0;; ++attempt) {
        bool vanished = false;
        ServiceAnswer a = askOnce(r, key, socketPath, folder, start, deadline, vanished);
        if (!vanished || attempt > 0 || Clock::now() >= deadline) return a;
    }
}

}  // namespace brindle::jad
