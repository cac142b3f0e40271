#pragma once
// Which backends decompile a class file, in which order, and the fall-back from one to the
// next.

#include <functional>
#include <span>
#include <vector>

#include "engine/core/backend.h"
#include "engine/core/engine_choice.h"
#include "engine/core/settings.h"

namespace brindle::engine {

enum class BackendRole {
    Resident,  // a service that keeps a decompiler loaded between engine runs
    Cold,      // starts the decompiler for this class file alone
};

struct OfferedBackend {
    Backend* backend = nullptr;
    BackendRole role = BackendRole::Cold;
    DecompilerEngine engine = DecompilerEngine::Procyon;
};

// The backends of `engine` to try, in the order offered: a forced cold run leaves out the
// resident ones, a required service leaves out the cold ones.
std::vector<Backend*> chooseBackends(const Settings& settings,
                                     std::span<const OfferedBackend> offered,
                                     DecompilerEngine engine = DecompilerEngine::Procyon);

// Tries each backend in turn until one gives anything but BackendUnusable, with one time
// budget for them all: a backend gets only what the ones before it left, and none is started
// once the deadline has passed (TimedOut). An unusable backend that wants the user to know is
// handed to notice when a later backend takes over. With no backend left, the last backend's
// reason is the outcome.
Outcome runBackends(std::span<Backend* const> backends, DecompileJob job,
                    const std::function<void(const Outcome&)>& notice);
// The same on the caller's job, whose deadline ends up moved later by what the backends waited
// in queues (for whatever runs after them).
Outcome runBackendsOn(std::span<Backend* const> backends, DecompileJob& job,
                      const std::function<void(const Outcome&)>& notice);

// The backends of the engines `choice` asks for, from a platform's offer of each engine (an
// offer adds that engine's backends, or says why it cannot run here): a named engine alone, its
// reason when it cannot run; by default Vineflower's then Procyon's, either one enough, and
// Procyon's reason when neither can run (so that without node the engine is Procyon's, as it
// was before it had Vineflower, and nothing is said about it).
using EngineOffer = std::function<Outcome(std::vector<OfferedBackend>& offered)>;
Outcome offerEngines(EngineChoice choice, std::vector<OfferedBackend>& offered,
                     const EngineOffer& offerProcyon, const EngineOffer& offerVineflower);

}  // namespace brindle::engine
