// The POSIX layer starts programs with an argument vector: whatever a path holds, it arrives
// as one argument, and nothing is read by a shell.

#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/fake_log.h"
#include "os/host_platform.h"
#include "support/temp_folder.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

TEST(PosixSpawn, EveryArgumentArrivesWhole) {
    const testing::TempFolder temp;
    const fs::path viewer = temp.path() / "viewer";
    fs::copy_file(FAKE_VIEWER, viewer);
    const Args awkward = {"a b", "\"q\" 'q'", "$HOME `id` $(id)", "; rm -rf / &", "back\\slash",
                          "new\nline", "源码 文件", "", "-d", "*"};
    Args argv{viewer.string()};
    argv.insert(argv.end(), awkward.begin(), awkward.end());

    EXPECT_TRUE(hostPlatform().runAndWait(ProcessCommand{"", argv}, ShowState::Hidden).started);
    EXPECT_EQ(fakes::readCalls(viewer.string() + ".log"), std::vector<Args>{awkward});
}

TEST(PosixSpawn, MissingProgramIsReportedAsNotStarted) {
    Platform& platform = hostPlatform();
    EXPECT_FALSE(platform.runAndWait(ProcessCommand{"", {"/nonexistent/jad", "x"}}, ShowState::Hidden).started);
    EXPECT_FALSE(platform.start(ProcessCommand{"", {"no-such-viewer-anywhere"}}, ShowState::Maximized));
    EXPECT_FALSE(platform.start(ProcessCommand{"", {}}, ShowState::Maximized));
}

}  // namespace
}  // namespace brindle
