// The batch's path rules in both path styles, on any host.

#include "core/batch_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/path_styles.h"

namespace brindle {
namespace {

using testing::kLinux;
using testing::kTrailBackslash;
using testing::kWindows;

struct MirrorCase {
    const PathStyle* style;
    std::string sourceRoot;
    std::string top;  // the folder the walk starts in
    std::string folder;
    std::string output;
    std::string relative;
    std::string mirrored;
};

TEST(BatchPaths, RelativePartAndMirroredFolder) {
    const MirrorCase cases[] = {
        {&kWindows, "C:\\src", "C:\\src\\", "C:\\src\\", "D:\\out", "", "D:\\out\\"},
        {&kWindows, "C:\\src", "C:\\src\\", "C:\\src\\a\\b\\", "D:\\out", "a\\b\\",
         "D:\\out\\a\\b\\"},
        {&kWindows, "C:\\src", "C:\\src\\", "C:\\src\\a", "D:\\out\\", "a", "D:\\out\\a"},
        {&kWindows, "C:\\src", "C:\\src\\", "C:\\src\\x\\", "D:\\", "x\\", "D:\\x\\"},
        // A source that is a root: the relative part starts right after "C:\".
        {&kWindows, "C:\\", "C:\\", "C:\\", "D:\\out", "", "D:\\out\\"},
        {&kWindows, "C:\\", "C:\\", "C:\\x\\", "D:\\out", "x\\", "D:\\out\\x\\"},
        {&kWindows, "C:\\src", "C:\\src\\", "C:\\s", "D:\\out", "", "D:\\out\\"},  // too short
        {&kLinux, "/src", "/src/", "/src/", "/out", "", "/out/"},
        {&kLinux, "/src", "/src/", "/src/a/b/", "/out", "a/b/", "/out/a/b/"},
        {&kLinux, "/src", "/src/", "/src/x/", "/", "x/", "/x/"},
        {&kLinux, "/", "/", "/", "/out", "", "/out/"},
        {&kLinux, "/", "/", "/x/", "/out", "x/", "/out/x/"},
    };
    for (const MirrorCase& c : cases) {
        const PathStyle& style = *c.style;
        EXPECT_EQ(topFolderText(c.sourceRoot, style), c.top) << c.sourceRoot;
        EXPECT_EQ(relativePart(c.folder, c.sourceRoot.size(), style), c.relative) << c.folder;
        EXPECT_EQ(mirroredFolder(c.output, c.folder, c.sourceRoot.size(), style), c.mirrored)
            << c.folder;
    }
}

TEST(BatchPaths, TrailingSeparatorsGoButARootStays) {
    EXPECT_EQ(withoutTrailingSeparators("C:\\src\\", kWindows), "C:\\src");
    EXPECT_EQ(withoutTrailingSeparators("C:\\src\\\\", kWindows), "C:\\src");
    EXPECT_EQ(withoutTrailingSeparators("C:\\", kWindows), "C:\\");
    EXPECT_EQ(withoutTrailingSeparators("C:\\x" + kTrailBackslash, kWindows),
              "C:\\x" + kTrailBackslash);
    EXPECT_EQ(withoutTrailingSeparators("/src//", kLinux), "/src");
    EXPECT_EQ(withoutTrailingSeparators("//", kLinux), "/");
}

struct LevelsCase {
    const PathStyle* style;
    std::string path;
    std::vector<std::string> levels;
};

TEST(BatchPaths, MakingFoldersCreatesEveryLevelBelowTheRoot) {
    const std::string gbk = kTrailBackslash;
    const LevelsCase cases[] = {
        {&kWindows, "D:\\out\\a\\b", {"D:\\out", "D:\\out\\a", "D:\\out\\a\\b"}},
        {&kWindows, "D:\\out\\\\a\\", {"D:\\out", "D:\\out\\a"}},
        {&kWindows, "D:\\" + gbk + "\\a", {"D:\\" + gbk, "D:\\" + gbk + "\\a"}},
        {&kWindows, "D:\\a", {"D:\\a"}},
        {&kWindows, "D:\\", {}},
        {&kWindows, "D:", {}},
        {&kLinux, "/out/a", {"/out", "/out/a"}},
        {&kLinux, "/out/a/", {"/out", "/out/a"}},
        {&kLinux, "/", {}},
    };
    for (const LevelsCase& c : cases) {
        EXPECT_EQ(folderLevels(c.path, *c.style), c.levels) << c.path;
    }
}

struct ClassFileCase {
    const PathStyle* style;
    std::string path;
    bool isClassFile;
};

TEST(BatchPaths, ClassFileTestLooksAtTheLastFiveCharacters) {
    const ClassFileCase cases[] = {
        {&kWindows, "C:\\s\\Foo.class", true},
        {&kWindows, "C:\\s\\Foo.CLASS", true},
        {&kWindows, "C:\\s\\Foo.Class", true},
        {&kWindows, "C:\\s\\myclass", true},
        {&kWindows, "xclass", true},
        {&kWindows, "class", false},  // not longer than five bytes
        {&kWindows, "C:\\s\\readme.txt", false},
        {&kWindows, "C:\\s\\Foo.class.bak", false},
        {&kWindows, "C:\\s\\Foo.clas", false},
        // 0x81 0x43 is one double-byte character whose trail byte reads 'C'.
        {&kWindows,
         "C:\\s\\\x81"
         "CLASS",
         false},
        {&kWindows,
         "C:\\s\\\x81\x81"
         "CLASS",
         true},
        {&kLinux, "/s/Foo.class", true},
        {&kLinux, "/s/Foo.CLASS", true},
        {&kLinux, "/s/类class", true},
        {&kLinux, "/s/readme.txt", false},
        {&kLinux, "/s/Foo.class.bak", false},
    };
    for (const ClassFileCase& c : cases) {
        EXPECT_EQ(isClassFileName(c.path, *c.style), c.isClassFile) << c.path;
    }
}

struct ArchiveCase {
    const PathStyle* style;
    std::string path;
    bool isArchive;
};

TEST(BatchPaths, ArchivesByNameAndTheFoldersTheirSourcesGoTo) {
    const ArchiveCase cases[] = {
        {&kWindows, "C:\\s\\foo.jar", true},
        {&kWindows, "C:\\s\\app.WAR", true},
        {&kWindows, "C:\\s\\x.Ear", true},
        {&kWindows, "x.zip", true},
        {&kWindows, "C:\\s\\.jar", false},  // nothing before the dot
        {&kWindows, ".jar", false},
        {&kWindows, "C:\\s\\foo.jar.bak", false},
        {&kWindows, "C:\\s\\foojar", false},
        {&kWindows, "C:\\s\\foo.tar", false},
        // 0x81 0x2E: the dot is the trail byte of a double-byte character.
        {&kWindows, "C:\\s\\\x81.jar", false},
        {&kLinux, "/s/\xe5\x8c\x85.jar", true},  // 包.jar
        {&kLinux, "/s/lib.JAR", true},
        {&kLinux, "/s/.zip", false},
        {&kLinux, "/s/x.jar/", false},
    };
    for (const ArchiveCase& c : cases) {
        EXPECT_EQ(isArchiveName(c.path, *c.style), c.isArchive) << c.path;
    }

    const std::vector<std::string> taken{"foo.jar.src", "foo.jar.src.1", "bar.jar.src.1"};
    const auto isTaken = [&](const std::string& name) {
        return std::find(taken.begin(), taken.end(), name) != taken.end();
    };
    EXPECT_EQ(archiveMirrorName("bar.jar", isTaken), "bar.jar.src");
    EXPECT_EQ(archiveMirrorName("foo.jar", isTaken), "foo.jar.src.2");
}

struct ColumnCase {
    const PathStyle* style;
    std::string expectedFile;
    std::string column0;
    std::string column1;
};

TEST(BatchPaths, ColumnTextsOfARow) {
    const std::string gbk = kTrailBackslash;
    const ColumnCase cases[] = {
        {&kWindows, "D:\\out\\\\Foo.java", "Foo.java", "D:\\out"},
        {&kWindows, "D:\\out\\a\\\\Bar.java", "Bar.java", "D:\\out\\a"},
        {&kWindows, "D:\\Foo.java", "Foo.java", "D:\\"},  // a root shows with its separator
        {&kWindows, "D:\\" + gbk + "\\\\Foo.java", "Foo.java", "D:\\" + gbk},
        {&kWindows, "D:\\out\\\\" + gbk + ".java", gbk + ".java", "D:\\out"},
        {&kLinux, "/out//Foo.java", "Foo.java", "/out"},
        {&kLinux, "/x//Y.java", "Y.java", "/x"},
        {&kLinux, "/Foo.java", "Foo.java", "/"},
    };
    for (const ColumnCase& c : cases) {
        EXPECT_EQ(column0Text(c.expectedFile, *c.style), c.column0) << c.expectedFile;
        EXPECT_EQ(column1Text(c.expectedFile, *c.style), c.column1) << c.expectedFile;
    }
}

TEST(BatchPaths, ColumnZeroIsCutWithoutSplittingACharacter) {
    const auto name = [](std::size_t ascii, const std::string& tail) {
        return std::string(ascii, 'n') + tail;
    };
    const std::string gbk = "\xb3\xcc";  // one double-byte character
    const std::string utf8 = "类";       // three bytes
    const ColumnCase cases[] = {
        {&kWindows, "D:\\o\\\\" + name(199, ""), name(199, ""), ""},
        {&kWindows, "D:\\o\\\\" + name(200, ""), name(199, ""), ""},
        {&kWindows, "D:\\o\\\\" + name(197, gbk + "x"), name(197, gbk), ""},
        {&kWindows, "D:\\o\\\\" + name(198, gbk), name(198, ""), ""},
        {&kLinux, "/o//" + name(196, utf8 + "x"), name(196, utf8), ""},
        {&kLinux, "/o//" + name(197, utf8), name(197, ""), ""},
    };
    for (const ColumnCase& c : cases) {
        EXPECT_EQ(column0Text(c.expectedFile, *c.style), c.column0) << c.column0.size();
    }
}

}  // namespace
}  // namespace brindle
