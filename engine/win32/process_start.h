// Starting a program from Jad.exe on Windows: hidden (no console window, even when Jad.exe has
// none), with exactly the standard handles given and no other handle of Jad.exe's, so that
// neither java nor the resident service holds on to a pipe that Jad.exe's own caller reads.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace brindle::engine::win32 {

struct HiddenStart {
    std::string program;             // UTF-8 path of the program file
    std::vector<std::string> args;   // after the program name, quoted for the C runtime
    std::vector<std::string> env;    // the whole environment, "NAME=value"
    std::string workingFolder;       // empty: Jad.exe's
    HANDLE input = nullptr;          // each inheritable; null: NUL
    HANDLE output = nullptr;
    HANDLE error = nullptr;
    DWORD flags = 0;                 // added to CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT
};

// Creates the process; false with the last error set when it could not be started.
bool startHidden(const HiddenStart& start, PROCESS_INFORMATION& process);

}  // namespace brindle::engine::win32
