// Which class file paths the decompiler opens as they are, and which classes are nested.
#include "engine/core/class_input.h"

#include <gtest/gtest.h>

namespace {

using namespace brindle::engine;

TEST(ClassInput, TheDecompilerOpensUtf8PathsEndingInDotClass) {
    const struct {
        const char* path;
        bool opens;
    } cases[] = {
        {"/in/A.class", true},        {"/in/源码/A$B.class", true},   {"/in/Up.CLASS", true},
        {"/in/-d.class", true},       {"/in/a b\n.class", true},      {"/in/myclass", false},
        {"/in/A.class.bak", false},   {"/in/.class", false},          {".class", false},
        {"/in/caf\xe9.class", false}, {"/in/caf\xe9/A.class", false}, {"/in/A.clas", false},
    };
    for (const auto& c : cases) EXPECT_EQ(decompilerOpensPath(c.path), c.opens) << c.path;
}

TEST(ClassInput, NestedClassesAreFoundByTheirNames) {
    EXPECT_TRUE(isNestedIn("demo/Outer", "demo/Outer$Inner"));
    EXPECT_TRUE(isNestedIn("demo/Outer", "demo/Outer$Inner$1"));
    EXPECT_TRUE(isNestedIn("Outer", "Outer$1"));
    EXPECT_FALSE(isNestedIn("demo/Outer", "demo/Outer"));
    EXPECT_FALSE(isNestedIn("demo/Outer", "demo/Outer$"));
    EXPECT_FALSE(isNestedIn("demo/Outer", "demo/OuterX$1"));
    EXPECT_FALSE(isNestedIn("demo/Outer", "other/Outer$1"));
    EXPECT_FALSE(isNestedIn("demo/Outer$Inner", "demo/Outer$1"));

    EXPECT_EQ(copyName("Outer$Inner"), "Outer$Inner.class");
    EXPECT_TRUE(mayHoldNestedClass("caf\xe9$1"));
    EXPECT_FALSE(mayHoldNestedClass("Outer.class"));
}

}  // namespace
