#include "engine/core/java_command.h"

#include "engine/core/limits.h"

namespace brindle::engine {
namespace {

// No perf data file: a java ended on a time-out would leave it behind in the temporary folder.
// Every exception keeps its stack trace: Procyon prints the trace of a method it cannot
// decompile into the source, and a VM that has run the method often would otherwise drop it.
std::vector<std::string> vmOptions(const std::vector<std::string>& platformOptions) {
    std::vector<std::string> options = {"-XX:-UsePerfData", "-XX:-OmitStackTraceInFastThrow"};
    options.insert(options.end(), platformOptions.begin(), platformOptions.end());
    return options;
}

}  // namespace

std::string joinClassPath(const std::vector<std::string>& jars, char separator) {
    std::string joined;
    for (const std::string& jar : jars) {
        if (!joined.empty()) joined += separator;
        joined += jar;
    }
    return joined;
}

std::vector<std::string> coldRunArguments(const std::string& classPath,
                                          const std::string& classFile, bool serviceProgram,
                                          const std::vector<std::string>& platformOptions) {
    std::vector<std::string> args = vmOptions(platformOptions);
    if (serviceProgram) {
        args.insert(args.end(), {"-cp", classPath, std::string(kServiceClass), "--cold", classFile});
    } else {
        args.insert(args.end(), {"-cp", classPath, std::string(kColdRunClass), classFile});
    }
    return args;
}

std::vector<std::string> serviceArguments(const std::string& classPath, const std::string& endpoint,
                                          const std::string& key, const ServiceShape& shape,
                                          const std::vector<std::string>& platformOptions) {
    std::vector<std::string> args = vmOptions(platformOptions);
    const std::size_t heap = kServiceHeapBase + kServiceHeapPerDecompiler * shape.decompilers;
    // The VM's quick compiler only: Procyon's code gains little from the optimising one, whose
    // compiling took about as much processor time in a batch as the decompiles themselves, with
    // every decompiler's Procyon compiled apart; without it a batch over a jar took 40 % less
    // time, the second as well as the first.
    args.insert(args.end(),
                {"-XX:TieredStopAtLevel=1", "-XX:+UseParallelGC", "-Xmx" + std::to_string(heap / kMiB) + "m", "-cp", classPath,
                 std::string(kServiceClass), endpoint, key, std::to_string(shape.idleSeconds),
                 std::to_string(shape.decompilers), std::to_string(shape.aheadResults)});
    return args;
}

}  // namespace brindle::engine
