#include "engine/posix/posix_engine_host.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "common/files.h"
#include "common/program_path.h"
#include "engine/core/class_input.h"
#include "engine/core/java_command.h"
#include "engine/posix/class_copy_folder.h"

extern char** environ;

namespace brindle::engine {
namespace {

constexpr const char* kServiceJarName = "jad-service.jar";
constexpr const char* kVineflowerFolder = "vineflower";

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The scripts of the Vineflower engine by name, size and modification time: a service started
// from other scripts is another build's.
std::vector<std::string> scriptIdentities(const std::string& folder) {
    std::vector<std::string> identities;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return identities;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!name.ends_with(".mjs")) continue;
        struct stat st {};
        if (stat(common::joinPath(folder, entry->d_name).c_str(), &st) != 0) continue;
        identities.push_back(std::string(name) + ":" + std::to_string(st.st_size) + ":" +
                             std::to_string(st.st_mtim.tv_sec) + "." +
                             std::to_string(st.st_mtim.tv_nsec));
    }
    closedir(dir);
    std::sort(identities.begin(), identities.end());
    return identities;
}

// Debian's procyon-decompiler and what it needs.
std::vector<std::string> debianProcyonJars() {
    std::vector<std::string> jars;
    for (const char* jar : {"procyon-decompiler", "procyon-compilertools", "procyon-core",
                            "procyon-expressions", "procyon-reflection", "jcommander"})
        jars.push_back(std::string("/usr/share/java/") + jar + ".jar");
    return jars;
}

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A name with a '/' is used as it is; a bare name is looked up on PATH.
std::optional<std::string> findProgram(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return isExecutableFile(name) ? std::optional(name) : std::nullopt;
    const char* path = std::getenv("PATH");
    const std::string search = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= search.size()) {
        const std::size_t end = std::min(search.find(':', start), search.size());
        const std::string dir = end > start ? search.substr(start, end - start) : ".";
        const std::string candidate = common::joinPath(dir, name);
        if (isExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

// Java decodes its arguments by the locale; under a C locale a path holding non-ASCII
// characters would reach Procyon as question marks.
std::vector<std::string> javaEnvironment() {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view e = *entry;
        if (!e.starts_with("LC_ALL=")) env.emplace_back(e);
    }
    env.emplace_back("LC_ALL=C.UTF-8");
    return env;
}

}  // namespace

std::optional<std::string> PosixEngineHost::environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::string PosixEngineHost::absolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    return common::joinPath(workingFolder(), path);
}

