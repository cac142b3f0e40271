// What the resident decompiler service buys, on Debian's commons-lang3 jar (libcommons-lang3-java)
// extracted into a temporary tree of class files:
//   whole jar:  Procyon's own run over the jar in one Java VM (the baseline)
//   warm batch: the batch walk through the Linux platform layer with jad and its service,
//               first with a service just started, then again with the service warm
//   cold batch: the same with BRINDLE_JAD_COLD=1 on a sample of 30 classes, scaled to the jar
//   jad warm:   the median of one jad run on a small class
//   single file: `brindle FILE.class` in a temporary program folder, from its start to the start
//               of the viewer (this program again, recording the time), with the service warm
// Every service runs with a temporary XDG_RUNTIME_DIR and is ended at the end.
// Usage: jad_service_bench [jar]     (default /usr/share/java/commons-lang3.jar)

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/batch_walker.h"
#include "os/host_platform.h"
#include "support/null_sink.h"
#include "support/temp_folder.h"

extern char** environ;

namespace brindle {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kViewerLogVariable = "BRINDLE_BENCH_VIEWER_LOG";

long long monotonicNanos() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec;
}

// Runs a program with stdout and stderr on /dev/null; its exit status, -1 when it did not exit.
int run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double secondsOf(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <typename F>
double timed(F f) {
    const auto begin = Clock::now();
    f();
    return secondsOf(Clock::now() - begin);
}

struct Batch {
    double seconds = 0;
    int files = 0;
};

Batch batch(const std::string& source, const std::string& output) {
    FrontEndState state;
    state.sourceFolder = source;
    state.outputFolder = output;
    state.enginePath = std::string(JAD_PATH) + " ";
    testing::NullSink sink;
    BatchWalker walker(hostPlatform(), state, sink, hostTexts());
    Batch b;
    b.seconds = timed([&] {
        walker.start();
        walker.wait();
    });
    b.files = state.producedCount.load();
    return b;
}

std::vector<fs::path> classFiles(const fs::path& root) {
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.path().extension() == ".class") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

// How many java files below `a` have a byte-equal file at the same place below `b`.
std::size_t countSame(const fs::path& a, const fs::path& b, std::size_t& compared) {
    std::size_t same = 0;
    compared = 0;
    for (const auto& e : fs::recursive_directory_iterator(a)) {
        if (e.path().extension() != ".java") continue;
        ++compared;
        const fs::path other = b / fs::relative(e.path(), a);
        std::ifstream x(e.path(), std::ios::binary);
        std::ifstream y(other, std::ios::binary);
        const std::string sx{std::istreambuf_iterator<char>(x), {}};
        const std::string sy{std::istreambuf_iterator<char>(y), {}};
        if (y && sx == sy) ++same;
    }
    return same;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void stopServices(const fs::path& folder) {
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().extension() != ".sock") continue;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = e.path().string();
        if (path.size() >= sizeof address.sun_path) continue;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ucred cred{};
        socklen_t size = sizeof cred;
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 && cred.pid > 0)
            kill(cred.pid, SIGTERM);
        close(fd);
    }
}

