// The batch over archives on real folders, through the host platform, with the recording fake
// engine: jars in the tree, a war holding a jar, an archive as the source, hostile and damaged
// archives, and the private temporary folders (none left after any batch). On Linux also with
// the real jad on classes of Debian's commons-lang3. Built for Linux and for Windows (Wine).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "archive/zip_archive.h"
#include "batch/recording_sink.h"
#include "core/batch_walker.h"
#include "fakes/fake_log.h"
#include "os/host_platform.h"
#include "support/files.h"
#include "support/temp_folder.h"
#include "support/zip_writer.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace brindle {
namespace {

using testing::doneMessage;
using testing::RecordingSink;
using testing::Row;
using testing::ZipWriter;
namespace fs = std::filesystem;
}  // namespace
namespace testing {
// Readable failures.
inline void PrintTo(const Row& row, std::ostream* out) {
    *out << row.column0 << " in " << row.column1;
}
}  // namespace testing
namespace {

constexpr char kSep = static_cast<char>(fs::path::preferred_separator);

// parts joined by the platform's separator.
std::string path(std::initializer_list<std::string> parts) {
    std::string joined;
    for (const std::string& part : parts) {
        if (!joined.empty()) joined += kSep;
        joined += part;
    }
    return joined;
}

std::string buildPath(std::string text) {
#ifdef _WIN32
    std::replace(text.begin(), text.end(), '/', '\\');
    text.insert(0, "Z:");
#endif
    return text;
}

// Through the C library, so that a narrow path means what it means to the platform's API.
bool exists(const std::string& file) {
    std::FILE* opened = std::fopen(file.c_str(), "rb");
    if (opened != nullptr) std::fclose(opened);
    return opened != nullptr;
}

// The text after the last separator; on Windows a double-byte character's trail byte is none.
std::string fileNameOf(const std::string& file) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < file.size(); ++i) {
#ifdef _WIN32
        if (IsDBCSLeadByte(static_cast<BYTE>(file[i])) && i + 1 < file.size()) {
            ++i;
            continue;
        }
#endif
        if (file[i] == kSep) start = i + 1;
    }
    return file.substr(start);
}

// Every file and folder below folder, as paths relative to it.
std::vector<std::string> contentsOf(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
        found.push_back(fs::relative(entry.path(), folder).string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

const std::string kClass = "\xCA\xFE\xBA\xBE class bytes";

class BatchOverArchives : public ::testing::Test {
protected:
    void SetUp() override {
        engine_ = root_ + "engine" + kExe;
        fs::copy_file(buildPath(FAKE_ENGINE), engine_);
        state_.enginePath = engine_ + " ";
        fs::create_directories(src_);
        fs::create_directories(scratch_);
        // The temporary folders of the batch go here, where the test can see them.
#ifdef _WIN32
        SetEnvironmentVariableA("TMP", scratch_.c_str());
#else
        setenv("TMPDIR", scratch_.c_str(), 1);
#endif
    }
    void TearDown() override {
#ifdef _WIN32
        SetEnvironmentVariableA("TMP", nullptr);
#else
        unsetenv("TMPDIR");
#endif
    }

    void save(const std::string& file, const std::string& bytes) {
        fs::create_directories(fs::path(file).parent_path());
        ASSERT_TRUE(testing::writeFile(file, bytes)) << file;
    }

    void run(const std::string& source) {
        state_.sourceFolder = source;
        state_.outputFolder = out_;
        ASSERT_TRUE(walker_.start());
        walker_.wait();
    }

    // Each engine run: its -d folder and the class file's name, sorted.
    std::vector<std::pair<std::string, std::string>> engineRuns() const {
        std::vector<std::pair<std::string, std::string>> runs;
        for (const auto& call : fakes::readCalls(engine_ + ".log")) {
#ifdef _WIN32
            // The one item is the whole command line: ... -d"<folder>" "<class file>"
            const std::string& line = call.at(0);
            const std::size_t open = line.find("-d\"") + 3;
            const std::string folder = line.substr(open, line.find('"', open) - open);
            std::string classFile = line.substr(line.rfind('"', line.size() - 2) + 1);
            classFile.pop_back();
#else
            std::string folder = call.at(3).substr(2);
            const std::string& classFile = call.back();
#endif
            runs.emplace_back(folder, fileNameOf(classFile));
        }
        std::sort(runs.begin(), runs.end());
        return runs;
    }

    std::vector<Row> sortedRows() const {
        return sorted(sink_.rows());
    }
    static std::vector<Row> sorted(std::vector<Row> rows) {
        std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
            return a.column1 + a.column0 < b.column1 + b.column0;
        });
        return rows;
    }

#ifdef _WIN32
    static constexpr const char* kExe = ".exe";
#else
    static constexpr const char* kExe = "";
#endif
    testing::TempFolder temp_;
    std::string root_ = temp_.text();
    std::string src_ = root_ + "src";
    std::string out_ = root_ + "out";
    std::string scratch_ = root_ + "tmp";
    std::string engine_;
    FrontEndState state_;
    RecordingSink sink_;
    BatchWalker walker_{hostPlatform(), state_, sink_, hostTexts()};
};

