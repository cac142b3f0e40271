#pragma once
// Every way a decompile can end, and the one table that turns an ending into the engine's
// stderr line and exit status.

#include <string>
#include <string_view>

namespace brindle::engine {

enum class OutcomeKind {
    Source,              // `source` holds the decompiled source
    NoSource,            // the decompiler printed no source; `detail`: what it said instead
    DecompilerFailed,    // `number`: java's exit status; `detail`: what it said
    DecompilerSignaled,  // `number`: the signal that ended java; `detail`: what it said
    TimedOut,            // `number`: the time limit in seconds
    SourceTooLarge,
    ClassFileTooLarge,
    CannotStartJava,      // `detail`: "<java>: <why>"
    JavaNotFound,         // `detail`: "on PATH", "at <path>"
    JavaTooOld,           // `number`: the release needed; `detail`: what was found
    DecompilerNotFound,   // `detail`: "missing <jar>", "empty class path"
    NodeNotFound,         // `detail`: "on PATH", "at <path>"
    VineflowerNotFound,   // `detail`: "missing <file>"
    BackendUnusable,      // `detail`: why; another backend may decompile instead
    BadCommandLine,       // `detail`: what is wrong
    BadEnvironment,       // `detail`: which value is wrong and why
    CannotReadClassFile,  // `detail`: why
    CannotWriteOutput,    // `detail`: why, naming the path
    Interrupted,          // `number`: the signal that asked the engine to end
};

struct Outcome {
    OutcomeKind kind = OutcomeKind::Source;
    std::string detail;
    long long number = 0;
    std::string source;
    // BackendUnusable: the user should hear about it even when another backend decompiles
    // (something they can fix, such as a socket folder others can enter).
    bool tellUser = false;
    // Source: the decompiler marked at least one method it could not decompile; the source is
    // still written (another engine may be asked first for a better one).
    bool partial = false;

    [[nodiscard]] bool succeeded() const { return kind == OutcomeKind::Source; }

    static Outcome withSource(std::string source);
    static Outcome withPartialSource(std::string source);
    static Outcome failure(OutcomeKind kind, std::string detail = {}, long long number = 0);
    static Outcome unusable(std::string why, bool tellUser = false);
};

// What the engine prints and returns for an outcome. `line` is one line without its newline,
// already printable (control bytes escaped), empty for a success.
struct Report {
    std::string line;
    int exitStatus = 0;
};

// The final report: "<program>: <class file>: <reason>", or "<program>: <reason>" for a bad
// command line or environment.
Report report(const Outcome& outcome, std::string_view program, std::string_view classFile);

// The line that tells the user why a backend was passed over although another one decompiles.
std::string fallbackNotice(const Outcome& unusable, std::string_view program);

}  // namespace brindle::engine
