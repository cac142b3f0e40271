#include "engine/core/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using brindle::engine::parseCommandLine;

TEST(CommandLine, AcceptsTheFrontEndForms) {
    struct Case {
        std::vector<std::string_view> args;
        const char* folder;
        const char* file;
    };
    const Case cases[] = {
        {{"-sjava", "-8", "-ff", "-d/out dir/源", "/in/A$B.class"}, "/out dir/源", "/in/A$B.class"},
        {{"-d", "/out", "-ff", "A.class"}, "/out", "A.class"},
        {{"A.class"}, ".", "A.class"},
        {{"-d", "-odd", "A.class"}, "-odd", "A.class"},
        {{"-d/first", "-d/second", "A.class"}, "/second", "A.class"},
        {{"--", "-leading dash.class"}, ".", "-leading dash.class"},
        {{"-o", "-"}, ".", "-"},
        {{"-d\n;$x 'q'", "a\nb.class"}, "\n;$x 'q'", "a\nb.class"},
    };
    for (const Case& c : cases) {
        const auto r = parseCommandLine(c.args);
        ASSERT_TRUE(r.ok()) << c.args.back() << ": " << r.error;
        EXPECT_EQ(r.line.folder, c.folder);
        EXPECT_EQ(r.line.classFile, c.file);
    }
}

TEST(CommandLine, RefusesWhatIsNotExactlyOneClassFile) {
    const std::vector<std::vector<std::string_view>> cases = {
        {},
        {"-sjava", "-8"},
        {"-d"},
        {"A.class", "-d"},  // options come before the class file
        {"-d", "", "A.class"},
        {""},
        {"A.class", "B.class"},
    };
    for (const auto& args : cases) {
        const auto r = parseCommandLine(args);
        EXPECT_FALSE(r.ok()) << args.size() << " arguments";
    }
}

}  // namespace
