// jad's side of the resident decompiler service (engine/service): finds or
// starts the user's service and asks it for one class file's source.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace brindle::jad {

struct ServiceRequest {
    std::string java;                    // the java program, already found
    std::vector<std::string> classPath;  // the Procyon jars, as for a cold run
    std::string serviceJar;              // jad-service.jar
    std::vector<std::string> env;        // the service's whole environment
    std::chrono::seconds timeout{120};   // for this class file, service start included
    unsigned idleSeconds = 600;          // the service ends after this long without work
    unsigned testDelayMillis = 0;        // the service waits this long before decompiling
    std::string classFile;               // absolute, valid UTF-8
    std::string workingFolder;           // jad's, absolute
    std::size_t maxSource = 256u << 20;
};

struct ServiceAnswer {
    enum class Kind {
        Source,       // `text` is the source
        NoSource,     // Procyon printed no source; `text` is what it printed on stderr
        RunCold,      // the service could not answer; `text` says why
        TimedOut,     // the decompile ran past the time limit (the service has been ended)
        TooLarge,     // the source is larger than maxSource
    };
    Kind kind = Kind::RunCold;
    std::string text;
    // A line for stderr when the user should know why no service was used
    // (a socket folder that is not private), else empty.
    std::string warning;
};

// Never throws and never waits past the time limit. Whatever goes wrong with
// the service gives RunCold, so that the caller can decompile without it.
ServiceAnswer askService(const ServiceRequest& request);

// The folder holding the service sockets: $XDG_RUNTIME_DIR when set, else
// /tmp/brindle-jad-<uid> (created when missing). Either must be a folder (not
// a link) of the user with mode 0700. Returns an error text, empty when usable.
std::string serviceFolder(std::string& folder);

}  // namespace brindle::jad
