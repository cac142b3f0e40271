#include "engine/core/class_name.h"

#include <optional>
#include <vector>

namespace brindle::engine {
namespace {

enum Tag : std::uint8_t {
    kNone = 0,  // slot 0 and the unusable slot after a Long or Double
    kUtf8 = 1,
    kInteger = 3,
    kFloat = 4,
    kLong = 5,
    kDouble = 6,
    kClass = 7,
    kString = 8,
    kFieldref = 9,
    kMethodref = 10,
    kInterfaceMethodref = 11,
    kNameAndType = 12,
    kMethodHandle = 15,
    kMethodType = 16,
    kDynamic = 17,
    kInvokeDynamic = 18,
    kModule = 19,
    kPackage = 20,
};

// Size of an entry's body after its tag byte; a Utf8 entry's body also has
// the string bytes, added by the caller. nullopt for a tag we do not know.
std::optional<std::size_t> fixedBodySize(std::uint8_t tag) {
    switch (tag) {
        case kUtf8:
        case kClass:
        case kString:
        case kMethodType:
        case kModule:
        case kPackage:
            return 2;
        case kMethodHandle:
            return 3;
        case kInteger:
        case kFloat:
        case kFieldref:
        case kMethodref:
        case kInterfaceMethodref:
        case kNameAndType:
        case kDynamic:
        case kInvokeDynamic:
            return 4;
        case kLong:
        case kDouble:
            return 8;
        default:
            return std::nullopt;
    }
}

std::uint16_t u2(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

void appendUtf8(std::string& out, char32_t cp) {
    auto put = [&out](std::uint32_t byte) { out.push_back(static_cast<char>(byte)); };
    const auto c = static_cast<std::uint32_t>(cp);
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6));
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

// Class files store strings as "modified UTF-8": UTF-16 code units in one to
// three bytes each, NUL as C0 80, supplementary characters as two encoded
// surrogates. The name ends up in a file name, so NUL and unpaired surrogates
// are refused.
std::optional<std::string> decodeModifiedUtf8(std::span<const std::uint8_t> in) {
    std::vector<std::uint16_t> units;
    std::size_t i = 0;
    auto continuation = [&in](std::size_t at) { return at < in.size() && (in[at] & 0xC0) == 0x80; };
    while (i < in.size()) {
        const std::uint8_t b = in[i];
        if (b >= 0x01 && b <= 0x7F) {
            units.push_back(b);
            i += 1;
        } else if ((b & 0xE0) == 0xC0 && continuation(i + 1)) {
            units.push_back(static_cast<std::uint16_t>(((b & 0x1F) << 6) | (in[i + 1] & 0x3F)));
            i += 2;
        } else if ((b & 0xF0) == 0xE0 && continuation(i + 1) && continuation(i + 2)) {
            units.push_back(static_cast<std::uint16_t>(
                ((b & 0x0F) << 12) | ((in[i + 1] & 0x3F) << 6) | (in[i + 2] & 0x3F)));
            i += 3;
        } else {
            return std::nullopt;
        }
    }

    std::string out;
    for (std::size_t k = 0; k < units.size(); ++k) {
        const std::uint16_t u = units[k];
        if (u == 0) return std::nullopt;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (k + 1 >= units.size() || units[k + 1] < 0xDC00 || units[k + 1] > 0xDFFF)
                return std::nullopt;
            const auto high = static_cast<char32_t>(u - 0xD800);
            const auto low = static_cast<char32_t>(units[k + 1] - 0xDC00);
            appendUtf8(out, 0x10000 + (high << 10) + low);
            ++k;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return std::nullopt;
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

ClassNameResult failure(std::string reason) {
    ClassNameResult r;
    r.error = std::move(reason);
    return r;
}

ClassNameResult malformed(const std::string& what) {
    return failure("malformed class file: " + what);
}

}  // namespace

ClassNameResult readClassName(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 4 || bytes[0] != 0xCA || bytes[1] != 0xFE || bytes[2] != 0xBA ||
        bytes[3] != 0xBE)
        return failure("not a class file");
    // magic, minor_version, major_version, constant_pool_count
    if (bytes.size() < 10) return failure("truncated class file (in the header)");

    const std::uint16_t count = u2(bytes, 8);
    if (count == 0) return malformed("constant pool count is 0");

    struct Entry {
        std::uint8_t tag = kNone;
        std::size_t body = 0;  // offset of the bytes after the tag
    };
    std::vector<Entry> pool(count);
    std::size_t pos = 10;
    auto available = [&](std::size_t n) { return bytes.size() - pos >= n; };

    for (std::size_t i = 1; i < count; ++i) {
        const std::string where = "constant pool entry " + std::to_string(i);
        if (!available(1)) return failure("truncated class file (at " + where + ")");
        const std::uint8_t tag = bytes[pos++];
        const std::optional<std::size_t> fixed = fixedBodySize(tag);
        if (!fixed)
            return malformed("unknown constant pool tag " + std::to_string(tag) + " at entry " +
                             std::to_string(i));
        std::size_t size = *fixed;
        if (!available(size)) return failure("truncated class file (in " + where + ")");
        if (tag == kUtf8) {
            size += u2(bytes, pos);
            if (!available(size)) return failure("truncated class file (in " + where + ")");
        }
        pool[i] = {tag, pos};
        pos += size;
        if (tag == kLong || tag == kDouble) {
            // These take two slots; the second one must still be inside the pool.
            if (i + 1 >= count)
                return malformed("Long/Double entry " + std::to_string(i) +
                                 " overruns the constant pool");
            ++i;
        }
    }

    // access_flags, this_class
    if (!available(4)) return failure("truncated class file (after the constant pool)");
    const std::uint16_t thisClass = u2(bytes, pos + 2);
    if (thisClass == 0 || thisClass >= count)
        return malformed("this_class index " + std::to_string(thisClass) + " is out of range");
    if (pool[thisClass].tag != kClass)
        return malformed("this_class entry " + std::to_string(thisClass) + " is not a Class entry");

    const std::uint16_t nameIndex = u2(bytes, pool[thisClass].body);
    if (nameIndex == 0 || nameIndex >= count)
        return malformed("class name index " + std::to_string(nameIndex) + " is out of range");
    if (pool[nameIndex].tag != kUtf8)
        return malformed("class name entry " + std::to_string(nameIndex) + " is not a Utf8 entry");

    const std::size_t body = pool[nameIndex].body;
    const std::optional<std::string> name =
        decodeModifiedUtf8(bytes.subspan(body + 2, u2(bytes, body)));
    if (!name) return malformed("class name is not valid modified UTF-8");

    const std::size_t slash = name->rfind('/');
    ClassNameResult r;
    r.internalName = *name;
    r.simpleName = slash == std::string::npos ? *name : name->substr(slash + 1);
    if (r.simpleName.empty()) return malformed("class name \"" + *name + "\" has no simple name");
    return r;
}

ClassNameResult readClassName(std::string_view bytes) {
    return readClassName(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace brindle::engine
