// The main window on the offscreen platform: a program folder in a temporary folder (so the
// settings files written are the test's own), the real POSIX platform for starting programs,
// recording fakes as engine, viewer and xdg-open, and the chooser and message-box seam.

#include <gtest/gtest.h>

#include <QApplication>
#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/settings_files.h"
#include "core/startup.h"
#include "os/host_platform.h"
#include "support/files.h"
#include "support/temp_folder.h"
#include "support/zip_writer.h"
#include "ui/qt/about_dlg.h"
#include "ui/qt/brindle_dlg.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/prompts.h"

// Readable failures for Qt texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

namespace fs = std::filesystem;
using brindle::CBrindleDlg;
using brindle::ui::FileDialog;
using brindle::ui::MessageBox;
using Calls = std::vector<std::vector<std::string>>;

QString utf8(const char* text) { return QString::fromUtf8(text); }
QString utf8(const std::string& text) { return QString::fromStdString(text); }

// The host platform, except that the program lives in a folder of the test's choosing and
// the process's current folder is left alone.
class ProgramFolderPlatform final : public brindle::Platform {
public:
    explicit ProgramFolderPlatform(std::string programPath) : programPath_(std::move(programPath)) {}

    const brindle::PathStyle& pathStyle() const override { return host().pathStyle(); }
    const brindle::PlatformDefaults& defaults() const override { return host().defaults(); }
    std::string windowsFolder() override { return fs::path(programPath_).parent_path().string(); }
    std::string programPath() override { return programPath_; }
    bool setCurrentDirectory(const std::string&) override { return false; }
    brindle::ProcessOutcome runAndWait(const brindle::ProcessCommand& command,
                                       brindle::ShowState show) override {
        return host().runAndWait(command, show);
    }
    bool start(const brindle::ProcessCommand& command, brindle::ShowState show) override {
        return host().start(command, show);
    }
    void clearAttributes(const std::string& path) override { host().clearAttributes(path); }
    void deleteFile(const std::string& path) override { host().deleteFile(path); }
    std::unique_ptr<brindle::FolderSearch> findFirst(const std::string& pattern) override {
        return host().findFirst(pattern);
    }
    void createFolder(const std::string& path) override { host().createFolder(path); }
    std::optional<brindle::FolderIdentity> folderIdentity(const std::string& path) override {
        return host().folderIdentity(path);
    }
    brindle::PathKind kindOf(const std::string& path) override { return host().kindOf(path); }
    std::string createPrivateFolder() override { return host().createPrivateFolder(); }
    void removeFolderTree(const std::string& path) override { host().removeFolderTree(path); }
    std::optional<std::string> fileNameFromUtf8(std::string_view name) override {
        return host().fileNameFromUtf8(name);
    }

private:
    static brindle::Platform& host() { return brindle::hostPlatform(); }
    std::string programPath_;
};

// A recording xdg-open first on PATH while it lives.
class FakeFolderOpener {
public:
    explicit FakeFolderOpener(const fs::path& bin) : log_((bin / "xdg-open.log").string()) {
        fs::create_directories(bin);
        fs::copy_file(FAKE_VIEWER, bin / "xdg-open");
        const char* path = std::getenv("PATH");
        oldPath_ = path ? path : "";
        setenv("PATH", (bin.string() + ":" + oldPath_).c_str(), 1);
    }
    ~FakeFolderOpener() { setenv("PATH", oldPath_.c_str(), 1); }
    FakeFolderOpener(const FakeFolderOpener&) = delete;
    FakeFolderOpener& operator=(const FakeFolderOpener&) = delete;

    Calls waitForCalls(std::size_t count) const {
        return brindle::testing::waitForCalls(log_, count);
    }

private:
    std::string log_;
    std::string oldPath_;
};

// Runs action while closing every About box it opens; how many it opened.
int aboutBoxesOpenedBy(const std::function<void()>& action) {
    int opened = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* about = qobject_cast<brindle::CAbout*>(QApplication::activeModalWidget())) {
            ++opened;
            about->close();
        }
    });
    closer.start(10);
    action();
    QTest::qWait(50);
    return opened;
}

