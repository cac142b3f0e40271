// jad with its resident decompiler service: the real Procyon on classes javac
// compiles at test time. Every test keeps its services in its own socket
// folder and ends them when it is done.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/core/service_protocol.h"
#include "jad_test_support.h"

namespace {

using namespace jadtest;
using namespace brindle::engine;
using Env = std::map<std::string, std::string>;

constexpr const char* kOuterSource = R"(package demo.service;

import java.io.*;
import java.util.*;
import java.util.function.*;

public class Outer<T extends Comparable<T>> implements Iterable<T> {
    private final List<T> items = new ArrayList<>();

    public class Inner {
        public int count() { return items.size(); }
    }

    static final class Pair<A, B> {
        final A first;
        final B second;
        Pair(A first, B second) { this.first = first; this.second = second; }
    }

    enum Mode { FAST, SAFE }

    public Iterator<T> iterator() { return items.iterator(); }

    public <K> Map<K, List<T>> groupBy(Function<T, K> key) {
        Map<K, List<T>> groups = new TreeMap<>();
        for (T item : items)
            groups.computeIfAbsent(key.apply(item), k -> new ArrayList<>()).add(item);
        return groups;
    }

    static int describe(String word, Mode mode) {
        switch (word) {
            case "one": return 1;
            case "two": return mode == Mode.FAST ? 2 : 22;
            default: return word.length();
        }
    }

    static String firstLine(File file) throws IOException {
        try (BufferedReader in = new BufferedReader(new FileReader(file))) {
            return in.readLine();
        } catch (FileNotFoundException e) {
            return "\u6e90 " + e.getMessage();
        }
    }

    Runnable task(int times) {
        return new Runnable() {
            public void run() {
                for (int i = 0; i < times; i++) items.sort(null);
            }
        };
    }
}
)";

constexpr const char* kShapeSource = R"(package demo.service;

public interface Shape {
    double area();

    static Shape square(double side) {
        return new Shape() {
            public double area() { return side * side; }
        };
    }

    default String label() { return getClass().getSimpleName() + " " + area(); }
}
)";

// A local class whose constructor Procyon cannot decompile: it writes the error's stack trace
// into the source.
constexpr const char* kFailSource = R"(package demo.service;

import java.util.Spliterator;
import java.util.function.IntConsumer;

public class Fail {
    public interface IntFunctionWithIndex<R> { R apply(int from, long index); }

    public static <R> Object map(Spliterator.OfInt from, IntFunctionWithIndex<R> function) {
        abstract class Base<F extends Spliterator<?>> {
            final F fromSpliterator;
            long index;
            Base(F fromSpliterator, long index) { this.fromSpliterator = fromSpliterator; this.index = index; }
        }
        class Splitr extends Base<Spliterator.OfInt> implements IntConsumer {
            int holder;
            Splitr(Spliterator.OfInt splitr, long index) { super(splitr, index); }
            public void accept(int t) { holder = t; }
            R next() { return function.apply(holder, index++); }
        }
        return new Splitr(from, 0L);
    }
}
)";

// A package with annotations whose arguments need imports of their own.
constexpr const char* kMarkerSource = R"(package demo.service.marked;

import java.lang.annotation.*;

@Retention(RetentionPolicy.RUNTIME)
@Target(ElementType.PACKAGE)
public @interface Marker {
    enum Level { LOW, HIGH }
    String value();
    Level level() default Level.LOW;
    Class<?>[] uses() default {};
    int[] numbers() default {};
}
)";

constexpr const char* kPackageInfoSource = R"(@Deprecated
@Marker(value = "源", level = Marker.Level.HIGH, uses = { java.util.concurrent.TimeUnit.class, Marker.class },
        numbers = { 1, 2 })
package demo.service.marked;
)";

