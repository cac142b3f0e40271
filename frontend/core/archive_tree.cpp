#include "core/archive_tree.h"

#include <limits>

namespace brindle {
namespace {

constexpr std::size_t kTaken = std::numeric_limits<std::size_t>::max();

}  // namespace

ArchiveTree::ArchiveTree(const std::vector<archive::ZipEntry>& entries, Platform& platform)
    : style_(platform.pathStyle()), nodes_(1) {
    std::vector<std::string> parts;
    std::vector<std::string> names;
    for (const archive::ZipEntry& entry : entries) {
        if (!entry.isFolder() && !entry.isRegularFile()) continue;
        if (!archive::splitEntryName(entry.name, parts)) continue;
        names.clear();
        for (const std::string& part : parts) {
            std::optional<std::string> name = platform.fileNameFromUtf8(part);
            if (!name || name->empty()) break;
            names.push_back(std::move(*name));
        }
        if (names.size() != parts.size()) continue;

        std::size_t folder = 0;
        for (std::size_t i = 0; i + 1 < names.size() && folder != kTaken; ++i) {
            folder = child(folder, names[i], nullptr);
        }
        if (folder == kTaken) continue;
        child(folder, names.back(), entry.isFolder() ? nullptr : &entry);
    }
}

bool ArchiveTree::hasChild(const Node& folder, const std::string& name) const {
    const auto index = static_cast<std::size_t>(&folder - nodes_.data());
    return byKey_.count(keyOf(index, name)) != 0;
}

std::string ArchiveTree::keyOf(std::size_t folder, const std::string& name) const {
    std::string key = std::to_string(folder);
    key += '/';
    key += name;
    if (style_.caseBlindNames) style_.upperCase(key);
    return key;
}

std::size_t ArchiveTree::child(std::size_t folder, const std::string& name,
                               const archive::ZipEntry* file) {
    const std::string key = keyOf(folder, name);
    const auto found = byKey_.find(key);
    if (found != byKey_.end()) {
        // A folder may be named again (by its own entry or by a path through it); a file
        // only once.
        const bool sameFolder = file == nullptr && nodes_[found->second].isFolder();
        return sameFolder ? found->second : kTaken;
    }
    const std::size_t index = nodes_.size();
    nodes_.push_back(Node{name, file, {}});
    nodes_[folder].children.push_back(index);
    byKey_.emplace(key, index);
    return index;
}

}  // namespace brindle
