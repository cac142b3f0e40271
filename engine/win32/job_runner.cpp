#include "engine/win32/job_runner.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "common/win32/child_handles.h"
#include "common/win32/pipe_reader.h"
#include "common/win32/wide_text.h"
#include "engine/win32/process_start.h"

namespace brindle::engine::win32 {

using common::win32::makeChildPipe;
using common::win32::PipeReader;
using common::win32::UniqueHandle;
namespace {

// Set by a console's Ctrl+C, Ctrl+Break or close while a child runs.
HANDLE g_stop = nullptr;
std::atomic<DWORD> g_stopEvent{0};

BOOL WINAPI onConsoleEvent(DWORD event) {
    g_stopEvent = event + 1;
    if (g_stop != nullptr) SetEvent(g_stop);
    // Give the waiting thread time to end the job; the console close ends us after 5 s anyway.
    Sleep(INFINITE);
    return TRUE;
}

RunResult startFailed(DWORD error) {
    RunResult r;
    r.ending = RunResult::Ending::StartFailed;
    r.startError = common::win32::errorText(error);
    return r;
}

}  // namespace

RunResult JobRunner::run(const RunRequest& request) {
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job.valid()) return startFailed(GetLastError());
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    // Should Jad.exe itself end early, Windows ends the job with it.
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);

    UniqueHandle outRead, outWrite, errRead, errWrite;
    if (!makeChildPipe(outRead, outWrite) || !makeChildPipe(errRead, errWrite))
        return startFailed(GetLastError());
    HiddenStart start;
    start.program = request.program;
    start.args = request.args;
    start.env = request.env;
    start.output = outWrite.get();
    start.error = errWrite.get();
    start.flags = CREATE_SUSPENDED;
    PROCESS_INFORMATION info{};
    if (!startHidden(start, info)) return startFailed(GetLastError());
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    // Where Windows allows no nested job, the time limit still ends java itself.
    const bool inJob = AssignProcessToJobObject(job.get(), process.get()) != FALSE;
    ResumeThread(thread.get());
    outWrite.reset();
    errWrite.reset();

    UniqueHandle tooMuch(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    PipeReader out(outRead.get(), request.maxStdout + 1);
    out.signalWhenPast(request.maxStdout, tooMuch.get());
    PipeReader err(errRead.get(), request.maxStderr);
    out.startThread();
    err.startThread();

    g_stop = stop.get();
    g_stopEvent = 0;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);

    RunResult result;
    result.ending = RunResult::Ending::Exited;
    const auto deadline = GetTickCount64() + static_cast<ULONGLONG>(request.timeout.count());
    const HANDLE waitFor[] = {process.get(), tooMuch.get(), stop.get()};
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1));
        const DWORD woke = WaitForMultipleObjects(3, waitFor, FALSE, left);
        if (woke == WAIT_OBJECT_0) break;
        if (woke == WAIT_OBJECT_0 + 1) {
            result.ending = RunResult::Ending::OutputTooLarge;
        } else if (woke == WAIT_OBJECT_0 + 2) {
            result.ending = RunResult::Ending::Interrupted;
            result.status = static_cast<int>(g_stopEvent.load() - 1);
        } else if (woke == WAIT_TIMEOUT) {
            result.ending = RunResult::Ending::TimedOut;
        } else {
            continue;
        }
        break;
    }
    // Whatever the child left running could hold the pipes open.
    TerminateJobObject(job.get(), 1);
    if (!inJob) TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 10000);
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    g_stop = nullptr;

    // Once the job has ended, what is left in the pipes comes at once; a read still waiting
    // after that is given up.
    out.join(5000);
    err.join(5000);
    if (result.ending == RunResult::Ending::Exited) {
        DWORD code = 0;
        GetExitCodeProcess(process.get(), &code);
        result.status = static_cast<int>(code);
    }
    result.out = std::move(out.text());
    result.err = std::move(err.text());
    return result;
}

}  // namespace brindle::engine::win32
