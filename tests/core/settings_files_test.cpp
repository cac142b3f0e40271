#include "core/settings_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "core/path_styles.h"
#include "support/temp_folder.h"

namespace brindle {
namespace {

using testing::kLinux;
using testing::kWindows;
using testing::TempFolder;

struct LineCase {
    std::string bytes;
    std::optional<SettingsLine> line;
};

TEST(SettingsLine, RemovesOnlyARealLineEndAndTellsACutLine) {
    const std::string long279(279, 'x');
    const LineCase cases[] = {
        {"C:\\Tools\\Editor.exe\r\n", SettingsLine{"C:\\Tools\\Editor.exe"}},
        {"D:\\src\\out\r\n", SettingsLine{"D:\\src\\out"}},
        {"\r\n", SettingsLine{""}},
        {"\n", SettingsLine{""}},
        {"D:\\out\n", SettingsLine{"D:\\out"}},       // a lone LF is a line end too
        {"D:\\out", SettingsLine{"D:\\out"}},         // no line end: every character stays
        {"x", SettingsLine{"x"}},
        {"D:\\out\r", SettingsLine{"D:\\out\r"}},     // a CR alone is no line end
        {"first\r\nsecond\r\n", SettingsLine{"first"}},
        {"", std::nullopt},                           // no line at all: the setting keeps its value
        {std::string("ab\0cd\r\n", 7), SettingsLine{"ab"}},
        {std::string(277, 'x') + "\r\n", SettingsLine{std::string(277, 'x')}},
        {std::string(278, 'x') + "\r\n", SettingsLine{std::string(278, 'x')}},
        {long279 + "\r\n", SettingsLine{long279}},
        {long279 + "\n", SettingsLine{long279}},
        {long279, SettingsLine{long279}},
        // Longer than the limit: cut at the limit, and known to be cut.
        {long279 + "yyyy\r\n", SettingsLine{long279, true}},
        {long279 + "y", SettingsLine{long279, true}},
        {long279 + "\r", SettingsLine{long279, true}},
    };
    for (const LineCase& c : cases) {
        EXPECT_EQ(parseSettingsLine(c.bytes), c.line) << '"' << c.bytes << '"';
    }
}

TEST(SettingsFiles, WhatIsWrittenReadsBackExactly) {
    const TempFolder folder;
    for (const std::string& value :
         {std::string(), std::string("C"), std::string("D:\\src\\out"),
          std::string("/home/u/my out/源码"), std::string(279, 'p')}) {
        ASSERT_TRUE(writeOutputFolder(folder.text(), value));
        EXPECT_EQ(readSettingsFile(folder.text(), kOutputSettingsFile), SettingsLine{value});
        ASSERT_TRUE(writeViewerCommand(folder.text(), value));
        EXPECT_EQ(readViewerCommand(folder.text()), value + " ");
    }

    std::ifstream written(folder.path() / kOutputSettingsFile, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(written), {}};
    EXPECT_EQ(bytes, std::string(279, 'p') + "\r\n");
}

// CodeOut.ini is held to the window's rules: what the window would refuse leaves the default.
TEST(SettingsFiles, AnOutputFolderTheWindowWouldRefuseIsNotTaken) {
    const TempFolder folder;
    struct Case {
        const PathStyle* style;
        std::string bytes;
        std::optional<std::string> folder;
    };
    const std::string long278 = "/" + std::string(278, 'o');
    const Case cases[] = {
        {&kLinux, "/srv/out\r\n", "/srv/out"},
        {&kLinux, long278 + "\r\n", long278},
        {&kLinux, "\r\n", std::nullopt},               // an empty line would name the root
        {&kLinux, "\n", std::nullopt},
        {&kLinux, "/\r\n", std::nullopt},
        {&kLinux, long278 + "o\r\n", std::nullopt},     // cut at the limit
        {&kLinux, long278 + "o", std::nullopt},
        {&kWindows, "D:\\out\r\n", "D:\\out"},
        {&kWindows, "\r\n", std::nullopt},
        {&kWindows, "D:\\\r\n", std::nullopt},
        {&kWindows, "D:\r\n", std::nullopt},
    };
    for (const Case& c : cases) {
        std::ofstream(folder.path() / kOutputSettingsFile, std::ios::binary) << c.bytes;
        EXPECT_EQ(readOutputFolder(folder.text(), *c.style), c.folder) << '"' << c.bytes << '"';
    }
}

TEST(SettingsFiles, MissingOrEmptyFileGivesNothing) {
    const TempFolder folder;
    EXPECT_EQ(readViewerCommand(folder.text()), std::nullopt);
    std::ofstream(folder.path() / kViewerSettingsFile, std::ios::binary).flush();
    EXPECT_EQ(readViewerCommand(folder.text()), std::nullopt);
    std::ofstream(folder.path() / kViewerSettingsFile, std::ios::binary) << "\r\n";
    EXPECT_EQ(readViewerCommand(folder.text()), " ");
}

TEST(SettingsFiles, WriteIntoAMissingFolderFails) {
    const TempFolder folder;
    EXPECT_FALSE(writeOutputFolder(folder.text() + "missing" +
                                       static_cast<char>(std::filesystem::path::preferred_separator),
                                   "D:\\out"));
}

}  // namespace
}  // namespace brindle
