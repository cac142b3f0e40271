#pragma once
// Starting another program and waiting for it, never through a shell: every argument reaches
// the program as exactly one argument, whatever bytes it holds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brindle::common {

// A started process, as the platform names it (a process id on POSIX).
using ProcessId = std::intptr_t;
inline constexpr ProcessId kNoProcess = -1;

// What the started program's standard streams are.
enum class Streams {
    Inherited,  // this program's own
    Silent,     // no input, and whatever it prints is dropped
};

// Starts argv[0], looked up on PATH when it holds no separator, with argv as its arguments and
// this program's environment. kNoProcess when it could not be started (no program, no argv).
ProcessId startProcess(const std::vector<std::string>& argv, Streams streams);

// Waits until the process has ended (every started process must be waited for once, or it
// lingers as a zombie on POSIX). Its exit status, or -1 when it did not exit normally.
int waitForProcess(ProcessId process);

// How a program run by runCollectingErrors ended.
struct ProcessRun {
    bool started = false;  // false: it could not be started (no program, no argv)
    int exitStatus = -1;   // as waitForProcess gives it
    std::string errors;    // what it wrote on its standard error, up to the bytes kept
};

// Starts argv as startProcess does, with no input and its output dropped, reads what it writes
// on its standard error through a pipe while it runs (the first errorBytesKept bytes are kept;
// the rest is read and dropped, so the program never waits on a full pipe), and waits for it to
// end. Something the program started in turn that keeps the pipe open does not hold this up:
// the program's own end is what counts.
ProcessRun runCollectingErrors(const std::vector<std::string>& argv, std::size_t errorBytesKept);

}  // namespace brindle::common
