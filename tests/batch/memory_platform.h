#pragma once
// A Platform whose folders live in memory, in either path style: entries come back in the order
// they were added, folders are never refused for their length, and engine runs return at once.
// Every call the batch makes is recorded. Used where a real tree cannot show a fault as well
// (paths past any fixed buffer, a fixed entry order) and by the benchmark.
//
// A folder is found however its path is spelled, as on a real file system: "." and empty names
// are passed over, links added with addLink are followed, and letter case is ignored where the
// path style's names ignore it. Each folder has an identity of its own.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/path_rules.h"
#include "core/platform.h"

namespace brindle::testing {

class MemoryPlatform final : public Platform {
public:
    explicit MemoryPlatform(const PathStyle& style) : style_(style) {}

    // Adds a folder or a file (and any missing folder above it) at the end of its folder.
    void addFolder(const std::string& path) { add(path, true); }
    void addFile(const std::string& path) { add(path, false); }
    // Makes link lead to the folder target, as a symbolic link does. The link is no entry of its
    // folder: the walk never follows a link to a folder.
    void addLink(const std::string& link, const std::string& target) {
        links_[key(link)] = key(target);
    }

    const PathStyle& pathStyle() const override { return style_; }
    const PlatformDefaults& defaults() const override { return defaults_; }
    std::string windowsFolder() override { return {}; }
    std::string programPath() override { return {}; }
    bool setCurrentDirectory(const std::string&) override { return true; }

    // The engine writes <-d folder><separator><base name>.java, as the real one does, unless
    // the class file is one of failing (then it ends with status 1 and says why) or the engine
    // is missing.
    ProcessOutcome runAndWait(const ProcessCommand& command, ShowState show) override {
        if (recording) runs.push_back(command);
        hidden = hidden && show == ShowState::Hidden;
        if (onRun) onRun(command);
        if (engineMissing) return {};
        const std::string& classFile = command.argv.back();
        if (failing.count(classFile) != 0) return {true, 1, "cannot decompile " + classFile};
        std::string folder;
        for (const std::string& argument : command.argv) {
            if (argument.rfind("-d", 0) == 0) folder = argument.substr(2);
        }
        written.insert(key(folder + style_.separator + baseName(classFile, style_) + ".java"));
        return {true, 0, {}};
    }
    bool start(const ProcessCommand& command, ShowState show) override {
        if (recording) starts.push_back({command, show});
        return true;
    }
    void clearAttributes(const std::string& path) override {
        if (recording) cleared.push_back(path);
    }
    void deleteFile(const std::string& path) override {
        if (recording) deleted.push_back(path);
    }

    std::unique_ptr<FolderSearch> findFirst(const std::string& pattern) override {
        if (recording) patterns.push_back(pattern);
        if (onFindFirst) onFindFirst(pattern);
        const auto folder = folders_.find(key(folderOf(pattern, style_)));
        if (folder == folders_.end()) return nullptr;
        return std::make_unique<Search>(folder->second.entries);
    }
    void createFolder(const std::string& path) override {
        if (recording) created.push_back(path);
        add(path, true);
    }
    std::optional<FolderIdentity> folderIdentity(const std::string& path) override {
        const auto folder = folders_.find(key(path));
        if (folder == folders_.end()) return std::nullopt;
        return FolderIdentity{1, folder->second.index};
    }
    // Archives live on real disks only: nothing in memory opens as one.
    PathKind kindOf(const std::string& path) override {
        const std::string full = key(path);
        if (folders_.count(full) != 0) return PathKind::Folder;
        if (written.count(full) != 0) return PathKind::File;
        const std::size_t separator = lastSeparator(full, style_);
        if (separator == kNotFound) return PathKind::Missing;
        std::string parent = full.substr(0, separator);
        if (parent.size() < style_.rootLength) parent += style_.separator;
        const auto folder = folders_.find(parent);
        if (folder == folders_.end()) return PathKind::Missing;
        for (const FolderEntry& entry : folder->second.entries) {
            std::string name = entry.name;
            if (style_.caseBlindNames) style_.upperCase(name);
            if (!entry.isDirectory && name == full.substr(separator + 1)) return PathKind::File;
        }
        return PathKind::Missing;
    }
    std::string createPrivateFolder() override { return {}; }
    void removeFolderTree(const std::string&) override {}
    std::optional<std::string> fileNameFromUtf8(std::string_view name) override {
        return std::string(name);
    }

