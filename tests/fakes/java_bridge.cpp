// java.exe (java_bridge) and node.exe (node_bridge) for the end-to-end tests under Wine: a
// Windows program that hands every call on to the real Linux program (LINUX_PROGRAM). Wine
// starts a Linux program from a Windows one but gives no usable process handle and no pipes, so
// the program runs under java_bridge.sh, which writes its output and exit status to files that
// this program polls and passes on.
//
// Paths (also an argument file's after '@') are translated to Linux ones with
// wine_get_unix_file_name. A resident service (the argument "tcp:<port file>": the Procyon
// service's and the Vineflower service's alike) also receives Windows paths in its requests:
// for it this program stands in between as a relay. It starts the Linux service on a port file
// of its own, publishes the real port file with its own
// port (the service's secret and proof unchanged, so Jad.exe cannot tell), and passes each
// connection on with the request's two paths translated, each on a thread of its own: the
// service decompiles several class files at once and sends each its "started" frame when its
// decompile begins, which a relay serving one connection at a time would hold back.

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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

bool isWindowsPath(const std::wstring& text) {
    return (text.size() >= 3 && text[1] == L':' && (text[2] == L'\\' || text[2] == L'/')) ||
           text.starts_with(L"\\\\");
}

// The Linux path of a Windows path (it may pass through the prefix's drive links).
std::wstring toUnix(const std::wstring& path) {
    using Convert = char*(CDECL*)(const wchar_t*);
    // Through void*: the exported entry's own type is not FARPROC's.
    static const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) return path;
    char* unix = convert(path.c_str());
    if (unix == nullptr) return path;
    std::wstring out = wide(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

std::wstring translate(const std::wstring& arg, bool classPath) {
    if (arg.starts_with(L"@") && isWindowsPath(arg.substr(1))) return L"@" + toUnix(arg.substr(1));
    if (!classPath) return isWindowsPath(arg) ? toUnix(arg) : arg;
    std::wstring list;
    std::size_t start = 0;
    while (start <= arg.size()) {
        std::size_t end = arg.find(L';', start);
        if (end == std::wstring::npos) end = arg.size();
        if (!list.empty()) list += L';';
        list += toUnix(arg.substr(start, end - start));
        start = end + 1;
    }
    return list;
}

std::wstring quote(const std::wstring& arg) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

std::optional<std::string> readWhole(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(file);
    return text;
}

void writeWhole(const std::wstring& path, const std::string& bytes) {
    const std::wstring temp = path + L".bridge";
    const HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void writeTo(DWORD which, const std::string& bytes) {
    DWORD written = 0;
    std::size_t at = 0;
    while (at < bytes.size() &&
           WriteFile(GetStdHandle(which), bytes.data() + at,
                     static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1 << 20)), &written, nullptr) &&
           written > 0)
        at += written;
}

// ---- the relay between Jad.exe and the Linux service ----

