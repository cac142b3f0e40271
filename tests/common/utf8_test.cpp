#include "common/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using brindle::common::isUtf8;

TEST(IsUtf8, OnlyWellFormedTextWithoutZeros) {
    EXPECT_TRUE(isUtf8(""));
    EXPECT_TRUE(isUtf8("/opt/程序 文件/\t€𝄞"));
    EXPECT_TRUE(isUtf8("\xf4\x8f\xbf\xbf"));  // U+10FFFF, the last one
    for (const std::string& bad :
         {std::string("\xb3\xcc"), std::string("a\0b", 3), std::string("\xc0\xaf"),
          std::string("\xe0\x80\xaf"), std::string("\xed\xa0\x80"), std::string("\xe7\xa8"),
          std::string("caf\xe9"), std::string("\xf4\x90\x80\x80"), std::string("\xff")}) {
        EXPECT_FALSE(isUtf8(bad)) << bad;
    }
}

}  // namespace
