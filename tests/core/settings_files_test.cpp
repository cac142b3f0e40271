#include "core/settings_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "support/temp_folder.h"

namespace brindle {
namespace {

using testing::TempFolder;

struct LineCase {
    std::string bytes;
    std::optional<std::string> value;
};

TEST(SettingsLine, RemovesOnlyARealLineEnd) {
    const std::string long279(279, 'x');
    const LineCase cases[] = {
        {"C:\\Tools\\Editor.exe\r\n", "C:\\Tools\\Editor.exe"},
        {"D:\\src\\out\r\n", "D:\\src\\out"},
        {"\r\n", ""},
        {"\n", ""},
        {"D:\\out\n", "D:\\out"},       // a lone LF is a line end too
        {"D:\\out", "D:\\out"},         // no line end: every character stays
        {"x", "x"},
        {"D:\\out\r", "D:\\out\r"},     // a CR alone is no line end
        {"first\r\nsecond\r\n", "first"},
        {"", std::nullopt},             // no line at all: the setting keeps its value
        {std::string("ab\0cd\r\n", 7), "ab"},
        {std::string(277, 'x') + "\r\n", std::string(277, 'x')},
        {std::string(278, 'x') + "\r\n", std::string(278, 'x')},  // the limit falls on the CR
        {long279 + "\r\n", long279},
        {long279 + "yyyy\r\n", long279},                          // cut at the limit
    };
    for (const LineCase& c : cases) {
        EXPECT_EQ(parseSettingsLine(c.bytes), c.value) << '"' << c.bytes << '"';
    }
}

TEST(SettingsFiles, WhatIsWrittenReadsBackExactly) {
    const TempFolder folder;
    for (const std::string& value :
         {std::string(), std::string("C"), std::string("D:\\src\\out"),
          std::string("/home/u/my out/源码"), std::string(279, 'p')}) {
        ASSERT_TRUE(writeOutputFolder(folder.text(), value));
        EXPECT_EQ(readOutputFolder(folder.text()), value);
        ASSERT_TRUE(writeViewerCommand(folder.text(), value));
        EXPECT_EQ(readViewerCommand(folder.text()), value + " ");
    }

    std::ifstream written(folder.path() / kOutputSettingsFile, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(written), {}};
    EXPECT_EQ(bytes, std::string(279, 'p') + "\r\n");
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
