// The shared file helpers on real files in a temporary folder.
#include "common/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/files.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace brindle::common;
using brindle::testing::TempFolder;

mode_t modeOf(const fs::path& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

mode_t currentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

TEST(MakeFolders, CreatesEveryMissingLevel) {
    const TempFolder temp;
    const fs::path shared = temp.path() / "a b" / "源" / "c";
    std::string error;
    ASSERT_TRUE(makeFolders(shared.string(), NewFolders::Shared, &error)) << error;
    EXPECT_TRUE(fs::is_directory(shared));
    EXPECT_EQ(modeOf(shared), 0777 & ~currentUmask());
    EXPECT_TRUE(makeFolders(shared.string() + "/", NewFolders::Shared, &error)) << "it exists";

    const fs::path own = temp.path() / "own" / "deeper";
    ASSERT_TRUE(makeFolders(own.string(), NewFolders::Private, &error)) << error;
    EXPECT_EQ(modeOf(own), 0700u);
    EXPECT_EQ(modeOf(own.parent_path()), 0700u);

    ASSERT_TRUE(brindle::testing::writeFile((temp.path() / "file").string(), "x"));
    const std::string blocked = (temp.path() / "file" / "sub").string();
    EXPECT_FALSE(makeFolders(blocked, NewFolders::Shared, &error));
    EXPECT_EQ(error, "cannot create folder " + blocked + ": Not a directory");
}

TEST(ReplaceFile, WritesWholeAndLeavesNoTemporaryFile) {
    const TempFolder temp;
    const fs::path target = temp.path() / "A.java";
    std::string error;
    ASSERT_TRUE(replaceFile(target.string(), "first", {}, &error)) << error;
    EXPECT_EQ(modeOf(target), 0666 & ~currentUmask());
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace);

    ASSERT_TRUE(replaceFile(target.string(), "second", {}, &error)) << error;
    EXPECT_EQ(brindle::testing::readFile(target.string()), "second");
    EXPECT_EQ(modeOf(target), 0666 & ~currentUmask()) << "a new file's permissions";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace);
    ASSERT_TRUE(replaceFile(target.string(), "third", {.keepMode = true}, &error)) << error;
    EXPECT_EQ(modeOf(target), 0600u) << "the older file's permissions";
    EXPECT_EQ(namesIn(temp.path()), std::set<std::string>{"A.java"});

    const std::string nowhere = (temp.path() / "missing" / "B.java").string();
    EXPECT_FALSE(replaceFile(nowhere, "x", {}, &error));
    EXPECT_EQ(error, "cannot write " + nowhere + ": No such file or directory");
    EXPECT_EQ(namesIn(temp.path()), std::set<std::string>{"A.java"});
}

TEST(ReplaceFile, ALinkIsFollowedOrReplacedAsAsked) {
    const TempFolder temp;
    fs::create_directories(temp.path() / "dotfiles");
    const fs::path real = temp.path() / "dotfiles" / "list";
    ASSERT_TRUE(brindle::testing::writeFile(real.string(), "old"));
    const fs::path link = temp.path() / "list";
    fs::create_symlink(real, link);

    ASSERT_TRUE(replaceFile(link.string(), "followed", {.followLink = true}, nullptr));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(brindle::testing::readFile(real.string()), "followed");
    EXPECT_EQ(namesIn(temp.path() / "dotfiles"), std::set<std::string>{"list"});

    ASSERT_TRUE(replaceFile(link.string(), "replaced", {}, nullptr));
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(brindle::testing::readFile(link.string()), "replaced");
    EXPECT_EQ(brindle::testing::readFile(real.string()), "followed");
}

TEST(ReadWholeFile, ReadsRegularFilesOnly) {
    const TempFolder temp;
    const fs::path file = temp.path() / "a";
    ASSERT_TRUE(brindle::testing::writeFile(file.string(), std::string("\xca\xfe\0x", 4)));
    const fs::path fifo = temp.path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    std::string bytes;
    std::string why;
    EXPECT_EQ(readWholeFile(file.string(), 4, bytes, &why), ReadStatus::Ok);
    EXPECT_EQ(bytes, std::string("\xca\xfe\0x", 4));
    EXPECT_EQ(readWholeFile(file.string(), 3, bytes, &why), ReadStatus::TooLarge);
    EXPECT_EQ(readWholeFile((temp.path() / "none").string(), 9, bytes, &why), ReadStatus::Missing);
    EXPECT_EQ(why, "No such file or directory");
    EXPECT_EQ(readWholeFile(temp.path().string(), 9, bytes, &why), ReadStatus::IsFolder);
    EXPECT_EQ(readWholeFile(fifo.string(), 9, bytes, &why), ReadStatus::NotRegular)
        << "never waits";
    EXPECT_EQ(readWholeFile("/dev/null", 9, bytes, &why), ReadStatus::NotRegular);
}

}  // namespace