// brindle FILE.class in `program`; seconds from its start to its viewer's start.
double singleFile(const fs::path& program, const fs::path& classFile, const fs::path& viewerLog) {
    fs::remove(viewerLog);
    const long long begin = monotonicNanos();
    if (run({(program / "brindle").string(), classFile.string()}) != 0) return -1;
    for (int i = 0; i < 500 && !fs::exists(viewerLog); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::ifstream log(viewerLog);
    long long started = 0;
    if (!(log >> started)) return -1;
    return static_cast<double>(started - begin) / 1e9;
}

int bench(const std::string& jar) {
    testing::TempFolder temp;
    const fs::path root = temp.text();
    const fs::path runtime = root / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    unsetenv("BRINDLE_JAD_COLD");

    const fs::path classes = root / "classes";
    fs::create_directories(classes);
    if (run({"unzip", "-q", jar, "*.class", "-d", classes.string()}) != 0) {
        std::fprintf(stderr, "cannot extract the class files of %s (unzip)\n", jar.c_str());
        return 1;
    }
    const std::vector<fs::path> files = classFiles(classes);
    std::printf("%s: %zu class files\n\n", jar.c_str(), files.size());

    const std::string classPath =
        "/usr/share/java/procyon-decompiler.jar:/usr/share/java/procyon-compilertools.jar:"
        "/usr/share/java/procyon-core.jar:/usr/share/java/procyon-expressions.jar:"
        "/usr/share/java/procyon-reflection.jar:/usr/share/java/jcommander.jar";
    const double wholeJar = timed([&] {
        run({"java", "-XX:-UsePerfData", "-cp", classPath, "com.strobel.decompiler.DecompilerDriver",
             "-o", (root / "whole").string(), jar});
    });

    // A small class, decompiled once to start the service.
    const fs::path small = classes / "org/apache/commons/lang3/CharEncoding.class";
    const fs::path smallOut = root / "small";
    const double firstRun = timed([&] { run({JAD_PATH, "-d" + smallOut.string(), small.string()}); });

    const Batch warm1 = batch(classes.string(), (root / "warm1").string());
    const Batch warm2 = batch(classes.string(), (root / "warm2").string());

    std::vector<double> jadRuns;
    for (int i = 0; i < 31; ++i)
        jadRuns.push_back(timed([&] { run({JAD_PATH, "-d" + smallOut.string(), small.string()}); }));

    // Cold: a sample of 30 classes spread over the jar, in a tree of their own.
    const fs::path sample = root / "sample";
    const std::size_t sampleSize = std::min<std::size_t>(30, files.size());
    for (std::size_t i = 0; i < sampleSize; ++i) {
        const fs::path& file = files[i * files.size() / sampleSize];
        const fs::path target = sample / fs::relative(file, classes);
        fs::create_directories(target.parent_path());
        fs::copy_file(file, target);
    }
    setenv("BRINDLE_JAD_COLD", "1", 1);
    const Batch cold = batch(sample.string(), (root / "cold").string());
    unsetenv("BRINDLE_JAD_COLD");
    const double coldScaled = cold.seconds * static_cast<double>(files.size()) / cold.files;
    // Byte for byte against cold runs on the same files inside the whole tree (Procyon reads
    // the classes next to the one it decompiles, so the sample tree alone would give others).
    setenv("BRINDLE_JAD_COLD", "1", 1);
    for (const auto& e : fs::recursive_directory_iterator(sample)) {
        if (e.path().extension() != ".class") continue;
        const fs::path relative = fs::relative(e.path(), sample);
        run({JAD_PATH, "-d" + (root / "cold in tree" / relative.parent_path()).string(),
             (classes / relative).string()});
    }
    unsetenv("BRINDLE_JAD_COLD");
    std::size_t compared = 0;
    const std::size_t same = countSame(root / "cold in tree", root / "warm2", compared);

    // Single-file mode from a program folder laid out as installed, this program as its viewer.
    const fs::path program = root / "program";
    fs::create_directories(program);
    fs::copy_file(BRINDLE_PATH, program / "brindle");
    // Links to the built jad: its service is the one the batches warmed.
    fs::create_symlink(JAD_PATH, program / "jad");
    std::ofstream(program / "ShellApp.ini") << fs::read_symlink("/proc/self/exe").string() << "\r\n";
    const fs::path viewerLog = root / "viewer.log";
    setenv(kViewerLogVariable, viewerLog.c_str(), 1);
    std::vector<double> singles;
    for (int i = 0; i < 12; ++i) {
        const double s = singleFile(program, small, viewerLog);
        if (i >= 2 && s >= 0) singles.push_back(s);  // the first runs load brindle's files
    }
    unsetenv(kViewerLogVariable);
    stopServices(runtime);

    auto row = [](const char* what, double seconds, int count) {
        std::printf("%-44s %8.2f s  %7.1f ms/class\n", what, seconds, seconds * 1e3 / count);
    };
    const int n = static_cast<int>(files.size());
    row("whole jar, Procyon in one VM (baseline)", wholeJar, n);
    row("batch, jad warm (service just started)", warm1.seconds, warm1.files);
    row("batch, jad warm (second batch)", warm2.seconds, warm2.files);
    std::printf("%-44s %8.2f s  %7.1f ms/class  (%d classes: %.2f s)\n",
                "batch, jad cold (sample, scaled)", coldScaled, coldScaled * 1e3 / n, cold.files,
                cold.seconds);
    std::printf("\nwarm batch / whole jar:  %.2f (service just started), %.2f (second batch)\n",
                warm1.seconds / wholeJar, warm2.seconds / wholeJar);
    std::printf("cold batch / warm batch: %.1f (second batch)\n", coldScaled / warm2.seconds);
    std::printf("cold batch / whole jar:  %.1f\n", coldScaled / wholeJar);
    std::printf("\nfirst jad run (starts the service):  %.0f ms\n", firstRun * 1e3);
    std::printf("jad warm, small class, median of %zu: %.1f ms\n", jadRuns.size(),
                median(jadRuns) * 1e3);
    std::printf("single file to viewer start, median of %zu: %.1f ms\n", singles.size(),
                median(singles) * 1e3);
    std::printf("cold and warm sources byte-equal: %zu of %zu sampled\n", same, compared);
    return 0;
}

}  // namespace
}  // namespace brindle

int main(int argc, char** argv) {
    // Started by brindle as the viewer: record the time and end.
    if (const char* log = std::getenv(brindle::kViewerLogVariable); log != nullptr) {
        const long long now = brindle::monotonicNanos();
        const std::string temp = std::string(log) + ".part";
        std::ofstream(temp) << now << "\n";
        std::rename(temp.c_str(), log);
        return 0;
    }
    return brindle::bench(argc > 1 ? argv[1] : "/usr/share/java/commons-lang3.jar");
}
