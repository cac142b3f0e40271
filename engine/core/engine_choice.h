#pragma once
// Which decompiler engine writes a class file's source: Vineflower, Procyon, or by default the
// better of the two. Engine.ini beside the program may name one engine for good.
//
// The default runs Vineflower first. Where it gives no source, or a source with a method it
// marked as not decompiled, Procyon decompiles the class file too, and Procyon's source is
// written only when it is whole: no method Procyon could not decompile (the comments and the
// thrown error it writes in its place) and no ProcyonInvokeDynamicHelper (what it writes for
// invokedynamic forms it does not know, which never compiles). Otherwise Vineflower's partial
// source is written; with none, Procyon's partial one; with neither, Vineflower's failure.

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/settings_line.h"
#include "engine/core/backend.h"

namespace brindle::engine {

enum class DecompilerEngine { Procyon, Vineflower };

enum class EngineChoice {
    Better,      // Vineflower, and Procyon where Vineflower's source is not whole
    Procyon,     // Procyon alone
    Vineflower,  // Vineflower alone
};

inline constexpr const char* kEngineSettingsFile = "Engine.ini";

// The choice a settings line names: "procyon" or "vineflower" in any letter case; anything
// else, an empty line or no line at all: the default (Better).
EngineChoice engineChoice(const std::optional<common::SettingsLine>& line);

// Reads programFolder + Engine.ini (programFolder ends in a separator; empty: no file).
EngineChoice readEngineChoice(const std::string& programFolder);

// Whether a source Procyon wrote is missing something: a method it could not decompile, or
// the helper it writes for an invokedynamic it does not know.
bool procyonSourceIsPartial(std::string_view source);

// Decompiles with the backends of each engine (each list: one engine's fall-back chain, see
// runBackends). An empty list: that engine is not run; with both, the default's rule above,
// the deadline shared (Procyon gets what Vineflower left, and the time Vineflower waited in a
// queue). A source from Procyon that is not whole comes back marked partial.
Outcome decompileWithEngines(std::span<Backend* const> vineflower,
                             std::span<Backend* const> procyon, const DecompileJob& job,
                             const std::function<void(const Outcome&)>& notice);

}  // namespace brindle::engine
