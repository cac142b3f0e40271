#include "engine/core/outcome.h"

#include <array>

#include "common/printable.h"
#include "engine/core/limits.h"

namespace brindle::engine {
namespace {

// In a text: {n} the number, {detail} the detail, {: detail} ": " and the detail when there is
// one, {class-limit} and {source-limit} the size limits, {program} the engine's name.
struct Row {
    OutcomeKind kind;
    int exitStatus;
    bool namesClassFile;
    std::string_view text;
};

constexpr int kSucceeded = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr std::array kTable{
    Row{OutcomeKind::Source, kSucceeded, false, ""},
    Row{OutcomeKind::NoSource, kFailed, true, "decompiler produced no output{: detail}"},
    Row{OutcomeKind::DecompilerFailed, kFailed, true,
        "decompiler failed (java exit status {n}){: detail}"},
    Row{OutcomeKind::DecompilerSignaled, kFailed, true, "decompiler ended by signal {n}{: detail}"},
    Row{OutcomeKind::TimedOut, kFailed, true, "timed out after {n} s"},
    Row{OutcomeKind::SourceTooLarge, kFailed, true,
        "the decompiled source is larger than {source-limit}"},
    Row{OutcomeKind::ClassFileTooLarge, kFailed, true,
        "not a class file (larger than {class-limit})"},
    Row{OutcomeKind::CannotStartJava, kFailed, true, "cannot start {detail}"},
    Row{OutcomeKind::JavaNotFound, kFailed, true, "java not found {detail}"},
    Row{OutcomeKind::JavaTooOld, kFailed, true, "Java {n} or later is needed, found only {detail}"},
    Row{OutcomeKind::DecompilerNotFound, kFailed, true, "Procyon decompiler not found ({detail})"},
    Row{OutcomeKind::NodeNotFound, kFailed, true, "node not found {detail}"},
    Row{OutcomeKind::VineflowerNotFound, kFailed, true, "Vineflower engine not found ({detail})"},
    Row{OutcomeKind::BackendUnusable, kFailed, true,
        "the decompiler service did not answer: {detail}"},
    Row{OutcomeKind::BadCommandLine, kUsage, false,
        "{detail} (usage: {program} [-options] -d<folder> <class file>)"},
    Row{OutcomeKind::BadEnvironment, kUsage, false, "{detail}"},
    Row{OutcomeKind::CannotReadClassFile, kFailed, true, "{detail}"},
    Row{OutcomeKind::CannotWriteOutput, kFailed, true, "{detail}"},
    Row{OutcomeKind::Interrupted, kFailed, true, "interrupted"},
};

constexpr bool tableIsComplete() {
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        if (static_cast<std::size_t>(kTable[i].kind) != i) return false;
    }
    return kTable.size() == static_cast<std::size_t>(OutcomeKind::Interrupted) + 1;
}
static_assert(tableIsComplete(), "one row per outcome, in the order of OutcomeKind");

std::string mebibytes(std::size_t bytes) {
    return std::to_string(bytes / kMiB) + " MiB";
}

std::string fill(std::string_view text, const Outcome& outcome, std::string_view program) {
    std::string out;
    while (!text.empty()) {
        const std::size_t open = text.find('{');
        out += text.substr(0, open);
        if (open == std::string_view::npos) break;
        const std::size_t close = text.find('}', open);
        const std::string_view field = text.substr(open + 1, close - open - 1);
        if (field == "n") {
            out += std::to_string(outcome.number);
        } else if (field == "detail") {
            out += outcome.detail;
        } else if (field == ": detail") {
            if (!outcome.detail.empty()) out += ": " + outcome.detail;
        } else if (field == "class-limit") {
            out += mebibytes(kMaxClassFileBytes);
        } else if (field == "source-limit") {
            out += mebibytes(kMaxSourceBytes);
        } else if (field == "program") {
            out += program;
        }
        text.remove_prefix(close + 1);
    }
    return out;
}

}  // namespace

Outcome Outcome::withSource(std::string source) {
    Outcome o;
    o.kind = OutcomeKind::Source;
    o.source = std::move(source);
    return o;
}

Outcome Outcome::withPartialSource(std::string source) {
    Outcome o = withSource(std::move(source));
    o.partial = true;
    return o;
}

Outcome Outcome::failure(OutcomeKind kind, std::string detail, long long number) {
    Outcome o;
    o.kind = kind;
    o.detail = std::move(detail);
    o.number = number;
    return o;
}

Outcome Outcome::unusable(std::string why, bool tellUser) {
    Outcome o = failure(OutcomeKind::BackendUnusable, std::move(why));
    o.tellUser = tellUser;
    return o;
}

Report report(const Outcome& outcome, std::string_view program, std::string_view classFile) {
    const Row& row = kTable[static_cast<std::size_t>(outcome.kind)];
    Report r;
    r.exitStatus = row.exitStatus;
    if (row.exitStatus == kSucceeded) return r;
    std::string line(program);
    line += ": ";
    if (row.namesClassFile) {
        line += classFile;
        line += ": ";
    }
    line += fill(row.text, outcome, program);
    r.line = common::printable(line);
    return r;
}

std::string fallbackNotice(const Outcome& unusable, std::string_view program) {
    return common::printable(std::string(program) + ": " + unusable.detail +
                             "; decompiling without the service");
}

}  // namespace brindle::engine
