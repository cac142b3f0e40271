// Jad.exe under Wine, with a fake java.exe found through JAVA_HOME (tests/fakes/fake_java.cpp)
// and a fresh %LOCALAPPDATA% for every test. Jad.exe is started with CreateProcessA and an ANSI
// command line of code page 936 bytes, exactly as Brindle.exe starts it.

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/limits.h"
#include "fakes/fake_log.h"
#include "support/files.h"

namespace {

using Calls = std::vector<std::vector<std::string>>;
using Env = std::map<std::string, std::optional<std::string>>;  // nullopt removes a variable

const std::string kChinese = "\xb3\xcc\xd0\xf2";  // 程序
const std::string kTrail = "\x94\x5c";            // 擻, whose trail byte is a backslash

std::string fromLinuxPath(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return "Z:" + path;
}

std::wstring ansiToWide(const std::string& ansi) {
    const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), length);
    return wide;
}

std::string wideToUtf8(const std::wstring& wide) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                        nullptr, nullptr);
    return text;
}

std::string utf8(const std::string& ansi) { return wideToUtf8(ansiToWide(ansi)); }

std::wstring longForm(const std::string& ansi) { return L"\\\\?\\" + ansiToWide(ansi); }

bool exists(const std::string& ansiPath) {
    return GetFileAttributesW(longForm(ansiPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string readWhole(const std::string& ansiPath) {
    const HANDLE file = CreateFileW(longForm(ansiPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(file);
    return text;
}

void writeWhole(const std::string& ansiPath, const std::string& bytes) {
    const HANDLE file = CreateFileW(longForm(ansiPath).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << ansiPath;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void makeFolder(const std::string& ansiPath) { CreateDirectoryW(longForm(ansiPath).c_str(), nullptr); }

std::set<std::string> listFolder(const std::string& ansiPath) {
    std::set<std::string> names;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((longForm(ansiPath) + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") names.insert(wideToUtf8(name));
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

void removeTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// True when the process has ended (or never was), waiting up to ten seconds.
bool processEnds(DWORD pid) {
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return true;
    const bool ended = WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

void endProcess(DWORD pid) {
    const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

// A class file that defines `internalName` and nothing else.
std::string minimalClass(const std::string& internalName) {
    std::string b = "\xCA\xFE\xBA\xBE";
    auto u2 = [&b](unsigned v) {
        b += static_cast<char>((v >> 8) & 0xFF);
        b += static_cast<char>(v & 0xFF);
    };
    u2(0);
    u2(61);  // Java 17
    u2(3);   // pool: #1 Utf8, #2 Class
    b += '\x01';
    u2(static_cast<unsigned>(internalName.size()));
    b += internalName;
    b += '\x07';
    u2(1);
    u2(0x21);
    u2(2);  // this_class
    for (int i = 0; i < 5; ++i) u2(0);
    return b;
}

struct JadRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string err;
    bool stderrHeldOpen = false;  // by another process, five seconds after Jad.exe ended
};

// Starts commandLine (ANSI bytes) with the test's environment changed by env; its exit code and
// what it printed on stderr.
JadRun runAnsi(const std::string& commandLine, const Env& env, DWORD limitMs = 60000) {
    std::map<std::string, std::string> vars;
    char* block = GetEnvironmentStringsA();
    for (const char* entry = block; *entry != '\0'; entry += strlen(entry) + 1) {
        const std::string e = entry;
        const std::size_t eq = e.find('=', 1);
        if (eq != std::string::npos) vars[e.substr(0, eq)] = e.substr(eq + 1);
    }
    FreeEnvironmentStringsA(block);
    for (const auto& [name, value] : env) {
        for (auto it = vars.begin(); it != vars.end();) {
            it = _stricmp(it->first.c_str(), name.c_str()) == 0 ? vars.erase(it) : std::next(it);
        }
        if (value) vars[name] = *value;
    }
    std::string environment;
    for (const auto& [name, value] : vars) environment += name + "=" + value + '\0';
    environment += '\0';

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::string line = commandLine;
    PROCESS_INFORMATION process{};
    JadRun run;
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                                        environment.data(), nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return run;
    }
    // Read to the pipe's end. A program that holds on to Jad.exe's stderr (a resident service
    // given Jad.exe's handles) would keep it open after Jad.exe ends.
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    ULONGLONG endedAt = 0;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;  // all writers gone
        if (available > 0) {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr)) break;
            run.err.append(buffer, got);
            continue;
        }
        const ULONGLONG now = GetTickCount64();
        if (endedAt == 0 && WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) endedAt = now;
        if ((endedAt != 0 && now > endedAt + 5000) || now > deadline) {
            run.stderrHeldOpen = endedAt != 0;
            break;
        }
        Sleep(10);
    }
    CloseHandle(readEnd);
    if (WaitForSingleObject(process.hProcess, limitMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

class JadExe : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetACP(), 936u) << "run under a Chinese locale (LC_ALL=zh_CN.UTF-8)";
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "jad " + kChinese + " " + std::to_string(GetCurrentProcessId()) +
                "-" + std::to_string(counter_++);
        makeFolder(root_);
        makeFolder(jdk());
        makeFolder(jdk() + "\\bin");
        ASSERT_TRUE(CopyFileA(fromLinuxPath(FAKE_JAVA).c_str(), java().c_str(), FALSE));
        writeWhole(jdk() + "\\release", "JAVA_VERSION=\"17.0.9\"\n");
        makeFolder(appData());
        makeFolder(folder("src"));
        writeWhole(folder("src") + "\\Hello.class", minimalClass("demo/Hello"));
    }
    void TearDown() override {
        // The services this test started, and a hanging fake's child.
        for (const std::string& payload : listFolder(appData() + "\\Brindle\\Jad")) {
            const std::string dir = appData() + "\\Brindle\\Jad\\" + payload;
            for (const std::string& name : listFolder(dir)) {
                if (!name.ends_with(".port")) continue;
                const std::string text = readWhole(dir + "\\" + name);
                const std::size_t last = text.rfind('\n', text.size() - 2);
                if (last != std::string::npos) endProcess(static_cast<DWORD>(std::stoul(text.substr(last + 1))));
            }
        }
        if (const std::string child = readWhole(java() + ".child"); !child.empty())
            endProcess(static_cast<DWORD>(std::stoul(child)));
        removeTree(longForm(root_));
    }

    std::string jdk() const { return root_ + "\\jdk"; }
    std::string java() const { return jdk() + "\\bin\\java.exe"; }
    std::string appData() const { return root_ + "\\appdata"; }
    std::string folder(const std::string& name) const {
        const std::string path = root_ + "\\" + name;
        makeFolder(path);
        return path;
    }
    Calls javaCalls() const { return brindle::fakes::readCalls(java() + ".log"); }
    // The calls that started a service (the service program with an endpoint, not --cold).
    Calls serviceCalls() const {
        Calls found;
        for (const auto& call : javaCalls()) {
            const auto at = std::find(call.begin(), call.end(), "brindle.jad.JadService");
            if (at != call.end() && at + 1 != call.end() && at[1].starts_with("tcp:")) found.push_back(call);
        }
        return found;
    }
    std::size_t serviceStarts() const { return serviceCalls().size(); }

    // The environment of a test: the fake java through JAVA_HOME, its own %LOCALAPPDATA%.
    Env env(Env more = {}) const {
        more.emplace("JAVA_HOME", jdk());
        more.emplace("LOCALAPPDATA", appData());
        more.emplace("BRINDLE_JAD_JAVA", std::nullopt);
        more.emplace("BRINDLE_JAD_SERVICE_IDLE", "60");
        return more;
    }
    // Jad.exe as Brindle.exe starts it: "<engine> -sjava -8 -ff -d"<folder>" <tail>".
    JadRun jad(const std::string& folderText, const std::string& tail, const Env& e) const {
        return runAnsi("\"" + fromLinuxPath(JAD_EXE) + "\" -sjava -8 -ff -d\"" + folderText + "\" " + tail, e);
    }

    std::string root_;
    static inline int counter_ = 0;
};

const std::string kSourceTail = "class \xe7\xa8\x8b\xe5\xba\x8f {}\n";  // UTF-8, LF

TEST_F(JadExe, AwkwardPathsReachJavaWholeAndTheSourceLandsByteForByte) {
    for (const bool cold : {true, false}) {
        SCOPED_TRACE(cold ? "cold" : "service");
        const std::string src = folder("src " + kChinese + (cold ? " c" : " s")) + "\\" + kTrail;
        makeFolder(src);
        const std::string classFile = src + "\\" + kTrail + " x.class";
        writeWhole(classFile, minimalClass("demo/Hello"));
        // The folder ends in the trail-byte character, right before the closing quote.
        const std::string out = root_ + "\\out " + kChinese + (cold ? " c\\" : " s\\") + kTrail;
        const std::string older = out + "\\Hello.java";
        makeFolder(root_ + "\\out " + kChinese + (cold ? " c" : " s"));
        makeFolder(out);
        writeWhole(older, "older");
        SetFileAttributesW(longForm(older).c_str(), FILE_ATTRIBUTE_READONLY);

        const JadRun run = jad(out, "\"" + classFile + "\"", env(cold ? Env{{"BRINDLE_JAD_COLD", "1"}} : Env{}));
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_EQ(run.err, "");
        const std::string kind = cold ? "cold" : "service";
        EXPECT_EQ(readWhole(older), "// " + kind + " source of " + utf8(classFile) + "\n" + kSourceTail);
        EXPECT_EQ(listFolder(out), std::set<std::string>{"Hello.java"});
        const Calls calls = javaCalls();
        ASSERT_FALSE(calls.empty());
        if (cold) {
            // The service program's cold mode, with the platform's java options before it.
            const std::vector<std::string>& call = calls.back();
            EXPECT_EQ(call.back(), utf8(classFile));
            EXPECT_EQ(call.end()[-2], "--cold");
            EXPECT_EQ(call.end()[-3], "brindle.jad.JadService");
            const auto options = std::find_if(call.begin(), call.end(),
                                              [](const std::string& a) { return a.starts_with("@"); });
            ASSERT_NE(options, call.end()) << "no java options file";
            const auto cp = std::find(call.begin(), call.end(), "-cp");
            ASSERT_NE(cp, call.end());
            EXPECT_LT(options, cp);
            EXPECT_NE(cp[1].find("\\jad-service.jar"), std::string::npos) << cp[1];
        } else {
            EXPECT_EQ(calls.back()[0], "request");
            EXPECT_EQ(calls.back()[1], utf8(classFile));
        }
    }
}

// Procyon opens only names ending in ".class": another name reaches java as a private copy,
// which is gone afterwards.
TEST_F(JadExe, AClassFileOfAnyNameGoesThroughAPrivateCopy) {
    const std::string classFile = folder("src") + "\\Hello.bin";
    writeWhole(classFile, minimalClass("demo/Hello"));
    const std::string out = folder("out");
    for (const bool cold : {true, false}) {
        const JadRun run = jad(out, "\"" + classFile + "\"", env(cold ? Env{{"BRINDLE_JAD_COLD", "1"}} : Env{}));
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        const std::string source = readWhole(out + "\\Hello.java");
        EXPECT_NE(source.find("\\copies\\"), std::string::npos) << source;
        EXPECT_NE(source.find("\\Hello.class\n"), std::string::npos) << source;
    }
    const std::set<std::string> payloads = listFolder(appData() + "\\Brindle\\Jad");
    ASSERT_EQ(payloads.size(), 1u);
    EXPECT_EQ(listFolder(appData() + "\\Brindle\\Jad\\" + *payloads.begin() + "\\copies"),
              std::set<std::string>{});
}

TEST_F(JadExe, UnquotedTailWithBlanksAndADriveRoot) {
    const std::string classFile = folder("lib dir " + kChinese) + "\\Hello.class";
    writeWhole(classFile, minimalClass("RootTestHello"));
    // Brindle.exe's output folder C:\ comes as -d"C:\\".
    const JadRun run = jad("C:\\\\", classFile + "  ", env({{"BRINDLE_JAD_COLD", "1"}}));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(readWhole("C:\\RootTestHello.java"),
              "// cold source of " + utf8(classFile) + "\n" + kSourceTail);
    DeleteFileA("C:\\RootTestHello.java");
}

TEST_F(JadExe, PathsBeyond260Characters) {
    std::string deep = root_;
    while (deep.size() < 280) {
        deep += "\\deep " + kChinese + " folder";
        makeFolder(deep);
    }
    const std::string classFile = deep + "\\Hello.class";
    writeWhole(classFile, minimalClass("demo/Hello"));
    const std::string out = deep + "\\out\\not yet there";
    for (const bool cold : {true, false}) {
        const JadRun run = jad(out, "\"" + classFile + "\"", env(cold ? Env{{"BRINDLE_JAD_COLD", "1"}} : Env{}));
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_EQ(readWhole(out + "\\Hello.java"),
                  std::string("// ") + (cold ? "cold" : "service") + " source of " + utf8(classFile) + "\n" + kSourceTail);
    }
    EXPECT_GT(utf8(out + "\\Hello.java").size(), 300u);
}

TEST_F(JadExe, FailuresPrintOneLineAndLeaveTheOlderResult) {
    const std::string out = folder("out");
    const std::string classFile = folder("src") + "\\Hello.class";
    const std::string textFile = folder("src") + "\\Text.class";
    writeWhole(textFile, "not a class");
    struct Case {
        std::string mode;
        std::string file;
        std::string reason;
    };
    const Case cases[] = {
        {"fail", classFile, "decompiler failed (java exit status 1): Error: the fake decompiler failed"},
        {"empty", classFile, "decompiler produced no output"},
        {"", textFile, "not a class file"},
        {"", folder("src") + "\\Missing.class", "cannot open: "},
        {"", folder("src"), "is a folder, not a class file"},
    };
    for (const Case& c : cases) {
        writeWhole(out + "\\Hello.java", "older");
        const JadRun run = jad(out, "\"" + c.file + "\"", env({{"BRINDLE_JAD_COLD", "1"}, {"FAKE_JAVA_MODE", c.mode}}));
        EXPECT_EQ(run.exitCode, 1u) << c.mode << c.file;
        const std::string prefix = "jad: " + c.file + ": ";
        EXPECT_EQ(run.err.rfind(prefix, 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        EXPECT_EQ(readWhole(out + "\\Hello.java"), "older");
        EXPECT_EQ(listFolder(out), std::set<std::string>{"Hello.java"});
    }
}

TEST_F(JadExe, ServiceThatCannotStartGivesWayToAColdRun) {
    const std::string out = folder("out");
    const JadRun run = jad(out, "\"" + folder("src") + "\\Hello.class\"", env({{"FAKE_JAVA_MODE", "no-service"}}));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(readWhole(out + "\\Hello.java").rfind("// cold source of ", 0), 0u);
    EXPECT_EQ(serviceStarts(), 1u);
}

TEST_F(JadExe, LaterRunsAskTheSameService) {
    const std::string out = folder("out");
    for (int i = 0; i < 3; ++i) {
        const JadRun run = jad(out, "\"" + folder("src") + "\\Hello.class\"", env());
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_FALSE(run.stderrHeldOpen) << "the service holds Jad.exe's stderr";
    }
    EXPECT_EQ(serviceStarts(), 1u);
    std::size_t requests = 0;
    for (const auto& call : javaCalls()) requests += call[0] == "request" ? 1u : 0u;
    EXPECT_EQ(requests, 3u);
}

// The service's decompilers and the results it holds ahead come from the environment, its heap
// from the decompilers; the platform's java options come before the engine's own arguments.
TEST_F(JadExe, TheServiceIsStartedWithTheShapeTheEnvironmentGives) {
    const std::string out = folder("out");
    const JadRun run = jad(out, "\"" + folder("src") + "\\Hello.class\"",
                           env({{"BRINDLE_JAD_WORKERS", "3"}, {"BRINDLE_JAD_AHEAD", "5"}}));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    const Calls calls = serviceCalls();
    ASSERT_EQ(calls.size(), 1u);
    const std::vector<std::string>& call = calls[0];
    const auto service = std::find(call.begin(), call.end(), "brindle.jad.JadService");
    ASSERT_EQ(call.end() - service, 6);
    EXPECT_EQ(std::vector<std::string>(service + 3, call.end()), (std::vector<std::string>{"60", "3", "5"}));
    const auto options = std::find_if(call.begin(), call.end(), [](const std::string& a) { return a.starts_with("@"); });
    using namespace brindle::engine;
    const auto heap = std::find(call.begin(), call.end(),
                                "-Xmx" + std::to_string((kServiceHeapBase + 3 * kServiceHeapPerDecompiler) / kMiB) + "m");
    const auto cp = std::find(call.begin(), call.end(), "-cp");
    ASSERT_NE(options, call.end());
    ASSERT_NE(heap, call.end());
    EXPECT_LT(options, cp);
    EXPECT_LT(heap, cp);
}

// The port of a service that ended may come to another program: without the service's proof
// its answer is not taken, and a new service of the user's own is started.
TEST_F(JadExe, AProgramHoldingTheServicesPortIsNotTakenForIt) {
    const std::string out = folder("out");
    const std::string classFile = folder("src") + "\\Hello.class";
    ASSERT_EQ(jad(out, "\"" + classFile + "\"", env()).exitCode, 0u);
    const std::set<std::string> payloads = listFolder(appData() + "\\Brindle\\Jad");
    ASSERT_EQ(payloads.size(), 1u);
    const std::string payload = appData() + "\\Brindle\\Jad\\" + *payloads.begin();
    std::string portFile;
    for (const std::string& name : listFolder(payload))
        if (name.ends_with(".port")) portFile = payload + "\\" + name;
    ASSERT_FALSE(portFile.empty());
    const std::string published = readWhole(portFile);
    const std::size_t last = published.rfind('\n', published.size() - 2);
    endProcess(static_cast<DWORD>(std::stoul(published.substr(last + 1))));

    // The other program: it listens where the port file points and answers without the proof.
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    const SOCKET other = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(other, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(other, 4), 0);
    int size = sizeof address;
    getsockname(other, reinterpret_cast<sockaddr*>(&address), &size);
    writeWhole(portFile, std::to_string(ntohs(address.sin_port)) + published.substr(published.find('\n')));
    std::thread answering([other] {
        const SOCKET client = accept(other, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        char secret[64];
        recv(client, secret, sizeof secret, MSG_WAITALL);
        const std::string body = "// not the service\n";
        std::string answer = std::string(64, 'x') + "BRJ3" + '\3' + std::string(4, '\0') + "BRJ3" + '\0';
        for (int shift = 24; shift >= 0; shift -= 8) answer += static_cast<char>((body.size() >> shift) & 0xFF);
        answer += body;
        send(client, answer.data(), static_cast<int>(answer.size()), 0);
        Sleep(500);
        closesocket(client);
    });
    const JadRun run = jad(out, "\"" + classFile + "\"", env());
    closesocket(other);
    answering.join();
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(readWhole(out + "\\Hello.java").rfind("// service source of ", 0), 0u);
    EXPECT_EQ(serviceStarts(), 2u);
}

TEST_F(JadExe, TimeLimitEndsJavaAndWhatItStarted) {
    for (const bool cold : {true, false}) {
        SCOPED_TRACE(cold ? "cold" : "service");
        DeleteFileA((java() + ".child").c_str());
        // Long enough for java and its child to start under a loaded Wine with a fresh prefix,
        // where starting a process can take seconds: the child must exist before the limit.
        Env e = env({{"FAKE_JAVA_MODE", "hang"}, {"BRINDLE_JAD_TIMEOUT", "8"}});
        if (cold) e["BRINDLE_JAD_COLD"] = "1";
        const std::string out = folder("out");
        const std::string classFile = folder("src") + "\\Hello.class";
        const JadRun run = jad(out, "\"" + classFile + "\"", e);
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_EQ(run.err, "jad: " + classFile + ": timed out after 8 s\r\n");
        const std::string child = readWhole(java() + ".child");
        ASSERT_FALSE(child.empty()) << "java started no child";
        EXPECT_TRUE(processEnds(static_cast<DWORD>(std::stoul(child))));
        EXPECT_FALSE(exists(out + "\\Hello.java"));
    }
}

TEST_F(JadExe, FindsJavaInTheRegistryAndSaysWhenThereIsNone) {
    const Env noJava = env({{"JAVA_HOME", std::nullopt}, {"PATH", "C:\\windows\\system32;C:\\windows"},
                            {"BRINDLE_JAD_COLD", "1"}});
    const std::string out = folder("out");
    const std::string classFile = folder("src") + "\\Hello.class";
    JadRun run = jad(out, "\"" + classFile + "\"", noJava);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.err.rfind("jad: " + classFile + ": java not found (install Java 17 or later", 0), 0u)
        << run.err;

    const std::wstring adoptium = L"Software\\Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI";
    const std::wstring javaSoft = L"Software\\JavaSoft\\JDK\\11.0.2";
    auto record = [](const std::wstring& key, const wchar_t* value, const std::wstring& home) {
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS);
        RegSetValueExW(k, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(home.c_str()),
                       static_cast<DWORD>((home.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(k);
    };
    // Only a Java too old for the service.
    const std::string oldJdk = folder("jdk11");
    makeFolder(oldJdk + "\\bin");
    CopyFileA(java().c_str(), (oldJdk + "\\bin\\java.exe").c_str(), FALSE);
    writeWhole(oldJdk + "\\release", "JAVA_VERSION=\"11.0.2\"\n");
    record(javaSoft, L"JavaHome", ansiToWide(oldJdk));
    run = jad(out, "\"" + classFile + "\"", noJava);
    EXPECT_EQ(run.err, "jad: " + classFile + ": Java 17 or later is needed, found only Java 11 (" +
                           oldJdk + "\\bin\\java.exe)\r\n");

    // The newer one that Eclipse Adoptium's installer recorded is taken.
    record(adoptium, L"Path", ansiToWide(jdk() + "\\"));
    run = jad(out, "\"" + classFile + "\"", noJava);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(readWhole(out + "\\Hello.java").rfind("// cold source of ", 0), 0u);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Eclipse Adoptium");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\JavaSoft");
}

TEST_F(JadExe, UnpacksIntoAFreshLocalAppDataAndReusesWhatIsIntact) {
    const std::string out = folder("out");
    const std::string classFile = folder("src") + "\\Hello.class";
    const Env cold = env({{"BRINDLE_JAD_COLD", "1"}});
    ASSERT_EQ(jad(out, "\"" + classFile + "\"", cold).exitCode, 0u);

    const std::set<std::string> payloads = listFolder(appData() + "\\Brindle\\Jad");
    ASSERT_EQ(payloads.size(), 1u);
    const std::string payload = appData() + "\\Brindle\\Jad\\" + *payloads.begin();
    const std::map<std::string, std::string> shipped = {
        {"procyon-decompiler.jar", "/usr/share/java/procyon-decompiler.jar"},
        {"procyon-compilertools.jar", "/usr/share/java/procyon-compilertools.jar"},
        {"procyon-core.jar", "/usr/share/java/procyon-core.jar"},
        {"procyon-expressions.jar", "/usr/share/java/procyon-expressions.jar"},
        {"procyon-reflection.jar", "/usr/share/java/procyon-reflection.jar"},
        {"jcommander.jar", "/usr/share/java/jcommander.jar"},
        {"java-options.txt", JAVA_OPTIONS},
        {"jad-service.jar", SERVICE_JAR},
        {"vineflower\\vineflower.mjs", VINEFLOWER_DIR "/vineflower.mjs"},
        {"vineflower\\tcp_transport.mjs", VINEFLOWER_DIR "/tcp_transport.mjs"},
        {"vineflower\\node_modules\\@run-slicer\\vf\\vf.runtime.js",
         VINEFLOWER_DIR "/node_modules/@run-slicer/vf/vf.runtime.js"},
    };
    for (const auto& [name, source] : shipped)
        EXPECT_TRUE(readWhole(payload + "\\" + name) == readWhole(fromLinuxPath(source))) << name;
    // The cold run had the payload's jars on its class path.
    const std::vector<std::string> call = javaCalls().back();
    const auto cp = std::find(call.begin(), call.end(), "-cp");
    ASSERT_NE(cp, call.end());
    EXPECT_NE(cp[1].find(utf8(payload) + "\\procyon-core.jar"), std::string::npos) << cp[1];
    EXPECT_NE(std::find(call.begin(), call.end(), "@" + utf8(payload) + "\\java-options.txt"), call.end());

    // Damage one file; leave another as it is.
    const std::string damaged = payload + "\\procyon-core.jar";
    writeWhole(damaged, readWhole(damaged) + "x");
    FILETIME before{};
    const HANDLE kept = CreateFileW(longForm(payload + "\\jcommander.jar").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileTime(kept, nullptr, nullptr, &before);
    CloseHandle(kept);
    Sleep(1100);
    ASSERT_EQ(jad(out, "\"" + classFile + "\"", cold).exitCode, 0u);
    EXPECT_TRUE(readWhole(damaged) == readWhole(fromLinuxPath(shipped.at("procyon-core.jar"))))
        << "the damaged file was not replaced";
    FILETIME after{};
    const HANDLE again = CreateFileW(longForm(payload + "\\jcommander.jar").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileTime(again, nullptr, nullptr, &after);
    CloseHandle(again);
    EXPECT_EQ(CompareFileTime(&before, &after), 0) << "an intact file was written again";
    for (const std::string& name : listFolder(payload)) EXPECT_FALSE(name.starts_with(".brindle-")) << name;
}


// ---- Vineflower on Node: node.exe is node_bridge, which hands each call to the real Linux node ----

namespace vineflower {

const std::string kFixture = fromLinuxPath(VINEFLOWER_FIXTURE);

std::string linuxSource() { return readWhole(kFixture + "\\Nest.linux.java"); }

}  // namespace vineflower

class JadExeWithNode : public JadExe {
protected:
    void SetUp() override {
        JadExe::SetUp();
        makeFolder(folder("node"));
        ASSERT_TRUE(CopyFileA(fromLinuxPath(NODE_BRIDGE).c_str(), node().c_str(), FALSE));
        // The fixture's class files, in a folder of a name java could not spell without its short form.
        const std::string from = vineflower::kFixture + "\\demo\\vf";
        for (const std::string& name : listFolder(from))
            writeWhole(classes() + "\\" + name, readWhole(from + "\\" + name));
        ASSERT_GE(listFolder(classes()).size(), 3u) << "Nest, Nest$Inner, Nest$1";
        // Jad.exe in a folder of its own, for an Engine.ini beside it.
        makeFolder(folder("engine"));
        ASSERT_TRUE(CopyFileA(fromLinuxPath(JAD_EXE).c_str(), (folder("engine") + "\\Jad.exe").c_str(), FALSE));
    }

    std::string node() const { return root_ + "\\node\\node.exe"; }
    std::string classes() const { return folder("classes " + kChinese); }
    // No Java anywhere, node.exe named outright.
    Env nodeOnly(Env more = {}) const {
        more.emplace("JAVA_HOME", std::nullopt);
        more.emplace("PATH", "C:\\windows\\system32;C:\\windows");
        more.emplace("BRINDLE_JAD_NODE", node());
        return env(more);
    }
    JadRun jadBesideIni(const std::string& out, const std::string& classFile, const Env& e) const {
        return runAnsi("\"" + folder("engine") + "\\Jad.exe\" -sjava -8 -ff -d\"" + out + "\" \"" + classFile + "\"", e);
    }
    std::set<std::string> vineflowerPortFiles() const {
        std::set<std::string> found;
        for (const std::string& payload : listFolder(appData() + "\\Brindle\\Jad"))
            for (const std::string& name : listFolder(appData() + "\\Brindle\\Jad\\" + payload))
                if (name.starts_with("vineflower-") && name.ends_with(".port")) found.insert(name);
        return found;
    }
};

TEST_F(JadExeWithNode, WritesTheLinuxColdRunsBytesThroughTheServiceAndCold) {
    const std::string expected = vineflower::linuxSource();
    ASSERT_NE(expected.find("class Inner"), std::string::npos) << expected;
    ASSERT_NE(expected.find("new Runnable()"), std::string::npos) << "nested classes folded in on Linux";
    const std::string classFile = classes() + "\\Nest.class";
    struct Case {
        const char* name;
        Env more;
    };
    // The service first: without it running, the cold run must stand on its own.
    const Case cases[] = {
        {"the service, started by this run", {{"BRINDLE_JAD_SERVICE_REQUIRED", "1"}}},
        {"the same service again", {{"BRINDLE_JAD_SERVICE_REQUIRED", "1"}}},
        {"cold", {{"BRINDLE_JAD_COLD", "1"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = folder(std::string("out ") + c.name);
        const JadRun run = jad(out, "\"" + classFile + "\"", nodeOnly(c.more));
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(readWhole(out + "\\Nest.java") == expected) << readWhole(out + "\\Nest.java");
        EXPECT_EQ(listFolder(out), std::set<std::string>{"Nest.java"});
    }
    EXPECT_EQ(vineflowerPortFiles().size(), 1u) << "one resident Vineflower service";
    EXPECT_TRUE(javaCalls().empty()) << "no Java was there to start";
}

TEST_F(JadExeWithNode, WithoutNodeProcyonAsBeforeAndEngineIniNamesOne) {
    const std::string classFile = classes() + "\\Nest.class";
    const std::string ini = folder("engine") + "\\Engine.ini";
    const Env noNode = env({{"PATH", "C:\\windows\\system32;C:\\windows"}, {"BRINDLE_JAD_NODE", std::nullopt},
                            {"BRINDLE_JAD_COLD", "1"}});
    const Env withNode = env({{"BRINDLE_JAD_NODE", node()}, {"BRINDLE_JAD_COLD", "1"}});
    const Env missingNode = env({{"BRINDLE_JAD_NODE", root_ + "\\nowhere\\node.exe"}, {"BRINDLE_JAD_COLD", "1"}});
    struct Case {
        const char* name;
        const char* engineIni;  // nullptr: none
        Env e;
        bool procyon;           // else Vineflower's source
        std::string failure;    // the line when it fails
    };
    const std::vector<Case> cases = {
        {"no node: Procyon", nullptr, noNode, true, ""},
        {"a named node.exe that is not there: Procyon", nullptr, missingNode, true, ""},
        {"Engine.ini names Procyon", "procyon\r\n", withNode, true, ""},
        {"Engine.ini names Vineflower", "Vineflower\r\n", withNode, false, ""},
        {"Engine.ini names Vineflower, no node", "vineflower\r\n", noNode, false,
         "jad: " + classFile + ": node not found (BRINDLE_JAD_NODE, PATH and the Node.js installer's "
                               "registry entry were searched)\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(ini.c_str());
        if (c.engineIni != nullptr) writeWhole(ini, c.engineIni);
        const std::string out = folder("out");
        DeleteFileW(longForm(out + "\\Nest.java").c_str());
        const JadRun run = jadBesideIni(out, classFile, c.e);
        if (!c.failure.empty()) {
            EXPECT_EQ(run.exitCode, 1u);
            EXPECT_EQ(run.err, c.failure);
            EXPECT_FALSE(exists(out + "\\Nest.java"));
            continue;
        }
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        const std::string source = readWhole(out + "\\Nest.java");
        if (c.procyon) {
            EXPECT_EQ(source.rfind("// cold source of ", 0), 0u) << source;
        } else {
            EXPECT_TRUE(source == vineflower::linuxSource()) << source;
        }
    }
}

}  // namespace
