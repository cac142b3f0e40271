#include "archive/zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <memory>
#include <utility>

#include "common/utf8.h"

namespace brindle::archive {
namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t kDirectorySignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint16_t kZip64ExtraId = 0x0001;

constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kDirectoryRecordSize = 46;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kMaxCommentSize = 0xFFFF;

constexpr std::uint16_t kSaturated16 = 0xFFFF;
constexpr std::uint32_t kSaturated32 = 0xFFFFFFFF;

constexpr std::size_t kChunk = 64 * 1024;

std::uint16_t u16(const char* p) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) |
                                      static_cast<unsigned char>(p[1]) << 8);
}
std::uint32_t u32(const char* p) {
    return static_cast<std::uint32_t>(u16(p)) | static_cast<std::uint32_t>(u16(p + 2)) << 16;
}
std::uint64_t u64(const char* p) {
    return static_cast<std::uint64_t>(u32(p)) | static_cast<std::uint64_t>(u32(p + 4)) << 32;
}

// The host that wrote an entry, from the high byte of "version made by".
constexpr unsigned kHostUnix = 3;
constexpr unsigned kHostMacOs = 19;
constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixRegular = 0100000;
constexpr std::uint32_t kUnixFolder = 0040000;
constexpr std::uint32_t kUnixLink = 0120000;
constexpr std::uint32_t kDosReparsePoint = 0x400;

// The Unix file type of an entry written on a Unix-like host; 0 when none is recorded.
std::uint32_t unixType(const ZipEntry& entry) {
    const unsigned host = entry.versionMadeBy >> 8;
    if (host != kHostUnix && host != kHostMacOs) return 0;
    return (entry.externalAttributes >> 16) & kUnixTypeMask;
}

