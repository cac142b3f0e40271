#include "engine/win32/win32_engine_host.h"

#include <windows.h>

#include <algorithm>

#include "common/files.h"
#include "common/win32/wide_text.h"
#include "engine/core/class_input.h"
#include "engine/core/java_command.h"
#include "engine/win32/java_finder.h"
#include "engine/win32/node_finder.h"

namespace brindle::engine::win32 {
namespace {

using common::win32::ansiSafePath;
using common::win32::fullPath;
using common::win32::longPath;
using common::win32::narrow;
using common::win32::widen;

// The path as java is to read it (see absolutePath).
std::string forJava(const std::string& path) {
    return narrow(ansiSafePath(widen(path)));
}

std::vector<std::string> javaEnvironment() {
    std::vector<std::string> env;
    wchar_t* block = GetEnvironmentStringsW();
    if (block == nullptr) return env;
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1)
        env.push_back(narrow(entry));
    FreeEnvironmentStringsW(block);
    return env;
}

// A cold run whose files are made intact first: only when its program is to start at all.
// missing: the outcome when they cannot be (DecompilerNotFound, VineflowerNotFound).
class UnpackingBackend final : public Backend {
public:
    UnpackingBackend(Backend& inner, const Payload& payload, OutcomeKind missing)
        : inner_(inner), payload_(payload), missing_(missing) {}
    Outcome decompile(DecompileJob& job) override {
        if (std::string error = unpackPayload(payload_); !error.empty())
            return Outcome::failure(missing_, error);
        return inner_.decompile(job);
    }

private:
    Backend& inner_;
    const Payload& payload_;
    OutcomeKind missing_;
};

// Private copies of class files, removed with their folder.
class ClassCopies final : public DecompilerInput {
public:
    ClassCopies(std::string folder, std::vector<std::string> files)
        : folder_(std::move(folder)), files_(std::move(files)), first_(common::joinPath(folder_, files_.front())) {}
    ~ClassCopies() override {
        for (const std::string& name : files_) DeleteFileW(longPath(common::joinPath(folder_, name)).c_str());
        RemoveDirectoryW(longPath(folder_).c_str());
    }
    ClassCopies(const ClassCopies&) = delete;
    ClassCopies& operator=(const ClassCopies&) = delete;
    const std::string& path() const override { return first_; }

private:
    std::string folder_;
    std::vector<std::string> files_;
    std::string first_;
};

}  // namespace

std::optional<std::string> Win32EngineHost::environment(const char* name) {
    const std::wstring wide = widen(name);
    std::vector<wchar_t> buffer(256);
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableW(wide.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::string>("");
        if (length < buffer.size()) return narrow(std::wstring_view(buffer.data(), length));
        buffer.resize(length);
    }
}

std::string Win32EngineHost::absolutePath(const std::string& path) {
    const std::wstring full = fullPath(path);
    return full.empty() ? path : narrow(ansiSafePath(full));
}

std::string Win32EngineHost::workingFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) return ".";
        if (length < buffer.size()) return narrow(std::wstring_view(buffer.data(), length));
        buffer.resize(length);
    }
}

