// The main window from the program's own resources, driven as the user drives it: its layout,
// a batch over a real folder tree with the recording fake engine, the choices that change the
// settings files, the commands that start the viewer and the registrar, and the keys that do
// nothing. Choosers and message boxes are answered by FakePrompts; nothing outside the test's
// temporary folder is touched.

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/frontend_state.h"
#include "fakes/fake_log.h"
#include "os/host_platform.h"
#include "support/files.h"
#include "support/win32_files.h"
#include "support/temp_folder.h"
#include "texts/texts.h"
#include "ui/resource.h"
#include "ui/win32/brindle_dlg.h"
#include "ui/win32/win32_row_sink.h"
#include "win32/dialog_driver.h"

namespace brindle {
namespace {

using testing::fromLinuxPath;

using Calls = std::vector<std::vector<std::string>>;
using Row = std::pair<std::string, std::string>;
using testing::click;
using testing::FakePrompts;
using testing::ModalRun;
using testing::textOf;

// Wine shows the Linux file system as drive Z:.
void writeFile(const std::string& path, const std::string& bytes) {
    ASSERT_TRUE(testing::writeFile(path, bytes)) << path;
}

std::string cellText(HWND list, int row, int column) {
    char buffer[512] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

std::vector<Row> rowsOf(HWND list) {
    std::vector<Row> rows;
    const auto count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) rows.emplace_back(cellText(list, row, 0), cellText(list, row, 1));
    return rows;
}

// The list's double-click notification, as the list sends it, after the given selection mark.
void doubleClick(HWND dialog, HWND list, int selectionMark) {
    SendMessageA(list, LVM_SETSELECTIONMARK, 0, selectionMark);
    NMITEMACTIVATE notice{};
    notice.hdr.hwndFrom = list;
    notice.hdr.idFrom = IDC_PRODUCED_LIST;
    notice.hdr.code = NM_DBLCLK;
    notice.iItem = selectionMark;
    SendMessageA(dialog, WM_NOTIFY, IDC_PRODUCED_LIST, reinterpret_cast<LPARAM>(&notice));
}

// A drop as the shell makes one: the path in a DROPFILES block, which the window frees.
void dropOn(HWND window, const std::string& path) {
    const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + path.size() + 2);
    auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = FALSE;
    std::memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), path.c_str(), path.size() + 1);
    GlobalUnlock(memory);
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetACP(), 936u) << "run under a Chinese locale (LC_ALL=zh_CN.UTF-8)";
        program_ = folder("prog");
        ASSERT_TRUE(CopyFileA(fromLinuxPath(FAKE_ENGINE).c_str(), engine().c_str(), FALSE));
        state_.sourceFolder = "C:\\Tarnwick\\Servlets";
        state_.defaultOutputFolder = program_ + "JavaSourceCode";
        state_.outputFolder = state_.defaultOutputFolder;
        state_.viewerCommand = "Notepad.exe ";
        state_.enginePath = engine() + " ";
    }

    // Opens the window; the state as the test has set it up so far.
    void open() {
        dialog_ = std::make_unique<win32::CBrindleDlg>(hostPlatform(), state_, t, program_, prompts_);
        run_ = std::make_unique<ModalRun>(*dialog_);
        ASSERT_NE(run_->window(), nullptr);
    }
    void TearDown() override {
        run_.reset();
        if (dialog_ && dialog_->batchRunning()) {
            DeleteFileA((engine() + ".gate").c_str());
            prompts_.waitForInformed(prompts_.informed.size() + 1);
        }
        dialog_.reset();
    }

    // A folder below the test's temporary folder, with its trailing backslash.
    std::string folder(const std::string& name) const {
        const std::string path = temp_.text() + name;
        CreateDirectoryA(path.c_str(), nullptr);
        return path + "\\";
    }
    std::string engine() const { return program_ + "Jad.exe"; }
    std::string copyOfFakeViewer(const std::string& name) const {
        const std::string path = program_ + name;
        EXPECT_TRUE(CopyFileA(fromLinuxPath(FAKE_VIEWER).c_str(), path.c_str(), FALSE));
        return path;
    }
    HWND item(int id) const { return run_->item(id); }
    // Source folder with a class file at the top, one in a subfolder and a file that is none.
    void makeSourceTree() {
        const std::string src = folder("src");
        folder("src\\a");
        writeFile(src + "Foo.class", "class");
        writeFile(src + "a\\Bar.CLASS", "class");
        writeFile(src + "readme.txt", "text");
        state_.sourceFolder = src.substr(0, src.size() - 1);
        state_.outputFolder = temp_.text() + "out";
    }
    // Opens the window on the source tree and starts a batch from 1009 whose first engine run is
    // held until the returned gate file is deleted.
    std::string startHeldBatch() {
        makeSourceTree();
        const std::string gate = engine() + ".gate";
        writeFile(gate, "");
        open();
        click(item(IDC_START_BATCH));
        EXPECT_EQ(testing::waitForCalls(engine() + ".log", 1).size(), 1u);
        return gate;
    }

    const Texts& t = gb2312Texts();
    testing::TempFolder temp_;
    std::string program_;
    FrontEndState state_;
    FakePrompts prompts_;
    std::unique_ptr<win32::CBrindleDlg> dialog_;
    std::unique_ptr<ModalRun> run_;
};

