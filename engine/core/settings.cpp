#include "engine/core/settings.h"

#include <algorithm>
#include <string_view>
#include <thread>

namespace brindle::engine {
namespace {

enum class Unit { Seconds, Milliseconds, Count };

// The number in `name`, or an error text when it is not a whole number from low to high.
std::optional<std::string> readNumber(const EnvironmentLookup& lookup, const char* name, Unit unit,
                                      long long low, long long high, long long& into) {
    const std::optional<std::string> text = lookup(name);
    if (!text || text->empty()) return std::nullopt;
    bool good = text->size() <= kMaxSettingDigits;
    long long value = 0;
    for (const char c : *text) {
        good = good && c >= '0' && c <= '9';
        if (good) value = value * 10 + (c - '0');
    }
    if (good && value >= low && value <= high) {
        into = value;
        return std::nullopt;
    }
    const char* of = unit == Unit::Seconds        ? " of seconds"
                     : unit == Unit::Milliseconds ? " of milliseconds"
                                                  : "";
    return std::string(name) + " must be a whole number" + of + " from " + std::to_string(low) +
           " to " + std::to_string(high) + ", not \"" + *text + "\"";
}

bool isOne(const EnvironmentLookup& lookup, const char* name) {
    return lookup(name) == "1";
}

}  // namespace

unsigned defaultServiceDecompilers() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 1 ? cores - 1 : 1;
}

std::vector<std::string> splitList(const std::string& list, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(separator, start), list.size());
        if (end > start) parts.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

Outcome readSettings(const EnvironmentLookup& lookup, char listSeparator, Settings& settings) {
    if (auto java = lookup("BRINDLE_JAD_JAVA"); java && !java->empty()) settings.java = *java;
    if (auto node = lookup("BRINDLE_JAD_NODE"); node && !node->empty()) settings.node = *node;
    if (auto list = lookup("BRINDLE_JAD_CLASSPATH"); list && !list->empty())
        settings.classPath = splitList(*list, listSeparator);

    long long timeout = settings.timeLimit.count();
    long long idle = settings.serviceIdleSeconds;
    long long delay = settings.serviceDelayMillis;
    long long decompilers = settings.serviceDecompilers;
    long long ahead = settings.serviceAheadResults;
    for (const auto& error :
         {readNumber(lookup, "BRINDLE_JAD_TIMEOUT", Unit::Seconds, 1, kMaxSettingSeconds, timeout),
          readNumber(lookup, "BRINDLE_JAD_SERVICE_IDLE", Unit::Seconds, 1, kMaxSettingSeconds,
                     idle),
          readNumber(lookup, "BRINDLE_JAD_SERVICE_DELAY_MS", Unit::Milliseconds, 0,
                     kMaxSettingSeconds * 1000, delay),
          readNumber(lookup, "BRINDLE_JAD_WORKERS", Unit::Count, 1, kMaxServiceDecompilers,
                     decompilers),
          readNumber(lookup, "BRINDLE_JAD_AHEAD", Unit::Count, 0, kMaxServiceAheadResults, ahead)}) {
        if (error) return Outcome::failure(OutcomeKind::BadEnvironment, *error);
    }
    settings.timeLimit = std::chrono::seconds(timeout);
    settings.serviceIdleSeconds = static_cast<unsigned>(idle);
    settings.serviceDelayMillis = static_cast<unsigned>(delay);
    settings.serviceDecompilers = static_cast<unsigned>(decompilers);
    settings.serviceAheadResults = static_cast<unsigned>(ahead);
    settings.cold = isOne(lookup, "BRINDLE_JAD_COLD");
    settings.serviceRequired = isOne(lookup, "BRINDLE_JAD_SERVICE_REQUIRED");
    return Outcome::withSource({});
}

}  // namespace brindle::engine
