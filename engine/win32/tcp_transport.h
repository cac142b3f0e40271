#pragma once
// The service transport on Windows, which gives programs no Unix-domain sockets, for every
// engine's service (the Procyon service on java, the Vineflower service on node): the resident
// service listens on the loopback address and publishes its port, a secret, a proof and its
// process id in a port file in the user's private payload folder (Transport.Tcp in
// engine/service, tcp_transport.mjs in engine/vineflower). Each connection starts with the
// secret; the service answers with the proof, so that neither side talks to another user's
// program that holds the port. The service is started by the first engine run that finds none, hidden and detached: out of Jad.exe's job,
// with no handle of Jad.exe's.

#include <functional>
#include <string>
#include <vector>

#include "engine/core/service_transport.h"

namespace brindle::engine::win32 {

struct TcpServiceSetup {
    // Names the service's files in the folder: <name>-<key>.port and <name>-<key>.lock.
    std::string name;
    std::string program;                   // the program to start (java, node), found
    std::vector<std::string> keyParts;     // with program, what makes another service another key
    // The arguments after the program's name for a service at the endpoint ("tcp:<port file>").
    std::function<std::vector<std::string>(const std::string& endpoint, const std::string& key)>
        arguments;
    std::vector<std::string> env;          // the service's whole environment
    std::string folder;                    // the private folder of the port file and the lock
    std::function<std::string()> prepare;  // before a start (makes the payload intact): error text
};

class TcpTransport final : public ServiceTransport {
public:
    explicit TcpTransport(TcpServiceSetup setup);

    Outcome open() override;
    const std::string& key() const override { return key_; }
    // Null when no port file names a listening service.
    std::unique_ptr<ServiceConnection> connect(std::string& refusal) override;
    // An exclusive lock on <name>-<key>.lock in the folder.
    std::unique_ptr<ServiceStartLock> lockStart(Clock::time_point until) override;
    // Removes a dead service's port file, then starts the service in an empty folder and waits
    // for its port file.
    std::string startService(Clock::time_point until) override;

private:
    TcpServiceSetup setup_;
    std::string key_;
    std::string portFile_;
};

}  // namespace brindle::engine::win32
