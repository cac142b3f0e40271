#include "common/win32/child_handles.h"

namespace brindle::common::win32 {

bool makeChildPipe(UniqueHandle& readEnd, UniqueHandle& childEnd) {
    // Made without inheritance, so that no process started meanwhile by another thread gets
    // either end; then the child's end alone is opened to inheritance.
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, nullptr, 0)) return false;
    readEnd.reset(read);
    childEnd.reset(write);
    return SetHandleInformation(write, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) != FALSE;
}

UniqueHandle openNulForChild() {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    return UniqueHandle(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING,
                                    0, nullptr));
}

}  // namespace brindle::common::win32
