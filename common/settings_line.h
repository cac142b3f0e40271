#pragma once
// The one-line settings files beside Brindle's programs (the front-end's viewer and output
// folder, the engine's choice of decompiler): one line of text followed by CR LF, nothing else.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace brindle::common {

// At most this many characters of the first line are read, less its line end.
inline constexpr std::size_t kSettingsReadLimit = 279;

// The first line of a settings file.
struct SettingsLine {
    std::string value;  // at most kSettingsReadLimit characters, without the line end
    bool cut = false;   // the line went on past the limit: value is only its start
    bool operator==(const SettingsLine&) const = default;
};

// The first line held by a settings file's bytes, less a real line end (CR LF or a lone LF;
// without one the line ends with the bytes). Nothing for an empty file. Stops at a NUL byte,
// which no path can hold.
std::optional<SettingsLine> parseSettingsLine(std::string_view fileBytes);

}  // namespace brindle::common