struct Control {
    int id;
    const char* className;
    LONG kind;  // BS_PUSHBUTTON or BS_GROUPBOX for buttons, SS_LEFT for statics
    std::string text;
    int x, y, width, height;
};

TEST_F(MainWindow, OpensWithTheTemplatesControlsLabelsListAndIcons) {
    open();
    HWND window = run_->window();
    EXPECT_EQ(textOf(window), t.mainCaption);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    for (const DWORD bit : {DWORD{WS_POPUP}, DWORD{WS_CAPTION}, DWORD{WS_SYSMENU}, DWORD{WS_MINIMIZEBOX}}) {
        EXPECT_EQ(static_cast<DWORD>(style) & bit, bit) << std::hex << bit;
    }
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    EXPECT_NE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
    // Centred on the screen's work area.
    RECT frame, work;
    GetWindowRect(window, &frame);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(frame.left + frame.right, work.left + work.right, 2);
    EXPECT_NEAR(frame.top + frame.bottom, work.top + work.bottom, 2);
    EXPECT_STREQ(testing::fontOf(window).lfFaceName, t.dialogFont);

    const std::string sourceLabel = std::string(t.sourceLabelPrefix) + "C:\\Tarnwick\\Servlets";
    const std::string outputLabel = std::string(t.firstOutputLabelPrefix) + program_ + "JavaSourceCode";
    const Control controls[] = {
        {IDC_PRODUCED_LIST, "SysListView32", 0, "", 115, 14, 367, 262},
        {-1, "Button", BS_GROUPBOX, t.basicGroup, 12, 9, 91, 81},
        {IDC_VIEW_DEFAULT_OUTPUT, "Button", BS_PUSHBUTTON, t.viewDefaultOutput, 25, 25, 64, 14},
        {IDC_VIEWER_SETTINGS, "Button", BS_PUSHBUTTON, t.viewerSettings, 25, 45, 64, 14},
        {IDC_ASSOCIATE, "Button", BS_PUSHBUTTON, t.associate, 26, 65, 63, 14},
        {-1, "Button", BS_GROUPBOX, t.folderGroup, 11, 235, 92, 86},
        {IDC_SOURCE_FOLDER, "Button", BS_PUSHBUTTON, t.sourceFolderButton, 20, 250, 74, 14},
        {IDC_OUTPUT_FOLDER, "Button", BS_PUSHBUTTON, t.outputFolderButton, 20, 266, 74, 14},
        {IDC_VIEW_OUTPUT, "Button", BS_PUSHBUTTON, t.viewOutput, 20, 282, 73, 14},
        {IDC_START_BATCH, "Button", BS_PUSHBUTTON, t.startBatch, 20, 298, 73, 14},
        {-1, "Button", BS_GROUPBOX, t.infoGroup, 115, 284, 367, 37},
        {IDC_SOURCE_LABEL, "Static", SS_LEFT, sourceLabel, 121, 296, 201, 8},
        {IDC_OUTPUT_LABEL, "Static", SS_LEFT, outputLabel, 121, 308, 200, 8},
        {IDC_ABOUT, "Button", BS_PUSHBUTTON, t.aboutButton, 27, 157, 62, 14},
    };
    const std::vector<HWND> children = testing::childrenOf(window);
    ASSERT_EQ(children.size(), std::size(controls));
    for (std::size_t i = 0; i < children.size(); ++i) {
        const Control& want = controls[i];
        SCOPED_TRACE(want.id);
        EXPECT_EQ(GetDlgCtrlID(children[i]), want.id);
        char className[64];
        GetClassNameA(children[i], className, sizeof className);
        EXPECT_STREQ(className, want.className);
        if (want.id != IDC_PRODUCED_LIST) {
            EXPECT_EQ(GetWindowLongA(children[i], GWL_STYLE) & 0x0F, want.kind);
            EXPECT_EQ(textOf(children[i]), want.text);
        }
        const RECT rect = testing::fromDialogUnits(window, want.x, want.y, want.width, want.height);
        const RECT got = testing::placeOf(window, children[i]);
        EXPECT_EQ(std::vector<LONG>({got.left, got.top, got.right, got.bottom}),
                  std::vector<LONG>({rect.left, rect.top, rect.right, rect.bottom}));
    }

    HWND list = item(IDC_PRODUCED_LIST);
    const LONG listStyle = GetWindowLongA(list, GWL_STYLE);
    EXPECT_EQ(listStyle & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_NE(listStyle & LVS_SINGLESEL, 0);
    EXPECT_EQ(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) &
                  (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
              LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    const std::pair<std::string, int> columns[] = {{t.columnSource, 150}, {t.columnFolder, 400}};
    for (int i = 0; i < 2; ++i) {
        char text[64] = {};
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = text;
        column.cchTextMax = sizeof text;
        ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column)));
        EXPECT_EQ(std::make_pair(std::string(text), column.cx), columns[i]);
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    }
    const auto images = reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(images), 2);  // the row image and the failure mark
    int width = 0, height = 0;
    ImageList_GetIconSize(images, &width, &height);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(16, 16));

    EXPECT_NE(SendMessageA(window, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageA(window, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_NE(SendMessageA(window, WM_QUERYDRAGICON, 0, 0), 0);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(GetGUIThreadInfo(run_->threadId(), &gui));
    EXPECT_EQ(gui.hwndFocus, list);
}

TEST_F(MainWindow, BatchFillsTheListReportsTheCountAndRestoresTheButtons) {
    const std::string gate = startHeldBatch();
    ASSERT_FALSE(HasFailure());
    // While the engine runs: the stop text, and the folder buttons disabled.
    EXPECT_EQ(textOf(item(IDC_START_BATCH)), t.stopBatch);
    EXPECT_FALSE(IsWindowEnabled(item(IDC_SOURCE_FOLDER)));
    EXPECT_FALSE(IsWindowEnabled(item(IDC_OUTPUT_FOLDER)));
    DeleteFileA(gate.c_str());

    const auto informed = prompts_.waitForInformed(1);
    ASSERT_EQ(informed.size(), 1u);
    EXPECT_EQ(informed[0].owner, run_->window());
    EXPECT_EQ(informed[0].text, std::string(t.batchDonePrefix) + "2" + t.batchDoneSuffix);
    EXPECT_EQ(informed[0].caption, t.systemNotice);

    const std::string out = temp_.text() + "out";
    std::vector<Row> rows = rowsOf(item(IDC_PRODUCED_LIST));
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (std::vector<Row>{{"Bar.java", out + "\\a"}, {"Foo.java", out}}));
    EXPECT_EQ(fakes::readCalls(engine() + ".log").size(), 2u);
    EXPECT_EQ(textOf(item(IDC_START_BATCH)), t.startBatch);
    EXPECT_TRUE(IsWindowEnabled(item(IDC_SOURCE_FOLDER)));
    EXPECT_TRUE(IsWindowEnabled(item(IDC_OUTPUT_FOLDER)));
}

TEST_F(MainWindow, StopDuringAnEngineRunEndsTheWalkAfterIt) {
    const std::string gate = startHeldBatch();
    ASSERT_FALSE(HasFailure());
    click(item(IDC_START_BATCH));
    // The stop shows nothing at once; the text comes back when the worker ends.
    EXPECT_EQ(textOf(item(IDC_START_BATCH)), t.stopBatch);
    DeleteFileA(gate.c_str());

    const auto informed = prompts_.waitForInformed(1);
    ASSERT_EQ(informed.size(), 1u);
    EXPECT_EQ(informed[0].text, std::string(t.batchDonePrefix) + "1" + t.batchDoneSuffix);
    EXPECT_EQ(rowsOf(item(IDC_PRODUCED_LIST)).size(), 1u);
    EXPECT_EQ(fakes::readCalls(engine() + ".log").size(), 1u);
    EXPECT_EQ(textOf(item(IDC_START_BATCH)), t.startBatch);
}

// The completion message is closed but takes a while to return, as a box shown on the worker
// does under Wine: the start text is back, so a click starts the next batch at once.
TEST_F(MainWindow, AStartRightAfterTheCompletionMessageStartsTheNextBatch) {
    makeSourceTree();
    prompts_.informReturnDelay = 1000;
    open();
    click(item(IDC_START_BATCH));
    ASSERT_EQ(prompts_.waitForInformed(1).size(), 1u);
    EXPECT_EQ(textOf(item(IDC_START_BATCH)), t.startBatch);
    EXPECT_TRUE(dialog_->batchRunning());

    click(item(IDC_START_BATCH));
    ASSERT_EQ(prompts_.waitForInformed(2).size(), 2u);
    EXPECT_EQ(fakes::readCalls(engine() + ".log").size(), 4u);
}

// FakePrompts, except that information messages are the real message box.
class RealMessagePrompts final : public win32::Prompts {
public:
    explicit RealMessagePrompts(FakePrompts& fake) : fake_(fake) {}
    std::optional<std::string> chooseFolder(HWND owner, const char* title, const char* root,
                                            const std::string& start) override {
        return fake_.chooseFolder(owner, title, root, start);
    }
    std::optional<std::string> chooseSource(
        HWND owner, const char* title, const char* root, const std::string& start,
        const std::function<bool(const std::string&)>& acceptable) override {
        return fake_.chooseSource(owner, title, root, start, acceptable);
    }
    std::optional<std::string> chooseFile(HWND owner, const char* title,
                                          const char* filter) override {
        return fake_.chooseFile(owner, title, filter);
    }
    void warn(HWND owner, const char* text, const char* caption) override {
        fake_.warn(owner, text, caption);
    }
    void inform(HWND owner, const std::string& text, const char* caption) override {
        win32::systemPrompts().inform(owner, text, caption);
        ++returned;
    }
    void openLink(const char* address) override { fake_.openLink(address); }

    std::atomic<int> returned{0};  // information messages that have returned

private:
    FakePrompts& fake_;
};

// The same with the real message box, which under Wine returns about two seconds after its OK:
// the GUI thread waits for the worker while the box gives the window back, and neither waits
// for the other for ever.
TEST_F(MainWindow, AStartRightAfterTheRealCompletionMessageStartsTheNextBatch) {
    makeSourceTree();
    RealMessagePrompts prompts(prompts_);
    dialog_ = std::make_unique<win32::CBrindleDlg>(hostPlatform(), state_, t, program_, prompts);
    run_ = std::make_unique<ModalRun>(*dialog_);
    const auto pressOk = [&] {
        HWND box = nullptr;
        for (int i = 0; i < 500 && box == nullptr; ++i) {
            box = FindWindowA("#32770", t.systemNotice);
            if (box == nullptr) Sleep(20);
        }
        ASSERT_NE(box, nullptr);
        click(GetDlgItem(box, IDOK));
    };

    click(item(IDC_START_BATCH));
    pressOk();
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(textOf(item(IDC_START_BATCH)), t.startBatch);
    click(item(IDC_START_BATCH));
    pressOk();
    for (int i = 0; i < 500 && prompts.returned.load() < 2; ++i) Sleep(20);
    EXPECT_EQ(prompts.returned.load(), 2);
    EXPECT_EQ(fakes::readCalls(engine() + ".log").size(), 4u);
}

TEST_F(MainWindow, ChosenViewerOpensTheDoubleClickedRowsFile) {
    makeSourceTree();
    const std::string viewer = copyOfFakeViewer("viewer.exe");
    prompts_.fileAnswers = {viewer};
    open();

    click(item(IDC_VIEWER_SETTINGS));
    ASSERT_EQ(prompts_.fileAsked.size(), 1u);
    EXPECT_EQ(prompts_.fileAsked[0].title, t.viewerChooserTitle);
    EXPECT_EQ(prompts_.fileAsked[0].extra, t.viewerFilter);
    EXPECT_EQ(testing::readFile(program_ + "ShellApp.ini"), viewer + "\r\n");
    EXPECT_EQ(state_.viewerCommand, viewer);

    click(item(IDC_START_BATCH));
    ASSERT_EQ(prompts_.waitForInformed(1).size(), 1u);
    HWND list = item(IDC_PRODUCED_LIST);
    // No row selected yet: nothing opens.
    doubleClick(run_->window(), list, -1);

    const std::vector<Row> rows = rowsOf(list);
    const auto bar = std::find_if(rows.begin(), rows.end(), [](const Row& r) { return r.first == "Bar.java"; });
    ASSERT_NE(bar, rows.end());
    doubleClick(run_->window(), list, static_cast<int>(bar - rows.begin()));
    const std::string barFile = temp_.text() + "out\\a\\\\Bar.java";
    EXPECT_EQ(testing::waitForCalls(viewer + ".log", 1), (Calls{{viewer + " " + barFile}}));
}

TEST_F(MainWindow, FailedRowsShowTheMarkAndTellWhyOnADoubleClick) {
    const std::string src = folder("src");
    writeFile(src + "Good.class", "class");
    writeFile(src + "Bad.class", "fail: Bad.class: not a class file\n");
    state_.sourceFolder = src.substr(0, src.size() - 1);
    state_.outputFolder = temp_.text() + "out";
    const std::string viewer = copyOfFakeViewer("viewer.exe");
    state_.viewerCommand = viewer;
    open();
    click(item(IDC_START_BATCH));

    const auto informed = prompts_.waitForInformed(1);
    ASSERT_EQ(informed.size(), 1u);
    EXPECT_EQ(informed[0].text, std::string(t.batchDonePrefix) + "1" + t.batchDoneSuffix + "\n" +
                                    t.failedCountPrefix + "1" + t.failedCountSuffix);
    HWND list = item(IDC_PRODUCED_LIST);
    const std::vector<Row> rows = rowsOf(list);
    ASSERT_EQ(rows.size(), 2u);
    const int bad = rows[0].first == "Bad.java" ? 0 : 1;
    for (int row = 0; row < 2; ++row) {
        LVITEMA image{};
        image.mask = LVIF_IMAGE;
        image.iItem = row;
        ASSERT_TRUE(SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&image)));
        EXPECT_EQ(image.iImage, row == bad ? win32::kFailedImage : win32::kRowImage) << row;
    }

    doubleClick(run_->window(), list, bad);
    ASSERT_EQ(prompts_.warnings.size(), 1u);
    EXPECT_EQ(prompts_.warnings[0].owner, run_->window());
    EXPECT_EQ(prompts_.warnings[0].text, "Bad.class: not a class file");
    EXPECT_EQ(prompts_.warnings[0].caption, t.systemNotice);
    doubleClick(run_->window(), list, 1 - bad);
    const Calls calls = testing::waitForCalls(viewer + ".log", 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0][0].find("Good.java"), std::string::npos) << calls[0][0];
}

