// The main window's commands without a window: labels, started commands, the two choices that
// write a settings file, the start/stop command and the row a double-click opens.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "batch/memory_platform.h"
#include "batch/recording_sink.h"
#include "core/path_styles.h"
#include "core/settings_files.h"
#include "core/window_commands.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace brindle {
namespace {

using testing::kLinux;
using testing::kWindows;
using testing::MemoryPlatform;

class WindowCommands : public ::testing::Test {
protected:
    WindowCommands() {
        state.sourceFolder = "C:\\Tarnwick\\Servlets";
        state.defaultOutputFolder = "C:\\Brindle\\JavaSourceCode";
        state.outputFolder = "D:\\out";
        state.viewerCommand = "Notepad.exe ";
    }
    MemoryPlatform platform{kWindows};
    FrontEndState state;
    const Texts& texts = utf8Texts();
    testing::TempFolder programFolder;
};

TEST_F(WindowCommands, LabelsReadPrefixAndFolderWithTheOpeningDifference) {
    EXPECT_EQ(sourceLabelText(state, texts), "操作路径：C:\\Tarnwick\\Servlets");
    EXPECT_EQ(outputLabelText(state, texts, OutputLabel::AtOpening), "源代码输出：D:\\out");
    EXPECT_EQ(outputLabelText(state, texts, OutputLabel::AfterChange), "源文件输出：D:\\out");
}

TEST_F(WindowCommands, FolderButtonsAndRegistrarStartTheirCommands) {
    openDefaultOutputFolder(platform, state);
    openOutputFolder(platform, state);
    startRegistrar(platform, "C:\\Tools\\");
    ASSERT_EQ(platform.starts.size(), 3u);
    EXPECT_EQ(platform.starts[0].first.text, "Explorer.exe C:\\Brindle\\JavaSourceCode");
    EXPECT_EQ(platform.starts[0].second, ShowState::Maximized);
    EXPECT_EQ(platform.starts[1].first.text, "Explorer.exe D:\\out");
    EXPECT_EQ(platform.starts[2].first.text, "C:\\Tools\\Typebind.exe");
    EXPECT_EQ(platform.starts[2].second, ShowState::Hidden);
}

TEST_F(WindowCommands, ViewerChoiceIsWrittenAndUsedWithoutItsBlank) {
    applyViewerChoice(state, programFolder.text(), "");
    EXPECT_EQ(state.viewerCommand, "Notepad.exe ");
    EXPECT_FALSE(std::filesystem::exists(programFolder.path() / "ShellApp.ini"));

    applyViewerChoice(state, programFolder.text(), "C:\\Tools\\vi.exe");
    EXPECT_EQ(state.viewerCommand, "C:\\Tools\\vi.exe");
    EXPECT_EQ(testing::readFile(programFolder.text() + "ShellApp.ini"), "C:\\Tools\\vi.exe\r\n");
}

TEST_F(WindowCommands, OutputChoiceRefusesARootAndWritesAnyOtherFolder) {
    struct Case {
        const PathStyle& style;
        std::string chosen;
        OutputChoice expected;
    };
    const std::string long279 = "/" + std::string(278, 'o');
    const std::string long280 = long279 + "o";
    const Case cases[] = {
        {kWindows, "E:\\", OutputChoice::RootRefused}, {kWindows, "E:", OutputChoice::RootRefused},
        {kWindows, "E:\\a", OutputChoice::Changed},    {kLinux, "/", OutputChoice::RootRefused},
        {kLinux, "/a", OutputChoice::Changed},
        // Longer than CodeOut.ini can give back.
        {kLinux, long280, OutputChoice::TooLongRefused}, {kLinux, long279, OutputChoice::Changed},
    };
    for (const Case& c : cases) {
        state.outputFolder = "D:\\out";
        std::filesystem::remove(programFolder.path() / "CodeOut.ini");
        EXPECT_EQ(applyOutputChoice(state, c.style, programFolder.text(), c.chosen), c.expected)
            << c.chosen;
        const bool changed = c.expected == OutputChoice::Changed;
        EXPECT_EQ(state.outputFolder, changed ? c.chosen : "D:\\out") << c.chosen;
        EXPECT_EQ(readOutputFolder(programFolder.text(), c.style),
                  changed ? std::optional<std::string>(c.chosen) : std::nullopt) << c.chosen;
        EXPECT_EQ(std::filesystem::exists(programFolder.path() / "CodeOut.ini"), changed);
    }
    EXPECT_EQ(testing::readFile(programFolder.text() + "CodeOut.ini"), long279 + "\r\n");
}

TEST_F(WindowCommands, DoubleClickOpensTheMarkedRowOnlyWhenThereIsOne) {
    state.producedFiles.append("D:\\out\\\\A.java");
    state.producedFiles.append("D:\\out\\p\\\\B.java");
    state.producedCount = 0;  // the first engine run has not come back yet
    EXPECT_FALSE(openProducedFile(platform, state, 0));
    state.producedCount = 2;
    EXPECT_FALSE(openProducedFile(platform, state, -1));
    EXPECT_FALSE(openProducedFile(platform, state, 2));  // a mark left from an earlier batch
    EXPECT_TRUE(platform.starts.empty());

    EXPECT_TRUE(openProducedFile(platform, state, 1));
    ASSERT_EQ(platform.starts.size(), 1u);
    EXPECT_EQ(platform.starts[0].first.text, "Notepad.exe  D:\\out\\p\\\\B.java");
    EXPECT_EQ(platform.starts[0].first.argv,
              (std::vector<std::string>{"Notepad.exe", "D:\\out\\p\\\\B.java"}));
    EXPECT_EQ(platform.starts[0].second, ShowState::Maximized);
}

TEST_F(WindowCommands, StartCommandStartsABatchAndItsStopTextStopsIt) {
    platform.addFolder("C:\\Tarnwick\\Servlets");
    testing::RecordingSink sink;
    BatchWalker walker(platform, state, sink, texts);
    EXPECT_TRUE(startOrStopBatch(walker, texts, texts.startBatch));
    walker.wait();
    EXPECT_EQ(platform.runs.size(), 0u);

    state.runFlag = 1;
    EXPECT_FALSE(startOrStopBatch(walker, texts, texts.stopBatch));
    EXPECT_EQ(state.runFlag.load(), 0);
    EXPECT_FALSE(walker.running());
}

// The completion message is closed, but the worker has not returned from it yet (a box shown
// on the worker under Wine returns about two seconds after its OK): the start text is back, so
// a click starts the next batch, once the ending worker has returned.
TEST_F(WindowCommands, AStartRightAfterTheCompletionMessageWaitsForTheEndingWorker) {
    platform.addFile("C:\\Tarnwick\\Servlets\\A.class");
    testing::RecordingSink sink;
    std::atomic<int> closed{0};
    sink.onMessage = [&] {
        ++closed;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    };
    BatchWalker walker(platform, state, sink, texts);
    ASSERT_TRUE(startOrStopBatch(walker, texts, texts.startBatch));
    while (closed.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(walker.running());
    EXPECT_EQ(sink.calls().back(), std::string("start text ") + texts.startBatch);

    EXPECT_TRUE(startOrStopBatch(walker, texts, texts.startBatch));
    walker.wait();
    EXPECT_EQ(platform.runs.size(), 2u);
    EXPECT_EQ(closed.load(), 2);
}

}  // namespace
}  // namespace brindle
