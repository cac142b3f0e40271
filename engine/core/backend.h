#pragma once
// One way to decompile a class file (the resident service, a cold run of Procyon, ...), behind
// one interface so that the engine can fall back from one to the next.

#include <chrono>
#include <string>

#include "engine/core/outcome.h"

namespace brindle::engine {

using Clock = std::chrono::steady_clock;

struct DecompileJob {
    std::string classFile;             // absolute, a path the decompiler opens (class_input.h)
    std::string workingFolder;         // the engine's own, absolute
    Clock::time_point deadline;        // for this class file, every backend together
    std::chrono::seconds timeLimit{};  // the limit behind the deadline, named on a time-out
};

class Backend {
public:
    virtual ~Backend() = default;
    // Source; a failure that ends the class file (no other backend would do better); or
    // BackendUnusable when this backend cannot decompile now and another one should. Never
    // waits past job.deadline: on a time-out it ends the work it started and gives TimedOut.
    // Time it spent waiting for a decompiler to be free is not decompile time: it moves
    // job.deadline later by that much, for itself and for the backends after it.
    virtual Outcome decompile(DecompileJob& job) = 0;
};

}  // namespace brindle::engine