TEST_F(BatchOverArchives, JarsInTheTreeAndAJarInAWarAreWalkedLikeFolders) {
    save(path({src_, "Top.class"}), kClass);
    save(path({src_, "lib", "foo.jar"}),
         ZipWriter()
             .folder("META-INF/")
             .file("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\n")
             .file("org/ex/Foo.class", kClass)
             .file("org/ex/Foo$Inner.class", kClass)
             .file("org/ex/notes.txt", "not a class")
             .bytes());
    // A real folder already holds the name foo.jar's sources would take.
    fs::create_directories(path({src_, "lib", "foo.jar.src"}));
    const std::string inner = ZipWriter().file("p/Deep.class", kClass).bytes();
    save(path({src_, "app.WAR"}),
         ZipWriter()
             .file("WEB-INF/classes/a/Servlet.class", kClass)
             .add({.name = "WEB-INF/lib/inner.jar", .data = inner, .deflate = false})
             .bytes());
    // When Foo goes to the engine, its nested class lies beside it.
    bool nestedBeside = false;
    sink_.onInsertRow = [&](const std::string& column0) {
        if (column0 != "Foo.java") return;
        for (const std::string& file : contentsOf(scratch_)) {
            if (fs::path(file).filename() == "Foo$Inner.class") nestedBeside = true;
        }
    };
    run(src_);

    const std::string foo = path({out_, "lib", "foo.jar.src.1", "org", "ex"});
    const std::string servlet = path({out_, "app.WAR.src", "WEB-INF", "classes", "a"});
    const std::string deep = path({out_, "app.WAR.src", "WEB-INF", "lib", "inner.jar.src", "p"});
    EXPECT_EQ(engineRuns(),
              (std::vector<std::pair<std::string, std::string>>{{out_, "Top.class"},
                                                                {servlet, "Servlet.class"},
                                                                {deep, "Deep.class"},
                                                                {foo, "Foo$Inner.class"},
                                                                {foo, "Foo.class"}}));
    EXPECT_EQ(sortedRows(), sorted({{"Top.java", out_},
                                    {"Servlet.java", servlet},
                                    {"Deep.java", deep},
                                    {"Foo$Inner.java", foo},
                                    {"Foo.java", foo}}));
    EXPECT_TRUE(nestedBeside);
    for (const std::string& file : {path({foo, "Foo.java"}), path({deep, "Deep.java"})}) {
        EXPECT_TRUE(exists(file)) << file;
    }
    // Every folder of an archive is mirrored, as real folders are.
    EXPECT_TRUE(fs::is_directory(path({out_, "lib", "foo.jar.src.1", "META-INF"})));
    EXPECT_EQ(sink_.calls().back(), doneMessage(hostTexts(), 5));
    EXPECT_EQ(contentsOf(scratch_), std::vector<std::string>{});
}

TEST_F(BatchOverArchives, AnArchiveChosenAsTheSourceFillsTheOutputFolder) {
    const std::string jar = path({src_, "only.jar"});
    save(jar, ZipWriter().file("a/b/C.class", kClass).bytes());
    run(jar);

    const std::string folder = path({out_, "a", "b"});
    EXPECT_EQ(engineRuns(),
              (std::vector<std::pair<std::string, std::string>>{{folder, "C.class"}}));
    EXPECT_EQ(sink_.rows(), (std::vector<Row>{{"C.java", folder}}));
    EXPECT_TRUE(exists(path({folder, "C.java"})));
    EXPECT_EQ(contentsOf(scratch_), std::vector<std::string>{});
}

