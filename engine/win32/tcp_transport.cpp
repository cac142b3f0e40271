#include "engine/win32/tcp_transport.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "common/files.h"
#include "common/win32/wide_text.h"
#include "engine/core/service_protocol.h"
#include "engine/win32/process_start.h"

namespace brindle::engine::win32 {
namespace {

using common::win32::errorText;
using common::win32::longPath;

constexpr std::size_t kSecretSize = 64;  // hex digits, as the service writes them

long long msLeft(Clock::time_point deadline) {
    return std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
}

struct PortFile {
    unsigned port = 0;
    std::string secret;
    std::string proof;
    DWORD pid = 0;
};

std::optional<PortFile> readPortFile(const std::string& path) {
    std::string text;
    if (common::readWholeFile(path, 512, text, nullptr) != common::ReadStatus::Ok) return std::nullopt;
    std::array<std::string, 4> lines;
    std::size_t line = 0;
    for (const char c : text) {
        if (line == lines.size()) return std::nullopt;
        if (c == '\n') {
            ++line;
        } else {
            lines[line] += c;
        }
    }
    if (line != lines.size()) return std::nullopt;
    PortFile p;
    unsigned long long pid = 0;
    for (const char c : lines[0]) {
        if (c < '0' || c > '9' || p.port > 65535) return std::nullopt;
        p.port = p.port * 10 + static_cast<unsigned>(c - '0');
    }
    for (const char c : lines[3]) {
        if (c < '0' || c > '9' || pid > 0xFFFFFFFFull) return std::nullopt;
        pid = pid * 10 + static_cast<unsigned>(c - '0');
    }
    p.pid = static_cast<DWORD>(pid);
    p.secret = lines[1];
    p.proof = lines[2];
    if (p.port == 0 || p.port > 65535 || p.secret.size() != kSecretSize || p.proof.size() != kSecretSize)
        return std::nullopt;
    return p;
}

// FIONBIO does not fit a signed long in the headers' own arithmetic.
void setBlocking(SOCKET s, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    ioctlsocket(s, static_cast<long>(static_cast<int>(FIONBIO)), &nonBlocking);
}

// A connected socket to the loopback port, or INVALID_SOCKET when nothing listens there.
SOCKET connectTo(unsigned port) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    setBlocking(s, false);
    bool connected = connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(s, &writable);
        fd_set failed = writable;
        timeval limit{5, 0};  // the loopback answers at once; a refusal comes as fast
        int error = 0;
        int size = sizeof error;
        connected = select(0, nullptr, &writable, &failed, &limit) > 0 && !FD_ISSET(s, &failed) &&
                    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 &&
                    error == 0;
    }
    if (!connected) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    setBlocking(s, true);
    BOOL noDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    return s;
}

// Ends the service and whatever it started.
void endProcessTree(DWORD pid) {
    std::vector<DWORD> tree = {pid};
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        std::vector<PROCESSENTRY32W> all;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
            all.push_back(entry);
        CloseHandle(snapshot);
        for (std::size_t i = 0; i < tree.size(); ++i) {
            for (const PROCESSENTRY32W& p : all) {
                // A parent id may have been reused: each process counts once.
                if (p.th32ParentProcessID == tree[i] &&
                    std::find(tree.begin(), tree.end(), p.th32ProcessID) == tree.end())
                    tree.push_back(p.th32ProcessID);
            }
        }
    }
    for (const DWORD id : tree) {
        const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
        if (process == nullptr) continue;
        TerminateProcess(process, 3);
        CloseHandle(process);
    }
}

