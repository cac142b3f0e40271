// Jad.exe: Brindle's decompiler engine on Windows. Brindle.exe starts it hidden once per class
// file as `Jad.exe -sjava -8 -ff -d"<folder>" <class file>`; it writes <folder>\<class name>.java
// with the bytes the Linux jad writes, using Procyon on the user's Java (17 or later), through
// the user's resident service when it can and a cold run of Procyon when it cannot. What it
// does is engine/core's runEngine; the environment it reads is listed in engine/core/settings.h.
//
// Exit status: 0 success, 1 the class file could not be decompiled, 2 a bad command line or
// environment. Every failure prints exactly one line on stderr, "jad: <class file>: <reason>"
// (or "jad: <reason>"), and writes no output file: an older <name>.java stays as it was.

#include <windows.h>

#include <string_view>
#include <vector>

#include "common/win32/wide_text.h"
#include "engine/core/engine_run.h"
#include "engine/win32/command_tail.h"
#include "engine/win32/win32_engine_host.h"

int main() {
    using namespace brindle::engine;
    // No "Abort, Retry, Ignore" box for a drive without a disk: Jad.exe runs hidden.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    // Windows hands over one text, read by Brindle's rules rather than the C runtime's.
    const std::vector<std::string> words =
        win32::splitCommandLine(brindle::common::win32::narrow(GetCommandLineW()));
    const std::vector<std::string_view> args(words.begin(), words.end());
    win32::Win32EngineHost host;
    const EngineResult result = runEngine(args, host);
    const Report report = brindle::engine::report(result.outcome, host.programName(), result.classFile);
    if (!report.line.empty()) host.tell(report.line);
    if (result.outcome.kind == OutcomeKind::Interrupted) ExitProcess(STATUS_CONTROL_C_EXIT);
    return report.exitStatus;
}
