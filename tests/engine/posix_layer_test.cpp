// Pieces of jad's POSIX layer on their own.
#include <gtest/gtest.h>

#include "engine/posix/private_folder.h"

namespace {

using brindle::engine::runtimeFolder;

TEST(PrivateFolder, OnlyAnAbsoluteRuntimeFolderCounts) {
    EXPECT_EQ(runtimeFolder("/run/user/1000"), "/run/user/1000");
    EXPECT_EQ(runtimeFolder(nullptr), std::nullopt);
    EXPECT_EQ(runtimeFolder(""), std::nullopt);
    EXPECT_EQ(runtimeFolder("run/user/1000"), std::nullopt);
    EXPECT_EQ(runtimeFolder("./run"), std::nullopt);
}

}  // namespace
