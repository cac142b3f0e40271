// Jad.exe's reading of its command line and the Windows rules beside it, under Wine.

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/win32/file_names.h"
#include "engine/core/command_line.h"
#include "engine/win32/command_tail.h"
#include "engine/win32/java_finder.h"
#include "engine/win32/quote_argument.h"

namespace {

using namespace brindle::engine;
using namespace brindle::engine::win32;
using brindle::common::win32::isWindowsFileName;

const std::string kChinese = "\xe7\xa8\x8b\xe5\xba\x8f";  // 程序
const std::string kTrail = "\xe6\x93\xbb";                // 擻: in code page 936 its trail byte is '\'

TEST(CommandTail, ReadsWhatBrindleSends) {
    struct Case {
        std::string line;
        std::string folder;
        std::string file;
    };
    const std::string engine = "C:\\windows\\Jad.exe -sjava -8 -ff ";
    const Case cases[] = {
        // single-file mode: the shell's quoted path
        {engine + "-d\"C:\\out " + kChinese + "\" \"C:\\lib dir\\Foo.class\"",
         "C:\\out " + kChinese, "C:\\lib dir\\Foo.class"},
        // single-file mode: an unquoted tail with blanks, kept whole
        {engine + "-d\"C:\\out\" C:\\my lib\\a b\\Foo.Bar.class  ", "C:\\out",
         "C:\\my lib\\a b\\Foo.Bar.class"},
        // a drive root as the output folder, and a folder ending in a character whose
        // code page 936 trail byte is a backslash
        {engine + "-d\"C:\\\\\" \"C:\\src\\" + kTrail + ".class\"", "C:\\",
         "C:\\src\\" + kTrail + ".class"},
        {engine + "-d\"C:\\out\\" + kTrail + "\" \"C:\\a\\Foo.class\"", "C:\\out\\" + kTrail,
         "C:\\a\\Foo.class"},
        // a batch, the program's own path quoted and holding blanks
        {"\"C:\\win dir\\Jad.exe\" -sjava -8 -ff -d\"C:\\out\\a\" \"C:\\src\\a\\Foo.class\"",
         "C:\\out\\a", "C:\\src\\a\\Foo.class"},
        // forms a user types
        {"Jad.exe -d C:\\out Foo.class", "C:\\out", "Foo.class"},
        {"Jad.exe -d \"C:\\my out\\\" Foo.class", "C:\\my out", "Foo.class"},
        {"Jad.exe\t-dC:\\out\tFoo.class", "C:\\out", "Foo.class"},
        {"Jad.exe -- -odd.class", ".", "-odd.class"},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> words = splitCommandLine(c.line);
        const std::vector<std::string_view> args(words.begin(), words.end());
        const CommandLineResult r = parseCommandLine(args);
        ASSERT_TRUE(r.ok()) << c.line << ": " << r.error;
        EXPECT_EQ(r.line.folder, c.folder) << c.line;
        EXPECT_EQ(r.line.classFile, c.file) << c.line;
    }
}

TEST(CommandTail, RefusesTwoQuotedClassFilesAndNone) {
    for (const std::string line : {"Jad.exe -d\"C:\\out\" \"C:\\a.class\" \"C:\\b.class\"",
                                   "Jad.exe -d\"C:\\out\"   ", "\"C:\\Jad.exe\""}) {
        const std::vector<std::string> words = splitCommandLine(line);
        const std::vector<std::string_view> args(words.begin(), words.end());
        EXPECT_FALSE(parseCommandLine(args).ok()) << line;
    }
}

TEST(CommandTail, TrimsOnlyTheSeparatorsQuotingAdded) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\\\", "C:\\"}, {"C:\\", "C:\\"},         {"C:\\out\\", "C:\\out"},
        {"C:\\out", "C:\\out"}, {"\\\\srv\\share\\", "\\\\srv\\share"}, {"C:/", "C:\\"},
        {"out\\\\", "out"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(trimFolder(in), out) << in;
}

// What java.exe's C runtime makes of a quoted argument is what was quoted.
TEST(QuoteArgument, SurvivesTheRuntimesSplitting) {
    const std::wstring cases[] = {
        L"plain", L"", L"two words", L"C:\\ends in\\", L"C:\\x\\\\", L"a\"quote",
        L"\\\"", L"tab\there", L"C:\\程序\\擻\\Foo.class", L"-Dfile.encoding=UTF-8",
    };
    for (const std::wstring& arg : cases) {
        const std::wstring line = L"java.exe " + quoteArgument(arg) + L" next";
        int argc = 0;
        wchar_t** argv = CommandLineToArgvW(line.c_str(), &argc);
        ASSERT_EQ(argc, 3) << line.size();
        EXPECT_EQ(std::wstring(argv[1]), arg);
        EXPECT_EQ(std::wstring(argv[2]), L"next");
        LocalFree(argv);
    }
}

TEST(JavaFinder, ReadsTheFeatureReleaseFromTheReleaseFile) {
    const std::pair<const char*, int> cases[] = {
        {"IMPLEMENTOR=\"Eclipse Adoptium\"\nJAVA_VERSION=\"17.0.9\"\n", 17},
        {"JAVA_VERSION=\"1.8.0_392\"\r\n", 8},
        {"JAVA_VERSION=\"21\"", 21},
        {"JAVA_VERSION=\"22-ea\"\n", 22},
        {"JAVA_RUNTIME_VERSION=\"17.0.9+9\"\n", 0},
        {"", 0},
    };
    for (const auto& [text, release] : cases) EXPECT_EQ(featureRelease(text), release) << text;
}

TEST(WindowsNames, RefusesNamesWindowsProgramsCannotOpen) {
    for (const char* good : {"Foo.java", "Outer$Inner.java", "程序.java", "a.b", "CONSOLE.java", "COM0"})
        EXPECT_TRUE(isWindowsFileName(good)) << good;
    for (const char* bad : {"a:b.java", "a\\b", "a*", "q?", "a<b", "a>b", "a|b", "a\"b", "trail.",
                            "trail ", "CON", "con.java", "Nul", "COM1.java", "lpt9", "AUX.x", ""})
        EXPECT_FALSE(isWindowsFileName(bad)) << bad;
}

}  // namespace