// Compiles the fixture once for the suite; each test has its own socket folder.
class JadService : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new TempDir;
        const fs::path src = root_->path() / "src" / "demo" / "service";
        fs::create_directories(src);
        writeFile(src / "Outer.java", kOuterSource);
        writeFile(src / "Shape.java", kShapeSource);
        writeFile(src / "Fail.java", kFailSource);
        fs::create_directories(src / "marked");
        writeFile(src / "marked" / "Marker.java", kMarkerSource);
        writeFile(src / "marked" / "package-info.java", kPackageInfoSource);
        const fs::path classes = root_->path() / "classes 源码";
        classes_ = new fs::path(classes);
        javac_ = new std::string(findOnPath("javac").value_or(""));
        if (javac_->empty()) {
            *setupError_ = "javac is not on PATH; the jad tests need a JDK";
            return;
        }
        const auto r = runProgram(
            *javac_, {"-J-XX:-UsePerfData", "-encoding", "UTF-8", "-d", classes.string(),
                      (src / "Outer.java").string(), (src / "Shape.java").string(),
                      (src / "Fail.java").string(), (src / "marked" / "Marker.java").string(),
                      (src / "marked" / "package-info.java").string()});
        if (r.ending != brindle::engine::RunResult::Ending::Exited || r.status != 0) {
            *setupError_ = "javac failed: " + r.err;
            return;
        }
        classFiles_ = new std::vector<fs::path>;
        for (const auto& entry : fs::recursive_directory_iterator(classes)) {
            if (entry.path().extension() == ".class") classFiles_->push_back(entry.path());
        }
        std::sort(classFiles_->begin(), classFiles_->end());
        // What a cold run writes, to compare the service's output with.
        cold_ = new fs::path(root_->path() / "cold");
        for (const fs::path& file : *classFiles_) {
            const JadRun run = runJad({"-d" + cold_->string(), file.string()},
                                      {{"BRINDLE_JAD_COLD", "1"}});
            if (run.exitCode != 0) *setupError_ += run.err;
        }
        // The name of this build's socket, for fake services to listen on in its place.
        const ServiceFolder learn;
        const JadRun warm = runJad({"-d" + (root_->path() / "learn").string(), classFiles_->front().string()},
                                   {{"XDG_RUNTIME_DIR", learn.path().string()},
                                    {"BRINDLE_JAD_SERVICE_REQUIRED", "1"}});
        if (warm.exitCode != 0 || learn.sockets().size() != 1)
            *setupError_ += "no service started: " + warm.err;
        else
            socketName_ = new fs::path(learn.sockets().front().filename());
    }

    static void TearDownTestSuite() {
        delete classFiles_;
        delete classes_;
        delete cold_;
        delete javac_;
        delete socketName_;
        delete root_;
    }

    void SetUp() override { ASSERT_TRUE(setupError_->empty()) << *setupError_; }

    Env env(Env extra = {}) const {
        extra.emplace("XDG_RUNTIME_DIR", services_.path().string());
        return extra;
    }

    static fs::path classFile(const std::string& name) {
        for (const fs::path& file : *classFiles_) {
            if (file.stem() == name) return file;
        }
        return {};
    }

    static std::string javaName(const fs::path& classFile) {
        return classFile.stem().string() + ".java";
    }

    static std::optional<std::string> coldSource(const fs::path& classFile) {
        return readFile(*cold_ / javaName(classFile));
    }

    // Runs jad on `file` into `out` and expects the cold run's exact bytes.
    void expectColdBytes(const fs::path& file, const fs::path& out, const Env& extra = {},
                         const std::string& stderrText = "") const {
        const JadRun r = runJad({"-sjava", "-8", "-ff", "-d" + out.string(), file.string()},
                                env(extra));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, stderrText);
        const std::optional<std::string> expected = coldSource(file);
        ASSERT_TRUE(expected.has_value());
        EXPECT_EQ(readFile(out / javaName(file)), expected) << file;
    }

    fs::path scratch(const std::string& name) const { return scratch_.path() / name; }

    // Where this test's service would listen.
    fs::path serviceSocket() const { return services_.path() / *socketName_; }

    static TempDir* root_;
    static fs::path* classes_;
    static fs::path* socketName_;
    static std::vector<fs::path>* classFiles_;
    static fs::path* cold_;
    static std::string* javac_;
    static std::string* setupError_;

    TempDir scratch_;
    ServiceFolder services_;
};

TempDir* JadService::root_ = nullptr;
fs::path* JadService::classes_ = nullptr;
fs::path* JadService::socketName_ = nullptr;
std::vector<fs::path>* JadService::classFiles_ = nullptr;
fs::path* JadService::cold_ = nullptr;
std::string* JadService::javac_ = nullptr;
std::string* JadService::setupError_ = new std::string;

const Env kRequired = {{"BRINDLE_JAD_SERVICE_REQUIRED", "1"}};

