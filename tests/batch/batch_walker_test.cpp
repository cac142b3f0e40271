// The batch on real folders in a temporary folder, through the host platform, with the
// recording fake engine copied beside them. Built for Linux and for Windows (run under Wine).

#include "core/batch_walker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "batch/recording_sink.h"
#include "fakes/fake_log.h"
#include "os/host_platform.h"
#include "support/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace brindle {
namespace {

using testing::doneMessage;
using testing::RecordingSink;
using testing::Row;
using Calls = std::vector<std::vector<std::string>>;
namespace fs = std::filesystem;

constexpr char kSep = static_cast<char>(fs::path::preferred_separator);

// A path of the build, as this program sees it.
std::string buildPath(std::string path) {
#ifdef _WIN32
    // Wine shows the Linux file system as drive Z:.
    std::replace(path.begin(), path.end(), '/', '\\');
    path.insert(0, "Z:");
#endif
    return path;
}

void writeFile(const std::string& path) {
    std::ofstream(path, std::ios::binary) << "class";
}
void makeFolder(const std::string& path) {
    fs::create_directories(path);
}
bool exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

class BatchOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        engine_ = root_ + "engine.exe";
#else
        engine_ = root_ + "engine";
#endif
        fs::copy_file(buildPath(FAKE_ENGINE), engine_);
        state_.enginePath = engine_ + " ";
        makeFolder(src_);
    }

    void run() {
        state_.sourceFolder = src_;
        state_.outputFolder = out_;
        ASSERT_TRUE(walker_.start());
        walker_.wait();
    }

    Calls engineCalls() const {
        return fakes::readCalls(engine_ + ".log");
    }

    // The class file each engine run was given, sorted: the platform's entry order is its own.
    std::vector<std::string> classFilesHandedOver() const {
        std::vector<std::string> files;
        for (const auto& call : engineCalls()) {
            std::string last = call.empty() ? std::string() : call.back();
#ifdef _WIN32
            // The one item is the whole command line, which ends in the quoted class path.
            const std::size_t open = last.rfind('"', last.size() - 2);
            last = open == std::string::npos ? last : last.substr(open + 1, last.size() - open - 2);
#endif
            files.push_back(last);
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    std::vector<Row> sortedRows() const {
        std::vector<Row> rows = sink_.rows();
        std::sort(rows.begin(), rows.end(),
                  [](const Row& a, const Row& b) { return a.column0 < b.column0; });
        return rows;
    }

    std::string under(const std::string& folder, const std::string& name) const {
        return folder + kSep + name;
    }

    testing::TempFolder temp_;
    std::string root_ = temp_.text();
    std::string src_ = root_ + "src";
    std::string out_ = root_ + "out";
    std::string engine_;
    FrontEndState state_;
    RecordingSink sink_;
    BatchWalker walker_{hostPlatform(), state_, sink_, hostTexts()};
};

TEST_F(BatchOnDisk, ExampleTree) {
    const std::string a = under(src_, "a");
    makeFolder(a);
    writeFile(under(src_, "Foo.class"));
    writeFile(under(a, "Bar.CLASS"));
    makeFolder(out_);
    const std::string outA = under(out_, "a");
    bool mirroredBeforeBar = false;
    sink_.onInsertRow = [&](const std::string& column0) {
        if (column0 == "Bar.java") mirroredBeforeBar = exists(outA);
    };
    run();

#ifdef _WIN32
    const std::string head = engine_ + " -sjava -8 -ff -d\"";
    Calls expected{{head + out_ + "\" \"" + under(src_, "Foo.class") + "\""},
                   {head + outA + "\" \"" + under(a, "Bar.CLASS") + "\""}};
#else
    Calls expected{{"-sjava", "-8", "-ff", "-d" + out_, "--", under(src_, "Foo.class")},
                   {"-sjava", "-8", "-ff", "-d" + outA, "--", under(a, "Bar.CLASS")}};
#endif
    Calls calls = engineCalls();
    std::sort(calls.begin(), calls.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(calls, expected);

    EXPECT_TRUE(mirroredBeforeBar);
    EXPECT_TRUE(exists(under(out_, "Foo.java")));
    EXPECT_TRUE(exists(under(outA, "Bar.java")));
    EXPECT_EQ(sortedRows(), (std::vector<Row>{{"Bar.java", outA}, {"Foo.java", out_}}));

    // Row i belongs to entry i, which keeps the doubled separator before the file name.
    const std::vector<Row> rows = sink_.rows();
    const std::vector<std::string> produced = state_.producedFiles.snapshot();
    ASSERT_EQ(produced.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(produced[i], rows[i].column1 + kSep + kSep + rows[i].column0);
    }
    EXPECT_EQ(state_.producedCount.load(), 2);

    const Texts& texts = hostTexts();
    EXPECT_EQ(sink_.calls(),
              (std::vector<std::string>{std::string("start text ") + texts.stopBatch, "source off",
                                        "output off", "delete rows", "source on", "output on",
                                        std::string("start text ") + texts.startBatch,
                                        doneMessage(hostTexts(), 2)}));
}

TEST_F(BatchOnDisk, ClassFilesByNameAndEveryFolderMirrored) {
    writeFile(under(src_, "readme.txt"));
    writeFile(under(src_, "Foo.class.bak"));
    writeFile(under(src_, "myclass"));
    makeFolder(under(src_, "empty"));
#ifdef _WIN32
    const std::string hiddenName = "hidden";
    makeFolder(under(src_, hiddenName));
    SetFileAttributesA(under(src_, hiddenName).c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
#else
    const std::string hiddenName = ".hidden";
    makeFolder(under(src_, hiddenName));
#endif
    writeFile(under(under(src_, hiddenName), "H.class"));
    // Two missing levels above the mirrored folders: making them creates every level.
    out_ = under(under(root_ + "new", "deeper"), "out");
    run();

    EXPECT_EQ(classFilesHandedOver(),
              (std::vector<std::string>{under(under(src_, hiddenName), "H.class"),
                                        under(src_, "myclass")}));
    EXPECT_TRUE(exists(under(out_, "empty")));
    EXPECT_TRUE(exists(under(under(out_, hiddenName), "H.java")));
    EXPECT_EQ(sortedRows(),
              (std::vector<Row>{{"H.java", under(out_, hiddenName)}, {"myclass.java", out_}}));
    EXPECT_EQ(sink_.calls().back(), doneMessage(hostTexts(), 2));
}

TEST_F(BatchOnDisk, EmptyOrMissingSourceFolderReportsZero) {
    for (const bool missing : {false, true}) {
        if (missing) src_ = root_ + "missing";
        run();
        EXPECT_TRUE(engineCalls().empty());
        EXPECT_TRUE(sink_.rows().empty());
        EXPECT_EQ(sink_.calls().back(), doneMessage(hostTexts(), 0)) << missing;
        EXPECT_FALSE(exists(out_));
    }
}

TEST_F(BatchOnDisk, StopLetsTheEngineRunFinishAndEndsBeforeTheNextEntry) {
    for (const char* name : {"A.class", "B.class", "C.class"}) writeFile(under(src_, name));
    makeFolder(under(src_, "sub"));
    writeFile(under(under(src_, "sub"), "D.class"));
    makeFolder(out_);
    const std::string gate = engine_ + ".gate";
    writeFile(gate);
    bool resultWrittenBeforeMessage = false;
    sink_.onMessage = [&] {
        const std::vector<Row> rows = sink_.rows();
        resultWrittenBeforeMessage =
            rows.size() == 1 && exists(under(rows[0].column1, rows[0].column0));
    };

    state_.sourceFolder = src_;
    state_.outputFolder = out_;
    ASSERT_TRUE(walker_.start());
    for (int i = 0; i < 1000 && engineCalls().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(engineCalls().size(), 1u);
    // The row and its entry are there while the engine runs; the count follows the run.
    EXPECT_EQ(sink_.rows().size(), 1u);
    EXPECT_EQ(state_.producedFiles.size(), 1u);
    EXPECT_EQ(state_.producedCount.load(), 0);
    EXPECT_TRUE(walker_.running());
    EXPECT_FALSE(walker_.start());  // one worker at a time
    walker_.stop();
    fs::remove(gate);
    walker_.wait();

    EXPECT_FALSE(walker_.running());
    EXPECT_EQ(engineCalls().size(), 1u);
    EXPECT_TRUE(resultWrittenBeforeMessage);
    EXPECT_EQ(state_.producedFiles.size(), 1u);
    EXPECT_EQ(state_.producedCount.load(), 1);
    EXPECT_EQ(sink_.calls().back(), doneMessage(hostTexts(), 1));

    // The next batch starts afresh and hands over everything.
    sink_.onMessage = nullptr;
    ASSERT_TRUE(walker_.start());
    walker_.wait();
    EXPECT_EQ(state_.producedFiles.size(), 4u);
    EXPECT_EQ(sink_.rows().size(), 4u);
    EXPECT_EQ(sink_.calls().back(), doneMessage(hostTexts(), 4));
}

// The output folder inside the source, named in other words than the walk's own: it is never
// entered, so no mirrored folder is made inside a mirrored folder.
TEST_F(BatchOnDisk, OutputFolderInsideTheSourceIsKnownHoweverItIsSpelled) {
    const std::string sep(1, kSep);
    struct Spelling {
        std::string name;
        std::string source;
        std::string output;
        std::string realOutput;
        std::vector<std::string> classFiles;  // relative to the source
    };
    std::vector<Spelling> spellings{
#ifdef _WIN32
        // Folder names do not tell letter case apart here.
        {"letter case", src_, under(src_, "OUT"), under(src_, "out"), {}},
#endif
        {"trailing separator", src_, under(src_, "out") + sep, under(src_, "out"), {}},
        {"dot", src_, src_ + sep + "." + sep + "out", under(src_, "out"), {}},
        {"doubled separator", src_, src_ + sep + sep + "out", under(src_, "out"), {}},
    };
    for (Spelling& spelling : spellings) spelling.classFiles = {"Y.class", under("a", "X.class")};
    makeFolder(under(src_, "a"));
    writeFile(under(under(src_, "a"), "X.class"));
    writeFile(under(src_, "Y.class"));
    // Made beforehand, so that the folder search meets it.
    makeFolder(under(src_, "out"));

    // A source reached through a link to its parent folder.
#ifdef LINK_TREE
    const std::string tree = buildPath(LINK_TREE);
    spellings.push_back({"link to the parent", under(under(tree, "via"), "src"),
                         under(under(tree, "src"), "out"), under(under(tree, "src"), "out"),
                         {"C.class", under("a", "B.class")}});
#else
    fs::create_directory_symlink(".", root_ + "via");
    spellings.push_back({"link to the parent", under(root_ + "via", "src"),
                         under(src_, "out"), under(src_, "out"), spellings[0].classFiles});
#endif

    for (const Spelling& s : spellings) {
        SCOPED_TRACE(s.name + ": " + s.source + " -> " + s.output);
        makeFolder(s.realOutput);
        src_ = s.source;
        out_ = s.output;
        run();

        std::vector<std::string> expected;
        for (const std::string& file : s.classFiles) expected.push_back(under(s.source, file));
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(classFilesHandedOver(), expected);
        EXPECT_TRUE(exists(under(s.realOutput, "a")));
        EXPECT_FALSE(exists(under(s.realOutput, "out")));
        EXPECT_EQ(sink_.calls().back(), doneMessage(hostTexts(), 2));

        fs::remove(engine_ + ".log");
        fs::remove_all(s.realOutput);
    }
}

TEST_F(BatchOnDisk, LinkBackToAnAncestorIsNotFollowed) {
#ifdef LINK_TREE
    src_ = buildPath(LINK_TREE "/src");
    const std::string a = under(src_, "a");
#else
    const std::string a = under(src_, "a");
    makeFolder(a);
    writeFile(under(a, "B.class"));
    writeFile(under(src_, "C.class"));
    fs::create_directory_symlink(src_, under(a, "up"));
    fs::create_directory_symlink(".", under(a, "self"));
#endif
    run();

    EXPECT_EQ(classFilesHandedOver(),
              (std::vector<std::string>{under(src_, "C.class"), under(a, "B.class")}));
    EXPECT_TRUE(exists(under(out_, "a")));
    EXPECT_FALSE(exists(under(under(out_, "a"), "up")));
    EXPECT_EQ(sink_.calls().back(), doneMessage(hostTexts(), 2));
}

}  // namespace
}  // namespace brindle
