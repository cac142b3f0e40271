// Runs the jad program itself: on classes javac compiles at test time, and
// with fake java programs for the failure paths.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include "jad_test_support.h"

namespace {

using namespace jadtest;

// Blanks, quotes, shell characters, a backslash, a newline and Chinese.
const std::string kOddName = "in 源码 'q' \"dq\" $HOME;&|`x`\\\nz";

constexpr const char* kFixtureSource = R"(package demo;

import java.util.*;
import java.util.function.Function;

public class Outer<T extends Comparable<T>> {
    private final List<T> items = new ArrayList<>();

    public class Inner {
        public int count() { return items.size(); }
    }

    public <K> Map<K, List<T>> groupBy(Function<T, K> key) {
        Map<K, List<T>> groups = new HashMap<>();
        for (T item : items)
            groups.computeIfAbsent(key.apply(item), k -> new ArrayList<>()).add(item);
        return groups;
    }
}
)";

// Compiles the fixture once for all tests of the suite, since javac is slow.
class JadOnRealClasses : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new TempDir;
        const fs::path src = root_->path() / "src 源码" / "demo";
        fs::create_directories(src);
        writeFile(src / "Outer.java", kFixtureSource);
        classes_ = new fs::path(root_->path() / kOddName);

        const std::optional<std::string> javac = findOnPath("javac");
        if (!javac) {
            *setupError_ = "javac is not on PATH; the jad tests need a JDK";
            return;
        }
        const auto r = runProgram(*javac, {"-J-XX:-UsePerfData", "-d", classes_->string(),
                                           (src / "Outer.java").string()});
        if (r.ending != brindle::engine::RunResult::Ending::Exited || r.status != 0)
            *setupError_ = "javac failed: " + r.err;
    }

    static void TearDownTestSuite() {
        delete classes_;
        delete root_;
    }

    void SetUp() override { ASSERT_TRUE(setupError_->empty()) << *setupError_; }

    // A C locale, as a desktop session may have: the odd class folder name
    // still has to reach Procyon intact.
    static JadRun runJadInCLocale(const std::vector<std::string>& args) {
        return runJad(args, {{"LC_ALL", "C"}, {"LANG", "C"}});
    }

    static fs::path classFile(const std::string& name) {
        return *classes_ / "demo" / (name + ".class");
    }
    static fs::path freshFolder(const std::string& name) { return root_->path() / name; }

    static TempDir* root_;
    static fs::path* classes_;
    static std::string* setupError_;
};

TempDir* JadOnRealClasses::root_ = nullptr;
fs::path* JadOnRealClasses::classes_ = nullptr;
std::string* JadOnRealClasses::setupError_ = new std::string;

