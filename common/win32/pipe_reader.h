#pragma once
// Collecting what a child process writes into a pipe, on Windows. The pipe is always read to
// the end (or to the child's end), so that the child never waits on a full pipe; of what comes,
// only the first `keep` bytes are kept.

#include <cstddef>
#include <memory>
#include <string>

#include "common/win32/unique_handle.h"

namespace brindle::common::win32 {

class PipeReader {
public:
    // `pipe` is the read end of a pipe whose write end only the child holds; it is not owned.
    PipeReader(HANDLE pipe, std::size_t keep);
    // A thread still reading has its read cancelled and is joined; what it read is lost.
    ~PipeReader();
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;

    // Sets `event` once more than `bytes` have come in all (kept or not). Call before reading.
    void signalWhenPast(std::size_t bytes, HANDLE event);

    // Reads what is waiting in the pipe without blocking; false once every writer has closed it.
    bool readAvailable();

    // Reads, without blocking on the pipe, while `process` runs, then what it left in the pipe.
    // Returns when the process has ended, even while something it started keeps the pipe open.
    void readUntilExit(HANDLE process);

    // Reads on a thread of its own until every writer has closed the pipe. False when no thread
    // could be made (the pipe is then not read).
    bool startThread();
    // Waits for that thread. A read still blocked after `graceMilliseconds` (something keeps the
    // pipe open) is cancelled. Nothing to do when no thread runs.
    void join(DWORD graceMilliseconds);

    // What was kept; read it only once reading is over (after join on a thread).
    std::string& text() { return text_; }
    // How many bytes came in all.
    std::size_t total() const { return total_; }

private:
    // Reads once, blocking until something comes; 0 once every writer has closed the pipe.
    DWORD readSome(DWORD want);
    static DWORD WINAPI readToEnd(void* self);

    HANDLE pipe_;
    std::size_t keep_;
    std::size_t signalPast_ = 0;
    HANDLE signal_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    std::string text_;
    std::size_t total_ = 0;
    UniqueHandle thread_;
};

}  // namespace brindle::common::win32