bool readExactly(SOCKET s, std::string& into, std::size_t size) {
    std::size_t start = into.size();
    into.resize(start + size);
    while (size > 0) {
        const int n = recv(s, into.data() + start, static_cast<int>(size), 0);
        if (n <= 0) return false;
        start += static_cast<std::size_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::uint32_t u32(const std::string& bytes, std::size_t at) {
    return (std::uint32_t{static_cast<unsigned char>(bytes[at])} << 24) |
           (std::uint32_t{static_cast<unsigned char>(bytes[at + 1])} << 16) |
           (std::uint32_t{static_cast<unsigned char>(bytes[at + 2])} << 8) |
           static_cast<unsigned char>(bytes[at + 3]);
}

void putString(std::string& out, const std::string& text) {
    const auto length = static_cast<std::uint32_t>(text.size());
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((length >> shift) & 0xFF);
    out += text;
}

// Reads a length-prefixed field from s; false when the client went away.
bool readField(SOCKET s, std::string& field) {
    std::string head;
    if (!readExactly(s, head, 4)) return false;
    const std::uint32_t length = u32(head, 0);
    if (length > (1u << 20)) return false;
    field.clear();
    return readExactly(s, field, length);
}

void sendAll(SOCKET s, const std::string& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const int n = send(s, bytes.data() + at, static_cast<int>(bytes.size() - at), 0);
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

// The secret (64 bytes), then the request: magic, key, timeout, delay, class file, working
// folder (see engine/service: Transport.java and JadService.java; engine/vineflower: protocol.mjs). Back come the proof, the
// "started" frame and the answer, passed on as they arrive.
void relayRequest(SOCKET client, unsigned linuxPort) {
    std::string secret, magic, key, numbers, path, folder;
    if (!readExactly(client, secret, 64) || !readExactly(client, magic, 4) || !readField(client, key) ||
        !readExactly(client, numbers, 8) || !readField(client, path) || !readField(client, folder))
        return;
    std::string request = secret + magic;
    putString(request, key);
    request += numbers;
    putString(request, utf8(toUnix(wide(path))));
    putString(request, utf8(toUnix(wide(folder))));

    const SOCKET service = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(linuxPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(service, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        sendAll(service, request);
        char buffer[65536];
        for (int n; (n = recv(service, buffer, sizeof buffer, 0)) > 0;)
            sendAll(client, std::string(buffer, static_cast<std::size_t>(n)));
    }
    closesocket(service);
}

// On a thread of its own; owns client.
void relayOne(SOCKET client, unsigned linuxPort) {
    relayRequest(client, linuxPort);
    closesocket(client);
}

int relay(const std::wstring& portFile, const std::wstring& linuxPortFile, const std::wstring& status) {
    std::optional<std::string> published;
    for (int i = 0; i < 3000 && !(published = readWhole(linuxPortFile)); ++i) {
        if (readWhole(status)) return 1;  // the service ended while starting
        Sleep(20);
    }
    if (!published) return 1;
    const std::string& text = *published;
    const std::size_t first = text.find('\n');
    const unsigned linuxPort = static_cast<unsigned>(std::stoul(text.substr(0, first)));
    std::size_t pidLine = text.rfind('\n', text.size() - 2);
    const std::string secretAndProof = text.substr(first + 1, pidLine - first);

    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    const SOCKET server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(server, 16) != 0)
        return 1;
    int size = sizeof address;
    getsockname(server, reinterpret_cast<sockaddr*>(&address), &size);
    writeWhole(portFile, std::to_string(ntohs(address.sin_port)) + "\n" + secretAndProof +
                             std::to_string(GetCurrentProcessId()) + "\n");
    for (;;) {
        if (readWhole(status)) break;  // the Linux service has ended
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(server, &readable);
        timeval second{1, 0};
        if (select(0, &readable, nullptr, nullptr, &second) <= 0) continue;
        const SOCKET client = accept(server, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        std::thread(relayOne, client, linuxPort).detach();
    }
    DeleteFileW(portFile.c_str());
    return 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    LocalFree(argv);

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring work = std::wstring(temp) + L"java-bridge-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(work.c_str(), nullptr);
    const std::wstring out = work + L"\\out", err = work + L"\\err", status = work + L"\\status";
    DeleteFileW(status.c_str());

    std::wstring portFile, linuxPortFile;
    std::wstring line = quote(L"/bin/sh") + L" " + quote(wide(BRIDGE_SCRIPT));
    for (const std::wstring& file : {out, err, status}) line += L" " + quote(toUnix(file));
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    line += L" " + quote(toUnix(folder)) + L" " + quote(wide(LINUX_PROGRAM));
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::wstring arg = args[i];
        if (arg.starts_with(L"tcp:") && isWindowsPath(arg.substr(4))) {
            portFile = arg.substr(4);
            linuxPortFile = portFile + L".linux";
            line += L" " + quote(L"tcp:" + toUnix(linuxPortFile));
            continue;
        }
        const bool classPath = i > 0 && (args[i - 1] == L"-cp" || args[i - 1] == L"-classpath");
        line += L" " + quote(translate(arg, classPath));
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 127;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    int code = 0;
    if (!portFile.empty()) {
        code = relay(portFile, linuxPortFile, status);
    } else {
        std::optional<std::string> ended;
        while (!(ended = readWhole(status))) Sleep(20);
        code = std::atoi(ended->c_str());
        writeTo(STD_OUTPUT_HANDLE, readWhole(out).value_or(""));
        writeTo(STD_ERROR_HANDLE, readWhole(err).value_or(""));
    }
    for (const std::wstring& file : {out, err, status}) DeleteFileW(file.c_str());
    RemoveDirectoryW(work.c_str());
    return code;
}
