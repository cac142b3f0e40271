// The zip reader on archives written here in every shape the format allows and real writers
// use, on damaged and hostile ones, and on real jars: one written by the JDK's jar tool (data
// descriptors) and Debian's commons-lang3. Built for Linux and for Windows (run under Wine).

#include "archive/zip_archive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/temp_folder.h"
#include "support/zip_writer.h"

namespace brindle::archive {
namespace {

using testing::ZipFixtureEntry;
using testing::ZipWriter;

// A path of the build host, as this program sees it.
std::string hostPath(std::string path) {
#ifdef _WIN32
    // Wine shows the Linux file system as drive Z:.
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    path.insert(0, "Z:");
#endif
    return path;
}

class ZipFiles : public ::testing::Test {
protected:
    // Writes bytes to a new file of the test's folder; its path.
    std::string save(const std::string& bytes) {
        const std::string path = temp_.text() + "a" + std::to_string(count_++) + ".zip";
        EXPECT_TRUE(testing::writeFile(path, bytes));
        return path;
    }
    ZipStatus open(const std::string& bytes) { return archive_.open(save(bytes)); }

    std::string extracted(const ZipEntry& entry, ZipStatus expected = ZipStatus::Ok) {
        std::string data;
        EXPECT_EQ(archive_.extract(entry,
                                   [&](const char* p, std::size_t n) {
                                       data.append(p, n);
                                       return true;
                                   }),
                  expected)
            << entry.name;
        // Never more than the directory declared, whatever the data holds.
        EXPECT_LE(data.size(), entry.size) << entry.name;
        return data;
    }