// Reads the Zip64 extended information of a directory record: each saturated field is
// replaced by the next 8 bytes, in the order the format gives.
bool applyZip64Extra(const char* extra, std::size_t length, ZipEntry& entry, bool sizeSaturated,
                     bool compressedSaturated, bool offsetSaturated) {
    for (std::size_t at = 0; at + 4 <= length;) {
        const std::uint16_t id = u16(extra + at);
        const std::size_t size = u16(extra + at + 2);
        if (at + 4 + size > length) return false;
        if (id == kZip64ExtraId) {
            const char* field = extra + at + 4;
            std::size_t left = size;
            for (auto [saturated, target] :
                 {std::pair{sizeSaturated, &entry.size},
                  std::pair{compressedSaturated, &entry.compressedSize},
                  std::pair{offsetSaturated, &entry.localHeaderOffset}}) {
                if (!saturated) continue;
                if (left < 8) return false;
                *target = u64(field);
                field += 8;
                left -= 8;
            }
            return true;
        }
        at += 4 + size;
    }
    // A saturated field without its Zip64 value leaves the real value unknown.
    return !sizeSaturated && !compressedSaturated && !offsetSaturated;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

const char* describe(ZipStatus status) {
    switch (status) {
        case ZipStatus::Ok:
            return "ok";
        case ZipStatus::NotAnArchive:
            return "not a zip archive";
        case ZipStatus::Damaged:
            return "damaged";
        case ZipStatus::Unsupported:
            return "unsupported";
        case ZipStatus::TooLarge:
            return "too large";
        case ZipStatus::CannotRead:
            return "cannot read";
        case ZipStatus::CannotWrite:
            return "cannot write";
    }
    return "unknown";
}

bool ZipEntry::isFolder() const {
    return !name.empty() && name.back() == '/';
}

bool ZipEntry::isLink() const {
    const unsigned host = versionMadeBy >> 8;
    if (unixType(*this) == kUnixLink) return true;
    // Other hosts keep MS-DOS attributes in the low byte(s).
    return host != kHostUnix && host != kHostMacOs && (externalAttributes & kDosReparsePoint) != 0;
}

bool ZipEntry::isRegularFile() const {
    if (isFolder() || isLink()) return false;
    const std::uint32_t type = unixType(*this);
    return type == 0 || type == kUnixRegular;
}

bool ZipArchive::readAt(std::uint64_t offset, char* buffer, std::size_t length) {
    if (offset > fileSize_ || length > fileSize_ - offset) return false;
    std::filebuf* file = file_.rdbuf();
    if (file->pubseekpos(static_cast<std::streamoff>(offset), std::ios::in) !=
        std::streampos(static_cast<std::streamoff>(offset))) {
        return false;
    }
    return file->sgetn(buffer, static_cast<std::streamsize>(length)) ==
           static_cast<std::streamsize>(length);
}

ZipStatus ZipArchive::open(const std::string& path, const ZipLimits& limits) {
    entries_.clear();
    file_.close();
    file_.clear();
    file_.open(path, std::ios::binary);
    if (!file_) return ZipStatus::CannotRead;
    const std::streampos end = file_.rdbuf()->pubseekoff(0, std::ios::end, std::ios::in);
    if (end < 0) return ZipStatus::CannotRead;
    fileSize_ = static_cast<std::uint64_t>(static_cast<std::streamoff>(end));
    const ZipStatus status = readDirectory(limits);
    if (status != ZipStatus::Ok) entries_.clear();
    return status;
}

ZipStatus ZipArchive::readDirectory(const ZipLimits& limits) {
    if (fileSize_ < kEndSize) return ZipStatus::NotAnArchive;

    // The end record sits in the last 22 bytes plus a comment of at most 65535 bytes. The last
    // signature whose comment fits the file is taken.
    const std::size_t tailSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(fileSize_, kEndSize + kMaxCommentSize));
    std::vector<char> tail(tailSize);
    const std::uint64_t tailStart = fileSize_ - tailSize;
    if (!readAt(tailStart, tail.data(), tailSize)) return ZipStatus::CannotRead;
    std::size_t endAt = tailSize;
    for (std::size_t i = tailSize - kEndSize + 1; i-- > 0;) {
        if (u32(&tail[i]) == kEndSignature && i + kEndSize + u16(&tail[i + 20]) <= tailSize) {
            endAt = i;
            break;
        }
    }
    if (endAt == tailSize) {
        // Not even a comment-free end record. A file that starts like a zip is a damaged one.
        char head[4];
        if (readAt(0, head, sizeof head) && u32(head) == kLocalHeaderSignature) {
            return ZipStatus::Damaged;
        }
        return ZipStatus::NotAnArchive;
    }
    const char* record = &tail[endAt];
    const std::uint64_t endPosition = tailStart + endAt;
    std::uint32_t disk = u16(record + 4);
    std::uint32_t directoryDisk = u16(record + 6);
    std::uint64_t entriesOnDisk = u16(record + 8);
    std::uint64_t entryCount = u16(record + 10);
    std::uint64_t directorySize = u32(record + 12);
    std::uint64_t directoryOffset = u32(record + 16);
    // Where the central directory ends: at the Zip64 end record when there is one.
    std::uint64_t directoryEnd = endPosition;
    bool zip64 = false;

    if (endPosition >= kZip64LocatorSize) {
        char locator[kZip64LocatorSize];
        const std::uint64_t locatorPosition = endPosition - kZip64LocatorSize;
        if (!readAt(locatorPosition, locator, sizeof locator)) return ZipStatus::CannotRead;
        if (u32(locator) == kZip64LocatorSignature) {
            zip64 = true;
            if (u32(locator + 16) > 1) return ZipStatus::Unsupported;
            // The record's own offset is shifted like every other by data before the archive;
            // a record without extensible data sits right before the locator.
            char z64[kZip64EndSize];
            std::uint64_t z64Position = u64(locator + 8);
            if (!readAt(z64Position, z64, sizeof z64) || u32(z64) != kZip64EndSignature) {
                if (locatorPosition < kZip64EndSize) return ZipStatus::Damaged;
                z64Position = locatorPosition - kZip64EndSize;
                if (!readAt(z64Position, z64, sizeof z64) || u32(z64) != kZip64EndSignature) {
                    return ZipStatus::Damaged;
                }
            }
            disk = u32(z64 + 16);
            directoryDisk = u32(z64 + 20);
            entriesOnDisk = u64(z64 + 24);
            entryCount = u64(z64 + 32);
            directorySize = u64(z64 + 40);
            directoryOffset = u64(z64 + 48);
            directoryEnd = z64Position;
        }
    }
    if (disk != 0 || directoryDisk != 0 || entriesOnDisk != entryCount) {
        return ZipStatus::Unsupported;
    }
    if (entryCount > limits.entries) return ZipStatus::TooLarge;
    if (directorySize > directoryEnd) return ZipStatus::Damaged;
    // Data before the archive (a launcher script, a self-extractor) shifts every offset by the
    // same amount; the directory's real start tells by how much.
    const std::uint64_t directoryStart = directoryEnd - directorySize;
    if (directoryOffset > directoryStart) return ZipStatus::Damaged;
    const std::uint64_t shift = directoryStart - directoryOffset;
    if (directorySize / kDirectoryRecordSize < entryCount) return ZipStatus::Damaged;

    std::vector<char> directory(static_cast<std::size_t>(directorySize));
    if (!readAt(directoryStart, directory.data(), directory.size())) return ZipStatus::CannotRead;

    std::size_t at = 0;
    while (at < directory.size()) {
        if (directory.size() - at < kDirectoryRecordSize) return ZipStatus::Damaged;
        const char* r = &directory[at];
        if (u32(r) != kDirectorySignature) return ZipStatus::Damaged;
        ZipEntry entry;
        entry.versionMadeBy = u16(r + 4);
        entry.flags = u16(r + 8);
        entry.method = u16(r + 10);
        entry.crc32 = u32(r + 16);
        entry.compressedSize = u32(r + 20);
        entry.size = u32(r + 24);
        const std::size_t nameLength = u16(r + 28);
        const std::size_t extraLength = u16(r + 30);
        const std::size_t commentLength = u16(r + 32);
        const std::uint16_t startDisk = u16(r + 34);
        entry.externalAttributes = u32(r + 38);
        entry.localHeaderOffset = u32(r + 42);
        const std::size_t recordSize =
            kDirectoryRecordSize + nameLength + extraLength + commentLength;
        if (directory.size() - at < recordSize) return ZipStatus::Damaged;
        entry.name.assign(r + kDirectoryRecordSize, nameLength);
        if (!applyZip64Extra(r + kDirectoryRecordSize + nameLength, extraLength, entry,
                             entry.size == kSaturated32, entry.compressedSize == kSaturated32,
                             entry.localHeaderOffset == kSaturated32)) {
            return ZipStatus::Damaged;
        }
        if (startDisk != 0 && startDisk != kSaturated16) return ZipStatus::Unsupported;
        if (entry.localHeaderOffset > directoryOffset ||
            directoryOffset - entry.localHeaderOffset < kLocalHeaderSize ||
            entry.compressedSize > directoryStart) {
            return ZipStatus::Damaged;
        }
        entry.localHeaderOffset += shift;
        if (entries_.size() == limits.entries) return ZipStatus::TooLarge;
        entries_.push_back(std::move(entry));
        at += recordSize;
    }
    // Writers before Zip64 kept only the low 16 bits of a larger count.
    if (zip64 ? entries_.size() != entryCount : (entries_.size() & 0xFFFF) != entryCount) {
        return ZipStatus::Damaged;
    }

    // Each entry's data must end before the next local header (or the directory). Entries that
    // share a local header overlap by definition: their limit is their own start.
    std::vector<std::pair<std::uint64_t, std::size_t>> starts;
    starts.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        starts.emplace_back(entries_[i].localHeaderOffset, i);
    }
    std::sort(starts.begin(), starts.end());
    for (std::size_t i = 0; i < starts.size();) {
        std::size_t same = i;
        while (same < starts.size() && starts[same].first == starts[i].first) ++same;
        const std::uint64_t limit = same - i > 1           ? starts[i].first
                                    : same < starts.size() ? starts[same].first
                                                           : directoryStart;
        for (std::size_t k = i; k < same; ++k) entries_[starts[k].second].dataLimit = limit;
        i = same;
    }
    return ZipStatus::Ok;
}

