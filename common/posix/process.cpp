// Starting programs on POSIX: posix_spawnp with an argument vector.

#include "common/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/posix/c_strings.h"

extern char** environ;

namespace brindle::common {

ProcessId startProcess(const std::vector<std::string>& argv, Streams streams) {
    if (argv.empty() || argv[0].empty()) return kNoProcess;
    const std::vector<char*> args = cStrings(argv);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return kNoProcess;
    if (streams == Streams::Silent) {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    pid_t pid = -1;
    // glibc's posix_spawnp reports a failed exec as an error, so no child is left half-started.
    const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? static_cast<ProcessId>(pid) : kNoProcess;
}

int waitForProcess(ProcessId process) {
    if (process <= 0) return -1;
    int status = 0;
    while (waitpid(static_cast<pid_t>(process), &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

// Reads what the pipe holds now into kept (up to limit bytes in all, the rest dropped); false at
// its end or on an error.
bool readPipe(int pipe, std::string& kept, std::size_t limit) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(pipe, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        if (got <= 0) return false;
        const std::size_t room = limit - std::min(limit, kept.size());
        kept.append(buffer, std::min(static_cast<std::size_t>(got), room));
    }
}

int statusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
}

}  // namespace

ProcessRun runCollectingErrors(const std::vector<std::string>& argv, std::size_t errorBytesKept) {
    ProcessRun run;
    if (argv.empty() || argv[0].empty()) return run;
    int ends[2];
    // Close-on-exec, so that no other program started meanwhile holds the pipe open; the copy
    // on the child's standard error is made for the child alone.
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return run;
    const std::vector<char*> args = cStrings(argv);
    posix_spawn_file_actions_t actions;
    pid_t pid = -1;
    int error = posix_spawn_file_actions_init(&actions);
    if (error == 0) {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDERR_FILENO);
        error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
    }
    close(ends[1]);
    if (error != 0) {
        close(ends[0]);
        return run;
    }
    run.started = true;

    bool ended = false;
    int waitStatus = 0;
    for (;;) {
        pollfd watched{ends[0], POLLIN, 0};
        const int ready = poll(&watched, 1, 100);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0 && !readPipe(ends[0], run.errors, errorBytesKept)) break;
        if (ready == 0) {
            // Quiet for a while: has the program ended while something it started keeps the
            // pipe open?
            const pid_t done = waitpid(pid, &waitStatus, WNOHANG);
            if (done == pid) {
                ended = true;
                readPipe(ends[0], run.errors, errorBytesKept);
                break;
            }
        }
    }
    close(ends[0]);
    run.exitStatus = ended ? statusOf(waitStatus) : waitForProcess(static_cast<ProcessId>(pid));
    return run;
}

}  // namespace brindle::common
