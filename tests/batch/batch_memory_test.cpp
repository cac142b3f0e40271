// The whole batch against in-memory folders, in both path styles: a fixed entry order, and
// paths longer than any fixed buffer.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch/memory_platform.h"
#include "batch/recording_sink.h"
#include "core/batch_walker.h"
#include "core/path_styles.h"
#include "os/host_platform.h"

namespace brindle {
namespace {

using testing::doneMessage;
using testing::kLinux;
using testing::kWindows;
using testing::MemoryPlatform;
using testing::RecordingSink;
using testing::Row;

constexpr const char* kEngine = "E ";

struct Batch {
    explicit Batch(const PathStyle& style) : platform(style) { state.enginePath = kEngine; }
    void run(const std::string& source, const std::string& output) {
        state.sourceFolder = source;
        state.outputFolder = output;
        ASSERT_TRUE(walker.start());
        walker.wait();
    }
    std::vector<std::string> commandTexts() const {
        std::vector<std::string> texts;
        for (const ProcessCommand& command : platform.runs) texts.push_back(command.text);
        return texts;
    }
    std::string lastMessage() const { return sink.calls().back(); }

    MemoryPlatform platform;
    FrontEndState state;
    RecordingSink sink;
    BatchWalker walker{platform, state, sink, hostTexts()};
};

std::string engineText(const std::string& folder, const std::string& classPath) {
    std::string text(kEngine);
    text.append("-sjava -8 -ff -d\"").append(folder).append("\" \"").append(classPath).append("\"");
    return text;
}

struct TreeCase {
    const PathStyle* style;
    std::string source;
    std::string output;
    std::vector<std::string> files;          // in the platform's order
    std::vector<std::string> engineFolders;  // per file, the -d folder
    std::vector<std::string> created;
    std::vector<Row> rows;
    std::vector<std::string> produced;
};

TEST(BatchInMemory, TreesInBothPathStyles) {
    const TreeCase cases[] = {
        // A subfolder is walked when it is met, before the entries after it.
        {&kWindows,
         "C:\\src",
         "D:\\out",
         {"C:\\src\\Foo.class", "C:\\src\\a\\Bar.CLASS", "C:\\src\\Zed.class"},
         {"D:\\out", "D:\\out\\a", "D:\\out"},
         {"D:\\out", "D:\\out\\a"},
         {{"Foo.java", "D:\\out"}, {"Bar.java", "D:\\out\\a"}, {"Zed.java", "D:\\out"}},
         {"D:\\out\\\\Foo.java", "D:\\out\\a\\\\Bar.java", "D:\\out\\\\Zed.java"}},
        {&kWindows,
         "C:\\",
         "D:\\out",
         {"C:\\x\\Y.class"},
         {"D:\\out\\x"},
         {"D:\\out", "D:\\out\\x"},
         {{"Y.java", "D:\\out\\x"}},
         {"D:\\out\\x\\\\Y.java"}},
        // A source written with a trailing separator is the same folder.
        {&kWindows,
         "C:\\src\\",
         "D:\\",
         {"C:\\src\\Foo.class", "C:\\src\\a\\Bar.class"},
         {"D:\\", "D:\\a"},
         {"D:\\a"},
         {{"Foo.java", "D:\\"}, {"Bar.java", "D:\\a"}},
         {"D:\\Foo.java", "D:\\a\\\\Bar.java"}},
        {&kLinux,
         "/src",
         "/out",
         {"/src/Foo.class", "/src/a/Bar.CLASS", "/src/Zed.class"},
         {"/out", "/out/a", "/out"},
         {"/out", "/out/a"},
         {{"Foo.java", "/out"}, {"Bar.java", "/out/a"}, {"Zed.java", "/out"}},
         {"/out//Foo.java", "/out/a//Bar.java", "/out//Zed.java"}},
        {&kLinux,
         "/",
         "/out",
         {"/x/Y.class"},
         {"/out/x"},
         {"/out", "/out/x"},
         {{"Y.java", "/out/x"}},
         {"/out/x//Y.java"}},
        {&kLinux,
         "/src",
         "/",
         {"/src/Foo.class", "/src/a/Bar.class"},
         {"/", "/a"},
         {"/a"},
         {{"Foo.java", "/"}, {"Bar.java", "/a"}},
         {"/Foo.java", "/a//Bar.java"}},
    };
    for (const TreeCase& c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.output);
        Batch batch(*c.style);
        for (const std::string& file : c.files) batch.platform.addFile(file);
        batch.run(c.source, c.output);

        std::vector<std::string> commands;
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            commands.push_back(engineText(c.engineFolders[i], c.files[i]));
        }
        EXPECT_EQ(batch.commandTexts(), commands);
        EXPECT_TRUE(batch.platform.hidden);
        EXPECT_EQ(batch.platform.created, c.created);
        EXPECT_EQ(batch.sink.rows(), c.rows);
        EXPECT_EQ(batch.state.producedFiles.snapshot(), c.produced);
        // The stale result of every file is cleared and removed before its engine runs.
        EXPECT_EQ(batch.platform.cleared, c.produced);
        EXPECT_EQ(batch.platform.deleted, c.produced);
        EXPECT_EQ(batch.state.producedCount.load(), static_cast<int>(c.files.size()));
        EXPECT_EQ(batch.lastMessage(), doneMessage(hostTexts(), static_cast<int>(c.files.size())));
    }
}

