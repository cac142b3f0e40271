#pragma once
// The java command lines of the engine: Procyon's own command line for a cold run, and the
// resident service. Both run Procyon on the same VM options, so that a class decompiles to the
// same text either way.

#include <string>
#include <string_view>
#include <vector>

namespace brindle::engine {

inline constexpr std::string_view kColdRunClass = "com.strobel.decompiler.DecompilerDriver";
inline constexpr std::string_view kServiceClass = "brindle.jad.JadService";
// The service program's one-shot mode (a cold run with the service's own decompile code) ends
// with this status when Procyon made no source; why is on stderr.
inline constexpr int kColdModeNoSource = 3;

// jars joined by the platform's list separator (':' or ';').
std::string joinClassPath(const std::vector<std::string>& jars, char separator);

// The arguments after the java program's name for a cold run on classFile: the service
// program's one-shot mode when classPath holds it (serviceProgram), else Procyon's own
// command line, whose stack traces in a source name its own frames. platformOptions (what a
// platform's java needs to print the same text, such as Windows' charset and line separator)
// follow the engine's own VM options.
std::vector<std::string> coldRunArguments(const std::string& classPath,
                                          const std::string& classFile, bool serviceProgram,
                                          const std::vector<std::string>& platformOptions = {});

// How a resident service works: its decompilers (0: the cores less one, at least one), the
// results it may hold of class files decompiled ahead of a batch, its idle time.
struct ServiceShape {
    unsigned decompilers = 0;
    unsigned aheadResults = 0;
    unsigned idleSeconds = 0;
};

// The arguments after the java program's name for a resident service listening at endpoint
// (classPath holds the service program too).
std::vector<std::string> serviceArguments(const std::string& classPath, const std::string& endpoint,
                                          const std::string& key, const ServiceShape& shape,
                                          const std::vector<std::string>& platformOptions = {});

}  // namespace brindle::engine
