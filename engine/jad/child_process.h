// Starts one program (no shell), captures its stdout and stderr, and ends it
// when it runs past a time limit.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace brindle::jad {

struct ChildRequest {
    std::string program;            // a path; not looked up on PATH
    std::vector<std::string> args;  // argv[1..]
    std::vector<std::string> env;   // the child's whole environment, "NAME=value"
    std::chrono::milliseconds timeout{120'000};
    std::size_t maxStdout = 256u << 20;  // more than this ends the child
    std::size_t maxStderr = 64u << 10;   // stderr beyond this is read and dropped
};

struct ChildResult {
    enum class Outcome {
        Exited,    // `status` holds the exit status
        Signaled,  // `status` holds the signal that ended the child
        TimedOut,
        OutputTooLarge,
        Interrupted,  // jad got SIGINT/SIGTERM/SIGHUP; `status` holds it
        StartFailed,  // `status` holds the errno
    };
    Outcome outcome = Outcome::StartFailed;
    int status = 0;
    std::string out;
    std::string err;
};

// The child runs in its own process group with stdin on /dev/null. Both pipes
// are read while waiting, so a chatty child never blocks on a full pipe. On a
// time-out, an interrupt or too much output the whole group gets SIGKILL.
// When the child exits, whatever is left of its group is killed as well.
// The child is always reaped before this returns.
ChildResult runChild(const ChildRequest& request);

// The strings as the NULL-ended array of pointers that exec and posix_spawn take; valid while
// strings lives unchanged.
std::vector<char*> cStrings(const std::vector<std::string>& strings);

}  // namespace brindle::jad
