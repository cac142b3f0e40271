// A child for the pipe tests on Windows: "pipe_writer <bytes> [hand-on]" writes <bytes> bytes
// ('a' to 'z' over and over) on its standard error and ends with status 7. With "hand-on" it
// first starts "pipe_writer 0 linger", which inherits its standard handles and sleeps for a
// minute, as a program the child started and left running would.

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[2], "linger") == 0) {
        Sleep(60000);
        return 0;
    }
    if (argc < 2) return 2;
    if (argc >= 3 && std::strcmp(argv[2], "hand-on") == 0) {
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, sizeof self);
        std::string line = std::string("\"") + self + "\" 0 linger";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &process)) {
            return 3;
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    std::size_t left = std::strtoull(argv[1], nullptr, 10);
    char chunk[26 * 157];
    for (std::size_t i = 0; i < sizeof chunk; ++i) chunk[i] = static_cast<char>('a' + i % 26);
    while (left > 0) {
        const DWORD want = static_cast<DWORD>(left < sizeof chunk ? left : sizeof chunk);
        DWORD written = 0;
        if (!WriteFile(GetStdHandle(STD_ERROR_HANDLE), chunk, want, &written, nullptr)) return 4;
        left -= written;
    }
    return 7;
}