// While it lives, every message box is really shown, and pressed OK on as a user would; the
// text of each OK button pressed is kept.
class MessageBoxCloser {
public:
    MessageBoxCloser() {
        MessageBox::clearRecord();
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) return;
            if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
                okTexts.push_back(ok->text());
                ok->click();
                if (afterOk) std::exchange(afterOk, nullptr)();
            }
        });
        timer_.start(10);
    }
    std::vector<QString> okTexts;
    // Done once, right after the next OK: what the user does next.
    std::function<void()> afterOk;

private:
    QTimer timer_;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        FileDialog::clearRecord();
        MessageBox::clearRecord();
        // A box the test did not expect would otherwise wait for a user forever.
        MessageBox::answerNext(100);
    }

    // Start-up as the program makes it, then the window, shown.
    std::unique_ptr<CBrindleDlg> openWindow() {
        programFolder = brindle::fillFrontEndState(platform, state);
        auto window = std::make_unique<CBrindleDlg>(platform, state, texts, programFolder);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }

    template <class Control>
    Control* control(CBrindleDlg& window, int id) {
        auto* found = window.findChild<Control*>(QString::number(id));
        EXPECT_NE(found, nullptr) << id;
        return found;
    }
    QString labelText(CBrindleDlg& window, int id) { return control<QLabel>(window, id)->text(); }

    // The fake engine as the state's engine, held at its gate while the gate file exists.
    std::string useFakeEngine() {
        const fs::path engine = temp.path() / "engine" / "jad";
        fs::create_directories(engine.parent_path());
        fs::copy_file(FAKE_ENGINE, engine);
        state.enginePath = engine.string() + " ";
        return engine.string();
    }

    brindle::testing::TempFolder temp;
    ProgramFolderPlatform platform{temp.text() + "brindle"};
    brindle::FrontEndState state;
    std::string programFolder;
    const brindle::Texts& texts = brindle::utf8Texts();
};

TEST_F(WindowTest, IsTheTemplatePlacedInPixels) {
    auto window = openWindow();
    const brindle::ui::DialogUnits units(window->font());

    EXPECT_EQ(window->windowTitle(), utf8(texts.mainCaption));
    EXPECT_EQ(window->size(), units.size(494, 333));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(window->windowIcon().isNull());

    struct Button {
        int id;
        const char* text;
        QRect place;
    };
    const std::vector<Button> buttons{
        {1000, texts.viewDefaultOutput, units.rect(25, 25, 64, 14)},
        {1001, texts.viewerSettings, units.rect(25, 45, 64, 14)},
        {1002, texts.associate, units.rect(26, 65, 63, 14)},
        {1006, texts.sourceFolderButton, units.rect(20, 250, 74, 14)},
        {1007, texts.outputFolderButton, units.rect(20, 266, 74, 14)},
        {1008, texts.viewOutput, units.rect(20, 282, 73, 14)},
        {1009, texts.startBatch, units.rect(20, 298, 73, 14)},
        {1014, texts.aboutButton, units.rect(27, 157, 62, 14)},
    };
    for (const Button& expected : buttons) {
        auto* button = control<QPushButton>(*window, expected.id);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), utf8(expected.text)) << expected.id;
        EXPECT_EQ(button->geometry(), expected.place) << expected.id;
    }

    auto* list = control<QTableWidget>(*window, 1005);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->geometry(), units.rect(115, 14, 367, 262));
    EXPECT_TRUE(list->hasFocus());
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->horizontalHeaderItem(0)->text(), utf8(texts.columnSource));
    EXPECT_EQ(list->horizontalHeaderItem(1)->text(), utf8(texts.columnFolder));
    EXPECT_EQ(list->columnWidth(0), 150);
    EXPECT_EQ(list->columnWidth(1), 400);

    // Tab order is template order, starting at the list.
    QStringList order;
    QWidget* at = list;
    do {
        bool isId = false;
        at->objectName().toInt(&isId);
        if (isId && (at->focusPolicy() & Qt::TabFocus) != 0) order << at->objectName();
        at = at->nextInFocusChain();
    } while (at != list && order.size() < 40);
    EXPECT_EQ(order, (QStringList{"1005", "1000", "1001", "1002", "1006", "1007", "1008", "1009",
                                  "1014"}));
}

