#pragma once
// Running java on Windows for a cold run: hidden (no console window, even when Jad.exe has
// none), its output and error output through pipes, stdin on NUL, in a Job object. The time
// limit, too much output, or a console's Ctrl+C end the whole job: java and everything it
// started; when java exits, whatever it left running is ended too.

#include "engine/core/program_runner.h"

namespace brindle::engine::win32 {

class JobRunner final : public ProgramRunner {
public:
    RunResult run(const RunRequest& request) override;
};

}  // namespace brindle::engine::win32
