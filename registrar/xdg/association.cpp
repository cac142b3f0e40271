#include "registrar/xdg/association.h"

#include <cstddef>
#include <vector>

#include "common/utf8.h"
#include "texts/utf8_texts.h"

namespace brindle::xdg {
namespace {

constexpr std::string_view kDefaultSection = "[Default Applications]";

// A desktop-entry string value: the escapes the format defines for string types.
std::string escapeString(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '\\': escaped += "\\\\"; break;
            case '\n': escaped += "\\n"; break;
            case '\t': escaped += "\\t"; break;
            case '\r': escaped += "\\r"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

std::string_view trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// One line of a key file: its text and what ended it ("\n", or "" for a last line without one).
struct Line {
    std::string_view text;
    std::string_view end;
};

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        if (newline == std::string_view::npos) {
            lines.push_back({text, {}});
            break;
        }
        lines.push_back({text.substr(0, newline), text.substr(newline, 1)});
        text.remove_prefix(newline + 1);
    }
    return lines;
}

bool isSectionHeader(std::string_view line) {
    line = trim(line);
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

bool isMimeTypeKey(std::string_view line) {
    const std::size_t equals = line.find('=');
    return equals != std::string_view::npos && trim(line.substr(0, equals)) == kMimeType;
}

bool isBlank(std::string_view line) { return trim(line).empty(); }

}  // namespace

std::optional<std::string> baseFolder(const char* value, const char* home,
                                      std::string_view fallback) {
    if (value != nullptr && value[0] == '/') return std::string(value);
    if (home == nullptr || home[0] != '/') return std::nullopt;
    std::string folder = home;
    if (folder.back() != '/') folder += '/';
    folder += fallback;
    return folder;
}

std::string execArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    return escapeString(quoted);
}

bool isPlainExecProgram(std::string_view path) {
    if (path.empty() || path.front() != '/' || !common::isUtf8(path)) return false;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = byte >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') ||
                           std::string_view("/._-+,@").find(c) != std::string_view::npos;
        if (!plain) return false;
    }
    return true;
}

std::string launcherPath(std::string_view dataFolder) {
    std::string path(dataFolder);
    path.append("/").append(kLauncherFolder).append("/").append(kLauncherName);
    return path;
}

std::string desktopEntry(std::string_view program, std::string_view programFolder) {
    const std::string folder(programFolder);
    std::string entry = "[Desktop Entry]\n";
    entry += "Type=Application\n";
    entry += "Name=Brindle\n";
    entry += "Comment=" BRINDLE_TEXT_FILE_TYPE_NAME "\n";
    entry += "Exec=" + (isPlainExecProgram(program) ? std::string(program) : execArgument(program)) +
             " %f\n";
    entry += "Icon=" + escapeString(folder + "classfile.png") + "\n";
    entry += "MimeType=" + std::string(kMimeType) + ";\n";
    entry += "Terminal=false\n";
    entry += "NoDisplay=true\n";
    return entry;
}

std::string mimePackage() {
    // An <icon> element takes an icon-theme name, not a file, so the class-file picture is
    // named by the desktop entry only.
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
           "  <mime-type type=\"" + std::string(kMimeType) + "\">\n"
           "    <comment>" BRINDLE_TEXT_FILE_TYPE_NAME "</comment>\n"
           "    <glob pattern=\"*.class\"/>\n"
           "  </mime-type>\n"
           "</mime-info>\n";
}

std::string mergeMimeApps(std::string_view existing) {
    const std::string entry =
        std::string(kMimeType) + "=" + std::string(kDesktopFileName);
    const std::vector<Line> lines = splitLines(existing);
    // What is added ends its lines as the text's first line does.
    const std::string_view lineEnd =
        !lines.empty() && !lines.front().end.empty() && !lines.front().text.empty() &&
                lines.front().text.back() == '\r'
            ? "\r\n"
            : "\n";

    // Where the line goes when the section has none: after the first section's last line
    // that is not blank, so a blank line before the next section stays where it is.
    bool inDefaults = false;
    std::size_t insertAfter = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (isSectionHeader(lines[i].text)) {
            if (inDefaults && insertAfter != lines.size()) break;
            inDefaults = trim(lines[i].text) == kDefaultSection;
            if (inDefaults) insertAfter = i;
        } else if (inDefaults && !isBlank(lines[i].text)) {
            insertAfter = i;
        }
    }
    // A line for the type anywhere in the section (readers merge a repeated section into the
    // first) is replaced in place.
    bool replacing = false;
    inDefaults = false;
    for (const Line& line : lines) {
        if (isSectionHeader(line.text)) {
            inDefaults = trim(line.text) == kDefaultSection;
        } else if (inDefaults && isMimeTypeKey(line.text)) {
            replacing = true;
        }
    }

    std::string merged;
    bool written = false;
    inDefaults = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (isSectionHeader(line.text)) inDefaults = trim(line.text) == kDefaultSection;
        if (inDefaults && !isSectionHeader(line.text) && isMimeTypeKey(line.text)) {
            if (!written) {
                // Keep the line's own ending (CR LF stays CR LF).
                const bool carriageReturn = !line.text.empty() && line.text.back() == '\r';
                merged += entry;
                if (carriageReturn) merged += '\r';
                merged += line.end.empty() ? std::string_view("\n") : line.end;
                written = true;
            }
            continue;
        }
        merged += line.text;
        merged += line.end;
        if (!replacing && i == insertAfter) {
            if (line.end.empty()) merged += lineEnd;
            merged.append(entry).append(lineEnd);
            written = true;
        }
    }
    if (!written) {
        if (!merged.empty() && merged.back() != '\n') merged += lineEnd;
        if (!merged.empty() && !isBlank(lines.back().text)) merged += lineEnd;
        merged.append(kDefaultSection).append(lineEnd).append(entry).append(lineEnd);
    }
    return merged;
}

}  // namespace brindle::xdg
