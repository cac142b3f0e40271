// The line Brindle keeps of what an engine wrote on its standard error, in both path styles.

#include "core/process_output.h"

#include <gtest/gtest.h>

#include <string>

#include "core/path_styles.h"

namespace brindle {
namespace {

using testing::kLinux;
using testing::kWindows;

TEST(ProcessOutput, TheFirstLineThatSaysSomethingTrimmedAndCut) {
    struct Case {
        std::string output;
        std::string line;
    };
    const Case cases[] = {
        {"", ""},
        {" \t\r\n\n", ""},
        {"jad: Foo.class: not a class file\n", "jad: Foo.class: not a class file"},
        {"\r\n  \t reason \t \r\nat Some.frame(Foo.java)\n", "reason"},
        {"no line end", "no line end"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(firstErrorLine(c.output, kLinux), c.line) << c.output;
        EXPECT_EQ(firstErrorLine(c.output, kWindows), c.line) << c.output;
    }

    // Cut where a character begins: three-byte UTF-8 characters, two-byte code page 936 ones.
    const std::string utf8 = "x" + [] {
        std::string many;
        for (std::size_t i = 0; i < kErrorLineLimit; ++i) many += "\xe5\x8c\x85";  // 包
        return many;
    }();
    const std::string kept = firstErrorLine(utf8, kLinux);
    EXPECT_EQ(kept.size(), 1 + (kErrorLineLimit - 1) / 3 * 3);
    const std::string cp936 = "x" + std::string(kErrorLineLimit * 2, '\xb0');
    EXPECT_EQ(firstErrorLine(cp936, kWindows).size(), kErrorLineLimit - 1);
}

}  // namespace
}  // namespace brindle
