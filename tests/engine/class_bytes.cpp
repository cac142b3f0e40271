#include "class_bytes.h"

namespace jadtest {

ClassBytes& ClassBytes::u1(unsigned v) {
    data.push_back(static_cast<std::uint8_t>(v & 0xFF));
    return *this;
}

ClassBytes& ClassBytes::u2(unsigned v) {
    return u1(v >> 8).u1(v);
}

ClassBytes& ClassBytes::u4(std::uint32_t v) {
    return u2(v >> 16).u2(v & 0xFFFF);
}

ClassBytes& ClassBytes::raw(std::string_view bytes) {
    for (const char c : bytes) u1(static_cast<unsigned char>(c));
    return *this;
}

ClassBytes& ClassBytes::utf8(std::string_view bytes) {
    return u1(1).u2(static_cast<unsigned>(bytes.size())).raw(bytes);
}

ClassBytes classHeader() {
    ClassBytes b;
    b.u4(0xCAFEBABE).u2(0).u2(61);
    return b;
}

std::vector<std::uint8_t> minimalClass(std::string_view internalName) {
    ClassBytes b = classHeader();
    b.u2(3).utf8(internalName).u1(7).u2(1);
    b.u2(0x0021).u2(2).u2(0).u2(0).u2(0).u2(0).u2(0);
    return b.data;
}

}  // namespace jadtest