ZipStatus ZipArchive::extract(const ZipEntry& entry, const ByteSink& sink) {
    // Bit 0: encrypted; bit 6: strong encryption.
    if ((entry.flags & 0x0041u) != 0) return ZipStatus::Unsupported;
    if (entry.method != 0 && entry.method != Z_DEFLATED) return ZipStatus::Unsupported;

    char header[kLocalHeaderSize];
    if (!readAt(entry.localHeaderOffset, header, sizeof header)) return ZipStatus::Damaged;
    if (u32(header) != kLocalHeaderSignature) return ZipStatus::Damaged;
    const std::size_t nameLength = u16(header + 26);
    const std::size_t extraLength = u16(header + 28);
    // The local name must be the directory's: a reader that went by either would otherwise be
    // told two different things.
    std::string localName(nameLength, '\0');
    if (!readAt(entry.localHeaderOffset + kLocalHeaderSize, localName.data(), nameLength) ||
        localName != entry.name) {
        return ZipStatus::Damaged;
    }
    const std::uint64_t dataStart =
        entry.localHeaderOffset + kLocalHeaderSize + nameLength + extraLength;
    if (dataStart > entry.dataLimit || entry.compressedSize > entry.dataLimit - dataStart) {
        return ZipStatus::Damaged;
    }

    std::uint64_t produced = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto deliver = [&](const char* data, std::size_t length) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(length));
        produced += length;
        return sink(data, length);
    };

    std::vector<char> input(kChunk);
    std::uint64_t position = dataStart;
    std::uint64_t left = entry.compressedSize;
    if (entry.method == 0) {
        if (entry.compressedSize != entry.size) return ZipStatus::Damaged;
        while (left > 0) {
            const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
            if (!readAt(position, input.data(), piece)) return ZipStatus::Damaged;
            if (!deliver(input.data(), piece)) return ZipStatus::CannotWrite;
            position += piece;
            left -= piece;
        }
    } else {
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return ZipStatus::CannotRead;
        const std::unique_ptr<z_stream, int (*)(z_stream*)> ender(&stream, inflateEnd);
        std::vector<char> output(kChunk);
        int result = Z_OK;
        while (result != Z_STREAM_END) {
            if (stream.avail_in == 0 && left > 0) {
                const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
                if (!readAt(position, input.data(), piece)) return ZipStatus::Damaged;
                position += piece;
                left -= piece;
                stream.next_in = reinterpret_cast<Bytef*>(input.data());
                stream.avail_in = static_cast<uInt>(piece);
            }
            stream.next_out = reinterpret_cast<Bytef*>(output.data());
            stream.avail_out = static_cast<uInt>(output.size());
            result = inflate(&stream, Z_NO_FLUSH);
            // Z_BUF_ERROR: no progress with fresh room for output, so the data ended early.
            if (result != Z_OK && result != Z_STREAM_END) return ZipStatus::Damaged;
            const std::size_t got = output.size() - stream.avail_out;
            // Never more than the directory declared: the limits were checked against it.
            if (got > entry.size - produced) return ZipStatus::Damaged;
            if (got > 0 && !deliver(output.data(), got)) return ZipStatus::CannotWrite;
        }
    }
    if (produced != entry.size || crc != entry.crc32) return ZipStatus::Damaged;
    return ZipStatus::Ok;
}

