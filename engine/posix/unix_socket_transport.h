#pragma once
// The service transport on POSIX: one resident service per user and build, listening on a
// Unix-domain socket in the user's private socket folder (private_folder.h), started by the
// first engine run that finds none, fully detached (its own session, no inherited descriptors,
// fd 3 the pipe on which it says it is ready). The same for every engine's service: the Procyon
// service on java and the Vineflower service on node.

#include <functional>
#include <string>
#include <vector>

#include "engine/core/service_transport.h"

namespace brindle::engine {

struct ServiceProgram {
    std::string name;     // names the service's files in the socket folder: brindle-<name>-<key>.*
    std::string program;  // the program to start (java, node), found
    // The service program's file: without it there is no service; its identity on disk (device,
    // inode, size, modification time) goes into the key with keyParts, so that another build
    // has another key.
    std::string serviceFile;
    std::vector<std::string> keyParts;
    // The arguments after the program's name for a service listening at the socket path with
    // the key.
    std::function<std::vector<std::string>(const std::string& socketPath, const std::string& key)>
        arguments;
    std::vector<std::string> env;  // the service's whole environment
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
    // An exclusive lock on brindle-<name>-<key>.lock in the socket folder.
    std::unique_ptr<ServiceStartLock> lockStart(Clock::time_point until) override;
    // Removes a dead service's socket file, then starts the service in an empty folder and
    // waits for its "ready" byte on a pipe.
    std::string startService(Clock::time_point until) override;

private:
    ServiceProgram program_;
    std::string folder_;
    std::string key_;
    std::string socketPath_;
};

}  // namespace brindle::engine
