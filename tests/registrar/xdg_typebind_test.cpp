// typebind end to end: the built program copied into a temporary program folder, run with
// HOME and the XDG folders in a temporary home; the files it writes read back, and xdg-mime
// asked what opens class files. Nothing of the user's own home is touched.

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "desktop_exec.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using testing::readFile;

struct Outcome {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

// Runs argv with exactly the environment env, output caught in a file below scratch.
Outcome run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& scratch) {
    const std::string outputFile = scratch + "output.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> args = argv;
    std::vector<std::string> vars = env;
    std::vector<char*> argp;
    std::vector<char*> envp;
    for (std::string& a : args) argp.push_back(a.data());
    for (std::string& v : vars) envp.push_back(v.data());
    argp.push_back(nullptr);
    envp.push_back(nullptr);
    Outcome result;
    pid_t child = 0;
    if (posix_spawnp(&child, argp[0], &actions, nullptr, argp.data(), envp.data()) == 0) {
        int status = 0;
        waitpid(child, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    result.output = readFile(outputFile);
    return result;
}

// Runs program (a full path) with no arguments and exactly the environment env as the user
// account, output caught in a file below scratch.
Outcome runAs(const passwd& account, const std::string& program,
              const std::vector<std::string>& env, const std::string& scratch) {
    const std::string outputFile = scratch + "output.txt";
    std::vector<std::string> vars = env;
    std::vector<char*> envp;
    for (std::string& v : vars) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string name = program;
    char* argv[] = {name.data(), nullptr};
    Outcome result;
    const pid_t child = fork();
    if (child == 0) {
        const int output = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (output < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0) _exit(126);
        if (setgroups(0, nullptr) != 0 || setgid(account.pw_gid) != 0 ||
            setuid(account.pw_uid) != 0) {
            _exit(126);
        }
        execve(program.c_str(), argv, envp.data());
        _exit(127);
    }
    if (child > 0) {
        int status = 0;
        waitpid(child, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    result.output = readFile(outputFile);
    return result;
}

// Hands path and everything below it to the account.
void giveTo(const passwd& account, const std::string& path) {
    ASSERT_EQ(lchown(path.c_str(), account.pw_uid, account.pw_gid), 0) << path;
    if (!fs::is_directory(fs::symlink_status(path))) return;
    for (const auto& item : fs::recursive_directory_iterator(path)) {
        ASSERT_EQ(lchown(item.path().c_str(), account.pw_uid, account.pw_gid), 0) << item.path();
    }
}

// The value of key in the text of a key file, or "<none>".
std::string keyValue(const std::string& text, const std::string& key) {
    const std::string prefix = "\n" + key + "=";
    const std::size_t at = ("\n" + text).find(prefix);
    if (at == std::string::npos) return "<none>";
    const std::size_t start = at + prefix.size() - 1;
    return text.substr(start, text.find('\n', start) - start);
}

class Typebind : public ::testing::Test {
protected:
    // Copies the built typebind into a program folder called name below the temporary folder.
    void install(const std::string& name) {
        program_ = temp_.text() + name + "/";
        fs::create_directories(program_);
        fs::copy_file(TYPEBIND, program_ + "typebind");
        home_ = temp_.text() + "home";
        fs::create_directories(home_);
    }
    std::string data() const { return temp_.text() + "data"; }
    std::string config() const { return temp_.text() + "config"; }
    std::string desktopFile() const { return data() + "/applications/CoolBrindle.desktop"; }
    std::string mimeFile() const { return data() + "/mime/packages/CoolBrindle.xml"; }
    std::string mimeApps() const { return config() + "/mimeapps.list"; }
    std::string launcher() const { return data() + "/CoolBrindle/brindle"; }

    std::vector<std::string> environment() const {
        return {"HOME=" + home_, "XDG_DATA_HOME=" + data(), "XDG_CONFIG_HOME=" + config(),
                "PATH=/usr/local/bin:/usr/bin:/bin", "XDG_DATA_DIRS=/usr/local/share:/usr/share"};
    }
    Outcome typebind(const std::vector<std::string>& env) const {
        return run({program_ + "typebind"}, env, temp_.text());
    }

    brindle::testing::TempFolder temp_;
    std::string program_;
    std::string home_;
};

TEST_F(Typebind, WritesTheAssociationKeepsTheUsersListAndRunsTwiceToTheSameBytes) {
    install("prog dir 程序");
    fs::create_directories(config());
    const std::string userList =
        "# my associations\n[Added Associations]\ntext/plain=gedit.desktop;\n\n"
        "[Default Applications]\ntext/plain=gedit.desktop\napplication/x-java=old.desktop\n";
    ASSERT_TRUE(testing::writeFile(mimeApps(), userList));

    const Outcome first = typebind(environment());
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_EQ(first.output, "");

    const std::string entry = readFile(desktopFile());
    EXPECT_EQ(keyValue(entry, "Type"), "Application");
    EXPECT_EQ(keyValue(entry, "Comment"), "Java程序文件");
    EXPECT_EQ(keyValue(entry, "MimeType"), "application/x-java;");
    EXPECT_EQ(keyValue(entry, "Icon"), program_ + "classfile.png");
    // The entry starts a link to brindle in a place that needs no quoting.
    EXPECT_EQ(keyValue(entry, "Exec"), launcher() + " %f");
    EXPECT_EQ(fs::read_symlink(launcher()), program_ + "brindle");
    const std::string package = readFile(mimeFile());
    EXPECT_NE(package.find("<glob pattern=\"*.class\"/>"), std::string::npos);
    EXPECT_NE(package.find("<comment>Java程序文件</comment>"), std::string::npos);
    EXPECT_EQ(readFile(mimeApps()),
              "# my associations\n[Added Associations]\ntext/plain=gedit.desktop;\n\n"
              "[Default Applications]\ntext/plain=gedit.desktop\napplication/x-java=CoolBrindle.desktop\n");
    // update-mime-database ran on the user's MIME folder.
    EXPECT_NE(readFile(data() + "/mime/application/x-java.xml").find("Java程序文件"), std::string::npos);

    const std::string files[] = {desktopFile(), mimeFile(), mimeApps()};
    std::vector<std::string> once;
    for (const std::string& file : files) once.push_back(readFile(file));
    EXPECT_EQ(typebind(environment()).exitCode, 0);
    for (std::size_t i = 0; i < once.size(); ++i) EXPECT_EQ(readFile(files[i]), once[i]) << files[i];
    EXPECT_EQ(fs::read_symlink(launcher()), program_ + "brindle");
    // No temporary file is left beside what was replaced.
    for (const std::string& folder : {data() + "/applications", config(), data() + "/CoolBrindle"}) {
        for (const auto& item : fs::directory_iterator(folder)) {
            const std::string name = item.path().filename().string();
            EXPECT_TRUE(name == "CoolBrindle.desktop" || name == "mimeapps.list" ||
                        name == "brindle" || name == "mimeinfo.cache")
                << name;
        }
    }

    const Outcome query = run({"xdg-mime", "query", "default", "application/x-java"}, environment(), temp_.text());
    EXPECT_EQ(query.output, "CoolBrindle.desktop\n");
}

TEST_F(Typebind, AFolderWithEveryQuotedCharacterGivesAValidEntry) {
    install("odd \"quote\" `tick` $dollar \\back 100%");
    ASSERT_EQ(typebind(environment()).exitCode, 0);
    const std::string entry = readFile(desktopFile());
    EXPECT_EQ(testing::parseExec(keyValue(entry, "Exec")),
              (std::vector<std::string>{launcher(), "%f"}));
    EXPECT_EQ(fs::read_symlink(launcher()), program_ + "brindle");
    if (access("/usr/bin/desktop-file-validate", X_OK) == 0) {
        const Outcome check = run({"desktop-file-validate", desktopFile()}, environment(), temp_.text());
        EXPECT_EQ(check.exitCode, 0) << check.output;
        EXPECT_EQ(check.output, "");
    }
}

// A data folder whose path would need quoting gets no launcher: the entry names brindle itself.
TEST_F(Typebind, ADataFolderThatNeedsQuotingNamesBrindleItself) {
    install("prog dir");
    std::vector<std::string> env = environment();
    const std::string quotedData = temp_.text() + "my data";
    env[1] = "XDG_DATA_HOME=" + quotedData;
    ASSERT_EQ(typebind(env).exitCode, 0);
    const std::string entry = readFile(quotedData + "/applications/CoolBrindle.desktop");
    EXPECT_EQ(testing::parseExec(keyValue(entry, "Exec")),
              (std::vector<std::string>{program_ + "brindle", "%f"}));
    EXPECT_FALSE(fs::exists(fs::symlink_status(quotedData + "/CoolBrindle")));
}

// Opening a class file starts brindle with it, whatever the program folder is called: through
// Debian's xdg-open without a desktop (its generic mode), through GLib's gio open, and through
// GLib's launcher of a desktop entry (gio launch, as a desktop's own launcher starts it).
TEST_F(Typebind, AClassFileOpensInBrindleThroughXdgOpenGioAndTheDesktopLauncher) {
    const std::string classes = temp_.text() + "classes 类 'x'";
    fs::create_directories(classes);
    const std::string classFile = classes + "/Hello.class";
    ASSERT_TRUE(testing::writeFile(classFile, std::string("\xca\xfe\xba\xbe\0\0\0\x34", 8)));
    const std::string names[] = {"prog", "prog dir 程序", "100% 程序", "odd \"quote\" 'single' `tick` $x \\back %f"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        install(name);
        fs::copy_file(FAKE_VIEWER, program_ + "brindle");
        ASSERT_EQ(typebind(environment()).exitCode, 0);
        std::vector<std::string> env = environment();
        env.push_back("LANG=C.UTF-8");
        const std::string log = program_ + "brindle.log";
        std::vector<std::string> xdgOpenEnv = env;
        // xdg-open asks for the file's type only where there is a display; none is opened.
        xdgOpenEnv.push_back("DISPLAY=:999");

        const Outcome xdgOpen = run({"xdg-open", classFile}, xdgOpenEnv, temp_.text());
        EXPECT_EQ(xdgOpen.exitCode, 0) << xdgOpen.output;
        EXPECT_EQ(testing::waitForCalls(log, 1), (std::vector<std::vector<std::string>>{{classFile}}));

        const Outcome gioOpen = run({"gio", "open", classFile}, env, temp_.text());
        EXPECT_EQ(gioOpen.exitCode, 0) << gioOpen.output;
        EXPECT_EQ(testing::waitForCalls(log, 2).size(), 2u);

        const Outcome launched = run({"gio", "launch", desktopFile(), classFile}, env, temp_.text());
        EXPECT_EQ(launched.exitCode, 0) << launched.output;
        const auto calls = testing::waitForCalls(log, 3);
        EXPECT_EQ(calls, (std::vector<std::vector<std::string>>(3, {classFile})));
    }
}

TEST_F(Typebind, UnsetOrRelativeXdgFoldersFallBackToTheHomeFolder) {
    install("prog");
    const std::vector<std::string> env = {"HOME=" + home_, "XDG_DATA_HOME=relative/data",
                                          "PATH=/usr/local/bin:/usr/bin:/bin"};
    ASSERT_EQ(typebind(env).exitCode, 0);
    EXPECT_NE(readFile(home_ + "/.local/share/applications/CoolBrindle.desktop"), "");
    EXPECT_NE(readFile(home_ + "/.local/share/mime/packages/CoolBrindle.xml"), "");
    EXPECT_NE(readFile(home_ + "/.config/mimeapps.list").find("application/x-java=CoolBrindle.desktop\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(program_ + "relative"));
}

TEST_F(Typebind, AListThatCannotBeReadIsLeftAloneAndALinkIsKept) {
    install("prog");
    fs::create_directories(config());
    // The list is a link into a dotfiles folder: the link stays, its target gets the line.
    const std::string dotfiles = temp_.text() + "dotfiles";
    fs::create_directories(dotfiles);
    ASSERT_TRUE(testing::writeFile(dotfiles + "/mimeapps.list", "[Default Applications]\na/b=c.desktop\n"));
    fs::create_symlink(dotfiles + "/mimeapps.list", mimeApps());
    ASSERT_EQ(typebind(environment()).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(mimeApps()));
    EXPECT_EQ(readFile(dotfiles + "/mimeapps.list"),
              "[Default Applications]\na/b=c.desktop\napplication/x-java=CoolBrindle.desktop\n");

    // A list that is there but cannot be read must not be replaced by one holding only our line.
    fs::remove(mimeApps());
    fs::create_directory(mimeApps());
    ASSERT_EQ(typebind(environment()).exitCode, 0);
    EXPECT_TRUE(fs::is_directory(mimeApps()));
    fs::remove(mimeApps());
    ASSERT_TRUE(testing::writeFile(mimeApps(), "[Default Applications]\nx/y=z.desktop\n"));
    chmod(mimeApps().c_str(), 0200);
    if (geteuid() == 0) {
        // Root reads every file: the registrar runs as a user who cannot, on that user's own
        // folders and list.
        const passwd* nobody = getpwnam("nobody");
        if (nobody == nullptr) GTEST_SKIP() << "no unprivileged account to run the registrar as";
        for (const std::string& folder : {home_, data(), config()}) {
            fs::create_directories(folder);
            giveTo(*nobody, folder);
        }
        ASSERT_FALSE(HasFailure());
        ASSERT_EQ(runAs(*nobody, program_ + "typebind", environment(), temp_.text()).exitCode, 0);
        // It did run: the rest of the association is there.
        EXPECT_NE(readFile(desktopFile()), "");
    } else {
        ASSERT_EQ(typebind(environment()).exitCode, 0);
    }
    chmod(mimeApps().c_str(), 0600);
    EXPECT_EQ(readFile(mimeApps()), "[Default Applications]\nx/y=z.desktop\n");
}

}  // namespace
}  // namespace brindle
