// jad with its Vineflower engine: the real Node and the real Vineflower build beside the jad
// under test, classes javac compiles at test time and the committed Java 21 class files on
// which Vineflower marks a method it cannot decompile. Each test runs jad from its own program
// folder (jad, jad-service.jar and vineflower/ as installed, Engine.ini when the test writes
// one) with its own service folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "jad_test_support.h"

namespace {

using namespace jadtest;
using namespace std::chrono_literals;

constexpr const char* kOuter = R"(package demo.vf;

public class Outer {
    private int count;

    public class Inner {
        public int twice() { return count * 2; }
    }

    Runnable task() {
        return new Runnable() {
            public void run() { count++; }
        };
    }
}
)";

// A batch's classes, each in two builds: a file replaced by its other build between two runs.
constexpr const char* kBatchClasses[] = {"Alpha", "Beta", "Gamma", "Delta"};

std::string batchClass(const std::string& name, const std::string& method) {
    return "package demo.batch;\npublic class " + name + " { int " + method +
           "() { return 1; } }\n";
}

const fs::path kBuiltEngine = fs::path(JAD_PATH).parent_path();
const fs::path kModern21 =
    fs::path(BRINDLE_SOURCE_DIR) / "bench/quality/modern21/classes/demo/modern21/Patterns.class";

bool isProcyons(const std::string& source) {
    return source.find("// Decompiled by Procyon") != std::string::npos;
}

// jad as installed in a folder of its own.
class Install {
public:
    explicit Install(std::optional<std::string> engineIni = std::nullopt) {
        fs::copy_file(kBuiltEngine / "jad", dir_.path() / "jad");
        fs::copy_file(kBuiltEngine / "jad-service.jar", dir_.path() / "jad-service.jar");
        fs::create_directory_symlink(kBuiltEngine / "vineflower", dir_.path() / "vineflower");
        if (engineIni) writeFile(dir_.path() / "Engine.ini", *engineIni);
    }

    // jad on classFile into outFolder; env as runJad takes it, in this install's service folder.
    JadRun run(const fs::path& classFile, const fs::path& outFolder,
               std::map<std::string, std::string> env = {}) const {
        if (!env.contains("BRINDLE_JAD_NODE")) env["BRINDLE_JAD_NODE"] = "node";
        env.try_emplace("XDG_RUNTIME_DIR", services_.path().string());
        return runJadAt((dir_.path() / "jad").string(),
                        {"-sjava", "-8", "-ff", "-d" + outFolder.string(), classFile.string()}, env);
    }

    const ServiceFolder& services() const { return services_; }

private:
    TempDir dir_;
    ServiceFolder services_;
};

class JadVineflower : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new TempDir;
        const fs::path src = root_->path() / "src";
        std::map<std::string, std::vector<std::string>> builds;  // output folder: sources
        fs::create_directories(src);
        writeFile(src / "Outer.java", kOuter);
        builds["classes"].push_back((src / "Outer.java").string());
        for (const std::string build : {"first", "second"}) {
            fs::create_directories(src / build);
            for (const std::string name : kBatchClasses) {
                const fs::path file = src / build / (name + ".java");
                writeFile(file, batchClass(name, build));
                builds[build].push_back(file.string());
            }
        }
        const std::optional<std::string> javac = findOnPath("javac");
        if (!javac) {
            *setupError_ = "javac is not on PATH";
            return;
        }
        for (const auto& [out, sources] : builds) {
            std::vector<std::string> args{"-J-XX:-UsePerfData", "-d",
                                          (root_->path() / out).string()};
            args.insert(args.end(), sources.begin(), sources.end());
            const auto r = runProgram(*javac, args);
            if (r.ending != brindle::engine::RunResult::Ending::Exited || r.status != 0)
                *setupError_ += "javac failed: " + r.err;
        }
    }

    static void TearDownTestSuite() { delete root_; }

    void SetUp() override { ASSERT_TRUE(setupError_->empty()) << *setupError_; }

    static fs::path classes() { return root_->path() / "classes" / "demo" / "vf"; }
    static fs::path out(const std::string& name) { return root_->path() / "out" / name; }

    static TempDir* root_;
    static std::string* setupError_;
};

TempDir* JadVineflower::root_ = nullptr;
std::string* JadVineflower::setupError_ = new std::string;

