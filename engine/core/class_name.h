// Reads the name of the class that a Java class file defines.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace brindle::engine {

struct ClassNameResult {
    std::string internalName;  // "pkg/Outer$Inner", converted to standard UTF-8
    std::string simpleName;    // "Outer$Inner": the internal name after its last '/'
    std::string error;         // empty on success, else a short reason ("not a class file", ...)

    [[nodiscard]] bool ok() const { return error.empty(); }
};

// Checks the magic number, walks the constant pool and follows this_class to
// the class name. Never reads outside `bytes`: a short or malformed file gives
// an error text, never a crash.
ClassNameResult readClassName(std::span<const std::uint8_t> bytes);
ClassNameResult readClassName(std::string_view bytes);

}  // namespace brindle::engine