    testing::TempFolder temp_;
    int count_ = 0;
    ZipArchive archive_;
};

TEST_F(ZipFiles, EveryShapeRealWritersUseReadsBack) {
    const std::string text = "public class A { int x; }\n" + std::string(3000, 'x');
    struct Shape {
        const char* name;
        bool deflate, dataDescriptor, zip64, zip64End;
        std::string prefix;
    };
    const Shape shapes[] = {
        {"stored", false, false, false, false, ""},
        {"deflated", true, false, false, false, ""},
        {"deflated, data descriptor", true, true, false, false, ""},
        {"Zip64 sizes", true, false, true, false, ""},
        {"Zip64 sizes, data descriptor, Zip64 end", true, true, true, true, ""},
        {"stored, Zip64 end", false, false, false, true, ""},
        {"after a launcher script", true, true, false, false, "#!/bin/sh\nexec java -jar \"$0\"\n"},
        {"Zip64 after a launcher script", true, false, true, true, "#!/bin/sh\n"},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        ZipWriter zip;
        zip.add({.name = "p/", .deflate = false});
        for (const char* name : {"p/A.class", "p/A$1.class", "empty.txt"}) {
            zip.add({.name = name,
                     .data = std::string(name) == "empty.txt" ? "" : text + name,
                     .deflate = shape.deflate,
                     .dataDescriptor = shape.dataDescriptor,
                     .zip64 = shape.zip64});
        }
        ASSERT_EQ(open(zip.bytes(shape.prefix, shape.zip64End)), ZipStatus::Ok);
        const std::vector<ZipEntry>& entries = archive_.entries();
        ASSERT_EQ(entries.size(), 4u);
        EXPECT_TRUE(entries[0].isFolder());
        EXPECT_EQ(entries[1].name, "p/A.class");
        EXPECT_TRUE(entries[1].isRegularFile());
        EXPECT_EQ(entries[1].size, text.size() + 9);
        EXPECT_EQ(extracted(entries[1]), text + "p/A.class");
        EXPECT_EQ(extracted(entries[2]), text + "p/A$1.class");
        EXPECT_EQ(extracted(entries[3]), "");
    }
}

TEST_F(ZipFiles, RealJarsFromTheJdkAndFromDebian) {
    // Written by the JDK's jar tool at build time: deflated entries with data descriptors.
    ASSERT_EQ(archive_.open(hostPath(HELLO_JAR)), ZipStatus::Ok);
    bool found = false;
    for (const ZipEntry& entry : archive_.entries()) {
        if (entry.name != "Hello.class") continue;
        found = true;
        EXPECT_NE(entry.flags & 0x0008, 0) << "no data descriptor";
        EXPECT_EQ(extracted(entry), testing::readFile(hostPath(HELLO_CLASS)));
    }
    EXPECT_TRUE(found);

    ASSERT_EQ(archive_.open(hostPath("/usr/share/java/commons-lang3.jar")), ZipStatus::Ok);
    int classes = 0;
    for (const ZipEntry& entry : archive_.entries()) {
        if (entry.name.size() < 6 || entry.name.compare(entry.name.size() - 6, 6, ".class") != 0) {
            continue;
        }
        ++classes;
        const std::string bytes = extracted(entry);
        ASSERT_EQ(bytes.substr(0, 4), "\xCA\xFE\xBA\xBE") << entry.name;
    }
    EXPECT_GT(classes, 300);
}

TEST_F(ZipFiles, DamagedArchivesAndEntriesAreToldApart) {
    const std::string good =
        ZipWriter().file("A.class", std::string(500, 'a')).file("B.class", "b").bytes();
    const std::size_t directory = good.find(std::string("PK\x01\x02", 4));
    struct Case {
        const char* name;
        std::string bytes;
        ZipStatus status;
    };
    std::string badSignature = good;
    badSignature[directory + 1] = 'X';
    std::string countWrong = good;
    countWrong[countWrong.size() - 14] = 3;  // three entries said, two there
    countWrong[countWrong.size() - 12] = 3;
    std::string offsetPastDirectory = good;
    offsetPastDirectory[offsetPastDirectory.size() - 6] += 50;
    std::string multiDisk = good;
    multiDisk[multiDisk.size() - 18] = 1;
    const Case opening[] = {
        {"empty file", "", ZipStatus::NotAnArchive},
        {"a text file", "not an archive at all, just some text that is long enough",
         ZipStatus::NotAnArchive},
        {"cut in the middle", good.substr(0, good.size() / 2), ZipStatus::Damaged},
        {"end record cut", good.substr(0, good.size() - 3), ZipStatus::Damaged},
        {"directory signature broken", badSignature, ZipStatus::Damaged},
        {"entry count wrong", countWrong, ZipStatus::Damaged},
        {"directory offset wrong", offsetPastDirectory, ZipStatus::Damaged},
        {"split over disks", multiDisk, ZipStatus::Unsupported},
    };
    for (const Case& c : opening) {
        EXPECT_EQ(open(c.bytes), c.status) << c.name;
        EXPECT_TRUE(archive_.entries().empty()) << c.name;
    }

    std::string flipped = good;
    flipped[40] = static_cast<char>(flipped[40] ^ 0x55);  // inside A.class's deflated data
    std::string storedFlipped =
        ZipWriter().add({.name = "A.class", .data = "abcdef", .deflate = false}).bytes();
    storedFlipped[30 + 7 + 2] = 'X';  // the checksum alone tells
    const std::string zip64Short = ZipWriter()
                                       .add({.name = "A.class",
                                             .data = "abc",
                                             .zip64 = true,
                                             .declaredSize = (std::uint64_t{1} << 32) + 3})
                                       .bytes();
    const std::string shortData =
        ZipWriter()
            .add({.name = "A.class", .data = std::string(5000, 'a'), .declaredSize = 100})
            .bytes();
    const std::string longData =
        ZipWriter().add({.name = "A.class", .data = "abc", .declaredSize = 1000}).bytes();
    const std::string otherLocalName =
        ZipWriter().add({.name = "A.class", .data = "abc", .localName = "../A.class"}).bytes();
    const std::string encrypted =
        ZipWriter().add({.name = "A.class", .data = "abc", .flags = 1}).bytes();
    const std::string bzip2 =
        ZipWriter().add({.name = "A.class", .data = "abc", .method = 12}).bytes();
    const Case extracting[] = {
        {"a byte of deflated data changed", flipped, ZipStatus::Damaged},
        {"a byte of stored data changed", storedFlipped, ZipStatus::Damaged},
        {"Zip64 size past 4 GiB, data short", zip64Short, ZipStatus::Damaged},
        {"more data than declared", shortData, ZipStatus::Damaged},
        {"less data than declared", longData, ZipStatus::Damaged},
        {"local name differs", otherLocalName, ZipStatus::Damaged},
        {"encrypted", encrypted, ZipStatus::Unsupported},
        {"bzip2", bzip2, ZipStatus::Unsupported},
    };
    for (const Case& c : extracting) {
        ASSERT_EQ(open(c.bytes), ZipStatus::Ok) << c.name;
        extracted(archive_.entries().front(), c.status);
        // A file that could not be completed is not left behind.
        const std::string target = temp_.text() + "out.class";
        EXPECT_EQ(archive_.extractToFile(archive_.entries().front(), target), c.status) << c.name;
        EXPECT_EQ(std::fopen(target.c_str(), "rb"), nullptr) << c.name;
    }
}

TEST_F(ZipFiles, DirectoryRecordsSharingOneEntryAreDamaged) {
    // The shape of an overlapping zip bomb: many directory records for one small entry.
    std::string bytes =
        ZipWriter().file("A.class", "aaaa").file("A.class", "aaaa").file("B.class", "b").bytes();
    const std::size_t second =
        bytes.find(std::string("PK\x01\x02", 4), bytes.find(std::string("PK\x01\x02", 4)) + 1);
    for (std::size_t i = 0; i < 4; ++i) bytes[second + 42 + i] = 0;  // its header := the first's
    ASSERT_EQ(open(bytes), ZipStatus::Ok);
    extracted(archive_.entries()[0], ZipStatus::Damaged);
    extracted(archive_.entries()[1], ZipStatus::Damaged);
    EXPECT_EQ(extracted(archive_.entries()[2]), "b");
}

TEST_F(ZipFiles, LinksAndSpecialFilesAreNotRegularFiles) {
    const std::uint16_t unix = (3 << 8) | 20;
    ZipWriter zip;
    zip.add({.name = "regular",
             .data = "x",
             .versionMadeBy = unix,
             .externalAttributes = testing::unixMode(0100644)});
    zip.add({.name = "link",
             .data = "/etc/passwd",
             .versionMadeBy = unix,
             .externalAttributes = testing::unixMode(0120777)});
    zip.add({.name = "pipe",
             .data = "",
             .versionMadeBy = unix,
             .externalAttributes = testing::unixMode(0010644)});
    zip.add({.name = "reparse",
             .data = "x",
             .versionMadeBy = (10 << 8) | 20,
             .externalAttributes = 0x400});
    zip.add({.name = "dos", .data = "x", .externalAttributes = 0x20});
    ASSERT_EQ(open(zip.bytes()), ZipStatus::Ok);
    std::vector<std::pair<bool, bool>> kinds;
    for (const ZipEntry& entry : archive_.entries())
        kinds.emplace_back(entry.isRegularFile(), entry.isLink());
    EXPECT_EQ(kinds,
              (std::vector<std::pair<bool, bool>>{
                  {true, false}, {false, true}, {false, false}, {false, true}, {true, false}}));
}

TEST(ZipEntryNames, OnlyNamesThatStayBelowTheirFolderAreSplit) {
    struct Case {
        std::string name;
        std::vector<std::string> parts;  // empty: refused
    };
    const Case cases[] = {
        {"org/apache/Foo.class", {"org", "apache", "Foo.class"}},
        {"META-INF/", {"META-INF"}},
        {"Outer$Inner.class", {"Outer$Inner.class"}},
        {"\xe5\x8c\x85/\xe7\xb1\xbb.class", {"\xe5\x8c\x85", "\xe7\xb1\xbb.class"}},  // 包/类.class
        {"ab:c/d", {"ab:c", "d"}},  // a colon past the first letter is the platform's matter
        {"../evil.class", {}},
        {"a/../../evil.class", {}},
        {"a/..", {}},
        {"/etc/cron.d/evil", {}},
        {"C:/Windows/evil.class", {}},
        {"c:evil.class", {}},
        {"a\\..\\..\\evil.class", {}},
        {"\\\\server\\share\\evil", {}},
        {"a//b.class", {}},
        {"./a.class", {}},
        {"", {}},
        {"/", {}},
        {std::string("a\0b.class", 9), {}},
        {"a\nb.class", {}},
        {"\xc0\xae\xc0\xae/evil.class", {}},  // ".." spelt with overlong forms
        {"\xed\xa0\x80.class", {}},           // a lone surrogate
        {"\xff\xfe.class", {}},
        {"\xe5\x8c", {}},  // cut inside a character
    };
    for (const Case& c : cases) {
        std::vector<std::string> parts{"stale"};
        EXPECT_EQ(splitEntryName(c.name, parts), !c.parts.empty()) << c.name;
        EXPECT_EQ(parts, c.parts) << c.name;
    }
}

TEST(ExpansionBudget, RefusesBombsByRatioAndByTotal) {
    ZipEntry small;
    small.compressedSize = 10;
    small.size = 5000;  // a high ratio, but below the floor
    ZipEntry bomb;
    bomb.compressedSize = 20 * 1024;
    bomb.size = std::uint64_t{4} << 30;
    ZipEntry big;
    big.compressedSize = 700 << 20;
    big.size = 900 << 20;

    ExpansionBudget budget;
    EXPECT_EQ(budget.reserve({&small}), ZipStatus::Ok);
    EXPECT_EQ(budget.reserve({&small, &bomb}), ZipStatus::TooLarge);
    EXPECT_EQ(budget.remaining(), kZipLimits.totalBytes - 5000);  // nothing of a refusal kept
    EXPECT_EQ(budget.reserve({&big}), ZipStatus::Ok);
    EXPECT_EQ(budget.reserve({&big}), ZipStatus::Ok);
    EXPECT_EQ(budget.reserve({&big}), ZipStatus::TooLarge);  // 2.6 GiB in all

    // A real bomb: megabytes of zeros deflate to a few kilobytes.
    testing::TempFolder temp;
    const std::string path = temp.text() + "bomb.zip";
    ASSERT_TRUE(testing::writeFile(
        path, ZipWriter().file("Bomb.class", std::string(4 << 20, '\0')).bytes()));
    ZipArchive archive;
    ASSERT_EQ(archive.open(path), ZipStatus::Ok);
    EXPECT_EQ(ExpansionBudget().reserve({&archive.entries()[0]}), ZipStatus::TooLarge);

    ZipLimits tight;
    tight.entries = 1;
    EXPECT_EQ(archive.open(path, tight), ZipStatus::Ok);
    ASSERT_TRUE(testing::writeFile(path, ZipWriter().file("A", "a").file("B", "b").bytes()));
    EXPECT_EQ(archive.open(path, tight), ZipStatus::TooLarge);
}

}  // namespace
}  // namespace brindle::archive
