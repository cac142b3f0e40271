#include "core/engine_command.h"

#include <gtest/gtest.h>

#include "core/path_styles.h"

namespace brindle {
namespace {

using testing::kLinux;
using testing::kTrailBackslash;
using testing::kWindows;

using Args = std::vector<std::string>;

TEST(EngineCommand, BatchCommandOnWindowsIsByteForByte) {
    const ProcessCommand command = batchEngineCommand(
        "C:\\WINDOWS\\Jad.exe ", "C:\\src\\a\\Foo.class", "C:\\out\\a\\", kWindows);
    EXPECT_EQ(command.text,
              "C:\\WINDOWS\\Jad.exe -sjava -8 -ff -d\"C:\\out\\a\" \"C:\\src\\a\\Foo.class\"");
}

TEST(EngineCommand, SingleFileCommandKeepsTheClassArgumentAsReceived) {
    struct Case {
        std::string outputFolder;
        std::string classArgument;
        std::string text;
    };
    const Case cases[] = {
        {"C:\\out", "\"C:\\lib\\Foo.class\"",
         "C:\\WINDOWS\\Jad.exe -sjava -8 -ff -d\"C:\\out\" \"C:\\lib\\Foo.class\""},
        {"C:", "C:\\lib\\Foo.class", "C:\\WINDOWS\\Jad.exe -sjava -8 -ff -d\"C:\\\" C:\\lib\\Foo.class"},
        {"C:\\", "\"C:\\lib\\Foo.class\"",
         "C:\\WINDOWS\\Jad.exe -sjava -8 -ff -d\"C:\\\\\" \"C:\\lib\\Foo.class\""},
        {"C:\\out", "\"C:\\lib\\" + kTrailBackslash + ".class\"",
         "C:\\WINDOWS\\Jad.exe -sjava -8 -ff -d\"C:\\out\" \"C:\\lib\\" + kTrailBackslash + ".class\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(singleFileEngineCommand("C:\\WINDOWS\\Jad.exe ", c.classArgument, c.outputFolder,
                                          kWindows)
                      .text,
                  c.text);
    }
}

TEST(EngineCommand, ArgumentVectorHoldsEachPathAsOneElement) {
    const std::string awkward = "/home/u/my \"dir\" $HOME; & \\ \n 源码/Foo.class";
    EXPECT_EQ(singleFileEngineCommand("/opt/brindle/jad ", awkward, "/out put", kLinux).argv,
              (Args{"/opt/brindle/jad", "-sjava", "-8", "-ff", "-d/out put", "--", awkward}));
    EXPECT_EQ(batchEngineCommand("/opt/b r/jad ", "/src/a/Foo.class", "/out/a/", kLinux).argv,
              (Args{"/opt/b r/jad", "-sjava", "-8", "-ff", "-d/out/a", "--", "/src/a/Foo.class"}));
    // A class file named like an option stays a file: the options end before it.
    EXPECT_EQ(singleFileEngineCommand("/opt/jad ", "-d.class", "/out", kLinux).argv,
              (Args{"/opt/jad", "-sjava", "-8", "-ff", "-d/out", "--", "-d.class"}));
    EXPECT_EQ(singleFileEngineCommand("C:\\WINDOWS\\Jad.exe ", "-d.class", "C:\\out", kWindows).text,
              "C:\\WINDOWS\\Jad.exe -sjava -8 -ff -d\"C:\\out\" -d.class");
    EXPECT_EQ(batchEngineCommand("/opt/jad ", "/Foo.class", "/", kLinux).argv.at(4), "-d/");
}

TEST(EngineCommand, LongPathsAreComposedWhole) {
    const std::string folder = "C:\\" + std::string(400, 'o');
    const std::string classFile = "C:\\" + std::string(600, 'c') + "\\Foo.class";
    const ProcessCommand command =
        batchEngineCommand("C:\\WINDOWS\\Jad.exe ", classFile, folder + "\\", kWindows);
    EXPECT_EQ(command.text, "C:\\WINDOWS\\Jad.exe -sjava -8 -ff -d\"" + folder + "\" \"" +
                                classFile + "\"");
}

TEST(ViewerCommand, TargetFollowsTheProgramTextDirectly) {
    const ProcessCommand viewer = commandWithTarget("Notepad.exe ", "C:\\out\\Foo.java");
    EXPECT_EQ(viewer.text, "Notepad.exe C:\\out\\Foo.java");
    EXPECT_EQ(viewer.argv, (Args{"Notepad.exe", "C:\\out\\Foo.java"}));
    // A viewer path with blanks stays one program; a second blank before the target is dropped.
    EXPECT_EQ(commandWithTarget("/opt/My Editor/ed  ", "/o/F.java").argv,
              (Args{"/opt/My Editor/ed", "/o/F.java"}));
    EXPECT_EQ(programCommand("C:\\Program Files\\Brindle\\Typebind.exe").text,
              "C:\\Program Files\\Brindle\\Typebind.exe");
}

}  // namespace
}  // namespace brindle