TEST_F(BatchOverArchives, HostileAndDamagedArchivesAreSkippedAndTheBatchGoesOn) {
    const std::uint16_t unix = (3 << 8) | 20;
    // Names that would climb out of the temporary folder (or the output folder), a link, and
    // two entries of one name: only the one good class and the first of the two go through.
    save(path({src_, "slip.jar"}),
         ZipWriter()
             .file("../../Evil1.class", kClass)
             .file("ok/../../../Evil2.class", kClass)
             .file("/tmp/Evil3.class", kClass)
             .file("C:/Evil4.class", kClass)
             .file("ok\\..\\..\\Evil5.class", kClass)
             .file("ok/Evil6.class\xff", kClass)
             .add({.name = "ok/Evil7.class",
                   .data = "../../Evil8.class",
                   .versionMadeBy = unix,
                   .externalAttributes = testing::unixMode(0120777)})
             .file("ok/Good.class", kClass)
             .file("ok/Good.class", "second of the name")
             .file("OK/Good.class", "the same name where letter case does not count")
             .bytes());
    const std::string good = ZipWriter().file("Fine.class", kClass).bytes();
    save(path({src_, "broken.jar"}), good.substr(0, good.size() - 30));
    save(path({src_, "notes.zip"}), "just some text in a file named like an archive");
    save(path({src_, "bomb.jar"}), ZipWriter()
                                       .file("Small.class", kClass)
                                       .file("Bomb.class", std::string(8 << 20, '\0'))
                                       .bytes());
    save(path({src_, "deeper", "Last.class"}), kClass);
    run(src_);

    std::vector<std::pair<std::string, std::string>> expected{
        {path({out_, "deeper"}), "Last.class"}, {path({out_, "slip.jar.src", "ok"}), "Good.class"}};
#ifndef _WIN32
    expected.insert(expected.begin() + 1, {path({out_, "slip.jar.src", "OK"}), "Good.class"});
#endif
    EXPECT_EQ(engineRuns(), expected);
    EXPECT_EQ(sink_.calls().back(), doneMessage(hostTexts(), static_cast<int>(expected.size())));
    // Nothing written anywhere but into the output folder, and no folder for skipped archives.
    for (const std::string& file : contentsOf(root_)) {
        EXPECT_EQ(file.find("Evil"), std::string::npos) << file;
    }
    EXPECT_FALSE(fs::exists(path({out_, "bomb.jar.src"})));
    EXPECT_FALSE(fs::exists(path({out_, "broken.jar.src"})));
    EXPECT_EQ(contentsOf(scratch_), std::vector<std::string>{});
}

TEST_F(BatchOverArchives, NamesThePlatformCannotCarryAreSkipped) {
    // Entry names are UTF-8. On Windows they must become code page 936 names the file system
    // keeps as they are; on Linux they stay UTF-8.
    save(path({src_, "names.jar"}),
         ZipWriter()
             .file("\xe5\x8c\x85/\xe6\x93\xbb.class", kClass)  // 包/擻.class: a trail byte 0x5C
             .file("\xe0\xa4\xb9/A.class", kClass)             // Devanagari, not in code page 936
             .file("con/B.class", kClass)
             .file("c./D.class", kClass)
             .file("e/F:G.class", kClass)
             .bytes());
    run(src_);

    const std::string jar = path({out_, "names.jar.src"});
#ifdef _WIN32
    const std::vector<std::pair<std::string, std::string>> expected{
        {path({jar, "\xb0\xfc"}), "\x94\x5c.class"}};
#else
    const std::vector<std::pair<std::string, std::string>> expected{
        {path({jar, "c."}), "D.class"},
        {path({jar, "con"}), "B.class"},
        {path({jar, "e"}), "F:G.class"},
        {path({jar, "\xe0\xa4\xb9"}), "A.class"},
        {path({jar, "\xe5\x8c\x85"}), "\xe6\x93\xbb.class"}};
#endif
    EXPECT_EQ(engineRuns(), expected);
    EXPECT_TRUE(exists(path({expected.back().first, "\x94\x5c.java"})) ||
                exists(path({expected.back().first, "\xe6\x93\xbb.java"})));
    EXPECT_EQ(contentsOf(scratch_), std::vector<std::string>{});
}

TEST_F(BatchOverArchives, FailedFilesAreMarkedWithWhy) {
    save(path({src_, "Good.class"}), kClass);
    save(path({src_, "Bad.class"}), "fail: Bad.class: not a class file\n");
    save(path({src_, "Quiet.class"}), "quiet");
    // An entry whose bytes no longer match their checksum.
    std::string jar = ZipWriter()
                          .add({.name = "p/Broken.class", .data = "BROKEN-BYTES", .deflate = false})
                          .file("p/Fine.class", kClass)
                          .bytes();
    jar[jar.find("BROKEN-BYTES")] = 'X';
    save(path({src_, "lib.jar"}), jar);
    run(src_);

    const Texts& texts = hostTexts();
    const std::string p = path({out_, "lib.jar.src", "p"});
    const std::vector<Row> expected{{"Bad.java", out_, true},     {"Good.java", out_, false},
                                    {"Quiet.java", out_, true},   {"Broken.java", p, true},
                                    {"Fine.java", p, false}};
    EXPECT_EQ(sortedRows(), sorted(expected));
    std::vector<std::pair<std::string, std::string>> reasons;
    const std::vector<Row> rows = sink_.rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (auto reason = state_.producedFiles.failureAt(i)) reasons.emplace_back(rows[i].column0, *reason);
    }
    std::sort(reasons.begin(), reasons.end());
    EXPECT_EQ(reasons, (std::vector<std::pair<std::string, std::string>>{
                           {"Bad.java", "Bad.class: not a class file"},
                           {"Broken.java", texts.entryUnreadable},
                           {"Quiet.java", texts.noSourceWritten}}));
    EXPECT_EQ(sink_.calls().back(), doneMessage(texts, 2, 3));
}

