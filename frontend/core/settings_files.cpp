#include "core/settings_files.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace brindle {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

std::optional<std::string> parseSettingsLine(std::string_view fileBytes) {
    const std::string_view text = fileBytes.substr(0, fileBytes.find('\0'));
    if (text.empty()) return std::nullopt;

    // Take what a line read of the limit takes: up to and including the first LF.
    std::size_t taken = std::min(text.size(), kSettingsReadLimit);
    const std::size_t lineFeed = text.substr(0, taken).find('\n');
    if (lineFeed != std::string_view::npos) taken = lineFeed + 1;
    std::string_view line = text.substr(0, taken);

    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    } else if (!line.empty() && line.back() == '\r' && taken < text.size() && text[taken] == '\n') {
        // The limit fell between CR and LF: the CR is the line end, not part of the value.
        line.remove_suffix(1);
    }
    return std::string(line);
}

std::optional<std::string> readSettingsFile(const std::string& programFolder, const char* name) {
    const File file(std::fopen((programFolder + name).c_str(), "rb"));
    if (!file) return std::nullopt;
    // One byte past the limit tells whether a CR at the limit is followed by its LF.
    char buffer[kSettingsReadLimit + 1];
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    return parseSettingsLine(std::string_view(buffer, got));
}

bool writeSettingsFile(const std::string& programFolder, const char* name, std::string_view value) {
    File file(std::fopen((programFolder + name).c_str(), "wb"));
    if (!file) return false;
    const bool written = std::fwrite(value.data(), 1, value.size(), file.get()) == value.size() &&
                         std::fwrite("\r\n", 1, 2, file.get()) == 2;
    // Closing flushes; a full disk shows up only here.
    return std::fclose(file.release()) == 0 && written;
}

std::optional<std::string> readViewerCommand(const std::string& programFolder) {
    auto viewer = readSettingsFile(programFolder, kViewerSettingsFile);
    if (viewer) *viewer += ' ';
    return viewer;
}

std::optional<std::string> readOutputFolder(const std::string& programFolder) {
    return readSettingsFile(programFolder, kOutputSettingsFile);
}

bool writeViewerCommand(const std::string& programFolder, std::string_view viewerPath) {
    return writeSettingsFile(programFolder, kViewerSettingsFile, viewerPath);
}

bool writeOutputFolder(const std::string& programFolder, std::string_view outputFolder) {
    return writeSettingsFile(programFolder, kOutputSettingsFile, outputFolder);
}

}  // namespace brindle
