// What the resident decompiler service buys, on Debian's commons-lang3 and guava jars
// (libcommons-lang3-java, libguava-java), each extracted into a temporary tree of class files:
//   whole jar:    Procyon's own run over the jar in one Java VM (the baseline)
//   batches:      the batch walk through the Linux platform layer with jad and its service,
//                 the first batch right after the service started (it was started by one jad run
//                 on a small class), then a second one, for 1, 2 and 4 workers and the default
//                 (the cores less one; the service has a decompiler more than its workers); each
//                 with a service of its own, whose peak memory (VmHWM) is shown, and with the
//                 processor time the service and the jad runs took (apart from other load),
//                 the service's split into its decompilers, garbage collection and the VM's
//                 compilers
//   warm == cold: every class file decompiled cold too, byte-compared with every batch: the
//                 service program's cold mode, a fresh Procyon for each class file as a cold
//                 jad run has, many class files in one VM (one VM per core)
// and, for the first jar:
//   cold batch:   the batch with BRINDLE_JAD_COLD=1 on a sample of 30 classes, scaled to the jar
//   jad warm:     the median of one jad run on a small class
//   single file:  `brindle FILE.class` in a temporary program folder, from its start to the start
//                 of the viewer (this program again, recording the time), with the service warm
// Every service runs with a temporary XDG_RUNTIME_DIR and is ended at the end.
// Usage: jad_service_bench [jar...]   (default: commons-lang3 and guava from /usr/share/java)

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
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
#include <map>
#include <set>
#include <sstream>
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

// Starts a program with stdout and stderr on /dev/null (and stdin on `input` when given); its
// process id, -1 when it did not start.
pid_t start(const std::vector<std::string>& args, const std::string& input = {}) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!input.empty()) posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

int exitStatus(pid_t pid) {
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a program; its exit status, -1 when it did not exit.
int run(const std::vector<std::string>& args) {
    return exitStatus(start(args));
}

// Processor seconds (user and system) in a /proc stat file; 0 when it is gone.
double statCpuSeconds(const fs::path& statFile) {
    std::ifstream in(statFile);
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    double ticks = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::atof(field.c_str());
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Of a process, all its threads.
double cpuSeconds(pid_t pid) {
    return statCpuSeconds("/proc/" + std::to_string(pid) + "/stat");
}

// A Java VM's processor seconds by what its threads do, from each thread's name in /proc.
struct VmCpu {
    double decompilers = 0;  // the service's own threads
    double collector = 0;    // garbage collection
    double compilers = 0;    // the just-in-time compilers
};

VmCpu vmCpuSeconds(pid_t pid) {
    VmCpu cpu;
    std::error_code error;
    const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : fs::directory_iterator(tasks, error)) {
        std::ifstream commFile(task.path() / "comm");
        std::string comm;
        std::getline(commFile, comm);
        const double seconds = statCpuSeconds(task.path() / "stat");
        if (comm.starts_with("jad-")) cpu.decompilers += seconds;
        else if (comm.starts_with("GC Thread")) cpu.collector += seconds;
        else if (comm.starts_with("C1 ") || comm.starts_with("C2 ")) cpu.compilers += seconds;
    }
    return cpu;
}

// Processor seconds of this process's waited-for children so far.
double childrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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
    double serviceCpu = 0;  // processor seconds
    VmCpu serviceSplit;
    double jadCpu = 0;
};

Batch batch(const fs::path& source, const fs::path& output, pid_t service = -1) {
    FrontEndState state;
    state.sourceFolder = source.string();
    state.outputFolder = output.string();
    state.enginePath = std::string(JAD_PATH) + " ";
    testing::NullSink sink;
    BatchWalker walker(hostPlatform(), state, sink, hostTexts());
    Batch b;
    const double serviceBefore = service > 0 ? cpuSeconds(service) : 0;
    const VmCpu splitBefore = service > 0 ? vmCpuSeconds(service) : VmCpu{};
    const double jadBefore = childrenCpuSeconds();
    b.seconds = timed([&] {
        walker.start();
        walker.wait();
    });
    b.files = state.producedCount.load();
    if (service > 0) {
        b.serviceCpu = cpuSeconds(service) - serviceBefore;
        const VmCpu after = vmCpuSeconds(service);
        b.serviceSplit = {after.decompilers - splitBefore.decompilers, after.collector - splitBefore.collector,
                          after.compilers - splitBefore.compilers};
    }
    b.jadCpu = childrenCpuSeconds() - jadBefore;
    return b;
}

