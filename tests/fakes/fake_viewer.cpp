// A stand-in for the viewer and the file manager in tests: records how it was started (see
// fake_log.h) and ends.

#include <string>
#include <vector>

#include "fakes/fake_log.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    char buffer[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    brindle::fakes::appendCall(std::string(buffer, length) + ".log", {GetCommandLineA()});
#else
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0) return 1;
    brindle::fakes::appendCall(std::string(buffer, static_cast<std::size_t>(length)) + ".log",
                               std::vector<std::string>(argv + 1, argv + argc));
#endif
    return 0;
}