TEST_F(MainWindow, AssociationStartsTheRegistrarBesideTheProgram) {
    const std::string registrar = copyOfFakeViewer("Typebind.exe");
    open();
    click(item(IDC_ASSOCIATE));
    EXPECT_EQ(testing::waitForCalls(registrar + ".log", 1), (Calls{{registrar}}));
}

TEST_F(MainWindow, OutputFolderRefusesADriveRootOrATooLongPathAndKeepsAGoodChoice) {
    const std::string before = state_.outputFolder;
    const std::string chosen = temp_.text() + "chosen";
    const std::string tooLong = temp_.text() + std::string(280, 'o');
    prompts_.folderAnswers = {std::nullopt, std::string("E:\\"), tooLong, chosen};
    open();
    const std::string firstLabel = textOf(item(IDC_OUTPUT_LABEL));

    click(item(IDC_OUTPUT_FOLDER));  // cancelled
    click(item(IDC_OUTPUT_FOLDER));  // a drive root
    click(item(IDC_OUTPUT_FOLDER));  // longer than CodeOut.ini can give back
    ASSERT_EQ(prompts_.warnings.size(), 2u);
    for (const auto& warning : prompts_.warnings) {
        EXPECT_EQ(warning.owner, run_->window());
        EXPECT_EQ(warning.caption, t.warning);
    }
    EXPECT_EQ(prompts_.warnings[0].text, t.rootRefused);
    EXPECT_EQ(prompts_.warnings[1].text, t.outputTooLong);
    EXPECT_EQ(state_.outputFolder, before);
    EXPECT_EQ(textOf(item(IDC_OUTPUT_LABEL)), firstLabel);
    EXPECT_EQ(GetFileAttributesA((program_ + "CodeOut.ini").c_str()), INVALID_FILE_ATTRIBUTES);

    click(item(IDC_OUTPUT_FOLDER));
    EXPECT_EQ(prompts_.warnings.size(), 2u);
    EXPECT_EQ(state_.outputFolder, chosen);
    EXPECT_EQ(testing::readFile(program_ + "CodeOut.ini"), chosen + "\r\n");
    EXPECT_EQ(textOf(item(IDC_OUTPUT_LABEL)), std::string(t.outputLabelPrefix) + chosen);

    ASSERT_EQ(prompts_.folderAsked.size(), 4u);
    for (const auto& asked : prompts_.folderAsked) {
        EXPECT_EQ(asked.owner, run_->window());
        EXPECT_EQ(asked.title, t.outputChooserTitle);
        EXPECT_EQ(asked.extra, t.chooserRoot);
        EXPECT_EQ(asked.startPath, before);
    }
}