TEST(BatchInMemory, PathsLongerThanAnyFixedBufferAreWalkedWhole) {
    for (const PathStyle* style : {&kWindows, &kLinux}) {
        const std::string sep(1, style->separator);
        const std::string source = style == &kWindows ? "C:\\src" : "/src";
        const std::string output = style == &kWindows ? "D:\\out" : "/out";
        std::string relative;
        for (char level = 'a'; level <= 'e'; ++level) relative += std::string(150, level) + sep;
        const std::string deepClass = source + sep + relative + "Deep.class";
        Batch batch(*style);
        batch.platform.addFile(source + sep + "Top.class");
        batch.platform.addFile(deepClass);
        batch.run(source, output);

        const std::string mirrored = output + sep + relative;
        ASSERT_GT(mirrored.size(), 750u);
        std::string deepFolder = mirrored;
        deepFolder.pop_back();
        EXPECT_EQ(batch.commandTexts().back(), engineText(deepFolder, deepClass));
        EXPECT_EQ(batch.state.producedFiles.snapshot().back(), mirrored + sep + "Deep.java");
        EXPECT_EQ(batch.platform.created.back(), deepFolder);
        EXPECT_EQ(batch.sink.rows().back(), (Row{"Deep.java", deepFolder}));
        EXPECT_EQ(batch.lastMessage(), doneMessage(hostTexts(), 2));
    }
}

TEST(BatchInMemory, StopIsSeenBeforeTheFirstEntryOfTheNextFolder) {
    Batch batch(kWindows);
    batch.platform.addFile("C:\\src\\A.class");
    batch.platform.addFile("C:\\src\\sub\\B.class");
    batch.platform.addFile("C:\\src\\Z.class");
    batch.platform.onFindFirst = [&](const std::string& pattern) {
        if (pattern == "C:\\src\\sub\\*.*") batch.walker.stop();
    };
    batch.run("C:\\src", "D:\\out");

    EXPECT_EQ(batch.platform.patterns,
              (std::vector<std::string>{"C:\\src\\*.*", "C:\\src\\sub\\*.*"}));
    EXPECT_EQ(batch.commandTexts(),
              (std::vector<std::string>{engineText("D:\\out", "C:\\src\\A.class")}));
    EXPECT_EQ(batch.sink.rows(), (std::vector<Row>{{"A.java", "D:\\out"}}));
    EXPECT_EQ(batch.lastMessage(), doneMessage(hostTexts(), 1));
}

struct SpellingCase {
    const PathStyle* style;
    std::string tree;    // where the source folder really is
    std::string source;  // as the batch is given it
    std::string output;
    std::string link = {}, linkTarget = {};
};