TEST_F(JadService, WritesTheColdRunsBytesAndTheSourcesCompileAgain) {
    ASSERT_GE(classFiles_->size(), 6u);
    const fs::path out = scratch("warm out");
    for (const fs::path& file : *classFiles_) {
        SCOPED_TRACE(file.filename().string());
        expectColdBytes(file, out, kRequired);
    }
    EXPECT_EQ(services_.services().size(), 1u);

    // The top-level sources (nested classes are inside them) compile again.
    const auto r = runProgram(*javac_, {"-J-XX:-UsePerfData", "-encoding", "UTF-8", "-d",
                                        scratch("again").string(), (out / "Outer.java").string(),
                                        (out / "Shape.java").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(scratch("again") / "demo" / "service" / "Outer$Inner.class"));
}

// Procyon's own command line on a class file: what it prints on stdout.
std::string procyonsOwnSource(const fs::path& file) {
    std::string jars;
    for (const char* jar : {"procyon-decompiler", "procyon-compilertools", "procyon-core",
                            "procyon-expressions", "procyon-reflection", "jcommander"})
        jars += std::string(jars.empty() ? "" : ":") + "/usr/share/java/" + jar + ".jar";
    return runProgram(findOnPath("java").value_or("java"),
                      {"-XX:-UsePerfData", "-cp", jars, "com.strobel.decompiler.DecompilerDriver",
                       file.string()})
        .out;
}

TEST_F(JadService, AMethodProcyonCannotDecompileShowsProcyonsFramesAlone) {
    for (const char* name : {"Fail", "Fail$1Splitr"}) {
        SCOPED_TRACE(name);
        const fs::path file = classFile(name);
        const fs::path out = scratch("warm");
        expectColdBytes(file, out, kRequired);
        const std::string source = readFile(out / javaName(file)).value_or("");
        EXPECT_NE(source.find("This method could not be decompiled."), std::string::npos);
        // Procyon's command line writes the same, with its own driver's frames below Procyon's.
        std::istringstream driver(procyonsOwnSource(file));
        std::string expected;
        for (std::string line; std::getline(driver, line);) {
            if (line.find("at com.strobel.decompiler.DecompilerDriver.") == std::string::npos)
                expected += line + "\n";
        }
        EXPECT_EQ(source, expected);
    }
}

TEST_F(JadService, APackageInfoGivesASourceTheCompilerTakesAgain) {
    const fs::path file = classes_->string() + "/demo/service/marked/package-info.class";
    const fs::path out = scratch("info");
    expectColdBytes(file, out, kRequired);
    const std::string source = readFile(out / "package-info.java").value_or("");
    EXPECT_EQ(source.find("interface"), std::string::npos) << source;
    const std::size_t marker = source.find("@Marker(");
    const std::size_t declaration = source.find("package demo.service.marked;");
    ASSERT_NE(marker, std::string::npos) << source;
    EXPECT_LT(marker, declaration) << source;

    // Compiled again, it carries the same annotations: it decompiles to the same source.
    const fs::path again = scratch("again");
    const auto r = runProgram(*javac_, {"-J-XX:-UsePerfData", "-encoding", "UTF-8", "-cp",
                                        classes_->string(), "-d", again.string(),
                                        (out / "package-info.java").string()});
    ASSERT_EQ(r.status, 0) << r.err << source;
    const JadRun twice = runJad({"-d" + scratch("twice").string(),
                                 (again / "demo/service/marked/package-info.class").string()},
                                env(kRequired));
    ASSERT_EQ(twice.exitCode, 0) << twice.err;
    EXPECT_EQ(readFile(scratch("twice") / "package-info.java"), source);
}

TEST_F(JadService, EveryPackageInfoOfDebiansLibrariesCompiles) {
    std::vector<std::string> javacArgs{"-J-XX:-UsePerfData", "-encoding", "UTF-8", "-proc:none",
                                       "-d", scratch("compiled").string(), "-cp", ""};
    std::string& classPath = javacArgs.back();
    for (const char* jar : {"guava", "commons-lang3", "commons-collections4", "jackson-databind",
                            "jsr305", "error_prone_annotations"}) {
        const std::string path = std::string("/usr/share/java/") + jar + ".jar";
        classPath += (classPath.empty() ? "" : ":") + path;
        const fs::path into = scratch("classes") / jar;
        fs::create_directories(into);
        // unzip says 11 when the jar has none.
        const auto r = runProgram(findOnPath("unzip").value_or("unzip"),
                                  {"-q", path, "*package-info.class", "-d", into.string()});
        ASSERT_TRUE(r.status == 0 || r.status == 11) << path << ": " << r.err;
    }
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(scratch("classes"))) {
        if (entry.path().filename() != "package-info.class") continue;
        const fs::path out = scratch("sources") / std::to_string(count++);
        const JadRun run = runJad({"-d" + out.string(), entry.path().string()}, env(kRequired));
        ASSERT_EQ(run.exitCode, 0) << entry.path() << run.err;
        javacArgs.push_back((out / "package-info.java").string());
    }
    EXPECT_EQ(count, 52) << "guava 15, commons-lang3 17, jackson-databind 20";
    const auto r = runProgram(*javac_, javacArgs);
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(JadService, AQueuedRunIsNotASlowRun) {
    // One worker (two decompilers), nothing decompiled ahead: the third run waits for the
    // first one's decompiler.
    const Env one = {{"BRINDLE_JAD_SERVICE_REQUIRED", "1"},
                     {"BRINDLE_JAD_WORKERS", "1"},
                     {"BRINDLE_JAD_AHEAD", "0"}};
    expectColdBytes(classFile("Shape"), scratch("first"), one);
    const std::vector<pid_t> before = services_.services();
    ASSERT_EQ(before.size(), 1u);

    // Each decompile takes 4 s of its 6: the third one waits 3 s for a decompiler first.
    Env slow = one;
    slow.insert({{"BRINDLE_JAD_TIMEOUT", "6"}, {"BRINDLE_JAD_SERVICE_DELAY_MS", "4000"}});
    const fs::path out = scratch("out");
    const std::vector<fs::path> files = {classFile("Outer"), classFile("Shape"), classFile("Outer$Inner")};
    std::vector<pid_t> runs;
    for (const fs::path& file : files) {
        runs.push_back(startJad({"-d" + out.string(), file.string()}, env(slow),
                                scratch(file.stem().string() + ".log")));
        ASSERT_GT(runs.back(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(files[i].filename().string());
        int status = -1;
        ASSERT_EQ(waitpid(runs[i], &status, 0), runs[i]);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << readFile(scratch(files[i].stem().string() + ".log")).value_or("");
        EXPECT_EQ(readFile(out / javaName(files[i])), coldSource(files[i]));
    }
    EXPECT_EQ(services_.services(), before) << "no run ends the service for another's work";
}

TEST_F(JadService, DetachesAndEndsItselfWhenIdle) {
    expectColdBytes(classFile("Shape"), scratch("out"),
                    {{"BRINDLE_JAD_SERVICE_REQUIRED", "1"}, {"BRINDLE_JAD_SERVICE_IDLE", "2"}});
    const std::vector<pid_t> pids = services_.services();
    ASSERT_EQ(pids.size(), 1u);
    const pid_t pid = pids[0];
    EXPECT_NE(getsid(pid), getsid(0)) << "the service must run in a session of its own";
    for (int fd = 0; fd <= 2; ++fd) {
        EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd)),
                  "/dev/null")
            << "fd " << fd;
    }
    EXPECT_TRUE(waitUntilGone(pid, std::chrono::seconds(15)));
    EXPECT_TRUE(services_.sockets().empty()) << "the idle service leaves its socket behind";
}

