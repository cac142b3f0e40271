#pragma once
// The service transport on Windows, which gives programs no Unix-domain sockets: the resident
// service listens on the loopback address and publishes its port, a secret, a proof and its
// process id in a port file in the user's private payload folder (Transport.Tcp in
// engine/service). Each connection starts with the secret; the service answers with the proof,
// so that neither side talks to another user's program that holds the port. The service is
// started by the first engine run that finds none, hidden and detached: out of Jad.exe's job,
// with no handle of Jad.exe's.

#include <functional>
#include <string>
#include <vector>

#include "engine/core/java_command.h"
#include "engine/core/service_transport.h"

namespace brindle::engine::win32 {

struct TcpServiceSetup {
    std::string java;                      // the java program, found
    std::vector<std::string> classPath;    // the Procyon jars, as java is to read them
    std::string serviceJar;                // jad-service.jar, likewise
    std::vector<std::string> javaOptions;  // the platform's own (serviceArguments)
    std::vector<std::string> env;          // the service's whole environment
    ServiceShape shape;                    // its decompilers, results held ahead, idle time
    std::string folder;                    // the private folder of the port file and the lock
    std::function<std::string()> prepare;  // before a start (makes the jars intact): error text
};

class TcpTransport final : public ServiceTransport {
public:
    explicit TcpTransport(TcpServiceSetup setup);

    Outcome open() override;
    const std::string& key() const override { return key_; }
    // Null when no port file names a listening service.
    std::unique_ptr<ServiceConnection> connect(std::string& refusal) override;
    // An exclusive lock on service-<key>.lock in the folder.
    std::unique_ptr<ServiceStartLock> lockStart(Clock::time_point until) override;
    // Removes a dead service's port file, then starts java with the service in an empty
    // folder and waits for its port file.
    std::string startService(Clock::time_point until) override;

private:
    TcpServiceSetup setup_;
    std::string key_;
    std::string portFile_;
};

}  // namespace brindle::engine::win32