TEST_F(WindowTest, OpensWithTheLabelsOfTheStateItWasGiven) {
    struct Case {
        const char* name;
        std::string codeOut;  // empty: no CodeOut.ini
        std::string expectedOutput;
    };
    const std::string defaultOutput = temp.text() + "JavaSourceCode";
    const std::string long278 = "/" + std::string(277, 'o');
    for (const Case& c : {Case{"no settings files", "", defaultOutput},
                          Case{"CodeOut.ini", "/srv/java out\r\n", "/srv/java out"},
                          Case{"an empty line, which would name the root", "\r\n", defaultOutput},
                          Case{"a line cut at the limit", long278 + "ab\r\n", defaultOutput}}) {
        SCOPED_TRACE(c.name);
        fs::remove(temp.path() / "CodeOut.ini");
        if (!c.codeOut.empty()) {
            ASSERT_TRUE(brindle::testing::writeFile(temp.text() + "CodeOut.ini", c.codeOut));
        }
        auto window = openWindow();
        EXPECT_EQ(labelText(*window, 1012),
                  utf8(texts.sourceLabelPrefix) + utf8(platform.defaults().sourceFolder));
        EXPECT_EQ(labelText(*window, 1013),
                  utf8(texts.firstOutputLabelPrefix) + utf8(c.expectedOutput));
    }
}

TEST_F(WindowTest, AChosenOutputFolderIsWrittenShownAndUsedByTheNextStart) {
    auto window = openWindow();
    const std::string before = state.outputFolder;
    const std::string chosen = temp.text() + "输出";
    FileDialog::setNextAnswer(utf8(chosen));
    control<QPushButton>(*window, 1007)->click();

    ASSERT_EQ(FileDialog::asked().size(), 1u);
    EXPECT_EQ(FileDialog::asked()[0].title, utf8(texts.outputChooserTitle));
    EXPECT_EQ(FileDialog::asked()[0].startFolder, utf8(before));
    EXPECT_EQ(brindle::testing::readFile(temp.text() + "CodeOut.ini"), chosen + "\r\n");
    EXPECT_EQ(labelText(*window, 1013), utf8(texts.outputLabelPrefix) + utf8(chosen));
    EXPECT_TRUE(MessageBox::shown().empty());

    brindle::FrontEndState next;
    brindle::fillFrontEndState(platform, next);
    EXPECT_EQ(next.outputFolder, chosen);
}

TEST_F(WindowTest, ARootATooLongOrACancelledChoiceChangesNothing) {
    const QString tooLong = utf8(temp.text()) + QString(280, 'o');
    for (const std::optional<QString>& answer : {std::optional<QString>("/"),
                                                 std::optional<QString>(tooLong),
                                                 std::optional<QString>()}) {
        SCOPED_TRACE(answer.value_or("cancelled").toStdString());
        MessageBox::clearRecord();
        MessageBox::answerNext(1);
        auto window = openWindow();
        const QString label = labelText(*window, 1013);
        FileDialog::setNextAnswer(answer);
        control<QPushButton>(*window, 1007)->click();

        if (answer) {
            ASSERT_EQ(MessageBox::shown().size(), 1u);
            EXPECT_EQ(MessageBox::shown()[0].caption, utf8(texts.warning));
            EXPECT_EQ(MessageBox::shown()[0].text,
                      utf8(answer == tooLong ? texts.outputTooLong : texts.rootRefused));
            EXPECT_EQ(MessageBox::shown()[0].icon, QMessageBox::NoIcon);
        } else {
            EXPECT_TRUE(MessageBox::shown().empty());
        }
        EXPECT_EQ(labelText(*window, 1013), label);
        EXPECT_EQ(state.outputFolder, state.defaultOutputFolder);
        EXPECT_FALSE(fs::exists(temp.path() / "CodeOut.ini"));
    }
}

