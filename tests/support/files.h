#pragma once
// Whole-file reads and writes for tests, through the C library so that a narrow path means on
// Windows what it means to the ANSI API (code page 936 bytes) and on Linux what it means to
// POSIX (UTF-8 bytes).

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_log.h"

namespace brindle::testing {

// The file's bytes; empty when it cannot be read.
inline std::string readFile(const std::string& path) {
    std::string text;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
            text.append(buffer, got);
        }
        std::fclose(file);
    }
    return text;
}

// Creates or truncates the file with bytes; false when it could not.
inline bool writeFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// A viewer is not waited for: waits up to ten seconds for count records in a fake's log.
inline std::vector<std::vector<std::string>> waitForCalls(const std::string& log,
                                                          std::size_t count) {
    for (int i = 0; i < 500 && fakes::readCalls(log).size() < count; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return fakes::readCalls(log);
}

}  // namespace brindle::testing
