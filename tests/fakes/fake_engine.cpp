// A stand-in for the decompiling engine in tests. It records how it was started (see
// fake_log.h), then writes "<-d folder><separator><class base name>.java" the way the engine
// does. While a file "<program file>.gate" exists it waits before writing, so that a test can
// hold it in the middle of a run. A class file whose bytes begin with "fail:" makes it fail as
// the engine does: the rest of that line on stderr, exit status 1, nothing written. One that
// begins with "quiet" makes it end with status 0 and write nothing.

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_log.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';

std::string ownPath() {
    char buffer[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    return std::string(buffer, length);
}

// Position of the last backslash that is not the trail byte of a double-byte character.
std::size_t lastSeparator(const std::string& text) {
    std::size_t last = std::string::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size()) {
            ++i;
        } else if (text[i] == '\\') {
            last = i;
        }
    }
    return last;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void sleepBriefly() { Sleep(20); }

void makeFolder(const std::string& path) { CreateDirectoryA(path.c_str(), nullptr); }

// Straight to the handle: a program without a console has no C library stream to trust.
void writeError(const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}
#else
constexpr char kSeparator = '/';

std::string ownPath() {
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

std::size_t lastSeparator(const std::string& text) { return text.rfind('/'); }

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

void sleepBriefly() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

void makeFolder(const std::string& path) { mkdir(path.c_str(), 0777); }

void writeError(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }
#endif

// Every level of folder, from the top; levels that exist already are left as they are.
void makeFolders(const std::string& folder) {
    for (std::size_t at = folder.find(kSeparator, 1); at != std::string::npos;
         at = folder.find(kSeparator, at + 1)) {
        makeFolder(folder.substr(0, at));
    }
    makeFolder(folder);
}

struct Request {
    std::string folder;
    std::string classFile;
};

#ifdef _WIN32
std::string unquoted(std::string text) {
    if (!text.empty() && text.front() == '"') text.erase(0, 1);
    if (!text.empty() && text.back() == '"') text.pop_back();
    return text;
}

// -d"<folder>" <class file>, as the front-end composes it.
Request parse(const std::string& commandLine) {
    Request request;
    const std::size_t option = commandLine.find("-d\"");
    if (option == std::string::npos) return request;
    const std::size_t close = commandLine.find('"', option + 3);
    if (close == std::string::npos) return request;
    request.folder = commandLine.substr(option + 3, close - option - 3);
    std::size_t rest = close + 1;
    while (rest < commandLine.size() && commandLine[rest] == ' ') ++rest;
    request.classFile = unquoted(commandLine.substr(rest));
    return request;
}
#else
// Options, then the class file; "--" ends the options as it does for the engine.
Request parse(const std::vector<std::string>& args) {
    Request request;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!options) {
            request.classFile = args[i];
        } else if (args[i] == "--") {
            options = false;
        } else if (args[i] == "-d" && i + 1 < args.size()) {
            request.folder = args[++i];
        } else if (args[i].rfind("-d", 0) == 0) {
            request.folder = args[i].substr(2);
        } else if (args[i].empty() || args[i][0] != '-') {
            request.classFile = args[i];
        }
    }
    return request;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const std::string self = ownPath();
#ifdef _WIN32
    (void)argc;
    (void)argv;
    const std::string commandLine = GetCommandLineA();
    brindle::fakes::appendCall(self + ".log", {commandLine});
    const Request request = parse(commandLine);
#else
    const std::vector<std::string> args(argv + 1, argv + argc);
    brindle::fakes::appendCall(self + ".log", args);
    const Request request = parse(args);
#endif
    while (exists(self + ".gate")) sleepBriefly();
    if (request.folder.empty() || request.classFile.empty()) return 2;

    std::string head(200, '\0');
    if (std::FILE* in = std::fopen(request.classFile.c_str(), "rb")) {
        head.resize(std::fread(head.data(), 1, head.size(), in));
        std::fclose(in);
    } else {
        head.clear();
    }
    if (head.rfind("quiet", 0) == 0) return 0;
    if (head.rfind("fail:", 0) == 0) {
        writeError(head.substr(5, head.find('\n') == std::string::npos ? std::string::npos
                                                                        : head.find('\n') - 5) +
                   "\n");
        return 1;
    }

    const std::size_t separator = lastSeparator(request.classFile);
    std::string name = request.classFile.substr(separator == std::string::npos ? 0 : separator + 1);
    name = name.substr(0, name.find('.'));
    std::string target = request.folder;
    if (target.back() != kSeparator) target += kSeparator;
    target += name + ".java";

    std::FILE* out = std::fopen(target.c_str(), "wb");
    if (out == nullptr) {
        // As the engine does, make the output folder when it is missing.
        makeFolders(request.folder);
        out = std::fopen(target.c_str(), "wb");
    }
    if (out == nullptr) return 1;
    const std::string body = "// decompiled by the fake engine from " + request.classFile + "\n";
    std::fwrite(body.data(), 1, body.size(), out);
    std::fclose(out);
    return 0;
}