TEST_F(JadService, ADeadServiceOrAStaleSocketFileIsReplaced) {
    const fs::path file = classFile("Outer");
    expectColdBytes(file, scratch("first"), kRequired);
    const std::vector<pid_t> first = services_.services();
    ASSERT_EQ(first.size(), 1u);
    const std::vector<fs::path> sockets = services_.sockets();
    ASSERT_EQ(sockets.size(), 1u);

    // Killed: its socket file stays, with nothing listening.
    services_.stopServices();
    ASSERT_TRUE(fs::exists(sockets[0]));
    expectColdBytes(file, scratch("after kill"), kRequired);
    const std::vector<pid_t> second = services_.services();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second[0], first[0]);

    // A plain file where the socket should be.
    services_.stopServices();
    fs::remove(sockets[0]);
    writeFile(sockets[0], "not a socket");
    expectColdBytes(file, scratch("after file"), kRequired);
    EXPECT_EQ(services_.services().size(), 1u);
}

TEST_F(JadService, AClassFoundBelowJadsWorkingFolderGivesTheColdRunsBytes) {
    // Outer$Inner alone: Procyon finds Outer only below the working folder, the classes' root.
    const fs::path alone = scratch("alone");
    fs::create_directories(alone);
    fs::copy_file(classFile("Outer$Inner"), alone / "Outer$Inner.class");
    const fs::path root = classFile("Outer").parent_path().parent_path().parent_path();
    const fs::path before = fs::current_path();
    fs::current_path(root);
    const std::string inner = (alone / "Outer$Inner.class").string();
    const JadRun cold =
        runJad({"-d" + scratch("cold").string(), inner}, env({{"BRINDLE_JAD_COLD", "1"}}));
    const JadRun warm = runJad({"-d" + scratch("warm").string(), inner}, env());
    fs::current_path(before);
    ASSERT_EQ(cold.exitCode, 0) << cold.err;
    ASSERT_EQ(warm.exitCode, 0) << warm.err;
    const std::optional<std::string> source = readFile(scratch("cold") / "Outer$Inner.java");
    ASSERT_TRUE(source.has_value());
    EXPECT_NE(source->find("Outer.this.items"), std::string::npos) << *source;
    EXPECT_EQ(readFile(scratch("warm") / "Outer$Inner.java"), source);
}