std::vector<fs::path> classFiles(const fs::path& root) {
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.path().extension() == ".class") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The services listening in `folder`.
std::vector<pid_t> services(const fs::path& folder) {
    std::vector<pid_t> pids;
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
            pids.push_back(cred.pid);
        close(fd);
    }
    return pids;
}

// The largest resident set the process has had, in MiB.
double peakMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) return std::atof(line.c_str() + 6) / 1024.0;
    }
    return 0;
}

void stopServices(const fs::path& folder) {
    for (const pid_t pid : services(folder)) kill(pid, SIGTERM);
}

// A fresh socket folder: the next jad run starts a new service there. Its path is kept short
// (a socket's path has room for about a hundred bytes).
fs::path freshRuntime(const fs::path& root, unsigned decompilers) {
    const fs::path runtime = root / ("r" + std::to_string(decompilers));
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    return runtime;
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

struct Series {
    std::string name;  // "1", "default (1)", ...
    Batch first;
    Batch second;
    double peak = 0;
    std::vector<fs::path> outputs;
};

void row(const char* what, double seconds, int count, double baseline) {
    std::printf("  %-46s %8.2f s  %7.1f ms/class  %5.2f x\n", what, seconds,
                seconds * 1e3 / std::max(count, 1), seconds / baseline);
}

void batchRow(const char* what, const Batch& b, double baseline) {
    row(what, b.seconds, b.files, baseline);
    std::printf("  %-46s %8.2f s service, %.2f s jad runs\n", "  processor time", b.serviceCpu, b.jadCpu);
    std::printf("  %-46s %8.2f s decompilers, %.2f s garbage collection, %.2f s compilers\n",
                "  the service's", b.serviceSplit.decompilers, b.serviceSplit.collector, b.serviceSplit.compilers);
}

// The class path of Procyon's own command line and of jad's cold runs (with the service's jar).
constexpr const char* kProcyonClassPath =
    "/usr/share/java/procyon-decompiler.jar:/usr/share/java/procyon-compilertools.jar:"
    "/usr/share/java/procyon-core.jar:/usr/share/java/procyon-expressions.jar:"
    "/usr/share/java/procyon-reflection.jar:/usr/share/java/jcommander.jar";

// The cold runs' sources of every class file, `<cold>/<folder>/<name>.java` as jad names them,
// made by the service program's cold mode: a fresh Procyon for each class file, so the bytes
// are a cold jad run's, in one VM for many of them (a VM per class file would take most of the
// benchmark's time). One VM per core, each with its share of the files; the optimising
// compiler's top tier is left out (it changes nothing a program computes, and a fresh Procyon
// never runs long enough to use it).
void coldSources(const std::vector<fs::path>& files, const fs::path& classes, const fs::path& cold,
                 const fs::path& scratch, unsigned cores) {
    std::vector<std::ofstream> lists;
    std::vector<std::string> listNames;
    for (unsigned i = 0; i < cores; ++i) {
        listNames.push_back((scratch / ("cold list " + std::to_string(i))).string());
        lists.emplace_back(listNames.back());
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::path relative = fs::relative(files[i], classes);
        const fs::path source = cold / relative.parent_path() / (files[i].stem().string() + ".java");
        lists[i % cores] << files[i].string() << '\t' << source.string() << '\n';
    }
    for (std::ofstream& list : lists) list.close();
    const std::string classPath = std::string(kProcyonClassPath) + ":" + SERVICE_JAR_PATH;
    const char* locale = std::getenv("LC_ALL");
    const std::string saved = locale != nullptr ? locale : "";
    setenv("LC_ALL", "C.UTF-8", 1);  // as jad runs java
    std::vector<pid_t> vms;
    for (const std::string& list : listNames) {
        vms.push_back(start({"java", "-XX:-UsePerfData", "-XX:-OmitStackTraceInFastThrow",
                             "-XX:TieredStopAtLevel=1", "-cp", classPath, "brindle.jad.JadService",
                             "--cold-each"},
                            list));
    }
    for (const pid_t vm : vms) exitStatus(vm);
    if (locale != nullptr) {
        setenv("LC_ALL", saved.c_str(), 1);
    } else {
        unsetenv("LC_ALL");
    }
}

// The small class that starts each service: the jar's smallest class file.
fs::path smallest(const std::vector<fs::path>& files) {
    return *std::min_element(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return fs::file_size(a) < fs::file_size(b);
    });
}

