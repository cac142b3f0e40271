#include "engine/core/engine_choice.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "common/files.h"
#include "engine/core/backend_choice.h"

namespace brindle::engine {
namespace {

bool sameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// What Procyon writes where it could not decompile a method or an invokedynamic.
constexpr std::array kProcyonGaps{
    std::string_view("ProcyonInvokeDynamicHelper"),
    std::string_view("could not be decompiled"),
    std::string_view("An error occurred while decompiling this method."),
};

Outcome procyonMarked(Outcome outcome) {
    if (outcome.succeeded()) outcome.partial = procyonSourceIsPartial(outcome.source);
    return outcome;
}

}  // namespace

EngineChoice engineChoice(const std::optional<common::SettingsLine>& line) {
    if (!line || line->cut) return EngineChoice::Better;
    if (sameLetters(line->value, "procyon")) return EngineChoice::Procyon;
    if (sameLetters(line->value, "vineflower")) return EngineChoice::Vineflower;
    return EngineChoice::Better;
}

EngineChoice readEngineChoice(const std::string& programFolder) {
    if (programFolder.empty()) return EngineChoice::Better;
    std::string bytes;
    // Two bytes past the limit tell a line that ends there (CR LF) from one that is cut.
    const common::ReadStatus read = common::readWholeFile(
        programFolder + kEngineSettingsFile, common::kSettingsReadLimit + 2, bytes, nullptr);
    if (read != common::ReadStatus::Ok) return EngineChoice::Better;
    return engineChoice(common::parseSettingsLine(bytes));
}

bool procyonSourceIsPartial(std::string_view source) {
    return std::any_of(kProcyonGaps.begin(), kProcyonGaps.end(),
                       [source](std::string_view gap) { return source.find(gap) != source.npos; });
}

Outcome decompileWithEngines(std::span<Backend* const> vineflower,
                             std::span<Backend* const> procyon, const DecompileJob& job,
                             const std::function<void(const Outcome&)>& notice) {
    if (vineflower.empty()) return procyonMarked(runBackends(procyon, job, notice));
    // Both engines' services live in the same socket folder: a reason about it is told once.
    std::string told;
    const auto noticeOnce = [&notice, &told](const Outcome& passedOver) {
        if (passedOver.detail == told) return;
        told = passedOver.detail;
        notice(passedOver);
    };
    DecompileJob shared = job;
    Outcome first = runBackendsOn(vineflower, shared, noticeOnce);
    if (procyon.empty() || (first.succeeded() && !first.partial)) return first;
    // Nothing is left to try in: the class file's time is up, or the user asked jad to end.
    // (Procyon's service asked past the deadline would be ended for nothing.)
    if (first.kind == OutcomeKind::TimedOut || first.kind == OutcomeKind::Interrupted ||
        Clock::now() >= shared.deadline)
        return first;
    Outcome second = procyonMarked(runBackendsOn(procyon, shared, noticeOnce));
    if ((second.succeeded() && !second.partial) || second.kind == OutcomeKind::Interrupted)
        return second;
    if (first.succeeded()) return first;
    if (second.succeeded()) return second;
    return first;
}

}  // namespace brindle::engine