// Qt's standard buttons read as on a Chinese Windows.
TEST_F(WindowTest, AMessageBoxsOkButtonReadsChinese) {
    const MessageBoxCloser closer;
    auto window = openWindow();
    FileDialog::setNextAnswer(QString("/"));
    control<QPushButton>(*window, 1007)->click();
    EXPECT_EQ(closer.okTexts, std::vector<QString>{utf8("确定")});
}

TEST_F(WindowTest, TheSourceFolderChooserStartsAtTheSourceFolder) {
    auto window = openWindow();
    const std::string first = state.sourceFolder;
    const std::string chosen = temp.text() + "classes";
    FileDialog::setNextAnswer(utf8(chosen));
    control<QPushButton>(*window, 1006)->click();
    FileDialog::setNextAnswer(std::nullopt);
    control<QPushButton>(*window, 1006)->click();

    ASSERT_EQ(FileDialog::asked().size(), 2u);
    EXPECT_EQ(FileDialog::asked()[0].title, utf8(texts.sourceChooserTitle));
    EXPECT_EQ(FileDialog::asked()[0].startFolder, utf8(first));
    EXPECT_EQ(FileDialog::asked()[1].startFolder, utf8(chosen));
    EXPECT_EQ(state.sourceFolder, chosen);
    EXPECT_EQ(labelText(*window, 1012), utf8(texts.sourceLabelPrefix) + utf8(chosen));
}

TEST_F(WindowTest, AFolderOrAnArchiveDroppedOnTheWindowBecomesTheSource) {
    auto window = openWindow();
    const std::string engine = useFakeEngine();
    const fs::path classes = temp.path() / "classes 类";
    fs::create_directories(classes);
    ASSERT_TRUE(brindle::testing::writeFile((classes / "A.class").string(), "x"));
    const fs::path jar = temp.path() / "lib.Jar";
    const fs::path notes = temp.path() / "notes.txt";
    ASSERT_TRUE(brindle::testing::writeFile(jar.string(), "PK"));
    ASSERT_TRUE(brindle::testing::writeFile(notes.string(), "text"));
    // Drags path over the window and drops it there; whether the window took it.
    const auto drop = [&](const fs::path& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &dropped);
        return enter.isAccepted() && dropped.isAccepted();
    };
    const QString prefix = utf8(texts.sourceLabelPrefix);

    struct Drop {
        fs::path path;
        bool taken;
        fs::path source;  // what the source is afterwards
    };
    const Drop drops[] = {
        {classes, true, classes},
        {jar, true, jar},
        {notes, false, jar},  // neither a folder nor an archive
        {temp.path() / "missing", false, jar},
        {classes, true, classes},
    };
    for (const Drop& d : drops) {
        EXPECT_EQ(drop(d.path), d.taken) << d.path;
        EXPECT_EQ(state.sourceFolder, d.source.string()) << d.path;
        EXPECT_EQ(labelText(*window, 1012), prefix + utf8(d.source.string())) << d.path;
    }

    // While a batch runs, a drop is refused, as 1006 is disabled.
    state.outputFolder = temp.text() + "out";
    ASSERT_TRUE(brindle::testing::writeFile(engine + ".gate", ""));
    control<QPushButton>(*window, 1009)->click();
    ASSERT_EQ(brindle::testing::waitForCalls(engine + ".log", 1).size(), 1u);
    EXPECT_FALSE(drop(jar));
    EXPECT_EQ(state.sourceFolder, classes.string());
    fs::remove(engine + ".gate");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->batchRunning(); }, 10000));
}

