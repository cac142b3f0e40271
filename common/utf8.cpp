#include "common/utf8.h"

#include <cstddef>
#include <cstdint>

namespace brindle::common {

bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == 0) return false;
        if (byte < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t lowest = 0;
        if (byte >= 0xC2 && byte <= 0xDF) {
            length = 2;
            lowest = 0x80;
        } else if (byte >= 0xE0 && byte <= 0xEF) {
            length = 3;
            lowest = 0x800;
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            length = 4;
            lowest = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < length) return false;
        std::uint32_t code = byte & (0x7Fu >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0u) != 0x80u) return false;
            code = (code << 6) | (next & 0x3Fu);
        }
        if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

}  // namespace brindle::common
