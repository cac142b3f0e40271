#include "engine/core/class_name.h"

#include <gtest/gtest.h>

#include "class_bytes.h"

using brindle::engine::ClassNameResult;
using brindle::engine::readClassName;
using jadtest::ClassBytes;
using jadtest::classHeader;

namespace {

// A pool holding every kind of entry, with Long and Double before the class
// entry so that miscounting their second slot points this_class elsewhere.
//   1 Utf8 "wrong"  2 Long  4 Double  6 Integer  7 Float  8 String #1
//   9 Fieldref  10 Methodref  11 InterfaceMethodref  12 NameAndType
//   13 MethodHandle  14 MethodType  15 Dynamic  16 InvokeDynamic
//   17 Module #1  18 Package #1  19 Class #1  20 Utf8 name  21 Class #20
ClassBytes richClass(std::string_view name = "pkg/sub/Outer$Inner") {
    ClassBytes b = classHeader();
    b.u2(22);
    b.utf8("wrong");
    b.u1(5).u4(1).u4(2);
    b.u1(6).u4(3).u4(4);
    b.u1(3).u4(5);
    b.u1(4).u4(6);
    b.u1(8).u2(1);
    b.u1(9).u2(19).u2(12);
    b.u1(10).u2(19).u2(12);
    b.u1(11).u2(19).u2(12);
    b.u1(12).u2(1).u2(1);
    b.u1(15).u1(6).u2(10);
    b.u1(16).u2(1);
    b.u1(17).u2(0).u2(12);
    b.u1(18).u2(0).u2(12);
    b.u1(19).u2(1);
    b.u1(20).u2(1);
    b.u1(7).u2(1);
    b.utf8(name);
    b.u1(7).u2(20);
    b.u2(0x0021).u2(21);  // access_flags, this_class
    b.u2(19).u2(0).u2(0).u2(0).u2(0);
    return b;
}

ClassNameResult parse(const ClassBytes& b) {
    return readClassName(b.data);
}

// A class whose pool is {1: Utf8 <nameBytes>, 2: Class #1}.
ClassBytes classNamed(std::string_view nameBytes) {
    ClassBytes b = classHeader();
    b.u2(3).utf8(nameBytes).u1(7).u2(1).u2(0x0021).u2(2);
    return b;
}

TEST(ClassName, ReadsTheNameThroughEveryKindOfEntry) {
    const ClassNameResult r = parse(richClass());
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.internalName, "pkg/sub/Outer$Inner");
    EXPECT_EQ(r.simpleName, "Outer$Inner");
}