    bool recording = true;  // the benchmark turns the records off
    std::vector<ProcessCommand> runs;
    std::vector<std::pair<ProcessCommand, ShowState>> starts;
    std::vector<std::string> cleared, deleted, patterns, created;
    bool hidden = true;  // every engine run was hidden
    std::set<std::string> failing;  // class files the engine fails on
    bool engineMissing = false;     // no engine run can be started
    std::set<std::string> written;  // the keys of the files the engine wrote
    std::function<void(const std::string& pattern)> onFindFirst;
    std::function<void(const ProcessCommand&)> onRun;

private:
    class Search final : public FolderSearch {
    public:
        explicit Search(const std::vector<FolderEntry>& entries) {
            entries_.push_back({".", true});
            entries_.push_back({"..", true});
            entries_.insert(entries_.end(), entries.begin(), entries.end());
        }
        bool next(FolderEntry& entry) override {
            if (at_ == entries_.size()) return false;
            entry = entries_[at_++];
            return true;
        }

    private:
        std::vector<FolderEntry> entries_;
        std::size_t at_ = 0;
    };

    struct Folder {
        std::uint64_t index;
        std::vector<FolderEntry> entries;
    };

    // The names of path below its root, split at separators that are no trail bytes.
    std::vector<std::string> namesOf(const std::string& path) const {
        std::vector<std::string> names(1);
        for (std::size_t i = std::min(style_.rootLength, path.size()); i < path.size(); ++i) {
            const auto byte = static_cast<unsigned char>(path[i]);
            if (style_.isLeadByte != nullptr && style_.isLeadByte(byte) && i + 1 < path.size()) {
                names.back() += path.substr(i++, 2);
            } else if (path[i] == style_.separator) {
                names.emplace_back();
            } else {
                names.back() += path[i];
            }
        }
        return names;
    }

    // The one key of a folder, however its path is spelled.
    std::string key(const std::string& path) const {
        std::string key = path.substr(0, std::min(style_.rootLength, path.size()));
        if (style_.caseBlindNames) style_.upperCase(key);
        for (std::string name : namesOf(path)) {
            if (name.empty() || name == ".") continue;
            if (style_.caseBlindNames) style_.upperCase(name);
            if (key.size() != style_.rootLength) key += style_.separator;
            key += name;
            if (const auto link = links_.find(key); link != links_.end()) key = link->second;
        }
        return key;
    }

    void add(const std::string& path, bool isFolder) {
        const std::string folderKey = key(path);
        if (isFolder && folders_.count(folderKey) != 0) return;
        if (isFolder) folders_[folderKey] = Folder{nextIndex_++, {}};
        std::vector<std::string> names = namesOf(path);
        while (!names.empty() && (names.back().empty() || names.back() == ".")) names.pop_back();
        if (names.empty()) return;  // a root
        // The parent: the path up to the last name's separator.
        std::string parent = path.substr(0, std::min(style_.rootLength, path.size()));
        for (std::size_t i = 0; i + 1 < names.size(); ++i) {
            if (parent.size() != style_.rootLength) parent += style_.separator;
            parent += names[i];
        }
        add(parent, true);
        folders_[key(parent)].entries.push_back({names.back(), isFolder});
    }

    const PathStyle& style_;
    PlatformDefaults defaults_{"", "", "Explorer.exe ", "", "Typebind.exe"};
    std::map<std::string, Folder> folders_;
    std::map<std::string, std::string> links_;
    std::uint64_t nextIndex_ = 1;
};

}  // namespace brindle::testing
