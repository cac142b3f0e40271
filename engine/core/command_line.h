// The engine command line: jad [options] -d<folder> <class file>
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace brindle::engine {

struct CommandLine {
    std::string folder = ".";  // where <name>.java goes; the current folder when no -d is given
    std::string classFile;
};

struct CommandLineResult {
    CommandLine line;
    std::string error;  // empty on success

    [[nodiscard]] bool ok() const { return error.empty(); }
};

// `args` excludes argv[0]. The folder comes as "-d<folder>" or as "-d" "<folder>";
// other single-dash options before the class file (-sjava, -8, -ff, ...) are
// accepted and ignored; "--" ends the options. Exactly one class file.
CommandLineResult parseCommandLine(std::span<const std::string_view> args);

}  // namespace brindle::engine