TEST_F(WindowTest, TheViewerChoiceIsWrittenToShellAppIni) {
    auto window = openWindow();
    const std::string viewer = "/usr/bin/my viewer";
    FileDialog::setNextAnswer(std::nullopt);
    control<QPushButton>(*window, 1001)->click();
    EXPECT_FALSE(fs::exists(temp.path() / "ShellApp.ini"));

    FileDialog::setNextAnswer(utf8(viewer));
    control<QPushButton>(*window, 1001)->click();
    ASSERT_EQ(FileDialog::asked().size(), 2u);
    EXPECT_EQ(FileDialog::asked()[1].title, utf8(texts.viewerChooserTitle));
    EXPECT_EQ(brindle::testing::readFile(temp.text() + "ShellApp.ini"), viewer + "\r\n");
    EXPECT_EQ(state.viewerCommand, viewer);
}

TEST_F(WindowTest, TheViewButtonsOpenTheDefaultAndTheCurrentOutputFolder) {
    const FakeFolderOpener opener(temp.path() / "bin");
    auto window = openWindow();
    const std::string chosen = temp.text() + "out";
    FileDialog::setNextAnswer(utf8(chosen));
    control<QPushButton>(*window, 1007)->click();

    control<QPushButton>(*window, 1000)->click();
    ASSERT_EQ(opener.waitForCalls(1).size(), 1u);
    control<QPushButton>(*window, 1008)->click();
    const Calls calls = opener.waitForCalls(2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], std::vector<std::string>{temp.text() + "JavaSourceCode"});
    EXPECT_EQ(calls[1], std::vector<std::string>{chosen});
}

TEST_F(WindowTest, TheAssociationStartsTheRegistrarBesideTheProgram) {
    fs::copy_file(FAKE_VIEWER, temp.path() / "typebind");
    auto window = openWindow();
    control<QPushButton>(*window, 1002)->click();
    const Calls calls = brindle::testing::waitForCalls(temp.text() + "typebind.log", 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].empty());
}

TEST_F(WindowTest, ABatchRunsStopsAndReportsThroughTheWindow) {
    auto window = openWindow();
    const std::string engine = useFakeEngine();
    const fs::path source = temp.path() / "src";
    fs::create_directories(source / "子目录");
    ASSERT_TRUE(brindle::testing::writeFile((source / "Foo.class").string(), "x"));
    ASSERT_TRUE(brindle::testing::writeFile((source / "子目录" / "Bar.class").string(), "x"));
    state.sourceFolder = source.string();
    state.outputFolder = temp.text() + "out";

    auto* start = control<QPushButton>(*window, 1009);
    auto* sourceButton = control<QPushButton>(*window, 1006);
    auto* outputButton = control<QPushButton>(*window, 1007);
    auto* list = control<QTableWidget>(*window, 1005);
    const auto waitForEnd = [&] { return QTest::qWaitFor([&] { return !window->batchRunning(); }, 10000); };

    // Held at the first engine run, then stopped: that run completes, the walk goes no further.
    ASSERT_TRUE(brindle::testing::writeFile(engine + ".gate", ""));
    start->click();
    EXPECT_EQ(start->text(), utf8(texts.stopBatch));
    EXPECT_FALSE(sourceButton->isEnabled());
    EXPECT_FALSE(outputButton->isEnabled());
    ASSERT_EQ(brindle::testing::waitForCalls(engine + ".log", 1).size(), 1u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->rowCount() == 1; }, 5000));
    start->click();
    EXPECT_EQ(start->text(), utf8(texts.stopBatch));
    EXPECT_TRUE(window->batchRunning());
    fs::remove(engine + ".gate");
    ASSERT_TRUE(waitForEnd());
    QTest::qWait(20);
    EXPECT_EQ(start->text(), utf8(texts.startBatch));
    EXPECT_TRUE(sourceButton->isEnabled());
    EXPECT_TRUE(outputButton->isEnabled());
    EXPECT_EQ(list->rowCount(), 1);
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text, utf8(texts.batchDonePrefix) + "1" +
                                               utf8(texts.batchDoneSuffix));
    EXPECT_EQ(MessageBox::shown()[0].caption, utf8(texts.systemNotice));
    EXPECT_EQ(MessageBox::shown()[0].icon, QMessageBox::Information);

    // The whole tree: the earlier rows are replaced, one row per class file.
    start->click();
    ASSERT_TRUE(waitForEnd());
    QTest::qWait(20);
    ASSERT_EQ(list->rowCount(), 2);
    std::vector<std::pair<QString, QString>> rows;
    for (int row = 0; row < 2; ++row) {
        ASSERT_TRUE(list->item(row, 0) && list->item(row, 1));
        EXPECT_FALSE(list->item(row, 0)->icon().isNull());
        EXPECT_FALSE(list->item(row, 0)->isSelected());
        rows.emplace_back(list->item(row, 0)->text(), list->item(row, 1)->text());
    }
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows[0], std::make_pair(QString("Bar.java"), utf8(temp.text() + "out/子目录")));
    EXPECT_EQ(rows[1], std::make_pair(QString("Foo.java"), utf8(temp.text() + "out")));
    ASSERT_EQ(MessageBox::shown().size(), 2u);
    EXPECT_EQ(MessageBox::shown()[1].text, utf8(texts.batchDonePrefix) + "2" +
                                               utf8(texts.batchDoneSuffix));
}

