#pragma once
// A fresh folder below the system's temporary folder, removed with everything in it at the end
// of the test. Its path ends in the platform's separator.

#include <filesystem>
#include <random>
#include <string>

namespace brindle::testing {

class TempFolder {
public:
    TempFolder() {
        std::random_device seed;
        for (;;) {
            path_ = std::filesystem::temp_directory_path() /
                    ("brindle-test-" + std::to_string(seed()));
            if (std::filesystem::create_directory(path_)) break;
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as the platform's narrow text, with a trailing separator.
    std::string text() const {
        return path_.string() + static_cast<char>(std::filesystem::path::preferred_separator);
    }

private:
    std::filesystem::path path_;
};

}  // namespace brindle::testing