TEST_F(BatchOverArchives, StoppedOrAbandonedInsideAnArchiveLeavesNoTemporaryFolder) {
    for (const bool abandon : {false, true}) {
        SCOPED_TRACE(abandon ? "abandoned" : "stopped");
        fs::remove_all(src_);
        fs::remove(engine_ + ".log");
        save(path({src_, "held.jar"}),
             ZipWriter().file("A.class", kClass).file("B.class", kClass).bytes());
        const std::string gate = engine_ + ".gate";
        save(gate, "");
        state_.sourceFolder = src_;
        state_.outputFolder = out_;
        ASSERT_TRUE(walker_.start());
        for (int i = 0; i < 1000 && fakes::readCalls(engine_ + ".log").empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(fakes::readCalls(engine_ + ".log").size(), 1u);
        EXPECT_EQ(contentsOf(scratch_).size(), 3u);  // the folder and the two classes
        if (abandon) {
            // As a program does that ends at once: the folder goes while the engine still runs.
            walker_.abandon();
            EXPECT_EQ(contentsOf(scratch_), std::vector<std::string>{});
        } else {
            walker_.stop();
        }
        fs::remove(gate);
        walker_.wait();
        EXPECT_EQ(fakes::readCalls(engine_ + ".log").size(), 1u);
        EXPECT_EQ(contentsOf(scratch_), std::vector<std::string>{});
    }
}

#ifdef JAD_EXE
// The real jad on real classes: commons-lang3's tuple package, packed into a jar of its own with
// one class file that is none.
TEST_F(BatchOverArchives, RealJadDecompilesTheClassesOfADebianJar) {
    archive::ZipArchive debian;
    ASSERT_EQ(debian.open("/usr/share/java/commons-lang3.jar"), archive::ZipStatus::Ok);
    const std::string package = "org/apache/commons/lang3/tuple/";
    ZipWriter jar;
    int classes = 0;
    for (const archive::ZipEntry& entry : debian.entries()) {
        if (entry.name.rfind(package, 0) != 0 || entry.isFolder()) continue;
        std::string bytes;
        ASSERT_EQ(debian.extract(entry,
                                 [&](const char* p, std::size_t n) {
                                     bytes.append(p, n);
                                     return true;
                                 }),
                  archive::ZipStatus::Ok);
        jar.file(entry.name, bytes);
        ++classes;
    }
    ASSERT_GE(classes, 8);
    // A class file that is none: the engine fails on it, the others go on.
    jar.file(package + "Broken.class", "\xCA\xFE\xBA\xBE but nothing a class holds");
    save(path({src_, "lib", "commons-lang3.jar"}), jar.bytes());
    state_.enginePath = std::string(JAD_EXE) + " ";
    run(src_);

    const std::string sources =
        path({out_, "lib", "commons-lang3.jar.src", "org", "apache", "commons", "lang3", "tuple"});
    const std::vector<Row> rows = sink_.rows();
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(classes) + 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].failed, rows[i].column0 == "Broken.java") << rows[i].column0;
        // jad's own line says why.
        if (rows[i].failed) {
            EXPECT_EQ(state_.producedFiles.failureAt(i).value_or("").rfind("jad: ", 0), 0u);
        }
    }
    EXPECT_EQ(sink_.calls().back(), doneMessage(hostTexts(), classes, 1));
    const std::string pair = testing::readFile(path({sources, "Pair.java"}));
    EXPECT_NE(pair.find("public abstract class Pair<L, R>"), std::string::npos) << pair;
    // Its nested class lay beside it, so the engine folded it in.
    EXPECT_NE(pair.find("class PairAdapter"), std::string::npos) << pair;
    EXPECT_NE(testing::readFile(path({sources, "MutableTriple.java"})).find("class MutableTriple"),
              std::string::npos);
    EXPECT_EQ(contentsOf(scratch_), std::vector<std::string>{});
}
#endif

}  // namespace
}  // namespace brindle