// A double-click opens the row at the selection mark: the row the user last selected, even
// when the click lands below the rows. With no row chosen, or a stale one, it opens nothing.
// The start text is back as the completion message closes: a click right then starts the next
// batch.
TEST_F(WindowTest, AStartRightAfterTheCompletionMessageStartsTheNextBatch) {
    MessageBoxCloser closer;
    auto window = openWindow();
    const std::string engine = useFakeEngine();
    const fs::path source = temp.path() / "src";
    fs::create_directories(source);
    ASSERT_TRUE(brindle::testing::writeFile((source / "A.class").string(), "x"));
    state.sourceFolder = source.string();
    state.outputFolder = temp.text() + "out";
    auto* start = control<QPushButton>(*window, 1009);
    closer.afterOk = [&] {
        EXPECT_EQ(start->text(), utf8(texts.startBatch));
        start->click();
        EXPECT_EQ(start->text(), utf8(texts.stopBatch));
    };

    start->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return closer.okTexts.size() == 2; }, 10000));
    EXPECT_EQ(brindle::fakes::readCalls(engine + ".log").size(), 2u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->batchRunning(); }, 10000));
}

TEST_F(WindowTest, ADoubleClickOpensTheSelectedRowsFileAndNoChoiceOrAStaleRowNothing) {
    // The completion message really shown: closing it gives the focus back to the list, which
    // by then holds rows.
    const MessageBoxCloser closer;
    auto window = openWindow();
    useFakeEngine();
    const fs::path source = temp.path() / "src";
    fs::create_directories(source);
    for (const char* name : {"A.class", "B.class"}) {
        ASSERT_TRUE(brindle::testing::writeFile((source / name).string(), "x"));
    }
    state.sourceFolder = source.string();
    state.outputFolder = temp.text() + "out";
    const fs::path viewer = temp.path() / "viewer";
    fs::copy_file(FAKE_VIEWER, viewer);
    state.viewerCommand = viewer.string();
    const std::string log = viewer.string() + ".log";

    auto* list = control<QTableWidget>(*window, 1005);
    const auto doubleClickRow = [&](int row) {
        const QPoint at = list->visualItemRect(list->item(row, 0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    };

    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 20));  // no rows yet
    control<QPushButton>(*window, 1009)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return closer.okTexts.size() == 1; }, 10000));
    // As a window system does once the box has gone, the window is active again, its focus in
    // the list.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->hasFocus(); }, 5000));
    ASSERT_EQ(list->rowCount(), 2);
    const QPoint belowTheRows = list->visualItemRect(list->item(1, 0)).bottomLeft() + QPoint(5, 40);
    ASSERT_TRUE(list->viewport()->rect().contains(belowTheRows));

    // The list had the focus as the rows came in, but no row was chosen.
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, belowTheRows);
    QTest::qWait(200);
    EXPECT_TRUE(brindle::fakes::readCalls(log).empty());

    doubleClickRow(1);
    Calls calls = brindle::testing::waitForCalls(log, 1);
    ASSERT_EQ(calls.size(), 1u);
    const std::string expected = state.producedFiles.at(1).value_or("");
    EXPECT_EQ(calls[0], std::vector<std::string>{expected});
    EXPECT_EQ(list->item(1, 0)->text().toStdString(), fs::path(expected).filename().string());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, belowTheRows);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, belowTheRows);
    calls = brindle::testing::waitForCalls(log, 2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1], std::vector<std::string>{expected});

    // The rows of the last batch while the new one has emptied the produced-file list.
    state.producedFiles.clear();
    doubleClickRow(0);
    QTest::qWait(200);
    EXPECT_EQ(brindle::fakes::readCalls(log).size(), 2u);
}

