// jad: Brindle's decompiler engine on Linux. Brindle starts it once per class file as
// `jad -sjava -8 -ff -d<folder> <class file>`; it writes <folder>/<class name>.java, using
// Vineflower on Node (vineflower/ beside jad) and Procyon on the Java VM (jad-service.jar beside
// jad), each through the user's resident service when it can and a cold run when it cannot;
// which engine writes the source is engine/core/engine_choice.h's rule, or Engine.ini's. What
// it does is engine/core's runEngine; the environment it reads is listed in
// engine/core/settings.h.
//
// Exit status: 0 success, 1 the class file could not be decompiled, 2 a bad command line or
// environment. Every failure prints exactly one line on stderr, "jad: <class file>: <reason>"
// (or "jad: <reason>" for a bad command line or environment), and writes no output file: an
// older <name>.java stays as it was.

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "engine/core/engine_run.h"
#include "engine/posix/posix_engine_host.h"

namespace {

// jad may be started with a standard descriptor closed; the pipes for java must not land on
// 0, 1 or 2.
void ensureStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            const int opened = open("/dev/null", O_RDWR);
            if (opened >= 0 && opened != fd) close(opened);
        }
    }
}

[[noreturn]] void endBySignal(int sig) {
    (void)std::signal(sig, SIG_DFL);
    (void)std::raise(sig);
    std::_Exit(128 + sig);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace brindle::engine;
    ensureStandardDescriptors();
    (void)std::signal(SIGPIPE, SIG_IGN);

    const std::vector<std::string_view> args(argv + 1, argv + argc);
    PosixEngineHost host;
    const EngineResult result = runEngine(args, host);
    const Report report =
        brindle::engine::report(result.outcome, host.programName(), result.classFile);
    if (!report.line.empty()) host.tell(report.line);
    if (result.outcome.kind == OutcomeKind::Interrupted)
        endBySignal(static_cast<int>(result.outcome.number));
    return report.exitStatus;
}
