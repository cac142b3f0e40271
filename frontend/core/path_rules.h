#pragma once
// Path rules shared by single-file mode and the batch: the base name of a class argument, the
// output file the engine is expected to write, and the folder text handed to the engine's -d.
// Lengths and positions count bytes; separator and dot searches step over double-byte characters.

#include <string>
#include <string_view>

#include "core/path_style.h"

namespace brindle {

inline constexpr std::size_t kNotFound = std::string_view::npos;

// Position of the last separator in text, or kNotFound.
std::size_t lastSeparator(std::string_view text, const PathStyle& style);

// Position of the first '.' at or after from, or kNotFound.
std::size_t firstDot(std::string_view text, std::size_t from, const PathStyle& style);

// The text after the last separator up to the first dot after it. A closing quote goes with the
// extension. Without any separator the whole argument is taken, less one opening quote.
std::string baseName(std::string_view classArgument, const PathStyle& style);

// folder + separator (left out when folder is a bare root) + base + ".java". A batch passes its
// mirrored folder with the trailing separator, which gives the doubled separator on purpose.
std::string expectedOutputFile(std::string_view folder, std::string_view base,
                               const PathStyle& style);

// The -d folder text for single-file mode: the output folder, with one separator appended when
// it is no longer than a bare root ("C:" -> "C:\", "C:\" -> "C:\\").
std::string singleFileTargetFolder(std::string_view outputFolder, const PathStyle& style);

// The -d folder text for a batch: the mirrored folder less its one trailing separator, then the
// single-file rule.
std::string batchTargetFolder(std::string_view mirroredFolder, const PathStyle& style);

// The folder of a program file, cut right after its last separator (so it keeps it).
std::string folderOf(std::string_view programPath, const PathStyle& style);

// text with one separator appended unless it already ends in one.
std::string withTrailingSeparator(std::string_view text, const PathStyle& style);

}  // namespace brindle