TEST_F(WindowTest, FailedRowsShowTheMarkAndTellWhyOnADoubleClick) {
    auto window = openWindow();
    useFakeEngine();
    const fs::path source = temp.path() / "src";
    fs::create_directories(source);
    ASSERT_TRUE(brindle::testing::writeFile((source / "Good.class").string(), "x"));
    ASSERT_TRUE(brindle::testing::writeFile((source / "Bad.class").string(),
                                            "fail: Bad.class: not a class file\n"));
    state.sourceFolder = source.string();
    state.outputFolder = temp.text() + "out";
    const fs::path viewer = temp.path() / "viewer";
    fs::copy_file(FAKE_VIEWER, viewer);
    state.viewerCommand = viewer.string();

    control<QPushButton>(*window, 1009)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->batchRunning(); }, 10000));
    QTest::qWait(20);
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text,
              utf8(texts.batchDonePrefix) + "1" + utf8(texts.batchDoneSuffix) + "\n" +
                  utf8(texts.failedCountPrefix) + "1" + utf8(texts.failedCountSuffix));

    auto* list = control<QTableWidget>(*window, 1005);
    ASSERT_EQ(list->rowCount(), 2);
    const int bad = list->item(0, 0)->text() == "Bad.java" ? 0 : 1;
    const QImage mark = QIcon(":/brindle/failed.png").pixmap(16).toImage();
    EXPECT_EQ(list->item(bad, 0)->icon().pixmap(16).toImage(), mark);
    EXPECT_NE(list->item(1 - bad, 0)->icon().pixmap(16).toImage(), mark);
    EXPECT_EQ(list->item(bad, 0)->text(), "Bad.java");  // its texts stay

    const auto doubleClickRow = [&](int row) {
        const QPoint at = list->visualItemRect(list->item(row, 0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    };
    doubleClickRow(bad);
    ASSERT_EQ(MessageBox::shown().size(), 2u);
    EXPECT_EQ(MessageBox::shown()[1].icon, QMessageBox::Warning);
    EXPECT_EQ(MessageBox::shown()[1].caption, utf8(texts.systemNotice));
    EXPECT_EQ(MessageBox::shown()[1].text, "Bad.class: not a class file");
    doubleClickRow(1 - bad);
    const Calls calls = brindle::testing::waitForCalls(viewer.string() + ".log", 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(fs::path(calls[0].at(0)).filename(), "Good.java");
}

TEST_F(WindowTest, EnterAndEscDoNothingButClosingEndsTheWindow) {
    auto window = openWindow();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(window.get(), key);
        QTest::keyClick(control<QTableWidget>(*window, 1005), key);
        QTest::keyClick(control<QPushButton>(*window, 1014), key);
        EXPECT_TRUE(window->isVisible()) << key;
    }
    EXPECT_TRUE(MessageBox::shown().empty());
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
}

TEST_F(WindowTest, ClosingDuringABatchStopsItAndEndsAtOnce) {
    auto window = openWindow();
    const std::string engine = useFakeEngine();
    const fs::path source = temp.path() / "src";
    fs::create_directories(source);
    ASSERT_TRUE(brindle::testing::writeFile((source / "A.class").string(), "x"));
    ASSERT_TRUE(brindle::testing::writeFile((source / "B.class").string(), "x"));
    state.sourceFolder = source.string();
    state.outputFolder = temp.text() + "out";
    int quickExits = 0;
    window->setQuickExit([&] {
        ++quickExits;
        EXPECT_EQ(state.runFlag.load(), 0);
    });

    ASSERT_TRUE(brindle::testing::writeFile(engine + ".gate", ""));
    control<QPushButton>(*window, 1009)->click();
    ASSERT_EQ(brindle::testing::waitForCalls(engine + ".log", 1).size(), 1u);
    window->close();
    EXPECT_EQ(quickExits, 1);

    // Here the process would have ended; let the worker finish before the window goes.
    fs::remove(engine + ".gate");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->batchRunning(); }, 10000));
    EXPECT_EQ(brindle::fakes::readCalls(engine + ".log").size(), 1u);
}

