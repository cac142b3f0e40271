#pragma once
// Ownership of a Win32 kernel handle (file, pipe, process, thread, event, job): closed once, when
// its owner ends or is given another. Both "no handle" values the API returns (null and
// INVALID_HANDLE_VALUE) count as none.

#include <windows.h>

namespace brindle::common::win32 {

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { close(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

    // Closes the handle held, if any, and holds `handle` instead.
    void reset(HANDLE handle = nullptr) {
        close();
        handle_ = handle;
    }
    // Gives the handle up without closing it.
    HANDLE release() {
        const HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    // Closes the handle now; FALSE (with the last error set) only when CloseHandle failed, which
    // for a file written to can mean its last data did not reach the disk.
    BOOL close() {
        const BOOL closed = valid() ? CloseHandle(handle_) : TRUE;
        handle_ = nullptr;
        return closed;
    }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace brindle::common::win32