// Listens on `path` in place of the service. The n-th client gets answers[n] (the last one
// again once the list is used up) after its whole request, then the connection is closed; a
// nullopt answer keeps the connection open and unanswered until the fake ends.
class FakeService {
public:
    FakeService(const fs::path& path, std::vector<std::optional<std::string>> answers)
        : answers_(std::move(answers)), path_(path) {
        fs::remove(path);
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.string().size() + 1);
        if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            listen(fd_, 8) != 0)
            throw std::runtime_error("cannot listen on " + path.string());
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeService() {
        stop_ = true;
        shutdown(fd_, SHUT_RDWR);
        thread_.join();
        for (const int held : held_) close(held);
        close(fd_);
        fs::remove(path_);
    }
    FakeService(const FakeService&) = delete;
    FakeService& operator=(const FakeService&) = delete;

    // The requests that have arrived whole.
    int requests() const { return requests_; }
    bool waitForRequests(int count) const {
        for (int i = 0; i < 500 && requests_ < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return requests_ >= count;
    }

private:
    void serve() {
        for (std::size_t n = 0;; ++n) {
            const int client = accept(fd_, nullptr, nullptr);
            if (client < 0 || stop_) {
                if (client >= 0) close(client);
                return;
            }
            // The whole request, so that closing does not reset the connection.
            char request[4096];
            pollfd p{client, POLLIN, 0};
            while (poll(&p, 1, 200) > 0 && read(client, request, sizeof request) > 0) {
            }
            ++requests_;
            const std::optional<std::string>& answer = answers_[std::min(n, answers_.size() - 1)];
            if (!answer) {
                held_.push_back(client);
                continue;
            }
            (void)!send(client, answer->data(), answer->size(), MSG_NOSIGNAL);
            close(client);
        }
    }

    std::vector<std::optional<std::string>> answers_;
    fs::path path_;
    int fd_ = -1;
    std::vector<int> held_;
    std::atomic<int> requests_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

constexpr auto kSource = static_cast<std::uint8_t>(AnswerKind::Source);
constexpr auto kNoSource = static_cast<std::uint8_t>(AnswerKind::NoSource);
constexpr auto kRunCold = static_cast<std::uint8_t>(AnswerKind::RunCold);

// What a service sends for a request: "started", then the answer.
std::string served(std::uint8_t kind, std::string_view body) {
    return encodeAnswer(kStartedKind, {}) + encodeAnswer(kind, body);
}

TEST_F(JadService, AWrongAnswerGivesAColdRunOrWithTheServiceRequiredItsReason) {
    const fs::path file = classFile("Shape");
    const std::string source = "interface Shape {}\n";
    std::string otherMagic = served(kSource, source);
    otherMagic.replace(0, kServiceMagic.size(), "BRJ2");
    otherMagic.replace(kAnswerHeaderSize, kServiceMagic.size(), "BRJ2");
    const struct {
        const char* what;
        std::string answer;
        std::string reason;
        bool alsoCold;
    } cases[] = {
        {"nothing, twice", "", "the service ended without an answer", false},
        {"garbage", "HTTP/1.1 400 Bad Request\r\n\r\n", "the service answered garbage", true},
        {"another protocol's answer", otherMagic, "the service answered garbage", false},
        {"an unknown kind", served(7, source), "the service answered garbage", false},
        {"a source cut short", served(kSource, source).substr(0, 2 * kAnswerHeaderSize + 5),
         "the service's answer was cut short", false},
        {"more than the answer", served(kSource, source) + "and more",
         "the service answered garbage", true},
        {"a request for a cold run", served(kRunCold, "a class may come from jad's working folder"),
         "a class may come from jad's working folder", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const FakeService fake(serviceSocket(), {c.answer});
        const fs::path out = scratch(c.what);
        const JadRun required = runJad({"-d" + out.string(), file.string()}, env(kRequired));
        EXPECT_EQ(required.exitCode, 1);
        EXPECT_EQ(required.err,
                  "jad: " + file.string() + ": the decompiler service did not answer: " + c.reason + "\n");
        EXPECT_FALSE(fs::exists(out / "Shape.java"));
        if (c.alsoCold) expectColdBytes(file, out);
    }
}

TEST_F(JadService, ANoSourceAnswerFailsTheClassFileWithWhatTheDecompilerSaid) {
    const fs::path file = classFile("Shape");
    const FakeService fake(serviceSocket(),
                           {served(kNoSource, "!!! ERROR: Failed to load class X.\nsecond line\n")});
    const fs::path out = scratch("out");
    fs::create_directories(out);
    writeFile(out / "Shape.java", "older");
    const JadRun r = runJad({"-d" + out.string(), file.string()}, env());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "jad: " + file.string() +
                         ": decompiler produced no output: !!! ERROR: Failed to load class X.\n");
    EXPECT_EQ(readFile(out / "Shape.java"), "older");
    EXPECT_EQ(fake.requests(), 1) << "no cold run, no second request";
}

TEST_F(JadService, AServiceThatVanishesIsAskedAgainOnce) {
    const FakeService fake(serviceSocket(), {"", served(kSource, "class FromTheService {}\n")});
    const fs::path out = scratch("out");
    const JadRun r = runJad({"-d" + out.string(), classFile("Shape").string()}, env(kRequired));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(out / "Shape.java"), "class FromTheService {}\n");
    EXPECT_EQ(fake.requests(), 2);
}

