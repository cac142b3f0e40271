// The texts of the XDG association: Exec quoting read back by the desktop-entry rules, the
// desktop entry and MIME package, the merge into mimeapps.list and the XDG base folders.

#include "registrar/xdg/association.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "desktop_exec.h"

namespace brindle::xdg {
namespace {

using Arguments = std::vector<std::string>;

TEST(ExecArgument, AwkwardProgramFoldersComeBackWhole) {
    const std::string folders[] = {
        "/opt/brindle/",
        "/home/li/my tools/",
        "/tmp/quote\"d/",
        "/tmp/back`tick $HOME/",
        "/tmp/back\\slash\\\\twice/",
        "/tmp/\\$\\\"`/",
        "/tmp/100% %f %%/",
        "/tmp/tab\there/",
        "/tmp/new\nline\r/",
        "/tmp/'single' ~ & ; | < > * ? # ( )/",
        "/tmp/程序 文件/",
    };
    for (const std::string& folder : folders) {
        const std::string program = folder + "brindle";
        const std::string exec = execArgument(program) + " %f";
        EXPECT_EQ(exec.find('\n'), std::string::npos) << exec;
        EXPECT_EQ(testing::parseExec(exec), (Arguments{program, "%f"})) << "Exec=" << exec;
    }
}

TEST(IsPlainExecProgram, OnlyPathsThatNeedNoQuotingAnywhere) {
    for (const std::string& plain :
         {std::string("/home/li/.local/share/CoolBrindle/brindle"), std::string("/用户/李/brindle"),
          std::string("/a-b_c.d+e,f@g/1")}) {
        EXPECT_TRUE(isPlainExecProgram(plain)) << plain;
    }
    for (const std::string& quoted :
         {std::string("/home/my data/brindle"), std::string("relative/brindle"), std::string(),
          std::string("/100%/b"), std::string("/a\"b"), std::string("/a'b"), std::string("/a\\b"),
          std::string("/a$b"), std::string("/a`b"), std::string("/a*b"), std::string("/a?b"),
          std::string("/a[b]"), std::string("/a~b"), std::string("/a=b"), std::string("/a\tb"),
          std::string("/a;b"), std::string("/\xb3\xcc")}) {
        EXPECT_FALSE(isPlainExecProgram(quoted)) << quoted;
    }
}

TEST(DesktopEntry, StartsTheProgramWithTheClickedFileAndShowsTheClassFileIcon) {
    EXPECT_EQ(desktopEntry("/home/li/.local/share/CoolBrindle/brindle", "/opt/my brindle/"),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Brindle\n"
              "Comment=Java程序文件\n"
              "Exec=/home/li/.local/share/CoolBrindle/brindle %f\n"
              "Icon=/opt/my brindle/classfile.png\n"
              "MimeType=application/x-java;\n"
              "Terminal=false\n"
              "NoDisplay=true\n");
    // A program that needs quoting is quoted.
    EXPECT_NE(desktopEntry("/opt/my brindle/brindle", "/opt/my brindle/")
                  .find("\nExec=\"/opt/my brindle/brindle\" %f\n"),
              std::string::npos);
    // Icon is a plain string value: only the string escapes apply.
    EXPECT_NE(desktopEntry("/b", "/a\\b\nc/").find("\nIcon=/a\\\\b\\nc/classfile.png\n"),
              std::string::npos);
}

TEST(LauncherPath, IsBelowTheDataFolder) {
    EXPECT_EQ(launcherPath("/home/li/.local/share"), "/home/li/.local/share/CoolBrindle/brindle");
}

TEST(MimePackage, GivesClassFilesTheJavaTypeWithTheFileTypeName) {
    const std::string package = mimePackage();
    EXPECT_EQ(package.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
    EXPECT_NE(package.find("<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">"),
              std::string::npos);
    EXPECT_NE(package.find("<mime-type type=\"application/x-java\">"), std::string::npos);
    EXPECT_NE(package.find("<comment>Java程序文件</comment>"), std::string::npos);
    EXPECT_NE(package.find("<glob pattern=\"*.class\"/>"), std::string::npos);
}

TEST(MergeMimeApps, SetsTheDefaultAndKeepsEveryOtherLine) {
    const std::string line = "application/x-java=CoolBrindle.desktop";
    struct Case {
        const char* name;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"no file yet", "", "[Default Applications]\n" + line + "\n"},
        {"no such section",
         "# mine\n[Added Associations]\ntext/plain=gedit.desktop;\n",
         "# mine\n[Added Associations]\ntext/plain=gedit.desktop;\n\n[Default Applications]\n" + line + "\n"},
        {"no newline at the end", "[Added Associations]\ntext/plain=a.desktop;",
         "[Added Associations]\ntext/plain=a.desktop;\n\n[Default Applications]\n" + line + "\n"},
        {"added at the end of the section, before its blank line",
         "[Default Applications]\ntext/plain=a.desktop\n\n[Removed Associations]\nx/y=b.desktop;\n",
         "[Default Applications]\ntext/plain=a.desktop\n" + line + "\n\n[Removed Associations]\nx/y=b.desktop;\n"},
        {"section is the last line, without newline", "[Default Applications]",
         "[Default Applications]\n" + line + "\n"},
        {"replaced in place, spaces around = and all",
         "[Default Applications]\ntext/plain=a.desktop\n application/x-java = old.desktop\nimage/png=c.desktop\n",
         "[Default Applications]\ntext/plain=a.desktop\n" + line + "\nimage/png=c.desktop\n"},
        {"CR LF line keeps its ending", "[Default Applications]\r\napplication/x-java=old.desktop\r\nz/z=q\r\n",
         "[Default Applications]\r\n" + line + "\r\nz/z=q\r\n"},
        {"CR LF list gets a CR LF line",
         "[Default Applications]\r\nz/z=q\r\n\r\n[Added Associations]\r\nz/z=q;\r\n",
         "[Default Applications]\r\nz/z=q\r\n" + line + "\r\n\r\n[Added Associations]\r\nz/z=q;\r\n"},
        {"CR LF list gets a CR LF section", "[Added Associations]\r\nz/z=q;",
         "[Added Associations]\r\nz/z=q;\r\n\r\n[Default Applications]\r\n" + line + "\r\n"},
        {"a later duplicate, which would win, goes",
         "[Default Applications]\napplication/x-java=old.desktop\n[Other]\napplication/x-java=kept.desktop\n"
         "[Default Applications]\napplication/x-java=later.desktop\n",
         "[Default Applications]\n" + line + "\n[Other]\napplication/x-java=kept.desktop\n"
         "[Default Applications]\n"},
        {"other types and look-alike keys stay",
         "[Default Applications]\napplication/x-javascript=js.desktop\n#application/x-java=c.desktop\n",
         "[Default Applications]\napplication/x-javascript=js.desktop\n#application/x-java=c.desktop\n" + line + "\n"},
        {"the type in another section only",
         "[Added Associations]\napplication/x-java=old.desktop;\n",
         "[Added Associations]\napplication/x-java=old.desktop;\n\n[Default Applications]\n" + line + "\n"},
    };
    for (const Case& c : cases) {
        const std::string merged = mergeMimeApps(c.before);
        EXPECT_EQ(merged, c.after) << c.name;
        EXPECT_EQ(mergeMimeApps(merged), merged) << c.name << ": a second merge changes nothing";
    }
}

TEST(BaseFolder, AnUnsetOrRelativeValueFallsBackToTheHomeFolder) {
    EXPECT_EQ(baseFolder("/x/data", "/home/li", ".local/share"), "/x/data");
    EXPECT_EQ(baseFolder(nullptr, "/home/li", ".local/share"), "/home/li/.local/share");
    EXPECT_EQ(baseFolder("", "/home/li/", ".config"), "/home/li/.config");
    EXPECT_EQ(baseFolder("relative/data", "/home/li", ".config"), "/home/li/.config");
    EXPECT_EQ(baseFolder(nullptr, nullptr, ".config"), std::nullopt);
    EXPECT_EQ(baseFolder(nullptr, "home/li", ".config"), std::nullopt);
}

}  // namespace
}  // namespace brindle::xdg
