#include "engine/core/engine_run.h"

#include <algorithm>

#include "common/files.h"
#include "common/program_path.h"
#include "engine/core/class_input.h"
#include "engine/core/class_name.h"
#include "engine/core/command_line.h"
#include "engine/core/decompiler_output.h"
#include "engine/core/limits.h"
#include "engine/core/output_file.h"

namespace brindle::engine {
namespace {

Outcome readClassFile(const std::string& path, std::string& bytes) {
    std::string why;
    switch (common::readWholeFile(path, kMaxClassFileBytes, bytes, &why)) {
        case common::ReadStatus::Ok:
            return Outcome::withSource({});
        case common::ReadStatus::Missing:
        case common::ReadStatus::CannotOpen:
            return Outcome::failure(OutcomeKind::CannotReadClassFile, "cannot open: " + why);
        case common::ReadStatus::CannotRead:
            return Outcome::failure(OutcomeKind::CannotReadClassFile, "cannot read: " + why);
        case common::ReadStatus::IsFolder:
            return Outcome::failure(OutcomeKind::CannotReadClassFile,
                                    "is a folder, not a class file");
        case common::ReadStatus::NotRegular:
            return Outcome::failure(OutcomeKind::CannotReadClassFile, "not a regular file");
        case common::ReadStatus::TooLarge:
            return Outcome::failure(OutcomeKind::ClassFileTooLarge);
    }
    return Outcome::failure(OutcomeKind::CannotReadClassFile, "cannot read");
}

class PathAsGiven final : public DecompilerInput {
public:
    explicit PathAsGiven(std::string path) : path_(std::move(path)) {}
    const std::string& path() const override { return path_; }

private:
    std::string path_;
};

// A path the decompiler opens: the class file's own, or a private copy under the class's name
// with the nested classes found beside it.
Outcome decompilerInput(const std::string& classFile, std::string bytes,
                        const ClassNameResult& name, EngineHost& host,
                        std::unique_ptr<DecompilerInput>& input) {
    const std::string absolute = host.absolutePath(classFile);
    if (decompilerOpensPath(absolute)) {
        input = std::make_unique<PathAsGiven>(absolute);
        return Outcome::withSource({});
    }
    std::vector<CopiedFile> files{{copyName(name.simpleName), std::move(bytes)}};
    for (const std::string& candidate : host.nestedClassCandidates(absolute)) {
        std::string candidateBytes;
        if (!readClassFile(candidate, candidateBytes).succeeded()) continue;
        const ClassNameResult nested = readClassName(candidateBytes);
        if (!nested.ok() || !isNestedIn(name.internalName, nested.internalName)) continue;
        std::string copy = copyName(nested.simpleName);
        const bool taken = std::any_of(files.begin(), files.end(),
                                       [&copy](const CopiedFile& f) { return f.name == copy; });
        if (!taken) files.push_back({std::move(copy), std::move(candidateBytes)});
    }
    return host.copyForDecompiler(files, input);
}

}  // namespace

EngineResult runEngine(std::span<const std::string_view> args, EngineHost& host) {
    EngineResult result;
    const CommandLineResult command = parseCommandLine(args);
    if (!command.ok()) {
        result.outcome = Outcome::failure(OutcomeKind::BadCommandLine, command.error);
        return result;
    }
    Settings settings;
    result.outcome = readSettings([&host](const char* name) { return host.environment(name); },
                                  host.listSeparator(), settings);
    if (!result.outcome.succeeded()) return result;
    settings.engine = readEngineChoice(common::programFolder());

    const std::string& file = command.line.classFile;
    result.classFile = file;
    std::string bytes;
    if (result.outcome = readClassFile(file, bytes); !result.outcome.succeeded()) return result;
    const ClassNameResult name = readClassName(bytes);
    if (!name.ok()) {
        result.outcome = Outcome::failure(OutcomeKind::CannotReadClassFile, name.error);
        return result;
    }

    std::vector<OfferedBackend> offered;
    if (result.outcome = host.offerBackends(settings, offered); !result.outcome.succeeded())
        return result;
    std::unique_ptr<DecompilerInput> input;
    if (result.outcome = decompilerInput(file, std::move(bytes), name, host, input);
        !result.outcome.succeeded())
        return result;

    DecompileJob job;
    job.classFile = input->path();
    job.workingFolder = host.workingFolder();
    job.timeLimit = settings.timeLimit;
    job.deadline = Clock::now() + settings.timeLimit;
    const std::vector<Backend*> vineflower =
        chooseBackends(settings, offered, DecompilerEngine::Vineflower);
    const std::vector<Backend*> procyon =
        chooseBackends(settings, offered, DecompilerEngine::Procyon);
    result.outcome =
        decompileWithEngines(vineflower, procyon, job, [&host](const Outcome& passedOver) {
            host.tell(fallbackNotice(passedOver, host.programName()));
        });
    input.reset();
    if (!result.outcome.succeeded()) return result;
    if (isBlank(result.outcome.source)) {
        result.outcome = Outcome::failure(OutcomeKind::NoSource);
        return result;
    }
    result.outcome = writeSource(command.line.folder, name.simpleName, result.outcome.source);
    return result;
}

}  // namespace brindle::engine
