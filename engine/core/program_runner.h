#pragma once
// Running a program to its end with a time limit: what a cold run needs from the platform.
// engine/posix implements it with a process group; a Windows layer would use a job object.

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "engine/core/limits.h"

namespace brindle::engine {

struct RunRequest {
    std::string program;            // a full path; not looked up on PATH
    std::vector<std::string> args;  // the arguments after the program's name
    std::vector<std::string> env;   // the program's whole environment, "NAME=value"
    std::chrono::milliseconds timeout{kDefaultTimeLimit};
    std::size_t maxStdout = kMaxSourceBytes;           // more than this ends the program
    std::size_t maxStderr = kMaxDecompilerErrorBytes;  // error output beyond this is dropped
};

struct RunResult {
    enum class Ending {
        Exited,    // `status`: the exit status
        Signaled,  // `status`: the signal that ended the program
        TimedOut,
        OutputTooLarge,
        Interrupted,  // the engine itself was asked to end; `status`: the signal
        StartFailed,  // `startError`: the system's reason
    };
    Ending ending = Ending::StartFailed;
    int status = 0;
    std::string out;
    std::string err;
    std::string startError;
};

class ProgramRunner {
public:
    virtual ~ProgramRunner() = default;
    // Runs the program with no input, reading its output and error output as it goes (so it
    // never blocks on a full pipe). On a time-out, an interrupt or too much output the program
    // and everything it started are ended; when the program exits, whatever it left running is
    // ended too. Returns once the program has been collected.
    virtual RunResult run(const RunRequest& request) = 0;
};

}  // namespace brindle::engine
