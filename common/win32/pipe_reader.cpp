#include "common/win32/pipe_reader.h"

#include <algorithm>

namespace brindle::common::win32 {
namespace {

constexpr DWORD kBufferBytes = 64 * 1024;
// How often a child's end is looked for while its pipe is read without blocking.
constexpr DWORD kPollMilliseconds = 20;

}  // namespace

PipeReader::PipeReader(HANDLE pipe, std::size_t keep)
    : pipe_(pipe), keep_(keep), buffer_(std::make_unique<char[]>(kBufferBytes)) {}

PipeReader::~PipeReader() { join(0); }

void PipeReader::signalWhenPast(std::size_t bytes, HANDLE event) {
    signalPast_ = bytes;
    signal_ = event;
}

DWORD PipeReader::readSome(DWORD want) {
    DWORD got = 0;
    if (!ReadFile(pipe_, buffer_.get(), want, &got, nullptr)) return 0;
    total_ += got;
    if (text_.size() < keep_)
        text_.append(buffer_.get(), std::min<std::size_t>(got, keep_ - text_.size()));
    if (signal_ != nullptr && total_ > signalPast_) SetEvent(signal_);
    return got;
}

bool PipeReader::readAvailable() {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr)) return false;
    while (available > 0) {
        const DWORD got = readSome(std::min(available, kBufferBytes));
        if (got == 0) return false;
        available -= std::min(got, available);
    }
    return true;
}

void PipeReader::readUntilExit(HANDLE process) {
    while (readAvailable()) {
        if (WaitForSingleObject(process, kPollMilliseconds) == WAIT_OBJECT_0) {
            readAvailable();
            return;
        }
    }
    // Every writer is gone; the process may still be running for a moment.
    WaitForSingleObject(process, INFINITE);
}

DWORD WINAPI PipeReader::readToEnd(void* self) {
    auto* reader = static_cast<PipeReader*>(self);
    while (reader->readSome(kBufferBytes) > 0) {
    }
    return 0;
}

bool PipeReader::startThread() {
    thread_.reset(CreateThread(nullptr, 0, readToEnd, this, 0, nullptr));
    return thread_.valid();
}

void PipeReader::join(DWORD graceMilliseconds) {
    if (!thread_.valid()) return;
    // A cancel that lands between two reads is lost: it is sent again until the thread ends.
    for (DWORD wait = graceMilliseconds; WaitForSingleObject(thread_.get(), wait) != WAIT_OBJECT_0;
         wait = kPollMilliseconds) {
        CancelSynchronousIo(thread_.get());
    }
    thread_.reset();
}

}  // namespace brindle::common::win32
