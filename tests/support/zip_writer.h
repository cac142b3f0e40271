#pragma once
// Writes small zip archives for tests, in the shapes real archives take (stored and deflated
// entries, data descriptors, Zip64 records, data before the archive) and in the shapes of
// attacks and damage (names that climb out, links, sizes that lie, bombs). Deflating goes
// through zlib, as real writers do.

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brindle::testing {

struct ZipFixtureEntry {
    std::string name{};
    std::string data{};
    bool deflate = true;
    bool dataDescriptor = false;       // sizes and checksum after the data, as streaming writers do
    bool zip64 = false;                // sizes and offset in the Zip64 extra field
    std::uint16_t versionMadeBy = 20;  // MS-DOS; (3 << 8) | 20 for Unix
    std::uint32_t externalAttributes = 0;
    std::uint16_t flags = 0;        // added to the flags the writer sets itself
    std::uint16_t method = 0xFFFF;  // overrides the method recorded (not the one used)
    std::optional<std::uint64_t> declaredSize{};  // the uncompressed size the records claim
    std::optional<std::string> localName{};       // the name in the local header, if different
};

// A Unix entry's external attributes for a file mode such as 0100644 or 0120777.
inline std::uint32_t unixMode(std::uint32_t mode) {
    return mode << 16;
}

inline std::string deflateRaw(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

class ZipWriter {
public:
    ZipWriter& add(ZipFixtureEntry entry) {
        entries_.push_back(std::move(entry));
        return *this;
    }
    // Shorthands: a deflated file, and a folder entry.
    ZipWriter& file(const std::string& name, const std::string& data) {
        return add({.name = name, .data = data});
    }
    ZipWriter& folder(const std::string& name) { return add({.name = name, .deflate = false}); }

    // The archive's bytes. prefix goes before it (a launcher script); zip64End writes the Zip64
    // end records too.
    std::string bytes(const std::string& prefix = "", bool zip64End = false) const {
        std::string out = prefix;
        std::string directory;
        for (const ZipFixtureEntry& e : entries_) {
            const std::string stored = e.deflate ? deflateRaw(e.data) : e.data;
            const std::uint64_t size = e.declaredSize.value_or(e.data.size());
            const auto crc =
                static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.data.data()),
                                                 static_cast<uInt>(e.data.size())));
            const std::uint16_t flags =
                static_cast<std::uint16_t>(e.flags | 0x0800 | (e.dataDescriptor ? 0x0008 : 0));
            const std::uint16_t method = e.method != 0xFFFF ? e.method : (e.deflate ? 8 : 0);
            const std::uint64_t offset = out.size() - prefix.size();
            const std::string localName = e.localName.value_or(e.name);

            std::string localExtra;
            if (e.zip64) {
                put16(localExtra, 1);
                put16(localExtra, 16);
                put64(localExtra, e.dataDescriptor ? 0 : size);
                put64(localExtra, e.dataDescriptor ? 0 : stored.size());
            }
            put32(out, 0x04034b50);
            put16(out, e.zip64 ? 45 : 20);
            put16(out, flags);
            put16(out, method);
            put32(out, 0);  // time and date
            put32(out, e.dataDescriptor ? 0 : crc);
            put32(out, e.zip64            ? 0xFFFFFFFF
                       : e.dataDescriptor ? 0
                                          : static_cast<std::uint32_t>(stored.size()));
            put32(out, e.zip64            ? 0xFFFFFFFF
                       : e.dataDescriptor ? 0
                                          : static_cast<std::uint32_t>(size));
            put16(out, static_cast<std::uint16_t>(localName.size()));
            put16(out, static_cast<std::uint16_t>(localExtra.size()));
            out += localName;
            out += localExtra;
            out += stored;
            if (e.dataDescriptor) {
                put32(out, 0x08074b50);
                put32(out, crc);
                if (e.zip64) {
                    put64(out, stored.size());
                    put64(out, size);
                } else {
                    put32(out, static_cast<std::uint32_t>(stored.size()));
                    put32(out, static_cast<std::uint32_t>(size));
                }
            }

            std::string extra;
            if (e.zip64) {
                put16(extra, 1);
                put16(extra, 24);
                put64(extra, size);
                put64(extra, stored.size());
                put64(extra, offset);
            }
            put32(directory, 0x02014b50);
            put16(directory, e.versionMadeBy);
            put16(directory, e.zip64 ? 45 : 20);
            put16(directory, flags);
            put16(directory, method);
            put32(directory, 0);
            put32(directory, crc);
            put32(directory, e.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(stored.size()));
            put32(directory, e.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(size));
            put16(directory, static_cast<std::uint16_t>(e.name.size()));
            put16(directory, static_cast<std::uint16_t>(extra.size()));
            put16(directory, 0);  // comment
            put16(directory, 0);  // disk
            put16(directory, 0);  // internal attributes
            put32(directory, e.externalAttributes);
            put32(directory, e.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(offset));
            directory += e.name;
            directory += extra;
        }
        const std::uint64_t directoryOffset = out.size() - prefix.size();
        out += directory;
        const std::uint64_t count = entries_.size();
        if (zip64End) {
            const std::uint64_t recordOffset = out.size() - prefix.size();
            put32(out, 0x06064b50);
            put64(out, 44);
            put16(out, 45);
            put16(out, 45);
            put32(out, 0);
            put32(out, 0);
            put64(out, count);
            put64(out, count);
            put64(out, directory.size());
            put64(out, directoryOffset);
            put32(out, 0x07064b50);
            put32(out, 0);
            put64(out, recordOffset);
            put32(out, 1);
        }
        put32(out, 0x06054b50);
        put16(out, 0);
        put16(out, 0);
        put16(out, zip64End ? 0xFFFF : static_cast<std::uint16_t>(count));
        put16(out, zip64End ? 0xFFFF : static_cast<std::uint16_t>(count));
        put32(out, zip64End ? 0xFFFFFFFF : static_cast<std::uint32_t>(directory.size()));
        put32(out, zip64End ? 0xFFFFFFFF : static_cast<std::uint32_t>(directoryOffset));
        put16(out, 0);
        return out;
    }

private:
    static void put16(std::string& out, std::uint64_t value) {
        for (int i = 0; i < 2; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
    }
    static void put32(std::string& out, std::uint64_t value) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
    }
    static void put64(std::string& out, std::uint64_t value) {
        for (int i = 0; i < 8; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
    }

    std::vector<ZipFixtureEntry> entries_;
};

}  // namespace brindle::testing
