#pragma once
// Files and folders as every Brindle program uses them. Paths are the platform's narrow text
// (UTF-8 bytes, or any bytes, on POSIX). Each call that can fail returns false (or a status)
// and, when asked, a reason for the user that names the path.

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace brindle::common {

// folder, the platform's separator and name, without doubling a separator that ends folder.
std::string joinPath(std::string_view folder, std::string_view name);

// Who may use the folders makeFolders creates: everybody the file mode creation mask lets in,
// or only the user (the XDG base-directory rules ask that for the user's own folders).
enum class NewFolders { Shared, Private };

// Creates folder and every missing folder above it; existing ones are left as they are. True
// when folder is a folder at the end; else false, with "cannot create folder <path>: <why>" in
// *error when error is not null.
bool makeFolders(const std::string& folder, NewFolders access, std::string* error);

struct ReplaceOptions {
    // A symbolic link at the path: write the file it names and keep the link (else the link
    // itself is replaced by the file).
    bool followLink = false;
    // An existing file keeps its permissions (else the file gets the permissions a newly
    // created file gets).
    bool keepMode = false;
};

// Writes bytes to path through a temporary file in the same folder that is then renamed over
// path, so that a reader (or a crash) meets either the older file or the whole new one. The
// temporary file never outlives the call: not on a failure, and a termination signal that
// arrives meanwhile waits until the call is done. False on a failure, with "cannot write
// <path>: <why>" in *error when error is not null.
bool replaceFile(const std::string& path, std::string_view bytes, const ReplaceOptions& options,
                 std::string* error);

enum class ReadStatus {
    Ok,
    Missing,     // no such file
    CannotOpen,  // it exists but cannot be opened
    IsFolder,
    NotRegular,  // a device, a FIFO, a socket: never read, and never waited for
    TooLarge,    // more than maxBytes
    CannotRead,
};

inline constexpr std::size_t kNoSizeLimit = std::numeric_limits<std::size_t>::max();

// Reads the regular file at path (a symbolic link is followed) whole into bytes. The system's
// reason for Missing, CannotOpen and CannotRead goes to *systemError when it is not null.
ReadStatus readWholeFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                         std::string* systemError);

}  // namespace brindle::common
