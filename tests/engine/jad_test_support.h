// Helpers shared by the tests of the jad program: scratch folders, running jad and other programs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "class_bytes.h"
#include "engine/posix/child_process.h"

namespace jadtest {

namespace fs = std::filesystem;

// A folder under TMPDIR (or /tmp) that is removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void writeFile(const fs::path& path, std::string_view contents);
void writeFile(const fs::path& path, const std::vector<std::uint8_t>& contents);
std::optional<std::string> readFile(const fs::path& path);
std::set<std::string> listFolder(const fs::path& folder);         // names; empty when missing
void writeScript(const fs::path& path, const std::string& body);  // "#!/bin/sh" + body, executable

// A private folder (mode 0700) for the service sockets, passed to jad as
// XDG_RUNTIME_DIR. Its destructor ends every service listening in it.
class ServiceFolder {
public:
    ServiceFolder();
    ~ServiceFolder();
    ServiceFolder(const ServiceFolder&) = delete;
    ServiceFolder& operator=(const ServiceFolder&) = delete;
    [[nodiscard]] const fs::path& path() const { return dir_.path(); }

    std::vector<fs::path> sockets() const;  // the *.sock files in it
    // The ids of the services listening on its sockets.
    std::vector<pid_t> services() const;
    void stopServices() const;  // SIGKILL, then waits until they are gone

private:
    TempDir dir_;
};

// The folder runJad uses when `env` names no XDG_RUNTIME_DIR; its services
// end when the test program does.
const ServiceFolder& defaultServiceFolder();

// True once `pid` has ended (a zombie counts as ended).
bool processGone(pid_t pid);
bool waitUntilGone(pid_t pid, std::chrono::milliseconds limit = std::chrono::seconds(10));

struct JadRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// A node program that is not there: jad finds no Node and decompiles with Procyon alone.
inline const std::string kNoNode = "/nonexistent/brindle-test/node";

// Runs the jad under test with BRINDLE_JAD_* taken from `env` only; `env`
// replaces variables of the same name. XDG_RUNTIME_DIR is the default service
// folder unless `env` names one; BRINDLE_JAD_NODE is kNoNode unless `env` names
// one, so that jad runs Procyon alone.
JadRun runJad(const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env = {}, int timeoutSeconds = 120);
// The same with the jad at `program` (an installed layout's).
JadRun runJadAt(const std::string& program, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env, int timeoutSeconds = 120);

// Starts jad as runJad does, with stdout and stderr in `log`, without waiting for it; its
// process id, -1 when it could not start. The caller collects it (waitpid).
pid_t startJad(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
               const fs::path& log);

// The environment runJad gives jad.
std::vector<std::string> jadEnvironment(const std::map<std::string, std::string>& env);

// Runs any program with the test's own environment.
brindle::engine::RunResult runProgram(const std::string& program,
                                     const std::vector<std::string>& args);

// Looks `name` up on PATH.
std::optional<std::string> findOnPath(const std::string& name);

}  // namespace jadtest
