#include "jad_test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace jadtest {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/brindle-jad-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed for " + pattern);
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void writeFile(const fs::path& path, std::string_view contents) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!f) throw std::runtime_error("cannot write " + path.string());
}

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& contents) {
    writeFile(path,
              std::string_view(reinterpret_cast<const char*>(contents.data()), contents.size()));
}

std::optional<std::string> readFile(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::set<std::string> listFolder(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.insert(entry.path().filename().string());
    return names;
}

void writeScript(const fs::path& path, const std::string& body) {
    writeFile(path, "#!/bin/sh\n" + body + "\n");
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

ServiceFolder::ServiceFolder() {
    fs::permissions(dir_.path(), fs::perms::owner_all, fs::perm_options::replace);
}

ServiceFolder::~ServiceFolder() {
    stopServices();
}

std::vector<fs::path> ServiceFolder::sockets() const {
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir_.path(), error)) {
        if (entry.path().extension() == ".sock") found.push_back(entry.path());
    }
    return found;
}

std::vector<pid_t> ServiceFolder::services() const {
    std::vector<pid_t> pids;
    for (const fs::path& socketPath : sockets()) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string text = socketPath.string();
        if (text.size() >= sizeof address.sun_path) continue;
        std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        ucred cred{};
        socklen_t size = sizeof cred;
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 && cred.pid > 0)
            pids.push_back(cred.pid);
        close(fd);
    }
    return pids;
}

void ServiceFolder::stopServices() const {
    for (const pid_t pid : services()) {
        kill(pid, SIGKILL);
        waitUntilGone(pid);
    }
}

const ServiceFolder& defaultServiceFolder() {
    static const ServiceFolder folder;
    return folder;
}

bool processGone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const std::size_t paren = line.rfind(')');
    if (paren == std::string::npos || line.size() <= paren + 2 || line[paren + 2] != 'Z')
        return false;
    // A zombie leader whose other threads still exit keeps its files open.
    std::error_code error;
    const auto tasks = fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error);
    return error || std::distance(fs::begin(tasks), fs::end(tasks)) <= 1;
}

bool waitUntilGone(pid_t pid, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!processGone(pid)) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

namespace {

std::vector<std::string> environmentWithout(std::string_view prefix) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (!std::string_view(*e).starts_with(prefix)) env.emplace_back(*e);
    }
    return env;
}

}  // namespace

std::vector<std::string> jadEnvironment(const std::map<std::string, std::string>& env) {
    std::vector<std::string> result = environmentWithout("BRINDLE_JAD_");
    std::erase_if(result, [](const std::string& e) { return e.starts_with("XDG_RUNTIME_DIR="); });
    if (!env.contains("XDG_RUNTIME_DIR"))
        result.push_back("XDG_RUNTIME_DIR=" + defaultServiceFolder().path().string());
    // Procyon alone, as jad runs without Node, unless the test asks for Vineflower.
    if (!env.contains("BRINDLE_JAD_NODE")) result.push_back("BRINDLE_JAD_NODE=" + kNoNode);
    for (const auto& entry : env) {
        const std::string prefix = entry.first + "=";
        std::erase_if(result, [&prefix](const std::string& e) { return e.starts_with(prefix); });
        result.push_back(prefix + entry.second);
    }
    return result;
}

JadRun runJad(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
              int timeoutSeconds) {
    return runJadAt(JAD_PATH, args, env, timeoutSeconds);
}

JadRun runJadAt(const std::string& program, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env, int timeoutSeconds) {
    brindle::engine::RunRequest request;
    request.program = program;
    request.args = args;
    request.env = jadEnvironment(env);
    request.timeout = std::chrono::seconds(timeoutSeconds);
    const brindle::engine::RunResult r = brindle::engine::runChild(request);
    JadRun run;
    if (r.ending == brindle::engine::RunResult::Ending::Exited) run.exitCode = r.status;
    run.out = r.out;
    run.err = r.err;
    return run;
}

pid_t startJad(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
               const fs::path& log) {
    std::vector<std::string> argvText{JAD_PATH};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText = jadEnvironment(env);
    std::vector<char*> envp;
    for (std::string& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, JAD_PATH, &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

brindle::engine::RunResult runProgram(const std::string& program,
                                     const std::vector<std::string>& args) {
    brindle::engine::RunRequest request;
    request.program = program;
    request.args = args;
    request.env = environmentWithout("BRINDLE_JAD_");
    return brindle::engine::runChild(request);
}

std::optional<std::string> findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string rest = path != nullptr ? path : "";
    std::size_t start = 0;
    while (start <= rest.size()) {
        const std::size_t end = std::min(rest.find(':', start), rest.size());
        const fs::path candidate = fs::path(rest.substr(start, end - start)) / name;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace jadtest
