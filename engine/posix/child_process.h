#pragma once
// Runs one program (never through a shell) to its end on POSIX, with a time limit that ends it
// and everything it started.

#include "engine/core/program_runner.h"

namespace brindle::engine {

// The program runs in a process group of its own with stdin on /dev/null and the default
// handling of every signal. Both output pipes are read while waiting. On a time-out, on
// SIGINT, SIGTERM or SIGHUP to this process (Interrupted) or on too much output the whole
// group gets SIGKILL; when the program exits, whatever is left of its group is killed as well.
// The program is always collected before this returns. Not for use from several threads.
RunResult runChild(const RunRequest& request);

class ChildProcessRunner final : public ProgramRunner {
public:
    RunResult run(const RunRequest& request) override;
};

}  // namespace brindle::engine
