#pragma once
// A reader of zip archives (jar, war, ear, zip) over zlib: the central directory with its Zip64
// records, and the stored and deflated entries it lists. Written for both builds, since no kept
// zip library serves the Windows one. Nothing here trusts the archive: every offset and size is
// checked against the file and against the other records before it is used, and no entry
// expands past the size its central directory record declares.
//
// Not thread-safe: one archive object is used by one thread at a time.

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/zip_limits.h"
#include "archive/zip_status.h"

namespace brindle::archive {

struct ZipEntry {
    std::string name;  // the name's bytes as stored; '/' separates folders
    std::uint16_t versionMadeBy = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t externalAttributes = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint64_t localHeaderOffset = 0;  // from the start of the file (any prefix counted)
    // Where the next local header or the central directory starts: the entry's data must end
    // before it, which refuses entries that overlap.
    std::uint64_t dataLimit = 0;

    // A folder entry: its name ends in '/'.
    bool isFolder() const;
    // A symbolic link (stored by a Unix or macOS zip tool) or a Windows reparse point.
    bool isLink() const;
    // Neither a folder, nor a link, nor a device, pipe or socket.
    bool isRegularFile() const;
    // Bit 11: the name is UTF-8 by the writer's word.
    bool hasUtf8Name() const { return (flags & 0x0800u) != 0; }
};

// Receives an entry's bytes as they are extracted; false stops the extraction.
using ByteSink = std::function<bool(const char* data, std::size_t length)>;

class ZipArchive {
public:
    // Opens the file at path (a narrow path in the platform's encoding) and reads its central
    // directory. NotAnArchive when the file is no zip archive; Damaged, Unsupported or TooLarge
    // (more than limits.entries) when its directory cannot be used. Entries keep the directory's
    // order.
    ZipStatus open(const std::string& path, const ZipLimits& limits = kZipLimits);

    const std::vector<ZipEntry>& entries() const { return entries_; }

    // Hands the entry's uncompressed bytes to sink in pieces. Damaged when the local header
    // disagrees with the directory, the data runs past dataLimit, the data does not inflate to
    // exactly entry.size bytes, or the checksum differs; Unsupported for encrypted entries and
    // methods other than stored (0) and deflated (8); CannotWrite when the sink refused.
    ZipStatus extract(const ZipEntry& entry, const ByteSink& sink);

    // extract() into a new file at targetPath (the platform's narrow encoding). A file that
    // could not be completed is removed.
    ZipStatus extractToFile(const ZipEntry& entry, const std::string& targetPath);

private:
    bool readAt(std::uint64_t offset, char* buffer, std::size_t length);
    ZipStatus readDirectory(const ZipLimits& limits);

    std::ifstream file_;
    std::uint64_t fileSize_ = 0;
    std::vector<ZipEntry> entries_;
};

// The expansion an archive and the archives inside it may still make (zip_limits.h). Each
// archive reserves what it will extract before it extracts anything.
class ExpansionBudget {
public:
    explicit ExpansionBudget(const ZipLimits& limits = kZipLimits)
        : limits_(limits), remaining_(limits.totalBytes) {}

    // TooLarge, and nothing reserved, when one of the entries expands more than the ratio allows
    // or all of them together need more than what remains; otherwise Ok, and their declared
    // sizes are taken from what remains.
    ZipStatus reserve(const std::vector<const ZipEntry*>& entries);

    std::uint64_t remaining() const { return remaining_; }

private:
    ZipLimits limits_;
    std::uint64_t remaining_;
};

// The folders and the file name of an entry, each a UTF-8 text, when the name is safe to write
// below a folder of one's own: relative ('/'-separated, no leading '/', no drive letter such as
// "C:"), no "." or ".." or empty part, no backslash, no control character (NUL included), and
// valid UTF-8 (common/utf8.h). A folder entry's trailing '/' ends it. Nothing for any other name.
bool splitEntryName(std::string_view name, std::vector<std::string>& parts);

}  // namespace brindle::archive
