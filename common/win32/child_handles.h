#pragma once
// The standard handles a child process is started with, on Windows: the only handles made
// inheritable are the ones the child is meant to get, and the parent keeps no inheritable copy of
// its own end of a pipe, so that the pipe ends when the child (and whatever it handed its end
// on to) does.

#include "common/win32/unique_handle.h"

namespace brindle::common::win32 {

// A pipe from a child to this process: `childEnd` (the write end, inheritable) is for the child's
// output or error output, `readEnd` (not inheritable) stays here. Close childEnd once the child
// has been started, or the pipe never ends. False, with the last error set, when the pipe could
// not be made.
bool makeChildPipe(UniqueHandle& readEnd, UniqueHandle& childEnd);

// An inheritable handle on the NUL device, for a child's standard handles that lead nowhere;
// not valid when NUL could not be opened.
UniqueHandle openNulForChild();

}  // namespace brindle::common::win32
