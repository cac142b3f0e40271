#pragma once
// A private copy of class files for the decompiler, on POSIX.

#include <memory>
#include <string>
#include <vector>

#include "engine/core/engine_host.h"

namespace brindle::engine {

// A new folder that only the user can enter (mode 0700), below $TMPDIR when that is an absolute
// UTF-8 path, else below /tmp, holding the files (mode 0600). It is removed, files and all,
// when the object is destroyed, and when SIGINT, SIGTERM or SIGHUP ends the program while it
// lives: the signal's handler removes it, then lets the signal end the program. One at a time
// per process, on the main thread.
class ClassCopyFolder final : public DecompilerInput {
public:
    // Null with a reason in error when the folder or a file cannot be made (nothing is left).
    static std::unique_ptr<ClassCopyFolder> create(const std::vector<CopiedFile>& files,
                                                   std::string& error);
    ~ClassCopyFolder() override;
    ClassCopyFolder(const ClassCopyFolder&) = delete;
    ClassCopyFolder& operator=(const ClassCopyFolder&) = delete;

    // The first file's path.
    const std::string& path() const override { return first_; }

private:
    ClassCopyFolder() = default;
    void remove();

    std::string first_;
};

}  // namespace brindle::engine
