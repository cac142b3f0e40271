#include "core/path_rules.h"

#include <gtest/gtest.h>

#include "core/path_styles.h"

namespace brindle {
namespace {

using testing::kLinux;
using testing::kTrailBackslash;
using testing::kWindows;

struct BaseNameCase {
    const PathStyle* style;
    std::string argument;
    std::string base;
};

TEST(BaseName, TakesTheNameAfterTheLastSeparatorUpToTheFirstDot) {
    const std::string gbk = kTrailBackslash;
    const BaseNameCase cases[] = {
        {&kWindows, "C:\\lib\\Foo.class", "Foo"},
        {&kWindows, "C:\\lib\\Foo$Bar.class", "Foo$Bar"},
        {&kWindows, "C:\\lib\\a.b.class", "a"},
        {&kWindows, "C:\\lib\\Foo.Bar.class", "Foo"},
        {&kWindows, "\"C:\\lib\\Foo.class\"", "Foo"},  // the closing quote goes with the extension
        {&kWindows, "C:\\lib.d\\Foo", "Foo"},          // a dot in a folder is not the extension
        {&kWindows, "C:\\lib\\" + gbk + ".class", gbk},      // 擻.class: 94 5C is one character
        {&kWindows, "C:\\" + gbk + "\\Foo.class", "Foo"},    // ...also inside a folder name
        {&kWindows, "C:\\lib\\" + gbk, gbk},
        {&kWindows, "Foo.class", "Foo"},               // no separator at all
        {&kWindows, "\"Foo.class\"", "Foo"},
        {&kWindows, "", ""},
        {&kLinux, "/lib/Foo.class", "Foo"},
        {&kLinux, "/lib/Foo$Bar.class", "Foo$Bar"},
        {&kLinux, "/lib/a.b.class", "a"},
        {&kLinux, "/my dir/\"q\" $x;&\\n/Foo.class", "Foo"},
        {&kLinux, "/源码/类.class", "类"},
        {&kLinux, "/lib/back\\slash.class", "back\\slash"},  // a backslash is a name character
    };
    for (const BaseNameCase& c : cases) {
        EXPECT_EQ(baseName(c.argument, *c.style), c.base) << c.argument;
    }
}

TEST(BaseName, HandlesNamesOfAnyLength) {
    const std::string longName(5000, 'N');
    EXPECT_EQ(baseName("C:\\lib\\" + longName + ".class", kWindows), longName);
}

struct OutputFolderCase {
    const PathStyle* style;
    std::string outputFolder;
    std::string targetFolder;  // what follows -d, inside the quotes
    std::string expectedFile;  // for the class Foo
};

TEST(SingleFileRules, TargetFolderAndExpectedFile) {
    const OutputFolderCase cases[] = {
        {&kWindows, "C:\\out", "C:\\out", "C:\\out\\Foo.java"},
        {&kWindows, "C:", "C:\\", "C:\\Foo.java"},
        {&kWindows, "C:\\", "C:\\\\", "C:\\Foo.java"},
        {&kWindows, "D:\\src\\out", "D:\\src\\out", "D:\\src\\out\\Foo.java"},
        {&kLinux, "/out", "/out", "/out/Foo.java"},
        {&kLinux, "/", "//", "/Foo.java"},
        {&kLinux, "/o", "/o", "/o/Foo.java"},
    };
    for (const OutputFolderCase& c : cases) {
        EXPECT_EQ(singleFileTargetFolder(c.outputFolder, *c.style), c.targetFolder) << c.outputFolder;
        EXPECT_EQ(expectedOutputFile(c.outputFolder, "Foo", *c.style), c.expectedFile)
            << c.outputFolder;
    }
}

TEST(BatchRules, MirroredFolderKeepsItsSeparatorInTheExpectedFile) {
    const OutputFolderCase cases[] = {
        {&kWindows, "C:\\out\\a\\", "C:\\out\\a", "C:\\out\\a\\\\Foo.java"},
        {&kWindows, "D:\\out\\", "D:\\out", "D:\\out\\\\Foo.java"},
        {&kWindows, "C:\\", "C:\\", "C:\\Foo.java"},
        {&kWindows, "C:\\" + kTrailBackslash + "\\", "C:\\" + kTrailBackslash,
         "C:\\" + kTrailBackslash + "\\\\Foo.java"},
        {&kLinux, "/out/a/", "/out/a", "/out/a//Foo.java"},
        {&kLinux, "/", "/", "/Foo.java"},
    };
    for (const OutputFolderCase& c : cases) {
        EXPECT_EQ(batchTargetFolder(c.outputFolder, *c.style), c.targetFolder) << c.outputFolder;
        EXPECT_EQ(expectedOutputFile(c.outputFolder, "Foo", *c.style), c.expectedFile)
            << c.outputFolder;
    }
}

TEST(BatchRules, TrailByteIsNotTakenForTheTrailingSeparator) {
    // "C:\x擻" ends in the byte 0x5C, which is part of 擻, not a separator.
    const std::string folder = "C:\\x" + kTrailBackslash;
    EXPECT_EQ(batchTargetFolder(folder, kWindows), folder);
    EXPECT_EQ(withTrailingSeparator(folder, kWindows), folder + "\\");
    EXPECT_EQ(withTrailingSeparator("C:\\x\\", kWindows), "C:\\x\\");
}

TEST(ProgramFolder, IsCutAfterTheLastSeparator) {
    EXPECT_EQ(folderOf("C:\\Program Files\\Brindle\\Brindle.exe", kWindows),
              "C:\\Program Files\\Brindle\\");
    EXPECT_EQ(folderOf("C:\\" + kTrailBackslash + "\\Brindle.exe", kWindows),
              "C:\\" + kTrailBackslash + "\\");
    EXPECT_EQ(folderOf("/opt/brindle/brindle", kLinux), "/opt/brindle/");
    EXPECT_EQ(folderOf("brindle", kLinux), "");
}

}  // namespace
}  // namespace brindle