TEST(ClassName, NamesAreConvertedFromModifiedUtf8) {
    struct Case {
        const char* bytes;     // as stored in the class file
        const char* expected;  // simple name in UTF-8
    };
    const Case cases[] = {
        {"Plain", "Plain"},
        {"a/b/c/Deep", "Deep"},
        {"demo/\xE6\xBA\x90\xE7\xA0\x81", "\xE6\xBA\x90\xE7\xA0\x81"},  // two BMP characters
        {"p/X\xC3\xA9", "X\xC3\xA9"},                                   // two-byte form
        // U+1F600 as two encoded surrogates becomes one four-byte sequence.
        {"p/\xED\xA0\xBD\xED\xB8\x80", "\xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) {
        const ClassNameResult r = parse(classNamed(c.bytes));
        ASSERT_TRUE(r.ok()) << c.bytes << ": " << r.error;
        EXPECT_EQ(r.simpleName, c.expected) << c.bytes;
    }
}

TEST(ClassName, EveryShortenedFileIsTruncated) {
    const ClassBytes full = richClass();
    // this_class ends 10 bytes before the end (super_class and four empty counts).
    const std::size_t needed = full.data.size() - 10;
    for (std::size_t size = 0; size <= full.data.size(); ++size) {
        const std::span<const std::uint8_t> prefix(full.data.data(), size);
        const ClassNameResult r = readClassName(prefix);
        if (size < 4)
            EXPECT_EQ(r.error, "not a class file") << "size " << size;
        else if (size < needed)
            EXPECT_TRUE(r.error.starts_with("truncated class file"))
                << "size " << size << ": " << r.error;
        else
            EXPECT_EQ(r.simpleName, "Outer$Inner") << "size " << size << ": " << r.error;
    }
}

TEST(ClassName, MalformedFilesAreRefused) {
    struct Case {
        const char* what;
        ClassBytes bytes;
        const char* error;  // expected prefix
    };
    auto withThisClass = [](unsigned index) {
        ClassBytes b = classHeader();
        // 1 Utf8 "A", 2 Class #1, 3 Long (3 and 4)
        b.u2(5).utf8("A").u1(7).u2(1).u1(5).u4(0).u4(0).u2(0x0021).u2(index);
        return b;
    };
    auto withNameIndex = [](unsigned index) {
        ClassBytes b = classHeader();
        // 1 Utf8 "A", 2 Class #index, 3 Integer
        b.u2(4).utf8("A").u1(7).u2(index).u1(3).u4(0).u2(0x0021).u2(2);
        return b;
    };
    ClassBytes badMagic;
    badMagic.u4(0xCAFEBABF).u2(0).u2(61).u2(3);
    ClassBytes text;
    text.raw("public class Foo {}\n");
    ClassBytes emptyPool = classHeader();
    emptyPool.u2(0).u2(0x0021).u2(1);
    ClassBytes longAtEnd = classHeader();
    longAtEnd.u2(3).utf8("A").u1(5).u4(0).u4(0).u2(0x0021).u2(1);

    std::vector<Case> cases = {
        {"empty file", ClassBytes{}, "not a class file"},
        {"bad magic", badMagic, "not a class file"},
        {"Java source", text, "not a class file"},
        {"constant pool count 0", emptyPool, "malformed class file: constant pool count is 0"},
        {"Long in the last slot", longAtEnd, "malformed class file: Long/Double entry 2 overruns"},
        {"this_class 0", withThisClass(0),
         "malformed class file: this_class index 0 is out of range"},
        {"this_class past the pool", withThisClass(5),
         "malformed class file: this_class index 5 is out of range"},
        {"this_class on a Utf8", withThisClass(1),
         "malformed class file: this_class entry 1 is not a Class"},
        {"this_class on a Long", withThisClass(3),
         "malformed class file: this_class entry 3 is not a Class"},
        {"this_class on a Long's second slot", withThisClass(4),
         "malformed class file: this_class entry 4 is not a Class"},
        {"name index 0", withNameIndex(0),
         "malformed class file: class name index 0 is out of range"},
        {"name index past the pool", withNameIndex(4),
         "malformed class file: class name index 4 is out of range"},
        {"name on an Integer", withNameIndex(3),
         "malformed class file: class name entry 3 is not a Utf8"},
        {"name pointing at the Class", withNameIndex(2),
         "malformed class file: class name entry 2 is not a Utf8"},
        {"raw NUL in the name", classNamed(std::string_view("A\0B", 3)),
         "malformed class file: class name is not"},
        {"encoded NUL in the name", classNamed("A\xC0\x80"),
         "malformed class file: class name is not"},
        {"lone high surrogate", classNamed("A\xED\xA0\xBD"),
         "malformed class file: class name is not"},
        {"lone low surrogate", classNamed("A\xED\xB8\x80"),
         "malformed class file: class name is not"},
        {"four-byte UTF-8", classNamed("A\xF0\x9F\x98\x80"),
         "malformed class file: class name is not"},
        {"cut multi-byte sequence", classNamed("A\xE6\xBA"),
         "malformed class file: class name is not"},
        {"stray continuation byte", classNamed("A\x80"), "malformed class file: class name is not"},
        {"empty name", classNamed(""), "malformed class file: class name \"\" has no simple name"},
        {"name ending in a slash", classNamed("pkg/"),
         "malformed class file: class name \"pkg/\" has no simple"},
    };
    for (int tag : {0, 2, 13, 14, 21, 255}) {
        ClassBytes b = classHeader();
        b.u2(3).u1(static_cast<unsigned>(tag)).u2(0).u1(7).u2(1).u2(0x0021).u2(2);
        cases.push_back({"unknown tag", b, "malformed class file: unknown constant pool tag"});
    }
    for (const Case& c : cases) {
        const ClassNameResult r = parse(c.bytes);
        EXPECT_TRUE(r.error.starts_with(c.error)) << c.what << ": got \"" << r.error << "\"";
        EXPECT_FALSE(r.ok()) << c.what;
    }
}

}  // namespace
