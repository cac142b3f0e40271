#include "engine/core/backend_choice.h"

namespace brindle::engine {

std::vector<Backend*> chooseBackends(const Settings& settings,
                                     std::span<const OfferedBackend> offered,
                                     DecompilerEngine engine) {
    std::vector<Backend*> chosen;
    for (const OfferedBackend& o : offered) {
        if (o.engine != engine) continue;
        if (settings.cold && o.role == BackendRole::Resident) continue;
        if (!settings.cold && settings.serviceRequired && o.role == BackendRole::Cold) continue;
        chosen.push_back(o.backend);
    }
    return chosen;
}

Outcome runBackends(std::span<Backend* const> backends, DecompileJob job,
                    const std::function<void(const Outcome&)>& notice) {
    return runBackendsOn(backends, job, notice);
}

Outcome runBackendsOn(std::span<Backend* const> backends, DecompileJob& job,
                      const std::function<void(const Outcome&)>& notice) {
    Outcome last = Outcome::unusable("no decompiler to run");
    for (std::size_t i = 0; i < backends.size(); ++i) {
        if (i > 0 && Clock::now() >= job.deadline)
            return Outcome::failure(OutcomeKind::TimedOut, {}, job.timeLimit.count());
        if (i > 0 && last.tellUser) notice(last);
        last = backends[i]->decompile(job);
        if (last.kind != OutcomeKind::BackendUnusable) return last;
    }
    return last;
}

Outcome offerEngines(EngineChoice choice, std::vector<OfferedBackend>& offered,
                     const EngineOffer& offerProcyon, const EngineOffer& offerVineflower) {
    offered.clear();
    switch (choice) {
        case EngineChoice::Procyon:
            return offerProcyon(offered);
        case EngineChoice::Vineflower:
            return offerVineflower(offered);
        case EngineChoice::Better:
            break;
    }
    const Outcome vineflower = offerVineflower(offered);
    const Outcome procyon = offerProcyon(offered);
    if (procyon.succeeded() || vineflower.succeeded()) return Outcome::withSource({});
    return procyon;
}

}  // namespace brindle::engine
