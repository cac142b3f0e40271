#pragma once
// The service transport on POSIX: one resident service per user and build, listening on a
// Unix-domain socket in the user's private socket folder (private_folder.h), started by the
// first engine run that finds none, fully detached (its own session, no inherited descriptors).

#include <string>
#include <vector>

#include "engine/core/java_command.h"
#include "engine/core/service_transport.h"

namespace brindle::engine {

struct ServiceProgram {
    std::string java;                    // the java program, found
    std::vector<std::string> classPath;  // the Procyon jars, as for a cold run
    std::string serviceJar;              // the service program (jad-service.jar)
    std::vector<std::string> env;        // the service's whole environment
    ServiceShape shape;
};

class UnixSocketTransport final : public ServiceTransport {
public:
    explicit UnixSocketTransport(ServiceProgram program);

    // Unusable without the service program; unusable with tellUser when the socket folder is
    // not private or its path too long for a socket.
    Outcome open() override;
    const std::string& key() const override { return key_; }
    // Refuses a socket whose listener runs as another user.
    std::unique_ptr<ServiceConnection> connect(std::string& refusal) override;
    // An exclusive lock on brindle-jad-<key>.lock in the socket folder.
    std::unique_ptr<ServiceStartLock> lockStart(Clock::time_point until) override;
    // Removes a dead service's socket file, then starts java with the service in an empty
    // folder and waits for its "ready" byte on a pipe.
    std::string startService(Clock::time_point until) override;

private:
    ServiceProgram program_;
    std::string folder_;
    std::string key_;
    std::string socketPath_;
};

}  // namespace brindle::engine
