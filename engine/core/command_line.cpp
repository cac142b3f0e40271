#include "engine/core/command_line.h"

namespace brindle::engine {

CommandLineResult parseCommandLine(std::span<const std::string_view> args) {
    CommandLineResult r;
    bool haveFile = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const bool isOption = !optionsEnded && !haveFile && arg.size() > 1 && arg[0] == '-';
        if (isOption) {
            if (arg == "--") {
                optionsEnded = true;
            } else if (arg.starts_with("-d")) {
                std::string_view folder = arg.substr(2);
                if (folder.empty()) {
                    if (i + 1 >= args.size()) {
                        r.error = "-d needs a folder";
                        return r;
                    }
                    folder = args[++i];
                }
                if (folder.empty()) {
                    r.error = "-d needs a folder";
                    return r;
                }
                r.line.folder = folder;
            }
            // Every other option only tunes the output style; Procyon has its own.
            continue;
        }
        if (haveFile) {
            r.error = "expected exactly one class file, got a second argument: " + std::string(arg);
            return r;
        }
        if (arg.empty()) {
            r.error = "the class file name is empty";
            return r;
        }
        r.line.classFile = arg;
        haveFile = true;
    }
    if (!haveFile) r.error = "no class file given";
    return r;
}

}  // namespace brindle::engine
