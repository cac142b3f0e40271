#pragma once
// Windows tests: starts a command line exactly as given and waits for the process to end.

#include <windows.h>

#include <string>

namespace brindle::testing {

// The exit code of the process, or 0xFFFFFFFF when it could not be started or did not end
// within a minute.
inline DWORD launchAndWait(const std::string& commandLine) {
    std::string buffer = commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return 0xFFFFFFFF;
    }
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

}  // namespace brindle::testing
