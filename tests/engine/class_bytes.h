#pragma once
// Class file bytes for the engine tests, built field by field.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jadtest {

// Appends class file fields big-endian.
struct ClassBytes {
    std::vector<std::uint8_t> data;

    ClassBytes& u1(unsigned v);
    ClassBytes& u2(unsigned v);
    ClassBytes& u4(std::uint32_t v);
    ClassBytes& raw(std::string_view bytes);
    ClassBytes& utf8(std::string_view bytes);  // a whole CONSTANT_Utf8 entry

    [[nodiscard]] std::string text() const { return {data.begin(), data.end()}; }
};

// Magic and version 61 (Java 17).
ClassBytes classHeader();

// A class file with pool {1: Utf8 name, 2: Class #1} and this_class = 2,
// followed by super_class, interfaces, fields, methods and attributes (all empty).
std::vector<std::uint8_t> minimalClass(std::string_view internalName);

}  // namespace jadtest
