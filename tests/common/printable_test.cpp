#include "common/printable.h"

#include <gtest/gtest.h>

namespace {

TEST(Printable, ControlBytesAreEscapedAndEverythingElseKept) {
    using brindle::common::printable;
    EXPECT_EQ(printable("a\nb\rc\td"), "a\\nb\\rc\\td");
    EXPECT_EQ(printable(std::string("\0\x1f\x7f", 3)), "\\x00\\x1F\\x7F");
    EXPECT_EQ(printable("源码 caf\xe9 \"q\" \\"), "源码 caf\xe9 \"q\" \\");
}

}  // namespace
