#pragma once
// CBrindleDlg: Brindle's main window, the IDD_BRINDLE_DIALOG template placed in pixels. Each
// control event becomes one call of core/window_commands.h and one update of the controls; the
// state it shows lives in FrontEndState. Enter and Esc do nothing here; closing the window
// during a batch stops it and ends the program at once, without waiting for the worker.
//
// GUI thread only.

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

#include "core/batch_walker.h"
#include "core/frontend_state.h"
#include "core/platform.h"
#include "texts/texts.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace brindle {

namespace ui {
class QtRowSink;
}

class CBrindleDlg : public QDialog {
    Q_OBJECT

public:
    // programFolder ends in the separator; the settings files are written there.
    CBrindleDlg(Platform& platform, FrontEndState& state, const Texts& texts,
                std::string programFolder, QWidget* parent = nullptr);
    ~CBrindleDlg() override;

    // True while a batch's worker has not ended.
    bool batchRunning() const;

    // How a close during a batch ends the program: std::_Exit(0) unless a test puts its own.
    void setQuickExit(std::function<void()> quickExit);

    // Enter and Esc reach these; they do nothing. Closing ends the dialog on its own path.
    void accept() override;
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void openWindow();

    void viewDefaultOutput();
    void chooseViewer();
    void associate();
    void chooseSourceFolder();
    void chooseOutputFolder();
    void viewOutput();
    void startOrStop();
    void showAbout();
    void openRowFile();

    Platform& platform_;
    FrontEndState& state_;
    const Texts& texts_;
    const std::string programFolder_;
    std::function<void()> quickExit_;

    QTableWidget* list_ = nullptr;
    QPushButton* sourceFolder_ = nullptr;
    QPushButton* outputFolder_ = nullptr;
    QPushButton* startCommand_ = nullptr;
    QLabel* sourceLabel_ = nullptr;
    QLabel* outputLabel_ = nullptr;
    int selectionMark_ = -1;  // the row last selected in the list, or -1

    std::unique_ptr<ui::QtRowSink> sink_;
    std::unique_ptr<BatchWalker> walker_;
};

}  // namespace brindle
