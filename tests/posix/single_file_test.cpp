// brindle started with a class file, in a temporary program folder: the engine (a recording
// fake, or the real adapter) and the viewer (a recording fake) are where brindle expects them.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "fakes/fake_log.h"
#include "support/files.h"
#include "support/temp_folder.h"
#include "texts/texts.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using testing::TempFolder;

std::string readFile(const fs::path& path) { return testing::readFile(path.string()); }

void writeFile(const fs::path& path, const std::string& bytes) {
    ASSERT_TRUE(testing::writeFile(path.string(), bytes)) << path;
}

// Runs program with args and environment, no shell, in folder when one is given; its exit code.
// Its stderr goes to errorFile when one is named.
int run(const std::string& program, const Args& args, const Args& environment,
        const std::string& folder = {}, const std::string& errorFile = {}) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (!errorFile.empty()) {
        posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    pid_t pid = -1;
    const int started =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<Args> waitForCalls(const fs::path& log, std::size_t count) {
    return testing::waitForCalls(log.string(), count);
}

// A program folder holding brindle, optionally the fake engine as jad, and a fake viewer.
class ProgramFolder {
public:
    explicit ProgramFolder(const std::string& name) : folder_(temp_.path() / name) {
        fs::create_directories(folder_);
        fs::copy_file(BRINDLE_EXE, brindle());
        fs::create_directories(tools());
        fs::copy_file(FAKE_VIEWER, viewer());
        // A viewer named xdg-open, found in PATH when no ShellApp.ini names one.
        fs::copy_file(FAKE_VIEWER, tools() / "xdg-open");
    }

    fs::path path() const { return folder_; }
    fs::path brindle() const { return folder_ / "brindle"; }
    fs::path engine() const { return folder_ / "jad"; }
    fs::path engineLog() const { return folder_ / "jad.log"; }
    fs::path tools() const { return temp_.path() / "tools 工具"; }
    fs::path viewer() const { return tools() / "my viewer"; }
    fs::path viewerLog() const { return tools() / "my viewer.log"; }
    fs::path pathViewerLog() const { return tools() / "xdg-open.log"; }
    fs::path scratch() const { return temp_.path(); }

    void installFakeEngine() const { fs::copy_file(FAKE_ENGINE, engine()); }
    void nameViewer() const { writeFile(folder_ / "ShellApp.ini", viewer().string() + "\r\n"); }
    void nameOutput(const fs::path& out) const {
        writeFile(folder_ / "CodeOut.ini", out.string() + "\r\n");
    }

    // Starts brindle in folder (the test's own current folder when empty).
    int start(const Args& args, const fs::path& folder = {}) const {
        // No DISPLAY: single-file mode must never need one.
        return run(brindle().string(), args, {"PATH=" + tools().string() + ":/usr/bin:/bin"},
                   folder.string(), errors().string());
    }
    // What brindle's last start wrote on stderr.
    fs::path errors() const { return temp_.path() / "stderr.txt"; }

private:
    TempFolder temp_;
    fs::path folder_;
};

TEST(SingleFile, RunsTheEngineThenTheViewerOnTheExpectedFile) {
    const ProgramFolder program("prog 程序 \"q\" $x");
    program.installFakeEngine();
    program.nameViewer();
    const fs::path out = program.scratch() / "out 输出 ;&";
    fs::create_directories(out);
    program.nameOutput(out);
    const fs::path source = program.scratch() / "src 'a' $HOME;&\\\n 源码";
    fs::create_directories(source);
    const std::string classFile = (source / "Foo$Bar.class").string();
    writeFile(classFile, "not really a class");

    // A read-only result of an earlier run goes before the engine runs.
    const fs::path expected = out / "Foo$Bar.java";
    writeFile(expected, "stale");
    fs::permissions(expected, fs::perms::owner_read);

    ASSERT_EQ(program.start({classFile}), 0);

    EXPECT_EQ(fakes::readCalls(program.engineLog().string()),
              (std::vector<Args>{{"-sjava", "-8", "-ff", "-d" + out.string(), "--", classFile}}));
    EXPECT_NE(readFile(expected).find("fake engine"), std::string::npos);
    EXPECT_EQ(waitForCalls(program.viewerLog(), 1), (std::vector<Args>{{expected.string()}}));
}

// A relative class file whose name looks like an option reaches the engine as the file.
TEST(SingleFile, AClassFileNamedLikeAnOptionIsAFile) {
    const ProgramFolder program("prog");
    program.installFakeEngine();
    program.nameViewer();
    const fs::path out = program.scratch() / "out";
    fs::create_directories(out);
    program.nameOutput(out);
    writeFile(program.scratch() / "-d.class", "not really a class");

    ASSERT_EQ(program.start({"-d.class"}, program.scratch()), 0);

    EXPECT_EQ(fakes::readCalls(program.engineLog().string()),
              (std::vector<Args>{{"-sjava", "-8", "-ff", "-d" + out.string(), "--", "-d.class"}}));
    EXPECT_NE(readFile(out / "-d.java").find("from -d.class"), std::string::npos);
    EXPECT_EQ(waitForCalls(program.viewerLog(), 1), (std::vector<Args>{{(out / "-d.java").string()}}));
}

// Without settings files, and with a CodeOut.ini whose line names no folder the window would
// take (an empty line, which would give the root, or a line cut at the limit).
TEST(SingleFile, WithoutUsableSettingsUsesTheDefaults) {
    for (const std::string& codeOut : {std::string(), std::string("\r\n"),
                                       "/" + std::string(279, 'o') + "\r\n"}) {
        SCOPED_TRACE(codeOut.size());
        const ProgramFolder program("prog");
        program.installFakeEngine();
        if (!codeOut.empty()) writeFile(program.path() / "CodeOut.ini", codeOut);
        // The arguments are joined by single blanks into one class argument.
        ASSERT_EQ(program.start({"/nowhere/My", "Foo.class"}), 0);

        const fs::path out = program.path() / "JavaSourceCode";
        EXPECT_EQ(fakes::readCalls(program.engineLog().string()),
                  (std::vector<Args>{{"-sjava", "-8", "-ff", "-d" + out.string(), "--",
                                      "/nowhere/My Foo.class"}}));
        EXPECT_EQ(waitForCalls(program.pathViewerLog(), 1),
                  (std::vector<Args>{{(out / "My Foo.java").string()}}));
    }
}

// Without a display the reason goes to stderr (the message box of a desktop says the same), the
// exit status is 1, and no viewer is started on a file that is not there.
TEST(SingleFile, AFailedEngineRunSaysWhyInsteadOfStartingTheViewer) {
    struct Case {
        const char* name;
        bool engine;
        std::string classBytes;
        std::string reason;  // empty: the engine's path, as looked for
    };
    const Texts& texts = utf8Texts();
    const Case cases[] = {
        {"engine fails", true, "fail: Foo.class: not a class file\n", "Foo.class: not a class file"},
        {"engine silent", true, "quiet", texts.noSourceWritten},
        {"no engine", false, "x", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramFolder program("prog");
        if (c.engine) program.installFakeEngine();
        program.nameViewer();
        const fs::path out = program.scratch() / "out";
        fs::create_directories(out);
        program.nameOutput(out);
        writeFile(out / "Foo.java", "stale");
        fs::permissions(out / "Foo.java", fs::perms::owner_read);
        const fs::path classFile = program.scratch() / "Foo.class";
        writeFile(classFile, c.classBytes);

        EXPECT_EQ(program.start({classFile.string()}), 1);

        const std::string reason =
            c.reason.empty() ? texts.engineMissing + program.engine().string() : c.reason;
        EXPECT_EQ(readFile(program.errors()), std::string("brindle: ") + texts.decompileFailed +
                                                  classFile.string() + " " + reason + "\n");
        EXPECT_FALSE(fs::exists(out / "Foo.java"));
        EXPECT_FALSE(fs::exists(program.viewerLog()));
    }
}

TEST(SingleFile, StaleResultThatIsALinkRemovesOnlyTheLink) {
    const ProgramFolder program("prog");
    program.installFakeEngine();
    const fs::path out = program.scratch() / "out";
    fs::create_directories(out);
    program.nameOutput(out);
    const fs::path elsewhere = program.scratch() / "precious.txt";
    writeFile(elsewhere, "keep");
    fs::permissions(elsewhere, fs::perms::owner_read);
    fs::create_symlink(elsewhere, out / "Foo.java");

    ASSERT_EQ(program.start({"/lib/Foo.class"}), 0);

    EXPECT_FALSE(fs::is_symlink(out / "Foo.java"));
    EXPECT_EQ(readFile(elsewhere), "keep");
    EXPECT_EQ(fs::status(elsewhere).permissions(), fs::perms::owner_read);
}

TEST(SingleFile, EmptyCommandTailRunsNoEngine) {
    const ProgramFolder program("prog");
    program.installFakeEngine();
    // Window mode, but the test's environment has no display: brindle says so and ends.
    EXPECT_EQ(program.start({}), 1);
    EXPECT_TRUE(fakes::readCalls(program.engineLog().string()).empty());
}

#ifdef JAD_EXE
// javac compiles a small class into a folder; brindle with the real adapter decompiles it.
TEST(SingleFile, RealAdapterDecompilesAndTheViewerGetsTheSource) {
    const ProgramFolder program("prog 程序");
    fs::copy_file(JAD_EXE, program.engine());
    program.nameViewer();
    const fs::path source = program.scratch() / "src 源码";
    fs::create_directories(source);
    writeFile(source / "Greeter.java",
              "public class Greeter {\n"
              "    public String greet(java.util.List<String> names) {\n"
              "        return \"hello \" + names.get(0);\n"
              "    }\n"
              "}\n");
    ASSERT_EQ(run("/usr/bin/javac", {"-d", source.string(), (source / "Greeter.java").string()},
                  {"PATH=/usr/bin:/bin", "LC_ALL=C.UTF-8"}),
              0);

    ASSERT_EQ(program.start({(source / "Greeter.class").string()}), 0);

    const fs::path expected = program.path() / "JavaSourceCode" / "Greeter.java";
    const std::string decompiled = readFile(expected);
    EXPECT_NE(decompiled.find("public class Greeter"), std::string::npos) << decompiled;
    EXPECT_NE(decompiled.find("List<String>"), std::string::npos) << decompiled;
    EXPECT_EQ(waitForCalls(program.viewerLog(), 1), (std::vector<Args>{{expected.string()}}));

    // The same class as a relative "-d.class": the adapter takes it as the file, not as -d. It
    // writes the class's own name, Greeter.java, where Brindle looks for "-d.java": Brindle
    // tells it found no source (status 1) instead of opening a file that is not there.
    fs::remove(expected);
    fs::copy_file(source / "Greeter.class", source / "-d.class");
    EXPECT_EQ(program.start({"-d.class"}, source), 1);
    EXPECT_NE(readFile(expected).find("public class Greeter"), std::string::npos);
}
#endif

}  // namespace
}  // namespace brindle