TEST_F(WindowTest, ClosingDuringABatchInAnArchiveLeavesNoTemporaryFolder) {
    auto window = openWindow();
    const std::string engine = useFakeEngine();
    const fs::path scratch = temp.path() / "tmp";
    fs::create_directories(scratch);
    setenv("TMPDIR", scratch.c_str(), 1);
    const fs::path source = temp.path() / "src";
    fs::create_directories(source);
    ASSERT_TRUE(brindle::testing::writeFile(
        (source / "lib.jar").string(),
        brindle::testing::ZipWriter().file("A.class", "x").file("B.class", "x").bytes()));
    state.sourceFolder = source.string();
    state.outputFolder = temp.text() + "out";
    std::vector<fs::path> leftAtExit;
    window->setQuickExit([&] {
        for (const auto& entry : fs::recursive_directory_iterator(scratch)) {
            leftAtExit.push_back(entry.path());
        }
    });

    ASSERT_TRUE(brindle::testing::writeFile(engine + ".gate", ""));
    control<QPushButton>(*window, 1009)->click();
    ASSERT_EQ(brindle::testing::waitForCalls(engine + ".log", 1).size(), 1u);
    EXPECT_FALSE(fs::is_empty(scratch));
    window->close();
    EXPECT_EQ(leftAtExit, std::vector<fs::path>{});

    fs::remove(engine + ".gate");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->batchRunning(); }, 10000));
    unsetenv("TMPDIR");
}

TEST_F(WindowTest, TheAboutBoxOpensFromItsButtonAndARightClickOnTheWindow) {
    auto window = openWindow();
    const brindle::ui::DialogUnits units(window->font());
    EXPECT_EQ(aboutBoxesOpenedBy([&] { control<QPushButton>(*window, 1014)->click(); }), 1);

    struct Case {
        const char* where;
        QWidget* target;
        QPoint at;
        int expected;
    };
    const std::vector<Case> cases{
        {"empty area", window.get(), units.rect(50, 120, 1, 1).topLeft(), 1},
        {"label 1012", control<QLabel>(*window, 1012), QPoint(2, 2), 1},
        {"left button on the empty area", window.get(), units.rect(50, 120, 1, 1).topLeft(), 0},
        {"button 1000", control<QPushButton>(*window, 1000), QPoint(2, 2), 0},
        {"the list", control<QTableWidget>(*window, 1005)->viewport(), QPoint(5, 5), 0},
    };
    for (const Case& c : cases) {
        const Qt::MouseButton button =
            std::string(c.where).rfind("left", 0) == 0 ? Qt::LeftButton : Qt::RightButton;
        EXPECT_EQ(aboutBoxesOpenedBy([&] { QTest::mouseClick(c.target, button, {}, c.at); }),
                  c.expected)
            << c.where;
    }
}

}  // namespace