TEST_F(JadService, AnEndedRunLeavesNoPrivateCopyBehind) {
    // A class file under a name Procyon does not open goes to it as a private copy; jad ends
    // while it waits for the service.
    const FakeService fake(serviceSocket(), {std::nullopt});
    const fs::path file = scratch("myclass");
    fs::copy_file(classFile("Shape"), file);
    const TempDir temporary;
    const pid_t jad = startJad({"-d" + scratch("out").string(), file.string()},
                               env({{"TMPDIR", temporary.path().string()}}), scratch("log"));
    ASSERT_GT(jad, 0);
    ASSERT_TRUE(fake.waitForRequests(1)) << readFile(scratch("log")).value_or("");
    EXPECT_EQ(listFolder(temporary.path()).size(), 1u) << "the copy while jad waits";
    kill(jad, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(jad, &status, 0), jad);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(listFolder(temporary.path()).empty());
}

TEST_F(JadService, ARelativeRuntimeFolderIsIgnored) {
    // jad runs where "run" is a private folder and is told XDG_RUNTIME_DIR=run. Its java is a
    // stand-in that notes its arguments and ends, so no service starts anywhere.
    const fs::path work = scratch("work");
    fs::create_directories(work / "run");
    fs::permissions(work / "run", fs::perms::owner_all, fs::perm_options::replace);
    const fs::path java = scratch("java");
    const fs::path argsFile = scratch("args");
    writeScript(java, "printf '%s\\n' \"$@\" > '" + argsFile.string() + "'");
    const std::string fallback = "/tmp/brindle-jad-" + std::to_string(geteuid());
    const bool hadEmptyFolder = fs::exists(fallback + "/brindle-jad-empty");

    const fs::path before = fs::current_path();
    fs::current_path(work);
    const JadRun r = runJad({"-d" + scratch("out").string(), classFile("Shape").string()},
                            {{"XDG_RUNTIME_DIR", "run"},
                             {"BRINDLE_JAD_JAVA", java.string()},
                             {"BRINDLE_JAD_SERVICE_REQUIRED", "1"}});
    fs::current_path(before);

    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(listFolder(work / "run").empty()) << "jad used the relative folder";
    std::string socket;
    std::istringstream args(readFile(argsFile).value_or(""));
    for (std::string line; std::getline(args, line);) {
        if (line.ends_with(".sock")) socket = line;
    }
    // The fallback folder: the service was started there, or the folder is refused by name.
    EXPECT_TRUE(socket.starts_with(fallback + "/brindle-jad-") ||
                r.err.find("the socket folder " + fallback) != std::string::npos)
        << socket << r.err;
    // What this run left in the shared fallback folder for its build goes again.
    if (socket.starts_with(fallback + "/")) {
        const std::string stem = socket.substr(0, socket.size() - std::string(".sock").size());
        fs::remove(socket);
        fs::remove(stem + ".lock");
        std::error_code inUse;
        if (!hadEmptyFolder) fs::remove(fallback + "/brindle-jad-empty", inUse);
    }
}

