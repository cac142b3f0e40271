// The real thing under Wine: Brindle.exe with the real Jad.exe in the Windows folder and the real
// service jar on the real Java (the Linux one, through tests/fakes/java_bridge as java.exe found
// by JAVA_HOME), over real class files from Debian's commons-lang3. What the service writes
// must be byte for byte what Jad.exe's cold run writes, and what the Linux jad writes.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/core/java_command.h"
#include "fakes/fake_log.h"
#include "support/files.h"
#include "support/win32_files.h"
#include "support/win32_launch.h"
#include "texts/texts.h"
#include "ui/resource.h"

namespace brindle {
namespace {

using testing::fromLinuxPath;
using testing::windowsFolder;
using testing::removeTree;

const std::string kChinese = "\xb3\xcc\xd0\xf2";  // 程序

std::vector<std::string> classFiles(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA((folder + "\\*.class").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.emplace_back(entry.cFileName);
    while (FindNextFileA(search, &entry));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

HWND waitForWindow(DWORD processId, const std::string& caption, int limitMs) {
    struct Search {
        DWORD processId;
        const std::string& caption;
        HWND found;
    } search{processId, caption, nullptr};
    for (int waited = 0; waited < limitMs && search.found == nullptr; waited += 50) {
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                char text[256] = {};
                GetWindowTextA(window, text, sizeof text);
                if (owner != s->processId || !IsWindowVisible(window) || s->caption != text) return TRUE;
                s->found = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) Sleep(50);
    }
    return search.found;
}

class RealEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetACP(), 936u) << "run under a Chinese locale (LC_ALL=zh_CN.UTF-8)";
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "real engine " + kChinese + " " + std::to_string(GetCurrentProcessId()) +
                "-" + std::to_string(counter_++);
        CreateDirectoryA(root_.c_str(), nullptr);
        program_ = root_ + "\\Brindle " + kChinese + "\\";
        CreateDirectoryA(program_.c_str(), nullptr);
        ASSERT_TRUE(CopyFileA(fromLinuxPath(BRINDLE_EXE).c_str(), (program_ + "Brindle.exe").c_str(), FALSE));
        // What a user does: Jad.exe into the Windows folder.
        ASSERT_TRUE(CopyFileA(fromLinuxPath(JAD_EXE).c_str(), (windowsFolder() + "\\Jad.exe").c_str(), FALSE));
        const std::string jdk = root_ + "\\jdk";
        CreateDirectoryA(jdk.c_str(), nullptr);
        CreateDirectoryA((jdk + "\\bin").c_str(), nullptr);
        ASSERT_TRUE(CopyFileA(fromLinuxPath(JAVA_BRIDGE).c_str(), (jdk + "\\bin\\java.exe").c_str(), FALSE));
        ASSERT_TRUE(testing::writeFile(jdk + "\\release", "JAVA_VERSION=\"17\"\n"));
        CreateDirectoryA((root_ + "\\appdata").c_str(), nullptr);
        out_ = root_ + "\\out " + kChinese;
        ASSERT_TRUE(testing::writeFile(program_ + "CodeOut.ini", out_ + "\r\n"));
        viewer_ = root_ + "\\viewer.exe";
        ASSERT_TRUE(CopyFileA(fromLinuxPath(FAKE_VIEWER).c_str(), viewer_.c_str(), FALSE));
        ASSERT_TRUE(testing::writeFile(program_ + "ShellApp.ini", viewer_ + "\r\n"));

