#pragma once
// What the environment may change about a decompile, read once at the start:
//   BRINDLE_JAD_JAVA       the java program to start (default: "java" on PATH)
//   BRINDLE_JAD_NODE       the node program that runs the Vineflower engine (default: "node" on
//                          PATH; without one, Procyon decompiles alone)
//   BRINDLE_JAD_CLASSPATH  the Procyon jars, in the platform's list form, instead of the defaults
//   BRINDLE_JAD_TIMEOUT    seconds a class file may take (default 120)
//   BRINDLE_JAD_COLD       "1": always start Procyon for this class file, never the service
//   BRINDLE_JAD_WORKERS    the decompilers of a service this run starts beside the one for
//                          the request in hand (default: the cores less one, at least one)
//   BRINDLE_JAD_AHEAD      how many results of class files decompiled ahead of a batch such a
//                          service holds (default 64; 0: it decompiles nothing ahead)
// For tests of the service only:
//   BRINDLE_JAD_SERVICE_IDLE      seconds a new service waits for work before ending (600)
//   BRINDLE_JAD_SERVICE_DELAY_MS  the service waits this long before decompiling
//   BRINDLE_JAD_SERVICE_REQUIRED  "1": fail instead of decompiling without the service

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/engine_choice.h"
#include "engine/core/limits.h"
#include "engine/core/outcome.h"

namespace brindle::engine {

// The cores less one, at least one.
unsigned defaultServiceDecompilers();

struct Settings {
    std::string java = "java";
    std::string node = "node";
    // Not from the environment: Engine.ini beside the program (engine_choice.h).
    EngineChoice engine = EngineChoice::Better;
    std::optional<std::vector<std::string>> classPath;  // nullopt: the platform's own Procyon jars
    std::chrono::seconds timeLimit = kDefaultTimeLimit;
    bool cold = false;
    bool serviceRequired = false;
    unsigned serviceIdleSeconds = kDefaultServiceIdleSeconds;
    unsigned serviceDecompilers = defaultServiceDecompilers();
    unsigned serviceAheadResults = kDefaultServiceAheadResults;
    unsigned serviceDelayMillis = 0;
};

// The value of an environment variable; nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// Fills settings from the environment; an empty value counts as unset. A number that is not
// a whole number in its range gives BadEnvironment naming the variable, else the outcome is
// Source (nothing to report). listSeparator splits BRINDLE_JAD_CLASSPATH (':' or ';').
Outcome readSettings(const EnvironmentLookup& lookup, char listSeparator, Settings& settings);

// The parts of list between separators, empty parts left out.
std::vector<std::string> splitList(const std::string& list, char separator);

}  // namespace brindle::engine