std::string PosixEngineHost::workingFolder() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return ".";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::vector<std::string> PosixEngineHost::nestedClassCandidates(const std::string& classFile) {
    std::vector<std::string> found;
    const std::size_t slash = classFile.rfind('/');
    const std::string folder = slash == 0 ? "/" : classFile.substr(0, slash);
    struct stat self {};
    if (slash == std::string::npos || stat(classFile.c_str(), &self) != 0) return found;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return found;
    while (const dirent* entry = readdir(dir)) {
        if (!mayHoldNestedClass(entry->d_name)) continue;
        const std::string path = common::joinPath(folder, entry->d_name);
        struct stat st {};
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (st.st_dev == self.st_dev && st.st_ino == self.st_ino) continue;
        found.push_back(path);
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    return found;
}

Outcome PosixEngineHost::copyForDecompiler(const std::vector<CopiedFile>& files,
                                           std::unique_ptr<DecompilerInput>& input) {
    std::string error;
    input = ClassCopyFolder::create(files, error);
    if (!input) return Outcome::failure(OutcomeKind::CannotReadClassFile, error);
    return Outcome::withSource({});
}

Outcome PosixEngineHost::offerBackends(const Settings& settings,
                                       std::vector<OfferedBackend>& offered) {
    return offerEngines(
        settings.engine, offered,
        [this, &settings](std::vector<OfferedBackend>& o) { return offerProcyon(settings, o); },
        [this, &settings](std::vector<OfferedBackend>& o) { return offerVineflower(settings, o); });
}

Outcome PosixEngineHost::offerProcyon(const Settings& settings,
                                      std::vector<OfferedBackend>& offered) {
    const std::optional<std::string> java = findProgram(settings.java);
    if (!java)
        return Outcome::failure(
            OutcomeKind::JavaNotFound,
            settings.java.find('/') != std::string::npos ? "at " + settings.java : "on PATH");
    const std::vector<std::string> jars = settings.classPath.value_or(debianProcyonJars());
    for (const std::string& jar : jars) {
        struct stat st {};
        if (stat(jar.c_str(), &st) != 0)
            return Outcome::failure(OutcomeKind::DecompilerNotFound, "missing " + jar);
    }
    if (jars.empty()) return Outcome::failure(OutcomeKind::DecompilerNotFound, "empty class path");
    const std::vector<std::string> env = javaEnvironment();
    const std::string folder = common::programFolder();
    const std::string serviceJar = folder.empty() ? std::string() : folder + kServiceJarName;
    // The cold run decompiles with the service program's own code, when it is there.
    const bool withServiceJar = !serviceJar.empty() && isRegularFile(serviceJar);
    std::vector<std::string> coldJars = jars;
    if (withServiceJar) coldJars.push_back(serviceJar);
    cold_ = std::make_unique<ColdRunBackend>(
        runner_, ColdRunSetup{*java, joinClassPath(coldJars, ':'), env, {}, withServiceJar});

    ServiceProgram program;
    program.name = "jad";
    program.program = *java;
    program.serviceFile = serviceJar;
    program.keyParts = jars;
    program.env = env;
    std::vector<std::string> serviceJars = jars;
    serviceJars.push_back(serviceJar);
    const ServiceShape shape{settings.serviceDecompilers, settings.serviceAheadResults,
                             settings.serviceIdleSeconds};
    program.arguments = [classPath = joinClassPath(serviceJars, ':'), shape](
                            const std::string& socketPath, const std::string& key) {
        return serviceArguments(classPath, socketPath, key, shape);
    };
    transport_ = std::make_unique<UnixSocketTransport>(std::move(program));
    service_ = std::make_unique<ServiceBackend>(*transport_, settings.serviceDelayMillis);

    offered.push_back({service_.get(), BackendRole::Resident, DecompilerEngine::Procyon});
    offered.push_back({cold_.get(), BackendRole::Cold, DecompilerEngine::Procyon});
    return Outcome::withSource({});
}

Outcome PosixEngineHost::offerVineflower(const Settings& settings,
                                         std::vector<OfferedBackend>& offered) {
    const std::optional<std::string> node = findProgram(settings.node);
    if (!node)
        return Outcome::failure(
            OutcomeKind::NodeNotFound,
            settings.node.find('/') != std::string::npos ? "at " + settings.node : "on PATH");
    const std::string folder = common::programFolder();
    const std::string engineFolder = folder + kVineflowerFolder;
    const std::string script = engineFolder + "/vineflower.mjs";
    if (folder.empty() || !isRegularFile(script))
        return Outcome::failure(OutcomeKind::VineflowerNotFound, "missing " + script);
    const std::vector<std::string> env = javaEnvironment();
    vineflowerCold_ =
        std::make_unique<VineflowerColdBackend>(runner_, VineflowerColdSetup{*node, script, env});

    ServiceProgram program;
    program.name = "vineflower";
    program.program = *node;
    program.serviceFile = script;
    program.keyParts = scriptIdentities(engineFolder);
    program.env = env;
    program.arguments = [script, idle = settings.serviceIdleSeconds,
                         workers = settings.serviceDecompilers,
                         ahead = settings.serviceAheadResults](const std::string& socketPath,
                                                               const std::string& key) {
        return std::vector<std::string>{script,
                                        socketPath,
                                        key,
                                        std::to_string(idle),
                                        std::to_string(workers),
                                        std::to_string(ahead)};
    };
    vineflowerTransport_ = std::make_unique<UnixSocketTransport>(std::move(program));
    vineflowerService_ =
        std::make_unique<ServiceBackend>(*vineflowerTransport_, settings.serviceDelayMillis);

    offered.push_back(
        {vineflowerService_.get(), BackendRole::Resident, DecompilerEngine::Vineflower});
    offered.push_back({vineflowerCold_.get(), BackendRole::Cold, DecompilerEngine::Vineflower});
    return Outcome::withSource({});
}

void PosixEngineHost::tell(const std::string& line) {
    const std::string text = line + "\n";
    // Nothing useful is left to do when stderr itself fails.
    (void)std::fwrite(text.data(), 1, text.size(), stderr);
    (void)std::fflush(stderr);
}

}  // namespace brindle::engine
