#pragma once
// What the engine's run (engine_run.h) needs from the platform beyond the shared helpers: the
// environment, the working folder, private copies of class files, and the backends that can
// decompile on this machine. engine/posix implements it for Linux.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/backend_choice.h"
#include "engine/core/outcome.h"
#include "engine/core/settings.h"

namespace brindle::engine {

// A path the decompiler reads a class file from, valid while the object lives.
class DecompilerInput {
public:
    virtual ~DecompilerInput() = default;
    virtual const std::string& path() const = 0;
};

// One file of a private copy: its name in the copy's folder and its bytes.
struct CopiedFile {
    std::string name;
    std::string bytes;
};

class EngineHost {
public:
    virtual ~EngineHost() = default;

    // The engine's name in its messages ("jad").
    virtual std::string_view programName() const = 0;
    virtual std::optional<std::string> environment(const char* name) = 0;
    // Separates the jars of a class path list (':' or ';').
    virtual char listSeparator() const = 0;

    // path made absolute against the working folder (a path that is absolute stays as it is).
    virtual std::string absolutePath(const std::string& path) = 0;
    // The engine's working folder, absolute.
    virtual std::string workingFolder() = 0;
    // The other files in classFile's folder that may hold its nested classes (see
    // class_input.h), as paths, in a stable order.
    virtual std::vector<std::string> nestedClassCandidates(const std::string& classFile) = 0;
    // Writes files into a new folder that only the user can enter and that is removed, files
    // and all, when input is destroyed, and also when the engine is ended by a signal
    // meanwhile. input's path is the folder's files[0]. CannotReadClassFile when it cannot.
    virtual Outcome copyForDecompiler(const std::vector<CopiedFile>& files,
                                      std::unique_ptr<DecompilerInput>& input) = 0;

    // Finds what decompiling needs (java, node, the decompilers) and offers the backends of the
    // engines settings.engine names that can run here, each engine's in the order they should
    // be tried; JavaNotFound, NodeNotFound and the like when what the choice needs is missing
    // (by default: when no engine is found). The backends live as long as the host.
    virtual Outcome offerBackends(const Settings& settings,
                                  std::vector<OfferedBackend>& offered) = 0;

    // Shows the user one line (already printable) that is not the run's outcome.
    virtual void tell(const std::string& line) = 0;
};

}  // namespace brindle::engine
