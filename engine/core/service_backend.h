#pragma once
// The resident service as a backend: finds or starts the user's service over a transport and
// asks it for one class file's source (service_protocol.h).

#include "engine/core/backend.h"
#include "engine/core/service_transport.h"

namespace brindle::engine {

class ServiceBackend final : public Backend {
public:
    // testDelayMillis: the service waits this long before decompiling (for tests of time-outs).
    ServiceBackend(ServiceTransport& transport, unsigned testDelayMillis);

    // BackendUnusable whenever the service cannot answer properly (none can be started, it
    // answers garbage, it asks for a cold run, its decompilers stay busy with other work past
    // serviceQueueLimit), so that a cold run can take over. A service that ends without an
    // answer (it went idle, or another run ended it) is replaced by a new one once. The time
    // limit runs from the service's "started": the wait before it moves job.deadline later.
    // Past the deadline the service is ended: TimedOut.
    Outcome decompile(DecompileJob& job) override;

private:
    Outcome askOnce(DecompileJob& job, const std::string& request, Clock::time_point start,
                    bool& vanished);

    ServiceTransport& transport_;
    unsigned testDelayMillis_;
};

}  // namespace brindle::engine