TEST_F(JadOnRealClasses, WritesTheOuterClassIntoAMissingFolder) {
    const fs::path out = freshFolder("out 源码") / "deeper level";
    const JadRun r =
        runJadInCLocale({"-sjava", "-8", "-ff", "-d" + out.string(), classFile("Outer").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(listFolder(out), std::set<std::string>{"Outer.java"});

    const std::string source = readFile(out / "Outer.java").value_or("");
    EXPECT_NE(source.find("package demo;"), std::string::npos) << source;
    EXPECT_NE(source.find("class Outer<T extends Comparable<T>>"), std::string::npos) << source;
    EXPECT_NE(source.find("Map<K, List<T>> groupBy(final Function<T, K>"), std::string::npos)
        << source;
    EXPECT_NE(source.find("class Inner"), std::string::npos) << source;

    struct stat st {};
    ASSERT_EQ(stat((out / "Outer.java").c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask)
        << "the file keeps the temporary file's private mode";
}

TEST_F(JadOnRealClasses, InnerClassWithFolderAsSeparateArgument) {
    const fs::path out = freshFolder("inner out");
    const JadRun r =
        runJadInCLocale({"-ff", "-d", out.string(), classFile("Outer$Inner").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(listFolder(out), std::set<std::string>{"Outer$Inner.java"});
    const std::string source = readFile(out / "Outer$Inner.java").value_or("");
    EXPECT_NE(source.find("class Inner"), std::string::npos) << source;
    EXPECT_NE(source.find("count()"), std::string::npos) << source;
}

TEST_F(JadOnRealClasses, ReplacesAnOlderFileWithRelativePaths) {
    const fs::path out = freshFolder("older");
    fs::create_directories(out);
    writeFile(out / "Outer.java", "stale text from an earlier run\n");
    fs::copy_file(classFile("Outer"), root_->path() / "Outer.class");

    // Relative class file and folder, resolved against jad's working folder.
    const fs::path before = fs::current_path();
    fs::current_path(root_->path());
    const JadRun r = runJad({"-dolder", "Outer.class"});
    fs::current_path(before);

    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(listFolder(out), std::set<std::string>{"Outer.java"});
    const std::string source = readFile(out / "Outer.java").value_or("");
    EXPECT_EQ(source.find("stale"), std::string::npos);
    EXPECT_NE(source.find("class Outer<T extends Comparable<T>>"), std::string::npos) << source;
}

TEST_F(JadOnRealClasses, AnyFileThatHoldsAClassGivesTheSameSource) {
    const fs::path plainOut = freshFolder("plain");
    const JadRun plain = runJadInCLocale({"-d" + plainOut.string(), classFile("Outer").string()});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const std::string expected = readFile(plainOut / "Outer.java").value_or("");
    ASSERT_NE(expected.find("class Inner"), std::string::npos) << "the nested class is folded in";

    // Each case: the folder, the outer class file's name and its nested class file's name.
    const struct {
        const char* what;
        std::string folder;
        std::string outer;
        std::string inner;
        bool cold;
    } cases[] = {
        {"no extension", "a", "myclass", "myclass$1", false},
        {"no extension, cold", "a", "myclass", "myclass$1", true},
        {"a name that is not UTF-8", "b", "caf\xe9.class", "caf\xe9$Inner.class", false},
        {"a folder that is not UTF-8", "caf\xe9", "Outer.class", "Outer$Inner.class", false},
        {"a leading dash, another extension", "c", "-Outer.bin", "-Outer$Inner.bin", false},
    };
    const TempDir temporary;  // jad's TMPDIR, where its private copies go
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = freshFolder("odd names") / c.folder;
        fs::create_directories(folder);
        if (!fs::exists(folder / c.outer)) {
            fs::copy_file(classFile("Outer"), folder / c.outer);
            fs::copy_file(classFile("Outer$Inner"), folder / c.inner);
            writeFile(folder / "Other$1.class", minimalClass("demo/Other$1"));
        }
        const fs::path out = freshFolder("odd out") / c.what;
        std::map<std::string, std::string> env{{"TMPDIR", temporary.path().string()}};
        if (c.cold) env.emplace("BRINDLE_JAD_COLD", "1");
        const JadRun r = runJad({"-d" + out.string(), "--", (folder / c.outer).string()}, env);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(listFolder(out), std::set<std::string>{"Outer.java"});
        EXPECT_EQ(readFile(out / "Outer.java"), expected);
        EXPECT_TRUE(listFolder(temporary.path()).empty()) << "a private copy was left behind";
    }
}

TEST_F(JadOnRealClasses, DashDashEndsTheOptionsBeforeAClassFileNamedLikeOne) {
    const fs::path folder = freshFolder("dash");
    fs::create_directories(folder);
    fs::copy_file(classFile("Outer"), folder / "-d.class");
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    const JadRun withoutEnd = runJad({"-dout", "-d.class"});
    const JadRun r = runJad({"-dout", "--", "-d.class"});
    fs::current_path(before);

    EXPECT_EQ(withoutEnd.exitCode, 2) << "without --, -d.class is an option";
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(listFolder(folder / "out"), std::set<std::string>{"Outer.java"});
    EXPECT_NE(readFile(folder / "out" / "Outer.java").value_or("").find("class Outer<T"),
              std::string::npos);
}

// Failure paths and the process handling, on a hand-made class file.
class JadFailures : public ::testing::Test {
protected:
    void SetUp() override {
        in_ = dir_.path() / "in 源码";
        out_ = dir_.path() / "out 源码";
        fs::create_directories(in_);
        fs::create_directories(out_);
        classFile_ = in_ / "Min.class";
        writeFile(classFile_, minimalClass("a/Min"));
        fakeJava_ = dir_.path() / "fake java";
    }

    // Expects a failure with one stderr line naming `file`, and the older
    // Min.java left as it was.
    void expectFailure(const JadRun& r, const fs::path& file, const std::string& reason) {
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.err.starts_with("jad: " + file.string() + ": ")) << r.err;
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        EXPECT_EQ(listFolder(out_), std::set<std::string>{"Min.java"});
        EXPECT_EQ(readFile(out_ / "Min.java"), "older");
    }

    // Cold runs: these cases stand fake java programs in for Procyon.
    JadRun run(const fs::path& file, std::map<std::string, std::string> env) {
        writeFile(out_ / "Min.java", "older");
        env.emplace("BRINDLE_JAD_COLD", "1");
        return runJad({"-sjava", "-8", "-ff", "-d" + out_.string(), file.string()}, env);
    }

    TempDir dir_;
    fs::path in_;
    fs::path out_;
    fs::path classFile_;
    fs::path fakeJava_;
};

TEST_F(JadFailures, BadInputsAndMissingToolsGiveOneLine) {
    struct Case {
        const char* what;
        const char* file;                     // under in_
        std::optional<std::string> contents;  // nullopt: no file
        std::map<std::string, std::string> env;
        std::string reason;
    };
    std::string truncated(reinterpret_cast<const char*>(minimalClass("a/Min").data()), 14);
    const std::vector<Case> cases = {
        {"not a class file", "Text.class", "public class Min {}\n", {}, "not a class file"},
        {"truncated", "Cut.class", truncated, {}, "truncated class file"},
        {"missing file", "Gone.class", std::nullopt, {}, "No such file or directory"},
        {"missing java",
         "Min.class",
         "",
         {{"BRINDLE_JAD_JAVA", "/nonexistent/java"}},
         "java not found"},
        {"java not on PATH",
         "Min.class",
         "",
         {{"BRINDLE_JAD_JAVA", "no-such-java-here"}},
         "java not found"},
        {"missing Procyon",
         "Min.class",
         "",
         {{"BRINDLE_JAD_CLASSPATH", "/nonexistent/procyon.jar"}},
         "Procyon decompiler not found (missing /nonexistent/procyon.jar)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file = in_ / c.file;
        if (c.contents && !c.contents->empty())
            writeFile(file, *c.contents);
        else if (c.contents && file != classFile_)
            fs::copy_file(classFile_, file);
        expectFailure(run(file, c.env), file, c.reason);
    }
    expectFailure(run(in_, {}), in_, "is a folder");
}

TEST_F(JadFailures, DecompilerFailuresGiveOneLine) {
    struct Case {
        const char* what;
        const char* script;
        std::string reason;
    };
    const Case cases[] = {
        {"non-zero exit", "echo 'Error: no main class' >&2\necho 'partial source'\nexit 4",
         "decompiler failed (java exit status 4): Error: no main class"},
        {"no source, said by the cold mode's status",
         "echo '!!! ERROR: Failed to load class' >&2\nexit 3",
         "decompiler produced no output: !!! ERROR"},
        {"no output", "echo '!!! ERROR: Failed to load class' >&2",
         "decompiler produced no output: !!! ERROR"},
        {"blank output", "printf '\\n  \\n'", "decompiler produced no output"},
        {"killed by a signal", "echo 'some source'\nkill -TERM $$",
         "decompiler ended by signal 15"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeScript(fakeJava_, c.script);
        expectFailure(run(classFile_, {{"BRINDLE_JAD_JAVA", fakeJava_.string()}}), classFile_,
                      c.reason);
    }
}

TEST_F(JadFailures, TimeOutEndsJavaAndWhatItStarted) {
    const fs::path pidFile = dir_.path() / "sleeper.pid";
    writeScript(fakeJava_, "sleep 60 &\necho $! > '" + pidFile.string() + "'\nwait");
    const auto start = std::chrono::steady_clock::now();
    const JadRun r =
        run(classFile_, {{"BRINDLE_JAD_JAVA", fakeJava_.string()}, {"BRINDLE_JAD_TIMEOUT", "1"}});
    const auto elapsed = std::chrono::steady_clock::now() - start;

    expectFailure(r, classFile_, "timed out after 1 s");
    EXPECT_LT(elapsed, std::chrono::seconds(15));
    const std::string pidText = readFile(pidFile).value_or("");
    ASSERT_FALSE(pidText.empty());
    const pid_t sleeper = std::stoi(pidText);
    bool gone = false;
    for (int i = 0; i < 50 && !gone; ++i) {
        gone = processGone(sleeper);
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(gone) << "the sleep started by java still runs";
    if (!gone) kill(sleeper, SIGKILL);
}

TEST_F(JadFailures, ReadsLargeOutputOnBothPipes) {
    // stderr first: reading only stdout until its end would block this forever.
    writeScript(fakeJava_,
                "head -c 3000000 /dev/zero | tr '\\0' e >&2\n"
                "head -c 5000000 /dev/zero | tr '\\0' x\nprintf END");
    const JadRun r =
        run(classFile_, {{"BRINDLE_JAD_JAVA", fakeJava_.string()}, {"BRINDLE_JAD_TIMEOUT", "60"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string source = readFile(out_ / "Min.java").value_or("");
    EXPECT_EQ(source.size(), 5000003u);
    EXPECT_TRUE(source.ends_with("xEND"));
    EXPECT_EQ(listFolder(out_), std::set<std::string>{"Min.java"});
}

TEST_F(JadFailures, HandsJavaEachPathAsOneArgument) {
    const fs::path odd = dir_.path() / kOddName;
    fs::create_directories(odd);
    const fs::path file = odd / "Min.class";
    fs::copy_file(classFile_, file);
    const fs::path jarA = dir_.path() / "a.jar";
    const fs::path jarB = odd / "b b.jar";
    writeFile(jarA, "");
    writeFile(jarB, "");
    const fs::path argsFile = dir_.path() / "args";
    writeScript(fakeJava_,
                "printf '%s\\0' \"$@\" > '" + argsFile.string() + "'\necho 'class Min {}'");

    const JadRun r = run(file, {{"BRINDLE_JAD_JAVA", fakeJava_.string()},
                                {"BRINDLE_JAD_CLASSPATH", jarA.string() + ":" + jarB.string()}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(out_ / "Min.java"), "class Min {}\n");

    std::vector<std::string> args;
    const std::string raw = readFile(argsFile).value_or("");
    for (std::size_t start = 0, end; (end = raw.find('\0', start)) != std::string::npos;
         start = end + 1)
        args.push_back(raw.substr(start, end - start));
    ASSERT_GE(args.size(), 5u);
    EXPECT_EQ(args.back(), file.string());
    // The service program's cold mode, from beside jad.
    EXPECT_EQ(args[args.size() - 2], "--cold");
    EXPECT_EQ(args[args.size() - 3], "brindle.jad.JadService");
    const auto cp = std::find(args.begin(), args.end(), "-cp");
    ASSERT_NE(cp, args.end());
    ASSERT_NE(cp + 1, args.end());
    EXPECT_EQ(*(cp + 1), jarA.string() + ":" + jarB.string() + ":" +
                             (fs::path(JAD_PATH).parent_path() / "jad-service.jar").string());
}

TEST_F(JadFailures, AClassUnderAnyNameReachesJavaAsAPrivateCopy) {
    const fs::path file = in_ / "Min.bin";
    writeFile(file, minimalClass("a/Min"));
    writeFile(in_ / "Min$Inner.bin", minimalClass("a/Min$Inner"));
    writeFile(in_ / "x$2", minimalClass("a/Min$2"));  // found by its class name
    writeFile(in_ / "Other$1.class", minimalClass("a/Other$1"));
    writeFile(in_ / "Text$1.class", "not a class");
    const TempDir temporary;
    const fs::path seen = dir_.path() / "seen";
    // Notes the path it got, its folder's mode, the folder's files, and whether the file there
    // holds the class file's bytes.
    writeScript(fakeJava_, "for last; do :; done\n"
                           "folder=$(dirname \"$last\")\n"
                           "{ echo \"$last\"; stat -c %a \"$folder\"; ls \"$folder\"\n"
                           "  cmp -s \"$last\" '" + file.string() + "' && echo same; } > '" +
                               seen.string() + "'\n"
                           "echo 'class Min {}'");

    const JadRun r = run(file, {{"BRINDLE_JAD_JAVA", fakeJava_.string()},
                                {"TMPDIR", temporary.path().string()}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(out_ / "Min.java"), "class Min {}\n");
    std::vector<std::string> lines;
    std::istringstream text(readFile(seen).value_or(""));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 6u) << readFile(seen).value_or("");
    EXPECT_TRUE(lines[0].starts_with((temporary.path() / "brindle-jad-").string())) << lines[0];
    EXPECT_TRUE(lines[0].ends_with("/Min.class")) << lines[0];
    EXPECT_EQ(lines[1], "700");
    EXPECT_EQ(std::set<std::string>(lines.begin() + 2, lines.begin() + 5),
              (std::set<std::string>{"Min.class", "Min$Inner.class", "Min$2.class"}));
    EXPECT_EQ(lines[5], "same");
    EXPECT_TRUE(listFolder(temporary.path()).empty());
}

TEST_F(JadFailures, NoPrivateCopyOutlivesAFailedRun) {
    const fs::path file = in_ / "Min.bin";
    fs::copy_file(classFile_, file);
    const TempDir temporary;
    const std::map<std::string, std::string> env{{"BRINDLE_JAD_JAVA", fakeJava_.string()},
                                                 {"TMPDIR", temporary.path().string()},
                                                 {"BRINDLE_JAD_TIMEOUT", "1"}};
    const struct {
        const char* script;
        const char* reason;
    } cases[] = {
        {"exit 4", "decompiler failed (java exit status 4)"},
        {"sleep 30", "timed out after 1 s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        writeScript(fakeJava_, c.script);
        expectFailure(run(file, env), file, c.reason);
        EXPECT_TRUE(listFolder(temporary.path()).empty());
    }

    // Ended by a signal while java runs.
    const fs::path started = dir_.path() / "started";
    writeScript(fakeJava_, "touch '" + started.string() + "'\nsleep 30");
    std::map<std::string, std::string> cold = env;
    cold.emplace("BRINDLE_JAD_COLD", "1");
    cold["BRINDLE_JAD_TIMEOUT"] = "60";
    const pid_t jad = startJad({"-d" + out_.string(), file.string()}, cold, dir_.path() / "log");
    ASSERT_GT(jad, 0);
    for (int i = 0; i < 500 && !fs::exists(started); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(fs::exists(started));
    kill(jad, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(jad, &status, 0), jad);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(readFile(dir_.path() / "log"), "jad: " + file.string() + ": interrupted\n");
    EXPECT_TRUE(listFolder(temporary.path()).empty());
}

TEST_F(JadFailures, WhatJavaLeftRunningIsEndedWhenItExits) {
    const fs::path pidFile = dir_.path() / "sleeper.pid";
    // The sleeper holds neither pipe, so nothing but its process group ties it to jad.
    writeScript(fakeJava_, "sleep 60 >/dev/null 2>&1 &\necho $! > '" + pidFile.string() +
                               "'\necho 'class Min {}'");
    const JadRun r = run(classFile_, {{"BRINDLE_JAD_JAVA", fakeJava_.string()}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string pidText = readFile(pidFile).value_or("");
    ASSERT_FALSE(pidText.empty());
    const pid_t sleeper = std::stoi(pidText);
    const bool gone = waitUntilGone(sleeper, std::chrono::seconds(5));
    EXPECT_TRUE(gone) << "the sleep started by java still runs";
    if (!gone) kill(sleeper, SIGKILL);
}

TEST_F(JadFailures, ABadSettingGivesOneLineAndStatus2) {
    const struct {
        const char* name;
        const char* value;
        const char* unit;
    } cases[] = {
        {"BRINDLE_JAD_TIMEOUT", "0", "seconds from 1 to 604800"},
        {"BRINDLE_JAD_TIMEOUT", "2m", "seconds from 1 to 604800"},
        {"BRINDLE_JAD_SERVICE_IDLE", "-1", "seconds from 1 to 604800"},
        {"BRINDLE_JAD_SERVICE_DELAY_MS", "9999999999", "milliseconds from 0 to 604800000"},
    };
    writeScript(fakeJava_, "echo 'class Min {}'");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.value);
        const JadRun r = run(classFile_, {{"BRINDLE_JAD_JAVA", fakeJava_.string()}, {c.name, c.value}});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, "jad: " + std::string(c.name) + " must be a whole number of " + c.unit +
                             ", not \"" + c.value + "\"\n");
        EXPECT_EQ(readFile(out_ / "Min.java"), "older");
    }
}

}  // namespace