ZipStatus ZipArchive::extractToFile(const ZipEntry& entry, const std::string& targetPath) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(targetPath.c_str(), "wb"));
    if (!file) return ZipStatus::CannotWrite;
    ZipStatus status = extract(entry, [&](const char* data, std::size_t length) {
        return std::fwrite(data, 1, length, file.get()) == length;
    });
    // Closing flushes; a full disk may show only here.
    if (std::fclose(file.release()) != 0 && status == ZipStatus::Ok)
        status = ZipStatus::CannotWrite;
    if (status != ZipStatus::Ok) std::remove(targetPath.c_str());
    return status;
}

ZipStatus ExpansionBudget::reserve(const std::vector<const ZipEntry*>& entries) {
    std::uint64_t total = 0;
    for (const ZipEntry* entry : entries) {
        if (entry->size > limits_.ratioFloor &&
            entry->compressedSize <= std::numeric_limits<std::uint64_t>::max() / limits_.ratio &&
            entry->size > entry->compressedSize * limits_.ratio) {
            return ZipStatus::TooLarge;
        }
        if (entry->size > remaining_ - total) return ZipStatus::TooLarge;
        total += entry->size;
    }
    remaining_ -= total;
    return ZipStatus::Ok;
}

bool splitEntryName(std::string_view name, std::vector<std::string>& parts) {
    parts.clear();
    if (name.empty() || name.front() == '/') return false;
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (name.size() >= 2 && isLetter(name[0]) && name[1] == ':') return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\') return false;
    }
    if (!common::isUtf8(name)) return false;
    if (name.back() == '/') name.remove_suffix(1);
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string_view part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") {
            parts.clear();
            return false;
        }
        parts.emplace_back(part);
        if (end == name.size()) return true;
        start = end + 1;
    }
}

}  // namespace brindle::archive
