#include "engine/posix/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include "common/posix/c_strings.h"

namespace brindle::engine {
namespace {

int g_wakeWrite = -1;
volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void onSignal(int sig) {
    const int savedErrno = errno;
    if (sig != SIGCHLD) g_stopSignal = sig;
    if (g_wakeWrite >= 0) {
        const char byte = 0;
        const ssize_t ignored = write(g_wakeWrite, &byte, 1);
        (void)ignored;
    }
    errno = savedErrno;
}

constexpr std::array kWatchedSignals{SIGCHLD, SIGINT, SIGTERM, SIGHUP};

// Routes the signals above into a self-pipe for as long as it lives.
class SignalWatch {
public:
    SignalWatch() {
        if (pipe2(fds_.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
            fds_ = {-1, -1};
            return;
        }
        g_stopSignal = 0;
        g_wakeWrite = fds_[1];
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < kWatchedSignals.size(); ++i)
            sigaction(kWatchedSignals[i], &sa, &saved_[i]);
    }
    ~SignalWatch() {
        if (fds_[0] < 0) return;
        for (std::size_t i = 0; i < kWatchedSignals.size(); ++i)
            sigaction(kWatchedSignals[i], &saved_[i], nullptr);
        g_wakeWrite = -1;
        close(fds_[0]);
        close(fds_[1]);
    }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    [[nodiscard]] bool ok() const { return fds_[0] >= 0; }
    [[nodiscard]] int readEnd() const { return fds_[0]; }
    void drain() const {
        char buf[64];
        while (read(fds_[0], buf, sizeof buf) > 0) {
        }
    }

private:
    std::array<int, 2> fds_{-1, -1};
    std::array<struct sigaction, kWatchedSignals.size()> saved_{};
};

struct Pipe {
    int readFd = -1;
    int writeFd = -1;

    bool open() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return false;
        readFd = fds[0];
        writeFd = fds[1];
        return true;
    }
    void closeRead() {
        if (readFd >= 0) close(readFd);
        readFd = -1;
    }
    void closeWrite() {
        if (writeFd >= 0) close(writeFd);
        writeFd = -1;
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
};

RunResult startFailed(int error) {
    RunResult r;
    r.ending = RunResult::Ending::StartFailed;
    r.status = error;
    r.startError = std::strerror(error);
    return r;
}

pid_t spawn(const RunRequest& request, Pipe& out, Pipe& err, int& error) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);

    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.writeFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.writeFd, STDERR_FILENO);

    // Own process group, so a time-out can end the child and everything it started.
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    // jad ignores SIGPIPE; an ignored signal would survive the exec.
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argvStrings;
    argvStrings.reserve(request.args.size() + 1);
    argvStrings.push_back(request.program);
    argvStrings.insert(argvStrings.end(), request.args.begin(), request.args.end());
    const std::vector<char*> argv = common::cStrings(argvStrings);
    const std::vector<char*> envp = common::cStrings(request.env);

    pid_t pid = -1;
    error = posix_spawn(&pid, request.program.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return error == 0 ? pid : -1;
}

bool hasExited(pid_t pid) {
    siginfo_t info{};
    // WNOWAIT leaves the child a zombie, so its process group id stays ours
    // until we reap it and we can still kill what is left of the group.
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

}  // namespace

RunResult runChild(const RunRequest& request) {
    SignalWatch watch;
    if (!watch.ok()) return startFailed(errno);
    Pipe out;
    Pipe err;
    if (!out.open() || !err.open()) return startFailed(errno);

    int error = 0;
    const pid_t pid = spawn(request, out, err, error);
    if (pid < 0) return startFailed(error);
    out.closeWrite();
    err.closeWrite();

    RunResult result;
    result.ending = RunResult::Ending::Exited;
    bool exited = false;
    bool done = false;
    const auto deadline = std::chrono::steady_clock::now() + request.timeout;

    auto readSome = [](Pipe& pipe, std::string& into, std::size_t keep) {
        char buf[65536];
        const ssize_t n = read(pipe.readFd, buf, sizeof buf);
        if (n > 0) {
            const auto got = static_cast<std::size_t>(n);
            if (into.size() < keep) into.append(buf, std::min(got, keep - into.size()));
            return got;
        }
        if (n == 0 || (errno != EINTR && errno != EAGAIN)) pipe.closeRead();
        return std::size_t{0};
    };

    std::size_t stdoutBytes = 0;
    while (!done) {
        if (g_stopSignal != 0) {
            result.ending = RunResult::Ending::Interrupted;
            result.status = g_stopSignal;
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.ending = RunResult::Ending::TimedOut;
            break;
        }
        std::array<pollfd, 3> fds{
            {{watch.readEnd(), POLLIN, 0}, {out.readFd, POLLIN, 0}, {err.readFd, POLLIN, 0}}};
        const int waitMs = static_cast<int>(std::min<long long>(left.count(), INT_MAX));
        if (poll(fds.data(), fds.size(), waitMs) < 0 && errno != EINTR) break;
        if (fds[0].revents != 0) watch.drain();
        if (out.readFd >= 0 && fds[1].revents != 0) {
            stdoutBytes += readSome(out, result.out, request.maxStdout + 1);
            if (stdoutBytes > request.maxStdout) {
                result.ending = RunResult::Ending::OutputTooLarge;
                break;
            }
        }
        if (err.readFd >= 0 && fds[2].revents != 0) readSome(err, result.err, request.maxStderr);
        if (!exited && hasExited(pid)) {
            exited = true;
            // Anything the child left running could hold the pipes open.
            kill(-pid, SIGKILL);
        }
        done = exited && out.readFd < 0 && err.readFd < 0;
    }

    if (!done) kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (result.ending == RunResult::Ending::Exited) {
        if (WIFEXITED(status)) {
            result.status = WEXITSTATUS(status);
        } else {
            result.ending = RunResult::Ending::Signaled;
            result.status = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        }
    }
    return result;
}

RunResult ChildProcessRunner::run(const RunRequest& request) {
    return runChild(request);
}

}  // namespace brindle::engine
