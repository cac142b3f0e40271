#include "core/settings_files.h"

#include <cstdio>
#include <memory>
#include <utility>

namespace brindle {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

std::optional<SettingsLine> readSettingsFile(const std::string& programFolder, const char* name) {
    const File file(std::fopen((programFolder + name).c_str(), "rb"));
    if (!file) return std::nullopt;
    // Two bytes past the limit tell a line that ends right there (CR LF) from one that is cut.
    char buffer[kSettingsReadLimit + 2];
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

OutputFolderFault outputFolderFault(std::string_view folder, const PathStyle& style) {
    if (folder.size() <= style.rootLength) return OutputFolderFault::Root;
    if (folder.size() > kSettingsReadLimit) return OutputFolderFault::TooLong;
    return OutputFolderFault::None;
}

std::optional<std::string> readViewerCommand(const std::string& programFolder) {
    auto line = readSettingsFile(programFolder, kViewerSettingsFile);
    if (!line) return std::nullopt;
    return line->value + ' ';
}

std::optional<std::string> readOutputFolder(const std::string& programFolder,
                                            const PathStyle& style) {
    auto line = readSettingsFile(programFolder, kOutputSettingsFile);
    // A cut line is no folder the user chose, and an empty one would name the root.
    if (!line || line->cut || outputFolderFault(line->value, style) != OutputFolderFault::None) {
        return std::nullopt;
    }
    return std::move(line->value);
}

bool writeViewerCommand(const std::string& programFolder, std::string_view viewerPath) {
    return writeSettingsFile(programFolder, kViewerSettingsFile, viewerPath);
}

bool writeOutputFolder(const std::string& programFolder, std::string_view outputFolder) {
    return writeSettingsFile(programFolder, kOutputSettingsFile, outputFolder);
}

}  // namespace brindle
