// A stand-in for java.exe in the Windows engine tests. Every start appends its arguments (as the
// C runtime splits them, in UTF-8) to "<program file>.log" (see fake_log.h). What it then does
// depends on its arguments, as the real java would, and on FAKE_JAVA_MODE:
//   ... brindle.jad.JadService --cold <class file>   a cold run: prints
//       "// cold source of <class file>" and a line with Chinese text (UTF-8, LF line ends)
//   ... brindle.jad.JadService tcp:<port file> <key> <idle> <decompilers> <held ahead>   the
//       service: listens on the loopback address, publishes the port file, passes the
//       handshake (the secret in, the proof out) and answers each request with the "started"
//       frame and the source "// service source of <path>" (logging the request as a call
//       "request", path, folder)
// FAKE_JAVA_MODE: "fail" exits 1 after a line on stderr; "empty" prints nothing; "old" fails as
// a Java too old for the service's classes; "hang" starts a child that writes its process id to
// "<program file>.child" and then both wait for ever (the service: it sends "started" and
// never answers);
// "no-service" ends a service at once without listening, as "old" does.

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "fakes/fake_log.h"

namespace {

std::string utf8(const std::wstring& wide) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                        nullptr, nullptr);
    return text;
}

std::wstring wide(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}

// The log's path for the C runtime's fopen, which takes ANSI text.
std::string ansi(const std::wstring& wide) {
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                        nullptr, nullptr);
    return text;
}

std::wstring ownPath() {
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
    return std::wstring(buffer, length);
}

std::string mode() {
    char buffer[64];
    const DWORD length = GetEnvironmentVariableA("FAKE_JAVA_MODE", buffer, sizeof buffer);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

void write(DWORD which, const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(which), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string source(const std::string& kind, const std::string& path) {
    return "// " + kind + " source of " + path + "\n" + "class \xe7\xa8\x8b\xe5\xba\x8f {}\n";
}

void writeWholeFile(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

[[noreturn]] void hang() {
    // A child of its own, which the time limit must end as well.
    std::wstring line = L"\"" + ownPath() + L"\" hang-child";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                       nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    Sleep(INFINITE);
    ExitProcess(0);
}

bool readExactly(SOCKET s, char* into, std::size_t size) {
    while (size > 0) {
        const int n = recv(s, into, static_cast<int>(size), 0);
        if (n <= 0) return false;
        into += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readU32(SOCKET s, std::uint32_t& value) {
    unsigned char bytes[4];
    if (!readExactly(s, reinterpret_cast<char*>(bytes), 4)) return false;
    value = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
            (std::uint32_t{bytes[2]} << 8) | bytes[3];
    return true;
}

bool readString(SOCKET s, std::string& text) {
    std::uint32_t length = 0;
    if (!readU32(s, length) || length > 65536) return false;
    text.resize(length);
    return readExactly(s, text.data(), length);
}

void sendAll(SOCKET s, const std::string& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const int n = send(s, bytes.data() + at, static_cast<int>(bytes.size() - at), 0);
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

std::string answer(char kind, const std::string& body) {
    std::string out = "BRJ3";
    out += kind;
    const auto length = static_cast<std::uint32_t>(body.size());
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((length >> shift) & 0xFF);
    return out + body;
}

std::string randomHex() {
    std::random_device seed;
    std::string out;
    for (int i = 0; i < 64; ++i) out += "0123456789abcdef"[seed() % 16];
    return out;
}

int service(const std::wstring& log, const std::string& portFile, const std::string& key,
            unsigned idleSeconds) {
    if (mode() == "no-service" || mode() == "old") return 1;
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    const SOCKET server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(server, 16) != 0)
        return 1;
    int size = sizeof address;
    getsockname(server, reinterpret_cast<sockaddr*>(&address), &size);
    const std::string secret = randomHex();
    const std::string proof = randomHex();
    const std::wstring temp = wide(portFile) + L".tmp";
    writeWholeFile(temp, std::to_string(ntohs(address.sin_port)) + "\n" + secret + "\n" + proof +
                             "\n" + std::to_string(GetCurrentProcessId()) + "\n");
    MoveFileExW(temp.c_str(), wide(portFile).c_str(), MOVEFILE_REPLACE_EXISTING);

    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(server, &readable);
        timeval idle{static_cast<long>(idleSeconds), 0};
        if (select(0, &readable, nullptr, nullptr, &idle) <= 0) break;
        const SOCKET client = accept(server, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        char given[64];
        char magic[4];
        std::string requestKey, path, folder;
        std::uint32_t timeout = 0, delay = 0;
        if (readExactly(client, given, sizeof given) && std::string(given, sizeof given) == secret &&
            (sendAll(client, proof), true) && readExactly(client, magic, 4) &&
            readString(client, requestKey) &&
            readU32(client, timeout) && readU32(client, delay) && readString(client, path) &&
            readString(client, folder)) {
            brindle::fakes::appendCall(ansi(log), {"request", path, folder});
            sendAll(client, answer(3, ""));  // started
            if (requestKey != key) {
                sendAll(client, answer(2, "the service belongs to another jad"));
            } else if (mode() == "hang") {
                hang();
            } else {
                sendAll(client, answer(0, source("service", path)));
            }
        }
        closesocket(client);
    }
    DeleteFileW(wide(portFile).c_str());
    return 0;
}

}  // namespace

int main() {
    const std::wstring self = ownPath();
    const std::wstring log = self + L".log";
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(utf8(argv[i]));
    LocalFree(argv);

    if (args.size() == 1 && args[0] == "hang-child") {
        writeWholeFile(self + L".child", std::to_string(GetCurrentProcessId()));
        Sleep(INFINITE);
    }
    brindle::fakes::appendCall(ansi(log), args);

    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "brindle.jad.JadService" && i + 3 < args.size() &&
            args[i + 1].starts_with("tcp:"))
            return service(log, args[i + 1].substr(4), args[i + 2],
                           static_cast<unsigned>(std::stoul(args[i + 3])));
    }
    const std::string m = mode();
    if (m == "hang") hang();
    if (m == "fail") {
        write(STD_ERROR_HANDLE, "\nError: the fake decompiler failed\r\nsecond line\n");
        return 1;
    }
    if (m == "old") {
        write(STD_ERROR_HANDLE,
              "Error: LinkageError occurred while loading main class brindle.jad.JadService\n"
              "\tjava.lang.UnsupportedClassVersionError: compiled by a more recent version\n");
        return 1;
    }
    if (m == "empty" || args.empty()) return 0;
    write(STD_OUTPUT_HANDLE, source("cold", args.back()));
    return 0;
}