        environment_ = {{"JAVA_HOME", jdk},
                        {"LOCALAPPDATA", root_ + "\\appdata"},
                        {"BRINDLE_JAD_SERVICE_IDLE", "30"},
                        {"BRINDLE_JAD_COLD", ""}};
    }
    void TearDown() override {
        // The service's stand-in, the relay; the Linux service behind it ends when idle.
        WIN32_FIND_DATAA entry;
        const std::string payloads = root_ + "\\appdata\\Brindle\\Jad\\";
        const HANDLE search = FindFirstFileA((payloads + "*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string text = testing::readFile(payloads + entry.cFileName + "\\service-" +
                                                           serviceFileName(payloads + entry.cFileName));
                const std::size_t last = text.size() > 2 ? text.rfind('\n', text.size() - 2) : std::string::npos;
                if (last == std::string::npos) continue;
                const HANDLE relay = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                                 static_cast<DWORD>(std::stoul(text.substr(last + 1))));
                if (relay == nullptr) continue;
                TerminateProcess(relay, 1);
                WaitForSingleObject(relay, 5000);
                CloseHandle(relay);
            } while (FindNextFileA(search, &entry));
            FindClose(search);
        }
        removeTree(root_);
        if (madeSource_) removeTree("C:\\Tarnwick");
    }
    // The name after "service-" of the port file in a payload folder.
    static std::string serviceFileName(const std::string& folder) {
        WIN32_FIND_DATAA entry;
        const HANDLE search = FindFirstFileA((folder + "\\service-*.port").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) return "none";
        FindClose(search);
        return std::string(entry.cFileName).substr(8);
    }

    using Env = std::map<std::string, std::string>;  // an empty value removes the variable

    // Starts commandLine with the test's environment changed by env. (Handed over as the
    // test's own environment: Wine takes the display from it, not from an explicit block.)
    static bool start(const std::string& commandLine, PROCESS_INFORMATION& process, const Env& env) {
        std::map<std::string, std::string> saved;
        for (const auto& [name, value] : env) {
            char old[4096];
            const DWORD length = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
            saved[name] = length > 0 && length < sizeof old ? std::string(old, length) : std::string();
            SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
        }
        std::string line = commandLine;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        const bool started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                            nullptr, &startup, &process) != FALSE;
        for (const auto& [name, value] : saved)
            SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
        return started;
    }
    static DWORD run(const std::string& commandLine, const Env& env) {
        PROCESS_INFORMATION process{};
        if (!start(commandLine, process, env)) return 0xFFFFFFFF;
        DWORD code = 0xFFFFFFFF;
        if (WaitForSingleObject(process.hProcess, 300000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }
    // Procyon's own command line on the class file, through Jad.exe's cold run.
    std::string coldSource(const std::string& classFile, const std::string& name) {
        const std::string folder = root_ + "\\cold";
        Env env = environment_;
        env["BRINDLE_JAD_COLD"] = "1";
        EXPECT_EQ(run("\"" + windowsFolder() + "\\Jad.exe\" -d\"" + folder + "\" \"" + classFile + "\"", env), 0u);
        return testing::readFile(folder + "\\" + name + ".java");
    }

    // What the Linux jad writes for the class file: its cold run's command line (the engine
    // core's, without the Windows options) on the Linux java, which the bridge hands it to,
    // under the C.UTF-8 locale jad gives java. Its output is the source as it is written.
    std::string linuxSource(const std::string& classFile) {
        std::vector<std::string> jars;
        const std::string procyon = PROCYON_JARS;
        for (std::size_t start = 0; start < procyon.size();) {
            const std::size_t end = std::min(procyon.find(':', start), procyon.size());
            jars.push_back(fromLinuxPath(procyon.substr(start, end - start)));
            start = end + 1;
        }
        jars.push_back(fromLinuxPath(SERVICE_JAR));
        std::string line = "\"" + root_ + "\\jdk\\bin\\java.exe\"";
        for (const std::string& arg : engine::coldRunArguments(engine::joinClassPath(jars, ';'), classFile, true))
            line += " \"" + arg + "\"";
        const std::string outFile = root_ + "\\linux.out";
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const HANDLE out = CreateFileA(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
        EXPECT_NE(out, INVALID_HANDLE_VALUE);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out;
        startup.hStdError = out;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        SetEnvironmentVariableA("LC_ALL", "C.UTF-8");
        PROCESS_INFORMATION process{};
        const bool started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                            &startup, &process) != FALSE;
        SetEnvironmentVariableA("LC_ALL", nullptr);
        CloseHandle(out);
        EXPECT_TRUE(started) << line;
        if (!started) return {};
        DWORD code = 0xFFFFFFFF;
        if (WaitForSingleObject(process.hProcess, 300000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(code, 0u) << line;
        return testing::readFile(outFile);
    }

    std::string root_, program_, out_, viewer_;
    Env environment_;
    bool madeSource_ = false;  // the batch's default source folder C:\Tarnwick\Servlets
    static inline int counter_ = 0;
};

void expectJavaSource(const std::string& source, const std::string& what) {
    EXPECT_EQ(source.rfind("// \n// Decompiled by Procyon v0.6.0\n// \n\npackage org.apache.commons.lang3.tuple;\n", 0), 0u)
        << what << ":\n" << source.substr(0, 200);
    EXPECT_EQ(source.find('\r'), std::string::npos) << what;
}

TEST_F(RealEngine, SingleFileDecompilesARealClassAndOpensIt) {
    const std::string classFile = root_ + "\\lib " + kChinese + "\\Pair.class";
    CreateDirectoryA((root_ + "\\lib " + kChinese).c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((fromLinuxPath(REAL_CLASSES) + "\\org\\apache\\commons\\lang3\\tuple\\Pair.class").c_str(),
                          classFile.c_str(), FALSE));

    ASSERT_EQ(run("\"" + program_ + "Brindle.exe\" \"" + classFile + "\"", environment_), 0u);

    const std::string source = testing::readFile(out_ + "\\Pair.java");
    expectJavaSource(source, "Pair.java");
    EXPECT_NE(source.find("public abstract class Pair<L, R>"), std::string::npos) << source;
    EXPECT_EQ(source, coldSource(classFile, "Pair"));
    EXPECT_EQ(source, linuxSource(classFile));
    const auto calls = testing::waitForCalls(viewer_ + ".log", 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0][0].find(out_ + "\\Pair.java"), std::string::npos);
}

// Where Procyon cannot decompile a method it writes the stack trace into the source: its frames
// and line ends too are the same warm, cold and on Linux.
TEST_F(RealEngine, AStackTraceInASourceIsTheSameWarmColdAndOnLinux) {
    const std::string classFile = root_ + "\\Fail.class";
    // With its local classes beside it, where Procyon looks for them.
    const std::string compiled = fromLinuxPath(REAL_CLASSES) + "\\demo\\service";
    for (const std::string& name : classFiles(compiled))
        ASSERT_TRUE(CopyFileA((compiled + "\\" + name).c_str(), (root_ + "\\" + name).c_str(), FALSE));
    const std::string folder = root_ + "\\warm";
    ASSERT_EQ(run("\"" + windowsFolder() + "\\Jad.exe\" -d\"" + folder + "\" \"" + classFile + "\"", environment_), 0u);
    const std::string warm = testing::readFile(folder + "\\Fail.java");
    EXPECT_NE(warm.find("\n                //     at com.strobel."), std::string::npos) << warm;
    EXPECT_EQ(warm.find('\r'), std::string::npos) << warm;
    EXPECT_EQ(warm, coldSource(classFile, "Fail"));
    EXPECT_EQ(warm, linuxSource(classFile));
}

TEST_F(RealEngine, FolderBatchDecompilesEveryClassFile) {
    const std::string source = "C:\\Tarnwick\\Servlets";
    ASSERT_EQ(GetFileAttributesA(source.c_str()), INVALID_FILE_ATTRIBUTES) << "left over: " << source;
    madeSource_ = true;
    CreateDirectoryA("C:\\Tarnwick", nullptr);
    CreateDirectoryA(source.c_str(), nullptr);
    const std::string tuple = source + "\\tuple";
    CreateDirectoryA(tuple.c_str(), nullptr);
    const std::string real = fromLinuxPath(REAL_CLASSES) + "\\org\\apache\\commons\\lang3\\tuple";
    const std::vector<std::string> names = classFiles(real);
    ASSERT_GE(names.size(), 8u);
    for (const std::string& name : names)
        ASSERT_TRUE(CopyFileA((real + "\\" + name).c_str(), (tuple + "\\" + name).c_str(), FALSE));

    PROCESS_INFORMATION process{};
    ASSERT_TRUE(start("\"" + program_ + "Brindle.exe\"", process, environment_));
    const Texts& t = gb2312Texts();
    HWND window = waitForWindow(process.dwProcessId, t.mainCaption, 10000);
    DWORD ended = 0;
    GetExitCodeProcess(process.hProcess, &ended);
    ASSERT_NE(window, nullptr) << "Brindle.exe: " << ended;
    testing::pressButton(window, IDC_START_BATCH);
    HWND done = waitForWindow(process.dwProcessId, t.systemNotice, 240000);
    EXPECT_NE(done, nullptr) << "the batch did not end";
    if (done != nullptr) SendMessageA(done, WM_COMMAND, IDOK, 0);
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    for (const std::string& name : names) {
        const std::string base = name.substr(0, name.size() - 6);
        const std::string produced = testing::readFile(out_ + "\\tuple\\" + base + ".java");
        if (base != "package-info") expectJavaSource(produced, base);
        EXPECT_EQ(produced, coldSource(tuple + "\\" + name, base)) << base;
        EXPECT_EQ(produced, linuxSource(tuple + "\\" + name)) << base;
    }
}

}  // namespace
}  // namespace brindle
