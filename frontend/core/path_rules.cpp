#include "core/path_rules.h"

namespace brindle {
namespace {

// Calls visit(position) for every single-byte character of text, skipping the trail byte of a
// double-byte character. Stops early when visit returns true; returns that position.
template <typename Visit>
std::size_t scan(std::string_view text, std::size_t from, const PathStyle& style, Visit visit) {
    for (std::size_t i = from; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (style.isLeadByte != nullptr && style.isLeadByte(byte) && i + 1 < text.size()) {
            ++i;
            continue;
        }
        if (visit(i)) return i;
    }
    return kNotFound;
}

}  // namespace

std::size_t lastSeparator(std::string_view text, const PathStyle& style) {
    std::size_t last = kNotFound;
    scan(text, 0, style, [&](std::size_t i) {
        if (text[i] == style.separator) last = i;
        return false;
    });
    return last;
}

std::size_t firstDot(std::string_view text, std::size_t from, const PathStyle& style) {
    return scan(text, from, style, [&](std::size_t i) { return text[i] == '.'; });
}

std::string baseName(std::string_view classArgument, const PathStyle& style) {
    const std::size_t separator = lastSeparator(classArgument, style);
    std::size_t start = separator == kNotFound ? 0 : separator + 1;
    if (separator == kNotFound && !classArgument.empty() && classArgument.front() == '"') start = 1;
    // The dot search restarts at the name's first byte, so a lead byte before it cannot pair
    // with the name's first character.
    const std::string_view name = classArgument.substr(start);
    const std::size_t dot = firstDot(name, 0, style);
    return std::string(dot == kNotFound ? name : name.substr(0, dot));
}

std::string expectedOutputFile(std::string_view folder, std::string_view base,
                               const PathStyle& style) {
    std::string path(folder);
    if (folder.size() != style.rootLength) path += style.separator;
    path += base;
    path += ".java";
    return path;
}

std::string singleFileTargetFolder(std::string_view outputFolder, const PathStyle& style) {
    std::string folder(outputFolder);
    if (folder.size() <= style.rootLength) folder += style.separator;
    return folder;
}

std::string batchTargetFolder(std::string_view mirroredFolder, const PathStyle& style) {
    std::string_view folder = mirroredFolder;
    if (!folder.empty() && folder.back() == style.separator &&
        lastSeparator(folder, style) == folder.size() - 1) {
        folder.remove_suffix(1);
    }
    return singleFileTargetFolder(folder, style);
}

std::string folderOf(std::string_view programPath, const PathStyle& style) {
    const std::size_t separator = lastSeparator(programPath, style);
    return std::string(separator == kNotFound ? std::string_view{}
                                              : programPath.substr(0, separator + 1));
}

std::string withTrailingSeparator(std::string_view text, const PathStyle& style) {
    std::string result(text);
    const std::size_t separator = lastSeparator(text, style);
    if (text.empty() || separator != text.size() - 1) result += style.separator;
    return result;
}

}  // namespace brindle
