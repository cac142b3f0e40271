#pragma once
// The produced-file list: the expected output file of every list row, row i at index i, and
// for a row whose class file failed, why. Appended by the batch worker while the window thread
// reads it on a double-click, so every access takes the lock.

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace brindle {

class ProducedFiles {
public:
    void clear();
    void append(std::string path);
    std::size_t size() const;
    // The entry at index, or nothing when index is out of range.
    std::optional<std::string> at(std::size_t index) const;
    // Records why the entry at index produced no file. Nothing happens out of range.
    void markFailed(std::size_t index, std::string reason);
    // Why the entry at index failed; nothing when it did not (or not yet), or out of range.
    std::optional<std::string> failureAt(std::size_t index) const;
    std::vector<std::string> snapshot() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> paths_;
    std::vector<std::optional<std::string>> failures_;
};

}  // namespace brindle
