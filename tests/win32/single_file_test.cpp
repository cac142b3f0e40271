// Brindle.exe in a temporary program folder of a throw-away Wine prefix. Texts are ANSI bytes
// of code page 936 (the prefix runs with a Chinese locale), so every path here is spelled in
// those bytes.

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "fakes/fake_log.h"
#include "support/files.h"
#include "support/win32_files.h"
#include "support/win32_launch.h"
#include "support/zip_writer.h"
#include "texts/texts.h"

namespace brindle {
namespace {

using testing::fromLinuxPath;
using testing::windowsFolder;
using testing::removeTree;

using Calls = std::vector<std::vector<std::string>>;

const std::string kChinese = "\xb3\xcc\xd0\xf2";  // 程序
const std::string kTrailBackslash = "\x94\x5c";   // 擻, whose trail byte is a backslash

// Wine shows the Linux file system as drive Z:.
using testing::readFile;
using testing::waitForCalls;

void writeFile(const std::string& path, const std::string& bytes) {
    ASSERT_TRUE(testing::writeFile(path, bytes)) << path;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The visible top-level window of the process with this caption; waits up to ten seconds.
HWND waitForWindowOf(DWORD processId, const std::string& caption) {
    struct Search {
        DWORD processId;
        const std::string& caption;
        HWND found;
    } search{processId, caption, nullptr};
    for (int i = 0; i < 500 && search.found == nullptr; ++i) {
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
        if (search.found == nullptr) Sleep(20);
    }
    return search.found;
}

// Starts commandLine exactly as given, expects the main window, does whileOpen with it, closes
// it as the user does and waits up to ten seconds for the process to end; its exit code.
DWORD launchAndCloseWindow(const std::string& commandLine,
                           const std::function<void(HWND)>& whileOpen = {}) {
    PROCESS_INFORMATION process;
    if (!testing::startProcess(commandLine, process)) return 0xFFFFFFFF;
    HWND window = waitForWindowOf(process.dwProcessId, brindle::gb2312Texts().mainCaption);
    EXPECT_NE(window, nullptr) << "no main window";
    if (window != nullptr) {
        if (whileOpen) whileOpen(window);
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "still running after its window was closed";
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 10000);
    }
    return testing::exitCodeAndClose(process);
}

// The viewer's command line as Brindle.exe gave it. When an unquoted command line names a
// program whose path holds a blank, Wine hands the new process its name in quotes; Windows
// hands over the text as given. Undo Wine's quotes so that the test holds on both.
Calls viewerCalls(const std::string& log, const std::string& viewer) {
    Calls calls = waitForCalls(log, 1);
    const std::string quoted = "\"" + viewer + "\" ";
    for (auto& call : calls) {
        for (std::string& item : call) {
            if (item.rfind(quoted, 0) == 0) item.replace(0, quoted.size(), viewer + " ");
        }
    }
    return calls;
}

class BrindleExe : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetACP(), 936u) << "run under a Chinese locale (LC_ALL=zh_CN.UTF-8)";
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "brindle " + kChinese + " " + std::to_string(GetCurrentProcessId()) +
                "-" + std::to_string(counter_++);
        program_ = root_ + "\\prog " + kChinese + "\\";
        CreateDirectoryA(root_.c_str(), nullptr);
        CreateDirectoryA(program_.c_str(), nullptr);
        ASSERT_TRUE(CopyFileA(fromLinuxPath(BRINDLE_EXE).c_str(), brindle().c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(fromLinuxPath(FAKE_VIEWER).c_str(), viewer().c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(fromLinuxPath(FAKE_ENGINE).c_str(), engine().c_str(), FALSE));
        DeleteFileA(engineLog().c_str());
    }
    void TearDown() override {
        DeleteFileA(engineLog().c_str());
        removeTree(root_);
    }

    std::string brindle() const { return program_ + "Brindle.exe"; }
    std::string viewer() const { return root_ + "\\viewer " + kChinese + ".exe"; }
    std::string viewerLog() const { return viewer() + ".log"; }
    static std::string engine() { return windowsFolder() + "\\Jad.exe"; }
    static std::string engineLog() { return engine() + ".log"; }
    std::string folder(const std::string& name) const {
        const std::string path = root_ + "\\" + name;
        CreateDirectoryA(path.c_str(), nullptr);
        return path;
    }
    void nameViewer() const { writeFile(program_ + "ShellApp.ini", viewer() + "\r\n"); }
    void nameOutput(const std::string& out) const { writeFile(program_ + "CodeOut.ini", out + "\r\n"); }
    // Brindle.exe started with exactly this command tail after its quoted name.
    DWORD start(const std::string& tail) const {
        return testing::launchAndWait("\"" + brindle() + "\" " + tail);
    }

    std::string root_;
    std::string program_;
    static inline int counter_ = 0;
};

TEST_F(BrindleExe, QuotedTailReachesTheEngineUnchangedAndTheViewerOpensTheResult) {
    nameViewer();
    const std::string out = folder("out " + kChinese);
    nameOutput(out);
    const std::string classFile = folder("lib dir") + "\\Foo.class";
    writeFile(classFile, "class");
    // A read-only result of an earlier run: the engine could not replace it unless it went.
    const std::string expected = out + "\\Foo.java";
    writeFile(expected, "stale");
    SetFileAttributesA(expected.c_str(), FILE_ATTRIBUTE_READONLY);

    ASSERT_EQ(start("\"" + classFile + "\""), 0u);

    EXPECT_EQ(fakes::readCalls(engineLog()),
              (Calls{{windowsFolder() + "\\Jad.exe -sjava -8 -ff -d\"" + out + "\" \"" + classFile + "\""}}));
    EXPECT_NE(readFile(expected).find("fake engine"), std::string::npos);
    EXPECT_EQ(viewerCalls(viewerLog(), viewer()), (Calls{{viewer() + " " + expected}}));
}

TEST_F(BrindleExe, UnquotedTailAndDefaultOutputFolder) {
    nameViewer();
    ASSERT_EQ(start("C:\\lib\\Foo.Bar.class"), 0u);

    const std::string out = program_ + "JavaSourceCode";
    EXPECT_EQ(fakes::readCalls(engineLog()),
              (Calls{{windowsFolder() + "\\Jad.exe -sjava -8 -ff -d\"" + out + "\" C:\\lib\\Foo.Bar.class"}}));
    EXPECT_EQ(viewerCalls(viewerLog(), viewer()), (Calls{{viewer() + " " + out + "\\Foo.java"}}));
}

TEST_F(BrindleExe, TrailByteBackslashIsPartOfTheName) {
    nameViewer();
    const std::string out = folder("out");
    nameOutput(out);
    const std::string classFile = folder("src") + "\\" + kTrailBackslash + ".class";
    writeFile(classFile, "class");

    ASSERT_EQ(start("\"" + classFile + "\""), 0u);

    const std::string expected = out + "\\" + kTrailBackslash + ".java";
    EXPECT_TRUE(exists(expected));
    EXPECT_EQ(viewerCalls(viewerLog(), viewer()), (Calls{{viewer() + " " + expected}}));
}

TEST_F(BrindleExe, CommandsLongerThanAnyFixedBufferArriveWhole) {
    nameViewer();
    const std::string classFile = "\"C:\\" + std::string(900, 'c') + "\\Foo.class\"";
    ASSERT_EQ(start(classFile), 0u);
    EXPECT_EQ(fakes::readCalls(engineLog()),
              (Calls{{windowsFolder() + "\\Jad.exe -sjava -8 -ff -d\"" + program_ + "JavaSourceCode\" " +
                      classFile}}));
}

// The text of a message box: its static control that holds text.
std::string messageTextOf(HWND box) {
    std::string text;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM data) -> BOOL {
            char name[16] = {};
            GetClassNameA(child, name, sizeof name);
            char buffer[2048] = {};
            GetWindowTextA(child, buffer, sizeof buffer);
            if (std::string(name) == "Static" && buffer[0] != '\0') {
                *reinterpret_cast<std::string*>(data) = buffer;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

// When the engine gives no source, a message box says why and no viewer is started; the
// program ends with status 1 once it is closed.
TEST_F(BrindleExe, AFailedEngineRunSaysWhyInsteadOfStartingTheViewer) {
    const Texts& t = gb2312Texts();
    struct Case {
        const char* name;
        bool engine;
        std::string reason;
    };
    const Case cases[] = {
        {"engine fails", true, "Foo.class: not a class file"},
        {"no engine", false, std::string(t.engineMissing) + engine()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.engine) DeleteFileA(engine().c_str());
        nameViewer();
        const std::string classFile = folder("src " + kChinese) + "\\Foo.class";
        writeFile(classFile, "fail: Foo.class: not a class file\r\n");

        PROCESS_INFORMATION process;
        ASSERT_TRUE(testing::startProcess("\"" + brindle() + "\" \"" + classFile + "\"", process));
        HWND box = waitForWindowOf(process.dwProcessId, t.systemNotice);
        ASSERT_NE(box, nullptr) << "no message box";
        EXPECT_EQ(messageTextOf(box), std::string(t.decompileFailed) + classFile + "\n" + c.reason);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
        EXPECT_EQ(testing::exitCodeAndClose(process), 1u);
        EXPECT_FALSE(exists(viewerLog()));
    }
}

TEST_F(BrindleExe, BlankTailIsWindowModeAndRunsNoEngine) {
    EXPECT_EQ(launchAndCloseWindow("\"" + brindle() + "\""), 0u);
    EXPECT_EQ(launchAndCloseWindow("\"" + brindle() + "\"     "), 0u);
    EXPECT_TRUE(fakes::readCalls(engineLog()).empty());
}

// Closing the window while the engine of a batch still runs ends the program at once; the engine
// run goes on by itself. The batch walks the default source folder.
TEST_F(BrindleExe, ClosingDuringABatchEndsTheProgramAtOnce) {
    const std::string source = "C:\\Tarnwick\\Servlets";
    const bool made = GetFileAttributesA(source.c_str()) == INVALID_FILE_ATTRIBUTES;
    CreateDirectoryA("C:\\Tarnwick", nullptr);
    CreateDirectoryA(source.c_str(), nullptr);
    const std::string classFile = source + "\\BrindleCloseTest.class";
    writeFile(classFile, "class");
    const std::string gate = engine() + ".gate";
    writeFile(gate, "");

    const DWORD code = launchAndCloseWindow("\"" + brindle() + "\"", [&](HWND window) {
        testing::pressButton(window, 1009);
        EXPECT_EQ(waitForCalls(engineLog(), 1).size(), 1u);
    });
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(exists(gate)) << "the engine was not still running";

    DeleteFileA(gate.c_str());
    Sleep(300);  // the engine ends on its own
    DeleteFileA(classFile.c_str());
    if (made) {
        RemoveDirectoryA(source.c_str());
        RemoveDirectoryA("C:\\Tarnwick");
    }
}

// The same during a batch inside an archive: its temporary folder goes before the program ends.
TEST_F(BrindleExe, ClosingDuringAnArchiveBatchLeavesNoTemporaryFolder) {
    const std::string source = "C:\\Tarnwick\\Servlets";
    const bool made = GetFileAttributesA(source.c_str()) == INVALID_FILE_ATTRIBUTES;
    CreateDirectoryA("C:\\Tarnwick", nullptr);
    CreateDirectoryA(source.c_str(), nullptr);
    const std::string jar = source + "\\BrindleCloseTest.jar";
    writeFile(jar, testing::ZipWriter().file("A.class", "x").file("B.class", "x").bytes());
    const std::string scratch = folder("tmp");
    SetEnvironmentVariableA("TMP", scratch.c_str());  // Brindle.exe inherits it
    const std::string gate = engine() + ".gate";
    writeFile(gate, "");

    launchAndCloseWindow("\"" + brindle() + "\"", [&](HWND window) {
        testing::pressButton(window, 1009);
        EXPECT_EQ(waitForCalls(engineLog(), 1).size(), 1u);
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA((scratch + "\\brindle-*").c_str(), &found);
        EXPECT_NE(search, INVALID_HANDLE_VALUE) << "no temporary folder while the engine runs";
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
    });
    SetEnvironmentVariableA("TMP", nullptr);
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((scratch + "\\brindle-*").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << found.cFileName;
    if (search != INVALID_HANDLE_VALUE) FindClose(search);

    DeleteFileA(gate.c_str());
    Sleep(300);  // the engine ends on its own
    DeleteFileA(jar.c_str());
    if (made) {
        RemoveDirectoryA(source.c_str());
        RemoveDirectoryA("C:\\Tarnwick");
    }
}

}  // namespace
}  // namespace brindle