TEST(BatchInMemory, OutputFolderInsideTheSourceIsNeverEnteredHoweverItIsSpelled) {
    const SpellingCase cases[] = {
        {&kWindows, "C:\\src", "C:\\src", "c:\\SRC\\Out\\"},
        {&kWindows, "C:\\src", "C:\\src", "C:\\src\\.\\out"},
        {&kWindows, "C:\\src", "C:\\src", "C:\\src\\\\out"},
        {&kWindows, "C:\\real\\src", "C:\\via\\src", "C:\\real\\src\\out", "C:\\via", "C:\\real"},
        {&kLinux, "/src", "/src", "/src/out/"},
        {&kLinux, "/src", "/src", "/src/./out"},
        {&kLinux, "/src", "/src", "/src//out"},
        {&kLinux, "/real/src", "/via/src", "/real/src/out", "/via", "/real"},
    };
    for (const SpellingCase& c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.output);
        const std::string sep(1, c.style->separator);
        Batch batch(*c.style);
        batch.platform.addFile(c.tree + sep + "a" + sep + "X.class");
        batch.platform.addFile(c.tree + sep + "out" + sep + "Old.class");
        batch.platform.addFile(c.tree + sep + "out" + sep + "deeper" + sep + "Older.class");
        batch.platform.addFile(c.tree + sep + "Y.class");
        if (!c.link.empty()) batch.platform.addLink(c.link, c.linkTarget);
        batch.run(c.source, c.output);

        EXPECT_EQ(batch.platform.patterns,
                  (std::vector<std::string>{c.source + sep + "*.*", c.source + sep + "a" + sep + "*.*"}));
        ASSERT_EQ(batch.platform.runs.size(), 2u);
        EXPECT_EQ(batch.platform.runs[0].argv.back(), c.source + sep + "a" + sep + "X.class");
        EXPECT_EQ(batch.platform.runs[1].argv.back(), c.source + sep + "Y.class");
        EXPECT_EQ(batch.lastMessage(), doneMessage(hostTexts(), 2));
    }
}

// Names that only look alike are other folders: they are walked like any other.
TEST(BatchInMemory, AnOutputFolderBesideTheSourceIsNoneOfItsFolders) {
    for (const std::string& output : {std::string("/src/OUT"), std::string("/src/outer"),
                                      std::string("/srcx/out"), std::string("/out")}) {
        Batch batch(kLinux);
        batch.platform.addFile("/src/out/Old.class");
        batch.platform.addFolder(output);
        batch.run("/src", output);
        EXPECT_EQ(batch.platform.runs.size(), 1u) << output;
    }
}

TEST(BatchInMemory, FailedFilesAreMarkedAndCountedApart) {
    for (const PathStyle* style : {&kWindows, &kLinux}) {
        const std::string sep(1, style->separator);
        const std::string src = style == &kWindows ? "C:\\src" : "/src";
        const std::string out = style == &kWindows ? "D:\\out" : "/out";
        Batch batch(*style);
        for (const char* name : {"A.class", "B.class", "C.class"}) batch.platform.addFile(src + sep + name);
        batch.platform.failing = {src + sep + "B.class"};
        batch.run(src, out);

        std::vector<Row> rows = batch.sink.rows();
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[1], (Row{"B.java", out, true}));
        EXPECT_FALSE(rows[0].failed || rows[2].failed);
        // The engine's own line is kept for the row; the others have none.
        EXPECT_EQ(batch.state.producedFiles.failureAt(1), "cannot decompile " + src + sep + "B.class");
        EXPECT_EQ(batch.state.producedFiles.failureAt(0), std::nullopt);
        EXPECT_EQ(batch.state.producedCount.load(), 3);
        EXPECT_EQ(batch.lastMessage(), doneMessage(hostTexts(), 2, 1));
    }
}

TEST(BatchInMemory, AnEngineThatCannotStartEndsTheBatchAtTheFirstFile) {
    Batch batch(kWindows);
    batch.state.enginePath = "C:\\WINDOWS\\Jad.exe ";
    for (const char* name : {"A.class", "sub\\B.class", "C.class"}) batch.platform.addFile("C:\\src\\" + std::string(name));
    batch.platform.engineMissing = true;
    batch.run("C:\\src", "D:\\out");

    const std::string missing = std::string(hostTexts().engineMissing) + "C:\\WINDOWS\\Jad.exe";
    EXPECT_EQ(batch.platform.runs.size(), 1u);
    EXPECT_EQ(batch.sink.rows(), (std::vector<Row>{{"A.java", "D:\\out", true}}));
    EXPECT_EQ(batch.state.producedFiles.failureAt(0), missing);
    // Said once: one failed file, and why.
    EXPECT_EQ(batch.lastMessage(), doneMessage(hostTexts(), 0, 1, missing));
}

TEST(BatchInMemory, NoSourceFolderWalksNothing) {
    Batch batch(kLinux);
    batch.platform.addFile("/Foo.class");
    batch.run("", "/out");

    EXPECT_TRUE(batch.platform.patterns.empty());
    EXPECT_TRUE(batch.platform.runs.empty());
    EXPECT_EQ(batch.lastMessage(), doneMessage(hostTexts(), 0));
}

}  // namespace
}  // namespace brindle
