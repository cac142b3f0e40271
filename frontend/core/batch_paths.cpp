#include "core/batch_paths.h"

#include "core/path_rules.h"

namespace brindle {
namespace {

// Bytes taken by the character that starts at position i.
std::size_t characterLength(std::string_view text, std::size_t i, const PathStyle& style) {
    const auto byte = static_cast<unsigned char>(text[i]);
    return style.isLeadByte != nullptr && style.isLeadByte(byte) && i + 1 < text.size() ? 2 : 1;
}

bool endsInSeparator(std::string_view text, const PathStyle& style) {
    return !text.empty() && lastSeparator(text, style) == text.size() - 1;
}

}  // namespace

std::size_t boundaryAtOrBefore(std::string_view text, std::size_t limit, const PathStyle& style) {
    if (limit >= text.size()) return text.size();
    if (style.isLeadByte != nullptr) {
        std::size_t i = 0;
        while (i < limit) {
            const std::size_t next = i + characterLength(text, i, style);
            if (next > limit) break;
            i = next;
        }
        return i;
    }
    // Without a lead-byte rule the text is UTF-8, where a character never starts with a
    // continuation byte (10xxxxxx).
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

std::string withoutTrailingSeparators(std::string_view text, const PathStyle& style) {
    while (text.size() > style.rootLength && endsInSeparator(text, style)) text.remove_suffix(1);
    return std::string(text);
}

std::string topFolderText(std::string_view sourceRoot, const PathStyle& style) {
    std::string top(sourceRoot);
    if (top.size() != style.rootLength) top += style.separator;
    return top;
}

std::string relativePart(std::string_view folder, std::size_t sourceRootLength,
                         const PathStyle& style) {
    const std::size_t skip =
        sourceRootLength == style.rootLength ? sourceRootLength : sourceRootLength + 1;
    return folder.size() <= skip ? std::string() : std::string(folder.substr(skip));
}

std::string mirroredFolder(std::string_view outputFolder, std::string_view folder,
                           std::size_t sourceRootLength, const PathStyle& style) {
    std::string mirrored = withTrailingSeparator(outputFolder, style);
    mirrored += relativePart(folder, sourceRootLength, style);
    return mirrored;
}

std::vector<std::string> folderLevels(std::string_view path, const PathStyle& style) {
    std::vector<std::string> levels;
    if (path.size() <= style.rootLength) return levels;
    std::string built(path.substr(0, style.rootLength));
    std::size_t componentStart = style.rootLength;
    // A doubled separator gives an empty component, which adds no level.
    const auto addLevel = [&](std::size_t end) {
        if (end == componentStart) return;
        if (!endsInSeparator(built, style)) built += style.separator;
        built.append(path.substr(componentStart, end - componentStart));
        levels.push_back(built);
    };
    for (std::size_t i = style.rootLength; i < path.size();) {
        const std::size_t length = characterLength(path, i, style);
        if (length == 1 && path[i] == style.separator) {
            addLevel(i);
            componentStart = i + 1;
        }
        i += length;
    }
    addLevel(path.size());
    return levels;
}

bool isClassFileName(std::string_view path, const PathStyle& style) {
    constexpr std::string_view kSuffix = "CLASS";
    if (path.size() <= kSuffix.size()) return false;
    std::string upper(path);
    style.upperCase(upper);
    const std::size_t start = upper.size() - kSuffix.size();
    // The five bytes must be five characters: a trail byte that reads 'C' does not count.
    return std::string_view(upper).substr(start) == kSuffix &&
           boundaryAtOrBefore(upper, start, style) == start;
}

bool isArchiveName(std::string_view path, const PathStyle& style) {
    constexpr std::size_t kSuffixSize = 4;
    if (path.size() <= kSuffixSize) return false;
    std::string suffix(path.substr(path.size() - kSuffixSize));
    style.upperCase(suffix);
    if (suffix != ".JAR" && suffix != ".WAR" && suffix != ".EAR" && suffix != ".ZIP") return false;
    // The dot must be a character of its own, not the trail byte of a double-byte one, and
    // something other than a separator must come before it.
    const std::size_t dot = path.size() - kSuffixSize;
    if (boundaryAtOrBefore(path, dot, style) != dot) return false;
    const std::size_t separator = lastSeparator(path, style);
    return separator == kNotFound ? dot > 0 : dot > separator + 1;
}

std::string archiveMirrorName(std::string_view archiveName,
                              const std::function<bool(const std::string&)>& siblingExists) {
    const std::string base = std::string(archiveName) + ".src";
    std::string name = base;
    for (int next = 1; siblingExists(name); ++next) name = base + "." + std::to_string(next);
    return name;
}

std::string column0Text(std::string_view expectedFile, const PathStyle& style) {
    const std::size_t separator = lastSeparator(expectedFile, style);
    const std::string_view name =
        separator == kNotFound ? expectedFile : expectedFile.substr(separator + 1);
    return std::string(name.substr(0, boundaryAtOrBefore(name, kColumn0Limit, style)));
}

std::string column1Text(std::string_view expectedFile, const PathStyle& style) {
    const std::size_t separator = lastSeparator(expectedFile, style);
    std::string folder(separator == kNotFound ? std::string_view{}
                                              : expectedFile.substr(0, separator));
    if (folder.size() < style.rootLength) {
        folder += style.separator;
    } else if (folder.size() > style.rootLength && endsInSeparator(folder, style)) {
        // The first separator of the doubled pair a batch puts before the file name.
        folder.pop_back();
    }
    return folder;
}

}  // namespace brindle
