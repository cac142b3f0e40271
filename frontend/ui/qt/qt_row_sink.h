#pragma once
// The batch walker's row sink on Qt: every change reaches the main window's controls on the
// GUI thread. A call made on the GUI thread (BatchWalker::start()) acts at once; a call from
// the worker is queued onto a context object that the window owns, so it is dropped rather
// than run against freed controls if the window is gone. The completion message is posted too:
// the worker never waits for the GUI thread, so the GUI thread may wait for an ending worker.

#include <QIcon>
#include <QObject>

#include "core/row_sink.h"

class QPushButton;
class QTableWidget;
class QWidget;

namespace brindle::ui {

class QtRowSink final : public RowSink {
public:
    struct Controls {
        QWidget* window;  // owns the context object and the completion message
        QTableWidget* list;
        QPushButton* sourceFolder;
        QPushButton* outputFolder;
        QPushButton* startCommand;
        QIcon rowIcon;
        QIcon failedIcon;  // the list's second image
    };
    explicit QtRowSink(Controls controls);

    void deleteAllRows() override;
    void insertRow(std::int32_t index, const std::string& column0) override;
    void setColumn1(std::int32_t index, const std::string& text) override;
    void markFailed(std::int32_t index) override;
    void enableButton(FolderButton button, bool enabled) override;
    void setStartCommandText(const char* text) override;
    void showCompletionMessage(const std::string& text, const char* caption) override;

private:
    template <class Change>
    void onGuiThread(Change change);

    Controls controls_;
    QObject* context_;
};

}  // namespace brindle::ui