std::vector<std::string> Win32EngineHost::nestedClassCandidates(const std::string& classFile) {
    std::vector<std::string> found;
    const std::size_t slash = classFile.find_last_of("\\/");
    if (slash == std::string::npos) return found;
    const std::string folder = classFile.substr(0, slash);
    const std::wstring self = widen(classFile.substr(slash + 1));
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((longPath(folder) + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const std::string name = narrow(entry.cFileName);
        if (!mayHoldNestedClass(name)) continue;
        if (CompareStringOrdinal(entry.cFileName, -1, self.c_str(), -1, TRUE) == CSTR_EQUAL) continue;
        found.push_back(common::joinPath(folder, name));
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    std::sort(found.begin(), found.end());
    return found;
}

Outcome Win32EngineHost::copyForDecompiler(const std::vector<CopiedFile>& files,
                                           std::unique_ptr<DecompilerInput>& input) {
    const std::string copies = common::joinPath(payload_.folder, "copies");
    std::string error;
    if (files.empty() || !common::makeFolders(copies, common::NewFolders::Private, &error))
        return Outcome::failure(OutcomeKind::CannotReadClassFile, error);
    std::string folder;
    for (unsigned attempt = 0; folder.empty() && attempt < 100; ++attempt) {
        const std::string name = std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount64()) + "-" + std::to_string(attempt);
        const std::string candidate = common::joinPath(copies, name);
        if (CreateDirectoryW(longPath(candidate).c_str(), nullptr)) folder = candidate;
    }
    if (folder.empty())
        return Outcome::failure(OutcomeKind::CannotReadClassFile,
                                "cannot create a folder in " + copies + ": " +
                                    common::win32::errorText(GetLastError()));
    std::vector<std::string> names;
    for (const CopiedFile& file : files) names.push_back(file.name);
    auto made = std::make_unique<ClassCopies>(folder, names);
    for (const CopiedFile& file : files) {
        if (!common::replaceFile(common::joinPath(folder, file.name), file.bytes, {}, &error))
            return Outcome::failure(OutcomeKind::CannotReadClassFile, error);
    }
    input = std::move(made);
    return Outcome::withSource({});
}

Outcome Win32EngineHost::offerBackends(const Settings& settings,
                                       std::vector<OfferedBackend>& offered) {
    return offerEngines(
        settings.engine, offered,
        [this, &settings](std::vector<OfferedBackend>& o) { return offerProcyon(settings, o); },
        [this, &settings](std::vector<OfferedBackend>& o) { return offerVineflower(settings, o); });
}

Outcome Win32EngineHost::offerVineflower(const Settings& settings,
                                         std::vector<OfferedBackend>& offered) {
    const NodeSearch search = findNode();
    if (search.namedMissing)
        return Outcome::failure(OutcomeKind::NodeNotFound, "at " + *search.namedMissing);
    if (!search.node && search.newestTooOld)
        return Outcome::failure(OutcomeKind::NodeNotFound,
                                "(Node " + std::to_string(kMinimumNodeRelease) +
                                    " or later is needed; found only Node " +
                                    std::to_string(search.newestTooOld->release) + ": " +
                                    search.newestTooOld->program + ")");
    if (!search.node)
        return Outcome::failure(OutcomeKind::NodeNotFound,
                                "(BRINDLE_JAD_NODE, PATH and the Node.js installer's registry entry "
                                "were searched)");
    if (std::string error = payloadFolder(payload_); !error.empty())
        return Outcome::failure(OutcomeKind::VineflowerNotFound, error);
    const std::string& node = search.node->program;
    const std::string script = payload_.vineflowerScript;
    const std::vector<std::string> env = javaEnvironment();

    vineflowerCold_ =
        std::make_unique<VineflowerColdBackend>(runner_, VineflowerColdSetup{node, script, env});
    unpackingVineflowerCold_ = std::make_unique<UnpackingBackend>(*vineflowerCold_, payload_,
                                                                  OutcomeKind::VineflowerNotFound);
    TcpServiceSetup service;
    service.name = "vineflower";
    service.program = node;
    service.keyParts = {script};  // its folder is named by the payload's digest
    service.arguments = [script, idle = settings.serviceIdleSeconds,
                         workers = settings.serviceDecompilers, ahead = settings.serviceAheadResults](
                            const std::string& endpoint, const std::string& key) {
        return std::vector<std::string>{script, endpoint, key, std::to_string(idle),
                                        std::to_string(workers), std::to_string(ahead)};
    };
    service.env = env;
    service.folder = payload_.folder;
    service.prepare = [this] { return unpackPayload(payload_); };
    vineflowerTransport_ = std::make_unique<TcpTransport>(std::move(service));
    vineflowerService_ =
        std::make_unique<ServiceBackend>(*vineflowerTransport_, settings.serviceDelayMillis);

    offered.push_back(
        {vineflowerService_.get(), BackendRole::Resident, DecompilerEngine::Vineflower});
    offered.push_back(
        {unpackingVineflowerCold_.get(), BackendRole::Cold, DecompilerEngine::Vineflower});
    return Outcome::withSource({});
}

Outcome Win32EngineHost::offerProcyon(const Settings& settings,
                                      std::vector<OfferedBackend>& offered) {
    std::string java;
    if (settings.java == "java") {
        const JavaSearch search = findJava();
        if (search.java) {
            java = search.java->program;
        } else if (search.newestTooOld) {
            return Outcome::failure(OutcomeKind::JavaTooOld,
                                    "Java " + std::to_string(search.newestTooOld->release) + " (" +
                                        search.newestTooOld->program + ")",
                                    kMinimumJavaRelease);
        } else {
            return Outcome::failure(OutcomeKind::JavaNotFound,
                                    "(install Java " + std::to_string(kMinimumJavaRelease) +
                                        " or later; JAVA_HOME, the registry entries of Java "
                                        "installers and PATH were searched)");
        }
    } else {
        const DWORD attributes = GetFileAttributesW(longPath(settings.java).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return Outcome::failure(OutcomeKind::JavaNotFound, "at " + settings.java);
        java = narrow(fullPath(settings.java));
    }

    if (std::string error = payloadFolder(payload_); !error.empty())
        return Outcome::failure(OutcomeKind::DecompilerNotFound, error);
    std::vector<std::string> jars;
    for (const std::string& jar : settings.classPath.value_or(payload_.classPath)) jars.push_back(forJava(jar));
    if (jars.empty()) return Outcome::failure(OutcomeKind::DecompilerNotFound, "empty class path");
    // The same bytes as on Linux whatever the code page and the Java release (UTF-8, LF):
    // package/java-options.txt, read by java as an argument file.
    const std::vector<std::string> javaOptions = {"@" + forJava(payload_.javaOptions)};
    const std::vector<std::string> env = javaEnvironment();

    const std::string serviceJar = forJava(payload_.serviceJar);
    // The cold run decompiles with the service program's own code (its cold mode), so that a
    // source is the service's byte for byte; the payload always carries it.
    std::vector<std::string> coldJars = jars;
    coldJars.push_back(serviceJar);
    cold_ = std::make_unique<ColdRunBackend>(
        runner_, ColdRunSetup{java, joinClassPath(coldJars, ';'), env, javaOptions, true});
    unpackingCold_ =
        std::make_unique<UnpackingBackend>(*cold_, payload_, OutcomeKind::DecompilerNotFound);
    TcpServiceSetup service;
    service.name = "service";
    service.program = java;
    service.keyParts = coldJars;  // the Procyon jars and the service jar
    const ServiceShape shape{settings.serviceDecompilers, settings.serviceAheadResults,
                             settings.serviceIdleSeconds};
    service.arguments = [classPath = joinClassPath(coldJars, ';'), javaOptions, shape](
                            const std::string& endpoint, const std::string& key) {
        return serviceArguments(classPath, endpoint, key, shape, javaOptions);
    };
    service.env = env;
    service.folder = payload_.folder;
    service.prepare = [this] { return unpackPayload(payload_); };
    transport_ = std::make_unique<TcpTransport>(std::move(service));
    service_ = std::make_unique<ServiceBackend>(*transport_, settings.serviceDelayMillis);

    offered.push_back({service_.get(), BackendRole::Resident, DecompilerEngine::Procyon});
    offered.push_back({unpackingCold_.get(), BackendRole::Cold, DecompilerEngine::Procyon});
    return Outcome::withSource({});
}

void Win32EngineHost::tell(const std::string& line) {
    const std::wstring text = widen(line + "\r\n");
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(err, &mode)) {
        WriteConsoleW(err, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string ansi = common::win32::toAnsi(text);
    WriteFile(err, ansi.data(), static_cast<DWORD>(ansi.size()), &written, nullptr);
}

}  // namespace brindle::engine::win32
