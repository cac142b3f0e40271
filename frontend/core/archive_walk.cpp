// The batch inside archives: BatchWalker's walk of an archive's folders, its private temporary
// folders, and the extraction into them.

#include <algorithm>

#include "core/archive_tree.h"
#include "core/batch_paths.h"
#include "core/batch_walker.h"
#include "core/path_rules.h"

namespace brindle {

using archive::ZipArchive;
using archive::ZipEntry;
using archive::ZipStatus;

namespace {

// What the walk of an archive extracts: its class files and the archives inside it.
std::vector<const ZipEntry*> extractedEntries(const ArchiveTree& tree, const PathStyle& style) {
    std::vector<const ZipEntry*> entries;
    std::vector<const ArchiveTree::Node*> folders{&tree.root()};
    while (!folders.empty()) {
        const ArchiveTree::Node* folder = folders.back();
        folders.pop_back();
        for (const std::size_t index : folder->children) {
            const ArchiveTree::Node& child = tree.node(index);
            if (child.isFolder()) {
                folders.push_back(&child);
            } else if (isClassFileName(child.name, style) || isArchiveName(child.name, style)) {
                entries.push_back(child.entry);
            }
        }
    }
    return entries;
}

}  // namespace

// One archive's folders, walked as the batch walks real ones: entries in the archive's order,
// the run flag checked before each, subfolders walked when met.
class BatchWalker::ArchiveWalk {
public:
    ArchiveWalk(BatchWalker& walker, ZipArchive& zip, const ArchiveTree& tree, int depth,
                archive::ExpansionBudget& budget)
        : walker_(walker),
          style_(walker.platform_.pathStyle()),
          zip_(zip),
          tree_(tree),
          depth_(depth),
          budget_(budget) {}

    // scratch: where this folder's files are extracted; mirrored: where their sources go. Both
    // end in a separator.
    void folder(const ArchiveTree::Node& node, const std::string& scratch,
                const std::string& mirrored) {
        std::vector<ZipStatus> extracted;
        for (std::size_t i = 0; i < node.children.size(); ++i) {
            if (!walker_.goingOn()) return;
            const ArchiveTree::Node& child = tree_.node(node.children[i]);
            if (child.isFolder()) {
                const std::string subMirrored = mirrored + child.name + style_.separator;
                walker_.makeFolders(subMirrored);
                const std::string subScratch = scratch + child.name + style_.separator;
                walker_.makeScratchFolder(subScratch);
                folder(child, subScratch, subMirrored);
            } else if (isClassFileName(child.name, style_)) {
                // The folder's class files go out together, so that the engine finds a class's
                // nested classes beside it.
                if (extracted.empty()) extracted = extractClasses(node, scratch);
                if (extracted[i] == ZipStatus::Ok) {
                    walker_.decompileOne(scratch + child.name, mirrored);
                } else {
                    walker_.listUnreadable(scratch + child.name, mirrored);
                }
            } else if (isArchiveName(child.name, style_)) {
                const std::string copy = scratch + child.name;
                if (walker_.extractInto(zip_, *child.entry, copy) != ZipStatus::Ok) continue;
                const std::string name = archiveMirrorName(
                    child.name,
                    [&](const std::string& sibling) { return tree_.hasChild(node, sibling); });
                walker_.walkArchive(copy, mirrored + name + style_.separator, depth_ + 1, &budget_);
                walker_.platform_.deleteFile(copy);
            }
        }
    }

private:
    // The status of each child of node: extracted, or why not; Ok for children that are no
    // class files.
    std::vector<ZipStatus> extractClasses(const ArchiveTree::Node& node,
                                          const std::string& scratch) {
        std::vector<ZipStatus> statuses(node.children.size(), ZipStatus::Ok);
        for (std::size_t i = 0; i < node.children.size(); ++i) {
            const ArchiveTree::Node& child = tree_.node(node.children[i]);
            if (child.isFolder() || !isClassFileName(child.name, style_)) continue;
            statuses[i] = walker_.extractInto(zip_, *child.entry, scratch + child.name);
        }
        return statuses;
    }

    BatchWalker& walker_;
    const PathStyle& style_;
    ZipArchive& zip_;
    const ArchiveTree& tree_;
    int depth_;
    archive::ExpansionBudget& budget_;
};

void BatchWalker::walkArchive(const std::string& path, const std::string& mirrored, int depth,
                              archive::ExpansionBudget* budget) {
    const PathStyle& style = platform_.pathStyle();
    // Only a regular file: opening a pipe of that name would wait forever.
    if (depth > archive::kMaxArchiveNesting || platform_.kindOf(path) != PathKind::File) return;
    ZipArchive zip;
    if (zip.open(path) != ZipStatus::Ok) return;
    const ArchiveTree tree(zip.entries(), platform_);
    archive::ExpansionBudget own;
    archive::ExpansionBudget& shared = budget != nullptr ? *budget : own;
    if (shared.reserve(extractedEntries(tree, style)) != ZipStatus::Ok) return;

    makeFolders(mirrored);
    const std::string scratch = openScratchFolder();
    if (scratch.empty()) return;
    ArchiveWalk(*this, zip, tree, depth, shared)
        .folder(tree.root(), withTrailingSeparator(scratch, style), mirrored);
    closeScratchFolder(scratch);
}

std::string BatchWalker::openScratchFolder() {
    const std::lock_guard lock(scratchMutex_);
    if (abandoned_) return {};
    std::string folder = platform_.createPrivateFolder();
    if (!folder.empty()) scratchFolders_.push_back(folder);
    return folder;
}

void BatchWalker::closeScratchFolder(const std::string& folder) {
    const std::lock_guard lock(scratchMutex_);
    const auto found = std::find(scratchFolders_.begin(), scratchFolders_.end(), folder);
    // Gone already when the batch was abandoned.
    if (found == scratchFolders_.end()) return;
    scratchFolders_.erase(found);
    platform_.removeFolderTree(folder);
}

void BatchWalker::makeScratchFolder(const std::string& folder) {
    const std::lock_guard lock(scratchMutex_);
    if (!abandoned_)
        platform_.createFolder(withoutTrailingSeparators(folder, platform_.pathStyle()));
}

ZipStatus BatchWalker::extractInto(ZipArchive& zip, const ZipEntry& entry,
                                   const std::string& target) {
    const std::lock_guard lock(scratchMutex_);
    if (abandoned_) return ZipStatus::CannotWrite;
    return zip.extractToFile(entry, target);
}

}  // namespace brindle
