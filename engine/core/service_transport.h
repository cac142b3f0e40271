#pragma once
// What the service client needs from the platform: a place where the user's service lives,
// connections to it, and starting it. engine/posix carries it over a Unix-domain socket in a
// folder private to the user; a Windows layer could carry it over loopback TCP with a secret
// only the user can read. The protocol on top (service_protocol.h) is the same.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "engine/core/backend.h"
#include "engine/core/outcome.h"

namespace brindle::engine {

// One connection to a running service of this user.
class ServiceConnection {
public:
    enum class Read { Done, Closed, TimedOut };

    virtual ~ServiceConnection() = default;
    // False when the service went away.
    virtual bool send(std::string_view bytes) = 0;
    // Reads exactly size bytes, waiting no later than deadline.
    virtual Read read(char* into, std::size_t size, Clock::time_point deadline) = 0;
    // True when more bytes are already waiting; never waits.
    virtual bool moreWaiting() = 0;
    // Ends the service process behind this connection at once: a decompile inside it cannot be
    // stopped any other way. The next engine run starts a new one.
    virtual void endService() = 0;
};

// Held while it lives; released when destroyed.
class ServiceStartLock {
public:
    virtual ~ServiceStartLock() = default;
};

class ServiceTransport {
public:
    virtual ~ServiceTransport() = default;

    // Makes ready the place where this user's service lives. BackendUnusable when there is
    // none, with tellUser set when the user can fix it (a folder that others may enter). Called
    // before any other member.
    virtual Outcome open() = 0;
    // The key that names this engine's build of the service (serviceKey); set by open.
    virtual const std::string& key() const = 0;
    // A connection to this user's listening service; null when none listens, with refusal
    // set when one listens that must not be used (it belongs to someone else).
    virtual std::unique_ptr<ServiceConnection> connect(std::string& refusal) = 0;
    // The right to start the service, which only one engine run of the user holds at a time;
    // waits for it until `until`; null when not had.
    virtual std::unique_ptr<ServiceStartLock> lockStart(Clock::time_point until) = 0;
    // Starts a service, detached from this engine run, and waits until it listens but no later
    // than `until`. Empty when it listens, else why not.
    virtual std::string startService(Clock::time_point until) = 0;
};

}  // namespace brindle::engine
