#pragma once
// A Platform whose folders live in memory, in either path style: entries come back in the order
// they were added, folders are never refused for their length, and engine runs return at once.
// Every call the batch makes is recorded. Used where a real tree cannot show a fault as well
// (paths past any fixed buffer, a fixed entry order) and by the benchmark.

#include <functional>
#include <map>
#include <memory>
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

    const PathStyle& pathStyle() const override { return style_; }
    const PlatformDefaults& defaults() const override { return defaults_; }
    std::string windowsFolder() override { return {}; }
    std::string programPath() override { return {}; }
    bool setCurrentDirectory(const std::string&) override { return true; }

    bool runAndWait(const ProcessCommand& command, ShowState show) override {
        if (recording) runs.push_back(command);
        hidden = hidden && show == ShowState::Hidden;
        if (onRun) onRun(command);
        return true;
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
        const auto folder = folders_.find(keyOf(folderOf(pattern, style_)));
        if (folder == folders_.end()) return nullptr;
        return std::make_unique<Search>(folder->second);
    }
    void createFolder(const std::string& path) override {
        if (recording) created.push_back(path);
        add(path, true);
    }

    bool recording = true;  // the benchmark turns the records off
    std::vector<ProcessCommand> runs;
    std::vector<std::pair<ProcessCommand, ShowState>> starts;
    std::vector<std::string> cleared, deleted, patterns, created;
    bool hidden = true;  // every engine run was hidden
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

    // A folder's key: its text without a trailing separator, except for a root.
    std::string keyOf(std::string path) const {
        if (path.size() > style_.rootLength && path.back() == style_.separator) path.pop_back();
        return path;
    }

    void add(const std::string& rawPath, bool isFolder) {
        const std::string path = keyOf(rawPath);
        if (isFolder && folders_.count(path) != 0) return;
        if (isFolder) folders_[path];
        const std::size_t separator = lastSeparator(path, style_);
        if (separator == kNotFound || path.size() <= style_.rootLength) return;
        std::string parent = path.substr(0, separator);
        if (parent.size() < style_.rootLength) parent += style_.separator;
        add(parent, true);
        folders_[parent].push_back({path.substr(separator + 1), isFolder});
    }

    const PathStyle& style_;
    PlatformDefaults defaults_{"", "", "Explorer.exe ", "", "Typebind.exe"};
    std::map<std::string, std::vector<FolderEntry>> folders_;
};

}  // namespace brindle::testing
