#pragma once
// The engine's platform on Windows: Java found through JAVA_HOME, the installers' registry
// entries or PATH, and Node through BRINDLE_JAD_NODE, PATH or its installer's registry entry;
// the Procyon jars, the service and the Vineflower engine carried inside Jad.exe and unpacked
// per user; each engine's resident service over loopback TCP; cold runs in a Job object. Paths are UTF-8
// (common/win32 speaks UTF-16 to the wide API).

#include <memory>

#include "engine/core/cold_run.h"
#include "engine/core/engine_host.h"
#include "engine/core/service_backend.h"
#include "engine/core/vineflower_cold_run.h"
#include "engine/win32/job_runner.h"
#include "engine/win32/payload.h"
#include "engine/win32/tcp_transport.h"

namespace brindle::engine::win32 {

class Win32EngineHost final : public EngineHost {
public:
    std::string_view programName() const override { return "jad"; }
    std::optional<std::string> environment(const char* name) override;
    char listSeparator() const override { return ';'; }
    // The full path, in its short (8.3) form when the ANSI code page cannot spell it: java
    // reads its command line in that code page.
    std::string absolutePath(const std::string& path) override;
    std::string workingFolder() override;
    // The files beside classFile whose names hold a '$', by name.
    std::vector<std::string> nestedClassCandidates(const std::string& classFile) override;
    // A folder of its own in the payload folder, removed with the copies.
    Outcome copyForDecompiler(const std::vector<CopiedFile>& files,
                              std::unique_ptr<DecompilerInput>& input) override;
    // For each engine settings.engine names, its service then its cold run: Procyon's (java)
    // and Vineflower's (node); each unpacks the payload before it starts its program. By
    // default both, or the one found: JavaNotFound and the like only when neither is, and
    // without Node, Procyon alone as before Jad.exe had Vineflower.
    Outcome offerBackends(const Settings& settings, std::vector<OfferedBackend>& offered) override;
    // On a console in full Unicode; to a pipe or a file in the ANSI code page, which is what
    // an ANSI front-end such as Brindle.exe reads. Lines end in CR LF.
    void tell(const std::string& line) override;

private:
    Outcome offerProcyon(const Settings& settings, std::vector<OfferedBackend>& offered);
    Outcome offerVineflower(const Settings& settings, std::vector<OfferedBackend>& offered);

    JobRunner runner_;
    Payload payload_;
    std::unique_ptr<ColdRunBackend> cold_;
    std::unique_ptr<Backend> unpackingCold_;
    std::unique_ptr<TcpTransport> transport_;
    std::unique_ptr<ServiceBackend> service_;
    std::unique_ptr<VineflowerColdBackend> vineflowerCold_;
    std::unique_ptr<Backend> unpackingVineflowerCold_;
    std::unique_ptr<TcpTransport> vineflowerTransport_;
    std::unique_ptr<ServiceBackend> vineflowerService_;
};

}  // namespace brindle::engine::win32
