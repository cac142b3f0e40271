// How much the batch walk itself costs per class file, with an engine that does nothing.
//   memory:    in-memory folders, engine runs return at once (the walk's own logic)
//   disk:      a real tree in a temporary folder through the host platform's folder search,
//              folder creation and stale-result removal; engine runs return at once
//   /bin/true: the same tree with /bin/true started and waited for as the engine
//   jar:       a folder holding Debian's commons-lang3 jar, each class inside it extracted into
//              a private temporary folder and its output folder made; engine runs return at once
// Usage: batch_walk_bench [folders [files per folder]]   (default 40 x 100)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "batch/memory_platform.h"
#include "core/batch_walker.h"
#include "os/host_platform.h"
#include "support/null_sink.h"
#include "support/temp_folder.h"

namespace brindle {
namespace {

// The host platform with engine runs that return at once.
class NoEnginePlatform final : public Platform {
public:
    explicit NoEnginePlatform(Platform& host) : host_(host) {}
    const PathStyle& pathStyle() const override { return host_.pathStyle(); }
    const PlatformDefaults& defaults() const override { return host_.defaults(); }
    std::string windowsFolder() override { return host_.windowsFolder(); }
    std::string programPath() override { return host_.programPath(); }
    bool setCurrentDirectory(const std::string& folder) override {
        return host_.setCurrentDirectory(folder);
    }
    // As if the engine ran and failed: the walk's whole work for a file, failure mark included.
    ProcessOutcome runAndWait(const ProcessCommand&, ShowState) override {
        return ProcessOutcome{true, 0, {}};
    }
    bool start(const ProcessCommand& command, ShowState show) override {
        return host_.start(command, show);
    }
    void clearAttributes(const std::string& path) override { host_.clearAttributes(path); }
    void deleteFile(const std::string& path) override { host_.deleteFile(path); }
    std::unique_ptr<FolderSearch> findFirst(const std::string& pattern) override {
        return host_.findFirst(pattern);
    }
    void createFolder(const std::string& path) override { host_.createFolder(path); }
    std::optional<FolderIdentity> folderIdentity(const std::string& path) override {
        return host_.folderIdentity(path);
    }
    PathKind kindOf(const std::string& path) override { return host_.kindOf(path); }
    std::string createPrivateFolder() override { return host_.createPrivateFolder(); }
    void removeFolderTree(const std::string& path) override { host_.removeFolderTree(path); }
    std::optional<std::string> fileNameFromUtf8(std::string_view name) override {
        return host_.fileNameFromUtf8(name);
    }

private:
    Platform& host_;
};

struct Figures {
    double seconds = 0;
    int files = 0;
};

Figures timeBatch(Platform& platform, const std::string& source, const std::string& output,
                  const std::string& engine) {
    FrontEndState state;
    state.sourceFolder = source;
    state.outputFolder = output;
    state.enginePath = engine;
    testing::NullSink sink;
    BatchWalker walker(platform, state, sink, hostTexts());
    const auto begin = std::chrono::steady_clock::now();
    walker.start();
    walker.wait();
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - begin;
    return {spent.count(), state.producedCount.load()};
}

void print(const char* name, const Figures& best) {
    std::printf("%-10s %6d files  %9.2f us/file  %10.0f files/s\n", name, best.files,
                best.seconds * 1e6 / best.files, best.files / best.seconds);
}

// The fastest of a few runs, which shows the walk's cost rather than the machine's noise.
template <typename Run>
Figures best(int runs, Run run) {
    Figures fastest = run();
    for (int i = 1; i < runs; ++i) {
        const Figures next = run();
        if (next.seconds < fastest.seconds) fastest = next;
    }
    return fastest;
}

}  // namespace
}  // namespace brindle

int main(int argc, char** argv) {
    using namespace brindle;
    const int folders = argc > 1 ? std::atoi(argv[1]) : 40;
    const int perFolder = argc > 2 ? std::atoi(argv[2]) : 100;
    if (folders <= 0 || perFolder <= 0) {
        std::fprintf(stderr, "usage: batch_walk_bench [folders [files per folder]]\n");
        return 2;
    }
    const PathStyle& style = hostPlatform().pathStyle();
    const auto className = [](int folder, int file) {
        return "d" + std::to_string(folder) + "/C" + std::to_string(file) + ".class";
    };

    testing::MemoryPlatform memory(style);
    memory.recording = false;
    for (int d = 0; d < folders; ++d) {
        for (int f = 0; f < perFolder; ++f) memory.addFile("/src/" + className(d, f));
    }
    print("memory", best(5, [&] { return timeBatch(memory, "/src", "/out", "E "); }));

    testing::TempFolder temp;
    const std::string source = temp.text() + "src";
    for (int d = 0; d < folders; ++d) {
        std::filesystem::create_directories(source + "/d" + std::to_string(d));
        for (int f = 0; f < perFolder; ++f) std::ofstream(source + "/" + className(d, f)) << "x";
    }
    const std::string output = temp.text() + "out";
    NoEnginePlatform disk(hostPlatform());
    print("disk", best(3, [&] { return timeBatch(disk, source, output, "E "); }));
    print("/bin/true", timeBatch(hostPlatform(), source, output, "/bin/true "));

    const char* debianJar = "/usr/share/java/commons-lang3.jar";
    const std::string jars = temp.text() + "jars";
    std::filesystem::create_directories(jars);
    std::error_code error;
    std::filesystem::copy_file(debianJar, jars + "/commons-lang3.jar", error);
    if (error) {
        std::fprintf(stderr, "no %s (libcommons-lang3-java): the jar run is left out\n", debianJar);
        return 0;
    }
    print("jar", best(3, [&] { return timeBatch(disk, jars, temp.text() + "jar-out", "E "); }));
    return 0;
}
