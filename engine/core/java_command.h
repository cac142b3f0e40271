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

// jars joined by the platform's list separator (':' or ';').
std::string joinClassPath(const std::vector<std::string>& jars, char separator);

// The arguments after the java program's name for a cold run on classFile. platformOptions
// (what a platform's java needs to print the same text, such as Windows' charset and line
// separator) follow the engine's own VM options.
std::vector<std::string> coldRunArguments(const std::string& classPath,
                                          const std::string& classFile,
                                          const std::vector<std::string>& platformOptions = {});

// The arguments after the java program's name for a resident service listening at endpoint
// (classPath holds the service program too).
std::vector<std::string> serviceArguments(const std::string& classPath, const std::string& endpoint,
                                          const std::string& key, unsigned idleSeconds,
                                          const std::vector<std::string>& platformOptions = {});

}  // namespace brindle::engine
