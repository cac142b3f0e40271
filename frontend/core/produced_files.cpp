#include "core/produced_files.h"

#include <utility>

namespace brindle {

void ProducedFiles::clear() {
    const std::lock_guard lock(mutex_);
    paths_.clear();
    failures_.clear();
}

void ProducedFiles::append(std::string path) {
    const std::lock_guard lock(mutex_);
    paths_.push_back(std::move(path));
    failures_.emplace_back();
}

std::size_t ProducedFiles::size() const {
    const std::lock_guard lock(mutex_);
    return paths_.size();
}

std::optional<std::string> ProducedFiles::at(std::size_t index) const {
    const std::lock_guard lock(mutex_);
    if (index >= paths_.size()) return std::nullopt;
    return paths_[index];
}

void ProducedFiles::markFailed(std::size_t index, std::string reason) {
    const std::lock_guard lock(mutex_);
    if (index < failures_.size()) failures_[index] = std::move(reason);
}

std::optional<std::string> ProducedFiles::failureAt(std::size_t index) const {
    const std::lock_guard lock(mutex_);
    if (index >= failures_.size()) return std::nullopt;
    return failures_[index];
}

std::vector<std::string> ProducedFiles::snapshot() const {
    const std::lock_guard lock(mutex_);
    return paths_;
}

}  // namespace brindle
