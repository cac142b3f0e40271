// Starting programs on POSIX: posix_spawnp with an argument vector.

#include "common/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace brindle::common
