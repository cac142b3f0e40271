#include "engine/posix/unix_socket_transport.h"

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
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <thread>

#include "common/files.h"
#include "common/posix/c_strings.h"
#include "engine/core/service_protocol.h"
#include "engine/posix/private_folder.h"

namespace brindle::engine {
namespace {

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

int msLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
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

using Read = ServiceConnection::Read;

// Reads exactly size bytes by the deadline.
Read readAll(int fd, char* into, std::size_t size, Clock::time_point deadline) {
    while (size > 0) {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, msLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Read::Closed;
        if (ready == 0) return Read::TimedOut;
        const ssize_t n = read(fd, into, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return Read::Closed;
        into += n;
        size -= static_cast<std::size_t>(n);
    }
    return Read::Done;
}

class UnixConnection final : public ServiceConnection {
public:
    UnixConnection(int fd, pid_t servicePid) : fd_(fd), servicePid_(servicePid) {}

    bool send(std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    Read read(char* into, std::size_t size, Clock::time_point deadline) override {
        return readAll(fd_.get(), into, size, deadline);
    }
    bool moreWaiting() override {
        char extra = 0;
        return recv(fd_.get(), &extra, 1, MSG_DONTWAIT | MSG_PEEK) > 0;
    }
    void endService() override { kill(servicePid_, SIGKILL); }

private:
    Fd fd_;
    pid_t servicePid_;
};

class FlockStartLock final : public ServiceStartLock {
public:
    explicit FlockStartLock(int fd) : fd_(fd) {}  // closing the file releases the lock

private:
    Fd fd_;
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

}  // namespace

UnixSocketTransport::UnixSocketTransport(ServiceProgram program) : program_(std::move(program)) {}

Outcome UnixSocketTransport::open() {
    struct stat jar {};
    if (stat(program_.serviceFile.c_str(), &jar) != 0 || !S_ISREG(jar.st_mode))
        return Outcome::unusable("no service program at " + program_.serviceFile);
    if (std::string error = privateSocketFolder(folder_); !error.empty())
        return Outcome::unusable(error, true);

    // Another build of the service, another program or other jars: another key, another socket.
    std::vector<std::string> parts{program_.program};
    parts.insert(parts.end(), program_.keyParts.begin(), program_.keyParts.end());
    parts.push_back(program_.serviceFile);
    for (const long long n :
         {static_cast<long long>(jar.st_dev), static_cast<long long>(jar.st_ino),
          static_cast<long long>(jar.st_size), static_cast<long long>(jar.st_mtim.tv_sec),
          static_cast<long long>(jar.st_mtim.tv_nsec)})
        parts.push_back(std::to_string(n));
    key_ = serviceKey(parts);
    socketPath_ = common::joinPath(folder_, "brindle-" + program_.name + "-" + key_ + ".sock");
    // The service binds a name this much longer first, then renames it.
    if (sockaddr_un probe{}; !fillAddress(socketPath_ + ".0000000000", probe))
        return Outcome::unusable(
            "the socket folder " + folder_ + " has too long a path for a socket", true);
    return Outcome::withSource({});
}

std::unique_ptr<ServiceConnection> UnixSocketTransport::connect(std::string& refusal) {
    Fd fd(connectTo(socketPath_));
    if (fd.get() < 0) return nullptr;
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != geteuid() ||
        peer.pid <= 0) {
        refusal = "the socket belongs to another user";
        return nullptr;
    }
    return std::make_unique<UnixConnection>(fd.release(), peer.pid);
}

std::unique_ptr<ServiceStartLock> UnixSocketTransport::lockStart(Clock::time_point until) {
    const std::string path =
        common::joinPath(folder_, "brindle-" + program_.name + "-" + key_ + ".lock");
    Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.get() < 0) return nullptr;
    while (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || Clock::now() >= until) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::make_unique<FlockStartLock>(fd.release());
}

std::string UnixSocketTransport::startService(Clock::time_point until) {
    struct stat st {};
    if (lstat(socketPath_.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        unlink(socketPath_.c_str());  // a dead service's socket

    std::vector<std::string> args{program_.program};
    for (std::string& arg : program_.arguments(socketPath_, key_)) args.push_back(std::move(arg));
    const std::vector<char*> argv = common::cStrings(args);
    const std::vector<char*> envp = common::cStrings(program_.env);

    // An empty working folder: Procyon looks for classes it does not find elsewhere below it.
    const std::string empty = common::joinPath(folder_, "brindle-" + program_.name + "-empty");
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
        case Read::Done:
            return byte == 'R' ? std::string() : "it did not start";
        case Read::Closed:
            return "it ended while starting";
        case Read::TimedOut:
            return "it did not start in time";
    }
    return "it did not start";
}

}  // namespace brindle::engine