TEST_F(JadService, ASocketFolderThatIsNotPrivateIsRefused) {
    const fs::path file = classFile("Shape");
    const fs::path open = scratch("open");
    fs::create_directories(open);
    fs::permissions(open, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::replace);
    const fs::path foreign = scratch("foreign");
    fs::create_directories(foreign);
    fs::permissions(foreign, fs::perms::owner_all, fs::perm_options::replace);
    const bool canChown = chown(foreign.c_str(), 65534, 65534) == 0;

    const struct {
        fs::path folder;
        std::string detail;
    } cases[] = {
        {open, "mode 0755"},
        {foreign, "owner 65534"},
        {file, "is not a folder"},
    };
    for (const auto& c : cases) {
        if (c.folder == foreign && !canChown) continue;  // only root can give a folder away
        SCOPED_TRACE(c.folder.string());
        const fs::path out = scratch("out") / c.folder.filename();
        const JadRun r =
            runJad({"-d" + out.string(), file.string()}, {{"XDG_RUNTIME_DIR", c.folder.string()}});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.err.starts_with("jad: the socket folder " + c.folder.string())) << r.err;
        EXPECT_NE(r.err.find(c.detail), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("decompiling without the service"), std::string::npos) << r.err;
        EXPECT_EQ(readFile(out / "Shape.java"), coldSource(file));
        if (fs::is_directory(c.folder)) {
            EXPECT_TRUE(listFolder(c.folder).empty());
        }
    }
}

TEST_F(JadService, ServesSeveralRunsAtOnce) {
    // Several runs find no service at the same moment: one starts it, all are served.
    const fs::path out = scratch("together");
    std::vector<pid_t> runs;
    for (std::size_t i = 0; i < classFiles_->size(); ++i) {
        runs.push_back(startJad({"-d" + out.string(), (*classFiles_)[i].string()}, env(kRequired),
                                scratch("log" + std::to_string(i))));
        ASSERT_GT(runs.back(), 0);
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE((*classFiles_)[i].filename().string());
        int status = -1;
        ASSERT_EQ(waitpid(runs[i], &status, 0), runs[i]);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << readFile(scratch("log" + std::to_string(i))).value_or("");
        EXPECT_EQ(readFile(out / javaName((*classFiles_)[i])), coldSource((*classFiles_)[i]));
    }
    EXPECT_EQ(services_.services().size(), 1u);
}

TEST_F(JadService, ADecompilePastTheTimeLimitFailsAndTheNextRunIsServed) {
    const fs::path file = classFile("Outer");
    const fs::path out = scratch("out");
    expectColdBytes(file, out, kRequired);
    const std::vector<pid_t> before = services_.services();
    ASSERT_EQ(before.size(), 1u);
    writeFile(out / "Outer.java", "older");

    const auto start = std::chrono::steady_clock::now();
    const JadRun r = runJad({"-d" + out.string(), file.string()},
                            env({{"BRINDLE_JAD_TIMEOUT", "2"},
                                 {"BRINDLE_JAD_SERVICE_DELAY_MS", "600000"}}));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "jad: " + file.string() + ": timed out after 2 s\n");
    EXPECT_LT(elapsed, std::chrono::seconds(10));
    EXPECT_EQ(readFile(out / "Outer.java"), "older");
    EXPECT_EQ(listFolder(out), std::set<std::string>{"Outer.java"});
    EXPECT_TRUE(waitUntilGone(before[0])) << "the stuck service still runs";

    expectColdBytes(file, out, kRequired);
    EXPECT_EQ(services_.services().size(), 1u);
}

}  // namespace