class TcpConnection final : public ServiceConnection {
public:
    TcpConnection(SOCKET s, PortFile service, std::string portFile)
        : s_(s), service_(std::move(service)), portFile_(std::move(portFile)) {}
    ~TcpConnection() override { closesocket(s_); }
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // The secret goes first, once.
    bool send(std::string_view bytes) override {
        std::string data = secretSent_ ? std::string() : service_.secret;
        secretSent_ = true;
        data += bytes;
        std::string_view rest = data;
        while (!rest.empty()) {
            const int n = ::send(s_, rest.data(), static_cast<int>(std::min<std::size_t>(rest.size(), 1 << 20)), 0);
            if (n <= 0) return false;
            rest.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // Before the first answer byte, the proof.
    Read read(char* into, std::size_t size, Clock::time_point deadline) override {
        if (!proven_) {
            std::string proof(kSecretSize, '\0');
            if (const Read got = readExactly(proof.data(), proof.size(), deadline); got != Read::Done)
                return got;
            if (proof != service_.proof) {
                // Not the service that wrote the port file: forget the file, so that the next
                // attempt starts a service of this user's own.
                DeleteFileW(longPath(portFile_).c_str());
                return Read::Closed;
            }
            proven_ = true;
        }
        return readExactly(into, size, deadline);
    }

    bool moreWaiting() override {
        u_long waiting = 0;
        return ioctlsocket(s_, static_cast<long>(static_cast<int>(FIONREAD)), &waiting) == 0 && waiting > 0;
    }

    void endService() override { endProcessTree(service_.pid); }

private:
    Read readExactly(char* into, std::size_t size, Clock::time_point deadline) {
        while (size > 0) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(s_, &readable);
            const long long wait = std::min<long long>(msLeft(deadline), 1000);
            timeval limit{static_cast<long>(wait / 1000), static_cast<long>((wait % 1000) * 1000)};
            const int ready = select(0, &readable, nullptr, nullptr, &limit);
            if (ready < 0) return Read::Closed;
            if (ready == 0) {
                if (msLeft(deadline) == 0) return Read::TimedOut;
                continue;
            }
            const int n = recv(s_, into, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
            if (n <= 0) return Read::Closed;
            into += n;
            size -= static_cast<std::size_t>(n);
        }
        return Read::Done;
    }

    SOCKET s_;
    PortFile service_;
    std::string portFile_;
    bool secretSent_ = false;
    bool proven_ = false;
};

class FileLock final : public ServiceStartLock {
public:
    explicit FileLock(HANDLE file) : file_(file) {}
    ~FileLock() override { CloseHandle(file_); }  // closing releases the lock
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    HANDLE file_;
};

}  // namespace

TcpTransport::TcpTransport(TcpServiceSetup setup) : setup_(std::move(setup)) {}

Outcome TcpTransport::open() {
    static const bool sockets = [] {
        WSADATA wsa;
        return WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
    }();
    if (!sockets) return Outcome::unusable("Windows sockets are not available");
    // The payload folder is the build's own; another program or other files give another service.
    std::vector<std::string> parts = {setup_.program};
    parts.insert(parts.end(), setup_.keyParts.begin(), setup_.keyParts.end());
    key_ = serviceKey(parts);
    portFile_ = common::joinPath(setup_.folder, setup_.name + "-" + key_ + ".port");
    return Outcome::withSource({});
}

std::unique_ptr<ServiceConnection> TcpTransport::connect(std::string&) {
    std::optional<PortFile> service = readPortFile(portFile_);
    if (!service) return nullptr;
    const SOCKET s = connectTo(service->port);
    if (s == INVALID_SOCKET) return nullptr;
    return std::make_unique<TcpConnection>(s, std::move(*service), portFile_);
}

std::unique_ptr<ServiceStartLock> TcpTransport::lockStart(Clock::time_point until) {
    const std::wstring path = longPath(common::joinPath(setup_.folder, setup_.name + "-" + key_ + ".lock"));
    for (;;) {
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return nullptr;
        OVERLAPPED at{};
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
            return std::make_unique<FileLock>(file);
        CloseHandle(file);
        if (Clock::now() >= until) return nullptr;
        Sleep(10);
    }
}

std::string TcpTransport::startService(Clock::time_point until) {
    DeleteFileW(longPath(portFile_).c_str());  // a dead service's
    if (std::string error = setup_.prepare ? setup_.prepare() : std::string(); !error.empty())
        return error;
    // An empty working folder: a decompiler may look for classes it does not find elsewhere below it.
    const std::string empty = common::joinPath(setup_.folder, "empty");
    if (std::string error; !common::makeFolders(empty, common::NewFolders::Private, &error))
        return error;

    HiddenStart service;
    service.program = setup_.program;
    service.args = setup_.arguments("tcp:" + portFile_, key_);
    service.env = setup_.env;
    service.workingFolder = empty;
    // The service outlives Jad.exe: out of any job Jad.exe runs in, where that is allowed.
    service.flags = CREATE_NEW_PROCESS_GROUP | CREATE_BREAKAWAY_FROM_JOB;
    PROCESS_INFORMATION info{};
    bool started = startHidden(service, info);
    if (!started && GetLastError() == ERROR_ACCESS_DENIED) {
        service.flags = CREATE_NEW_PROCESS_GROUP;
        started = startHidden(service, info);
    }
    if (!started) return "cannot start it: " + errorText(GetLastError());
    CloseHandle(info.hThread);

    std::string error = "it did not start in time";
    while (Clock::now() < until) {
        if (readPortFile(portFile_)) {
            error.clear();
            break;
        }
        if (WaitForSingleObject(info.hProcess, 20) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(info.hProcess, &code);
            error = "it ended while starting (exit code " + std::to_string(code) + ")";
            break;
        }
    }
    if (!error.empty()) TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    return error;
}

}  // namespace brindle::engine::win32
