#pragma once
// An archive's entries as the batch walks them: a tree of folders and files named as the
// platform spells them, children in the order the archive first names them. An entry is left
// out when its name could lead outside the archive's folder or cannot be spelt on this platform
// (archive/zip_archive.h, Platform::fileNameFromUtf8), when it is a link or a special file,
// and when an earlier entry already took its name (letter case aside where the file system
// ignores it): nothing of what is left can be written outside the folder it is extracted to,
// and no two of them to the same file.

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/zip_archive.h"
#include "core/platform.h"

namespace brindle {

class ArchiveTree {
public:
    struct Node {
        std::string name;                          // the platform's spelling; empty for the root
        const archive::ZipEntry* entry = nullptr;  // the file's entry; null for a folder
        std::vector<std::size_t> children;         // node indices
        bool isFolder() const { return entry == nullptr; }
    };

    // entries must outlive the tree.
    ArchiveTree(const std::vector<archive::ZipEntry>& entries, Platform& platform);

    const Node& root() const { return nodes_.front(); }
    const Node& node(std::size_t index) const { return nodes_[index]; }
    // True when folder holds a child of that name.
    bool hasChild(const Node& folder, const std::string& name) const;

private:
    // The index of folder's child called name, added when missing; SIZE_MAX when the name is
    // taken by a child of the other kind.
    std::size_t child(std::size_t folder, const std::string& name, const archive::ZipEntry* file);
    std::string keyOf(std::size_t folder, const std::string& name) const;

    const PathStyle& style_;
    std::vector<Node> nodes_;
    std::map<std::string, std::size_t> byKey_;
};

}  // namespace brindle
