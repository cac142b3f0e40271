#pragma once
// Windows tests: starts a command line exactly as given and waits for the process to end;
// presses a button of its window.

#include <windows.h>

#include <string>

namespace brindle::testing {

// Starts commandLine exactly as given; false when it could not be started.
inline bool startProcess(const std::string& commandLine, PROCESS_INFORMATION& process) {
    std::string buffer = commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    process = PROCESS_INFORMATION{};
    return CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process) != FALSE;
}

// Presses a push button of a dialog in another process: the dialog gets the BN_CLICKED that a
// click sends. BM_CLICK goes through mouse capture and focus, which Wine may take back while a
// newly shown window is still being activated, and the click is then lost.
inline void pressButton(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The exit code of an ended process (0xFFFFFFFF when it has none), its handles closed.
inline DWORD exitCodeAndClose(const PROCESS_INFORMATION& process) {
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// The exit code of the process, or 0xFFFFFFFF when it could not be started or did not end
// within a minute.
inline DWORD launchAndWait(const std::string& commandLine) {
    PROCESS_INFORMATION process;
    if (!startProcess(commandLine, process)) return 0xFFFFFFFF;
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return 0xFFFFFFFF;
    }
    return exitCodeAndClose(process);
}

}  // namespace brindle::testing
