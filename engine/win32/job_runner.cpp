#include "engine/win32/job_runner.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "common/win32/wide_text.h"
#include "engine/win32/process_start.h"

namespace brindle::engine::win32 {
namespace {

class Handle {
public:
    explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void reset(HANDLE handle = nullptr) {
        if (valid()) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_;
};

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

// Reads one pipe to its end on its own thread, keeping at most `keep` bytes.
struct PipeReader {
    HANDLE pipe = nullptr;
    std::size_t keep = 0;
    std::size_t limit = 0;      // more than this many bytes in all sets `tooMuch`
    HANDLE tooMuch = nullptr;   // event, or null
    std::string text;
    std::size_t total = 0;

    static DWORD WINAPI run(void* self) {
        auto* r = static_cast<PipeReader*>(self);
        char buffer[65536];
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(r->pipe, buffer, sizeof buffer, &got, nullptr) || got == 0) return 0;
            r->total += got;
            if (r->text.size() < r->keep)
                r->text.append(buffer, std::min<std::size_t>(got, r->keep - r->text.size()));
            if (r->tooMuch != nullptr && r->total > r->limit) SetEvent(r->tooMuch);
        }
    }
};

RunResult startFailed(DWORD error) {
    RunResult r;
    r.ending = RunResult::Ending::StartFailed;
    r.startError = common::win32::errorText(error);
    return r;
}

// A pipe whose write end the child inherits and whose read end it does not.
bool makePipe(Handle& readEnd, Handle& writeEnd) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE r = nullptr;
    HANDLE w = nullptr;
    if (!CreatePipe(&r, &w, &inherit, 0)) return false;
    readEnd.reset(r);
    writeEnd.reset(w);
    return SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0) != FALSE;
}

}  // namespace

RunResult JobRunner::run(const RunRequest& request) {
    Handle job(CreateJobObjectW(nullptr, nullptr));
    if (!job.valid()) return startFailed(GetLastError());
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    // Should Jad.exe itself end early, Windows ends the job with it.
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);

    Handle outRead, outWrite, errRead, errWrite;
    if (!makePipe(outRead, outWrite) || !makePipe(errRead, errWrite))
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
    Handle process(info.hProcess);
    Handle thread(info.hThread);
    // Where Windows allows no nested job, the time limit still ends java itself.
    const bool inJob = AssignProcessToJobObject(job.get(), process.get()) != FALSE;
    ResumeThread(thread.get());
    outWrite.reset();
    errWrite.reset();

    Handle tooMuch(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Handle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    PipeReader out{outRead.get(), request.maxStdout + 1, request.maxStdout, tooMuch.get(), {}, 0};
    PipeReader err{errRead.get(), request.maxStderr, SIZE_MAX, nullptr, {}, 0};
    Handle outThread(CreateThread(nullptr, 0, PipeReader::run, &out, 0, nullptr));
    Handle errThread(CreateThread(nullptr, 0, PipeReader::run, &err, 0, nullptr));

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

    for (const HANDLE reader : {outThread.get(), errThread.get()}) {
        if (reader == nullptr) continue;
        if (WaitForSingleObject(reader, 5000) != WAIT_OBJECT_0) {
            CancelSynchronousIo(reader);
            WaitForSingleObject(reader, INFINITE);
        }
    }
    if (result.ending == RunResult::Ending::Exited) {
        DWORD code = 0;
        GetExitCodeProcess(process.get(), &code);
        result.status = static_cast<int>(code);
    }
    result.out = std::move(out.text);
    result.err = std::move(err.text);
    return result;
}

}  // namespace brindle::engine::win32