// The figures for one jar; `more`: also the cold batch, the single warm runs and brindle's
// single-file mode.
int benchJar(const fs::path& root, const std::string& jar, bool more) {
    const std::string name = fs::path(jar).stem().string();
    const fs::path classes = root / name / "classes";
    fs::create_directories(classes);
    if (run({"unzip", "-q", jar, "*.class", "-d", classes.string()}) != 0) {
        std::fprintf(stderr, "cannot extract the class files of %s (unzip)\n", jar.c_str());
        return 1;
    }
    const std::vector<fs::path> files = classFiles(classes);
    const int n = static_cast<int>(files.size());
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("%s: %d class files, %u cores\n", jar.c_str(), n, cores);
    std::fflush(stdout);

    const double wholeJarCpuBefore = childrenCpuSeconds();
    const double wholeJar = timed([&] {
        run({"java", "-XX:-UsePerfData", "-cp", kProcyonClassPath, "com.strobel.decompiler.DecompilerDriver",
             "-o", (root / name / "whole").string(), jar});
    });
    const double wholeJarCpu = childrenCpuSeconds() - wholeJarCpuBefore;
    const fs::path small = smallest(files);

    // 1, 2 and 4 workers, and the default (the cores less one) when it is none of them.
    const unsigned fallback = std::max(1u, cores - 1);
    std::vector<std::pair<std::string, unsigned>> configs;
    for (const unsigned count : {1u, 2u, 4u})
        configs.push_back({std::to_string(count) + (count == fallback ? " (the default)" : ""), count});
    if (fallback != 1 && fallback != 2 && fallback != 4)
        configs.insert(configs.begin(), {std::to_string(fallback) + " (the default)", fallback});
    std::vector<Series> series;
    fs::path lastRuntime;
    for (const auto& [label, workers] : configs) {
        Series s;
        s.name = label;
        lastRuntime = freshRuntime(root / name, workers);
        setenv("BRINDLE_JAD_WORKERS", std::to_string(workers).c_str(), 1);
        const fs::path out = root / name / ("warm " + label);
        run({JAD_PATH, "-d" + (out / "small").string(), small.string()});
        const std::vector<pid_t> pids = services(lastRuntime);
        const pid_t service = pids.empty() ? -1 : pids.front();
        s.first = batch(classes, out / "first", service);
        s.second = batch(classes, out / "second", service);
        s.outputs = {out / "first", out / "second"};
        if (service > 0) s.peak = peakMiB(service);
        // The last service stays for the single runs below.
        if (!more || workers != 4) stopServices(lastRuntime);
        series.push_back(std::move(s));
    }
    unsetenv("BRINDLE_JAD_WORKERS");

    std::printf("  %-46s %8.2f s  %7.1f ms/class  (%.2f s processor time)\n",
                "whole jar, Procyon in one VM (baseline)", wholeJar, wholeJar * 1e3 / n, wholeJarCpu);
    for (const Series& s : series) {
        std::printf("  workers: %s, service peak %.0f MiB\n", s.name.c_str(), s.peak);
        batchRow("batch, first after the service started", s.first, wholeJar);
        batchRow("batch, second", s.second, wholeJar);
    }
    std::fflush(stdout);

    // Every class file cold, compared with every batch.
    const fs::path cold = root / name / "cold";
    const double coldAll = timed([&] { coldSources(files, classes, cold, root / name, cores); });
    int same = 0;
    int compared = 0;
    for (const fs::path& file : files) {
        const fs::path relative = fs::relative(file, classes).parent_path() /
                                  (file.stem().string() + ".java");
        ++compared;
        const std::string expected = contents(cold / relative);
        bool equal = !expected.empty();
        for (const Series& s : series)
            for (const fs::path& out : s.outputs) equal = equal && contents(out / relative) == expected;
        if (equal) ++same;
    }
    std::printf("  warm and cold sources byte-equal: %d of %d (every batch above; cold runs: %.0f s)\n",
                same, compared, coldAll);

    if (more) {
        // The cold batch: a sample of 30 classes spread over the jar, in a tree of their own.
        const fs::path sample = root / name / "sample";
        const std::size_t sampleSize = std::min<std::size_t>(30, files.size());
        for (std::size_t i = 0; i < sampleSize; ++i) {
            const fs::path& file = files[i * files.size() / sampleSize];
            const fs::path target = sample / fs::relative(file, classes);
            fs::create_directories(target.parent_path());
            fs::copy_file(file, target);
        }
        setenv("BRINDLE_JAD_COLD", "1", 1);
        const Batch coldBatch = batch(sample, root / name / "cold batch");
        unsetenv("BRINDLE_JAD_COLD");
        const double coldScaled = coldBatch.seconds * n / std::max(coldBatch.files, 1);
        row("batch, jad cold (30 classes, scaled)", coldScaled, n, wholeJar);

        // With the last service (4 decompilers) warm.
        std::vector<double> jadRuns;
        const fs::path smallOut = root / name / "small";
        for (int i = 0; i < 31; ++i)
            jadRuns.push_back(timed([&] { run({JAD_PATH, "-d" + smallOut.string(), small.string()}); }));
        std::printf("  jad warm, small class, median of %zu: %.1f ms\n", jadRuns.size(),
                    median(jadRuns) * 1e3);

        // Single-file mode from a program folder laid out as installed, this program as its viewer.
        const fs::path program = root / "program";
        fs::create_directories(program);
        fs::copy_file(BRINDLE_PATH, program / "brindle");
        // Links to the built jad: its service is the one warmed above.
        fs::create_symlink(JAD_PATH, program / "jad");
        std::ofstream(program / "ShellApp.ini") << fs::read_symlink("/proc/self/exe").string() << "\r\n";
        const fs::path viewerLog = root / "viewer.log";
        setenv(kViewerLogVariable, viewerLog.c_str(), 1);
        std::vector<double> singles;
        for (int i = 0; i < 12; ++i) {
            const double t = singleFile(program, small, viewerLog);
            if (i >= 2 && t >= 0) singles.push_back(t);  // the first runs load brindle's files
        }
        unsetenv(kViewerLogVariable);
        std::printf("  single file to viewer start, median of %zu: %.1f ms\n", singles.size(),
                    median(singles) * 1e3);
        stopServices(lastRuntime);
    }
    std::printf("\n");
    std::fflush(stdout);
    return 0;
}

int bench(const std::vector<std::string>& jars) {
    testing::TempFolder temp;
    const fs::path root = temp.path();
    unsetenv("BRINDLE_JAD_COLD");
    unsetenv("BRINDLE_JAD_WORKERS");
    unsetenv("BRINDLE_JAD_AHEAD");
    int status = 0;
    for (std::size_t i = 0; i < jars.size(); ++i) status |= benchJar(root, jars[i], i == 0);
    return status;
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
    // The Procyon service is what this measures: jad without node decompiles with Procyon alone.
    setenv("BRINDLE_JAD_NODE", "/nonexistent/node", 1);
    std::vector<std::string> jars(argv + 1, argv + argc);
    if (jars.empty()) jars = {"/usr/share/java/commons-lang3.jar", "/usr/share/java/guava.jar"};
    return brindle::bench(jars);
}