TEST_F(MainWindow, SourceFolderChoiceRewritesTheLabelEvenWhenCancelled) {
    const std::string chosen = temp_.text() + "classes";
    prompts_.folderAnswers = {std::nullopt, chosen};
    open();
    const std::string prefix = t.sourceLabelPrefix;

    click(item(IDC_SOURCE_FOLDER));
    EXPECT_EQ(textOf(item(IDC_SOURCE_LABEL)), prefix + "C:\\Tarnwick\\Servlets");
    click(item(IDC_SOURCE_FOLDER));
    EXPECT_EQ(state_.sourceFolder, chosen);
    EXPECT_EQ(textOf(item(IDC_SOURCE_LABEL)), prefix + chosen);

    ASSERT_EQ(prompts_.folderAsked.size(), 2u);
    EXPECT_EQ(prompts_.folderAsked[0].title, t.sourceChooserTitle);
    EXPECT_EQ(prompts_.folderAsked[0].startPath, "C:\\Tarnwick\\Servlets");
    EXPECT_EQ(prompts_.folderAsked[1].startPath, "C:\\Tarnwick\\Servlets");
}

TEST_F(MainWindow, AFolderOrAnArchiveDroppedOnTheWindowBecomesTheSource) {
    const std::string classes = folder("classes " + std::string("\xb3\xcc\xd0\xf2"));  // 程序
    const std::string jar = temp_.text() + "lib.JAR";
    const std::string notes = temp_.text() + "notes.txt";
    writeFile(jar, "PK");
    writeFile(notes, "text");
    writeFile(classes + "A.class", "class");
    const std::string gate = engine() + ".gate";
    open();
    HWND window = run_->window();
    const std::string prefix = t.sourceLabelPrefix;
    EXPECT_NE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);

    const std::string folderPath = classes.substr(0, classes.size() - 1);
    struct Drop {
        std::string path;
        std::string source;  // what the source is afterwards
    };
    const Drop drops[] = {
        {folderPath, folderPath},
        {jar, jar},
        {notes, jar},  // neither a folder nor an archive
        {temp_.text() + "missing", jar},
        {folderPath, folderPath},
    };
    for (const Drop& drop : drops) {
        dropOn(window, drop.path);
        EXPECT_EQ(state_.sourceFolder, drop.source) << drop.path;
        EXPECT_EQ(textOf(item(IDC_SOURCE_LABEL)), prefix + drop.source) << drop.path;
    }

    // While a batch runs, a drop changes nothing, as the disabled 1006 does.
    writeFile(gate, "");
    click(item(IDC_START_BATCH));
    EXPECT_EQ(testing::waitForCalls(engine() + ".log", 1).size(), 1u);
    dropOn(window, jar);
    EXPECT_EQ(state_.sourceFolder, folderPath);
    EXPECT_EQ(textOf(item(IDC_SOURCE_LABEL)), prefix + folderPath);
    DeleteFileA(gate.c_str());
    EXPECT_EQ(prompts_.waitForInformed(1).size(), 1u);

    // The chooser behind 1006 offers folders and archives.
    click(item(IDC_SOURCE_FOLDER));
    ASSERT_TRUE(prompts_.sourceRule);
    EXPECT_TRUE(prompts_.sourceRule(folderPath));
    EXPECT_TRUE(prompts_.sourceRule(jar));
    EXPECT_FALSE(prompts_.sourceRule(notes));
}

