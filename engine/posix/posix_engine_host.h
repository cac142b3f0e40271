#pragma once
// The engine's platform on Linux: java found on PATH, Debian's Procyon jars, node found on PATH
// with the Vineflower engine's folder beside jad, each engine's resident service on a
// Unix-domain socket, cold runs in a process group of their own.

#include <memory>

#include "engine/core/cold_run.h"
#include "engine/core/engine_host.h"
#include "engine/core/service_backend.h"
#include "engine/core/vineflower_cold_run.h"
#include "engine/posix/child_process.h"
#include "engine/posix/unix_socket_transport.h"

namespace brindle::engine {

class PosixEngineHost final : public EngineHost {
public:
    std::string_view programName() const override { return "jad"; }
    std::optional<std::string> environment(const char* name) override;
    char listSeparator() const override { return ':'; }
    std::string absolutePath(const std::string& path) override;
    std::string workingFolder() override;
    // The regular files beside classFile whose names hold a '$', by name.
    std::vector<std::string> nestedClassCandidates(const std::string& classFile) override;
    Outcome copyForDecompiler(const std::vector<CopiedFile>& files,
                              std::unique_ptr<DecompilerInput>& input) override;
    // For each engine settings.engine names, its service then its cold run: Procyon's (java,
    // the Procyon jars, jad-service.jar beside jad) and Vineflower's (node, vineflower/ beside
    // jad). By default both, or the one found: JavaNotFound and the like only when neither is.
    Outcome offerBackends(const Settings& settings, std::vector<OfferedBackend>& offered) override;
    // The line and a newline on stderr.
    void tell(const std::string& line) override;

private:
    Outcome offerProcyon(const Settings& settings, std::vector<OfferedBackend>& offered);
    Outcome offerVineflower(const Settings& settings, std::vector<OfferedBackend>& offered);

    ChildProcessRunner runner_;
    std::unique_ptr<ColdRunBackend> cold_;
    std::unique_ptr<UnixSocketTransport> transport_;
    std::unique_ptr<ServiceBackend> service_;
    std::unique_ptr<VineflowerColdBackend> vineflowerCold_;
    std::unique_ptr<UnixSocketTransport> vineflowerTransport_;
    std::unique_ptr<ServiceBackend> vineflowerService_;
};

}  // namespace brindle::engine