TEST_F(JadVineflower, WritesVineflowersSourceWithNestedClassesTheSameWarmAndCold) {
    const Install install;
    const JadRun warm = install.run(classes() / "Outer.class", out("warm"));
    ASSERT_EQ(warm.exitCode, 0) << warm.err;
    EXPECT_EQ(warm.err, "");
    const std::string source = readFile(out("warm") / "Outer.java").value_or("");
    EXPECT_FALSE(isProcyons(source)) << source;
    EXPECT_NE(source.find("public class Inner"), std::string::npos) << source;
    EXPECT_NE(source.find("new Runnable()"), std::string::npos) << "the anonymous class, folded in";
    EXPECT_EQ(install.services().services().size(), 1u) << "the Vineflower service answered";

    const JadRun cold =
        install.run(classes() / "Outer.class", out("cold"), {{"BRINDLE_JAD_COLD", "1"}});
    ASSERT_EQ(cold.exitCode, 0) << cold.err;
    EXPECT_EQ(readFile(out("cold") / "Outer.java"), source) << "byte for byte";

    // The engine's own one-shot mode writes the same bytes.
    const auto direct =
        runProgram(*findOnPath("node"), {(kBuiltEngine / "vineflower/vineflower.mjs").string(),
                                         "--cold", (classes() / "Outer.class").string()});
    EXPECT_EQ(direct.out, source);
}

TEST_F(JadVineflower, EngineIniNamesOneEngine) {
    const struct {
        const char* ini;
        bool procyon;
    } cases[] = {{"procyon\r\n", true},
                 {"PROCYON", true},
                 {"Vineflower\r\n", false},
                 {"\r\n", false},
                 {"cfr\r\n", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        const Install install(c.ini);
        const JadRun run = install.run(classes() / "Outer.class", out("ini"));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(isProcyons(readFile(out("ini") / "Outer.java").value_or("")), c.procyon);
    }
}

TEST_F(JadVineflower, ProcyonTakesOverWhereVineflowerGivesNoSource) {
    // A node that fails every class file: the service never starts, the cold run says why.
    const TempDir fake;
    const fs::path node = fake.path() / "node";
    writeScript(node, "echo 'Vineflower wrote no source for demo/vf/Outer' >&2\nexit 1\n");

    const Install byDefault;
    const JadRun fallback = byDefault.run(classes() / "Outer.class", out("fallback"),
                                          {{"BRINDLE_JAD_NODE", node.string()}});
    ASSERT_EQ(fallback.exitCode, 0) << fallback.err;
    EXPECT_EQ(fallback.err, "");
    EXPECT_TRUE(isProcyons(readFile(out("fallback") / "Outer.java").value_or("")));

    // Vineflower alone: its failure is the outcome, one line.
    const Install alone("vineflower\r\n");
    const JadRun failed =
        alone.run(classes() / "Outer.class", out("alone"), {{"BRINDLE_JAD_NODE", node.string()}});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err, "jad: " + (classes() / "Outer.class").string() +
                              ": decompiler produced no output: Vineflower wrote no source for "
                              "demo/vf/Outer\n");
    EXPECT_FALSE(fs::exists(out("alone") / "Outer.java"));
}