TEST_F(MainWindow, EnterAndEscDoNothingTheRightButtonShowsAboutAndCloseEnds) {
    open();
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(GetGUIThreadInfo(run_->threadId(), &gui));
    ASSERT_NE(gui.hwndFocus, nullptr);
    for (const WPARAM key : {WPARAM{VK_RETURN}, WPARAM{VK_ESCAPE}}) {
        PostMessageA(gui.hwndFocus, WM_KEYDOWN, key, 1);
        PostMessageA(gui.hwndFocus, WM_KEYUP, key, 0xC0000001);
    }
    Sleep(500);
    EXPECT_TRUE(run_->running());
    EXPECT_TRUE(IsWindowVisible(run_->window()));

    // A right click on the window itself, not on a control, opens the About box.
    PostMessageA(run_->window(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(200, 200));
    HWND about = testing::waitForDialog(run_->threadId(), t.aboutCaption);
    ASSERT_NE(about, nullptr);
    click(GetDlgItem(about, IDC_ABOUT_OK));
    for (int i = 0; i < 250 && IsWindow(about); ++i) Sleep(20);
    EXPECT_FALSE(IsWindow(about));
    EXPECT_TRUE(run_->running());

    PostMessageA(run_->window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(run_->ended(), std::optional<INT_PTR>(IDOK));
}

}  // namespace
}  // namespace brindle