TEST_F(JadVineflower, AClassFileNeitherEngineCanReadFailsWithOneLine) {
    const TempDir bad;
    writeFile(bad.path() / "Broken.class", std::string("\xca\xfe\xba\xbe\0\0\0\x34\0\x10", 10));
    const Install install;
    const JadRun run = install.run(bad.path() / "Broken.class", out("broken"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(run.err.starts_with("jad: " + (bad.path() / "Broken.class").string() + ": "))
        << run.err;
}

TEST_F(JadVineflower, WithoutNodeProcyonAloneSaysNothingMore) {
    // A PATH that finds java and no node.
    const TempDir bin;
    fs::create_symlink(*findOnPath("java"), bin.path() / "java");
    const Install install;
    const JadRun run =
        install.run(classes() / "Outer.class", out("nonode"), {{"PATH", bin.path().string()}});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(isProcyons(readFile(out("nonode") / "Outer.java").value_or("")));
}

TEST_F(JadVineflower, ProcyonsHelperOutputIsNeverWrittenWhereVineflowerDidBetter) {
    const Install byDefault;
    const JadRun run = byDefault.run(kModern21, out("modern21"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string source = readFile(out("modern21") / "Patterns.java").value_or("");
    EXPECT_EQ(source.find("ProcyonInvokeDynamicHelper"), std::string::npos) << source;
    EXPECT_FALSE(isProcyons(source));

    // What the default spares the user: Procyon alone writes the helper.
    const Install procyon("procyon\r\n");
    ASSERT_EQ(procyon.run(kModern21, out("modern21-procyon")).exitCode, 0);
    EXPECT_NE(readFile(out("modern21-procyon") / "Patterns.java")
                  .value_or("")
                  .find("ProcyonInvokeDynamicHelper"),
              std::string::npos);
}

// A folder of the batch classes' first builds, in the order the folder lists them.
std::vector<fs::path> batchFolder(const fs::path& root, const fs::path& builds) {
    const fs::path folder = root / "demo" / "batch";
    fs::create_directories(folder);
    for (const std::string name : kBatchClasses)
        fs::copy_file(builds / "first" / "demo" / "batch" / (name + ".class"),
                      folder / (name + ".class"));
    // Older than the file system's clock step: a result is held only for files that were
    // not being written while they were read.
    std::this_thread::sleep_for(1200ms);
    std::vector<fs::path> order;
    for (const auto& entry : fs::directory_iterator(folder)) order.push_back(entry.path());
    return order;
}

// Now a decompile takes longer than the time limit: only a held result can answer in time.
const std::map<std::string, std::string> kSlowDecompile{{"BRINDLE_JAD_SERVICE_DELAY_MS", "6000"},
                                                        {"BRINDLE_JAD_TIMEOUT", "3"}};

TEST_F(JadVineflower, AResultDecompiledAheadIsUsedOnlyForAnUnchangedFile) {
    // Four class files, requested in the order the folder lists them: the first two make a
    // batch, the service decompiles the other two ahead.
    const TempDir batch;
    const std::vector<fs::path> order = batchFolder(batch.path(), root_->path());
    ASSERT_EQ(order.size(), 4u);

    const Install install;
    for (const fs::path& first : {order[0], order[1]}) {
        const JadRun run = install.run(first, out("batch"), {{"BRINDLE_JAD_WORKERS", "2"}});
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
    std::this_thread::sleep_for(1500ms);  // the rest is decompiled ahead meanwhile

    const fs::path& unchanged = order[2];
    const std::string java = unchanged.stem().string() + ".java";
    const JadRun held = install.run(unchanged, out("held"), kSlowDecompile);
    ASSERT_EQ(held.exitCode, 0) << held.err;
    const JadRun cold = install.run(unchanged, out("held-cold"), {{"BRINDLE_JAD_COLD", "1"}});
    ASSERT_EQ(cold.exitCode, 0) << cold.err;
    EXPECT_EQ(readFile(out("held") / java), readFile(out("held-cold") / java));
    EXPECT_NE(readFile(out("held") / java).value_or("").find("first()"), std::string::npos);

    // Replaced by its other build since it was decompiled ahead: decompiled afresh.
    const fs::path& changed = order[3];
    fs::copy_file(root_->path() / "second" / "demo" / "batch" / changed.filename(),
                  batch.path() / "next.class");
    fs::rename(batch.path() / "next.class", changed);
    const JadRun slowRun = install.run(changed, out("changed"), kSlowDecompile);
    EXPECT_EQ(slowRun.exitCode, 1) << "not the held result: a fresh decompile, too slow";
    EXPECT_EQ(slowRun.err, "jad: " + changed.string() + ": timed out after 3 s\n");
    const JadRun fresh = install.run(changed, out("fresh"));
    ASSERT_EQ(fresh.exitCode, 0) << fresh.err;
    EXPECT_NE(
        readFile(out("fresh") / (changed.stem().string() + ".java")).value_or("").find("second()"),
        std::string::npos);
}

TEST_F(JadVineflower, ASecondBatchRightAfterTheFirstIsDecompiledAheadToo) {
    const TempDir batch;
    const std::vector<fs::path> order = batchFolder(batch.path(), root_->path());
    ASSERT_EQ(order.size(), 4u);

    const Install install;
    const std::map<std::string, std::string> workers{{"BRINDLE_JAD_WORKERS", "2"}};
    for (const fs::path& file : order) {
        const JadRun run = install.run(file, out("first walk"), workers);
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
    // The same walk again at once, as the service sees a second batch started without a pause.
    for (const fs::path& file : {order[0], order[1]}) {
        const JadRun run = install.run(file, out("second walk"), workers);
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
    std::this_thread::sleep_for(1500ms);
    const JadRun held = install.run(order[2], out("second walk"), kSlowDecompile);
    EXPECT_EQ(held.exitCode, 0) << "the second walk's next file was not decompiled ahead: "
                                << held.err;
}

}  // namespace
