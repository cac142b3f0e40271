#pragma once
// What the batch walker needs from the main window: its list, its two folder buttons, its start
// command and its message box. The window implements it; tests and the benchmark record calls.
//
// Threads: BatchWalker::start() makes its calls (setStartCommandText, enableButton) on the
// thread that calls start(), the GUI thread. Every other call is made on the worker thread, and
// an implementation must carry it over to the GUI thread itself (window messages on Win32,
// queued calls on Qt). Calls arrive one at a time and in order.

#include <cstdint>
#include <string>

namespace brindle {

enum class FolderButton { Source, Output };

class RowSink {
public:
    virtual ~RowSink() = default;

    // Called on the worker thread.
    virtual void deleteAllRows() = 0;
    // Inserts an unselected row at index showing the list's first image and column0 text.
    // Called on the worker thread.
    virtual void insertRow(std::int32_t index, const std::string& column0) = 0;
    // Called on the worker thread.
    virtual void setColumn1(std::int32_t index, const std::string& text) = 0;
    // Shows the list's second image, the failure mark, on the row at index; its texts stay.
    // Called on the worker thread.
    virtual void markFailed(std::int32_t index) = 0;
    // The walker always changes the source-folder button first, then the output-folder button.
    // Called on the GUI thread by start(), on the worker thread at the end of a batch.
    virtual void enableButton(FolderButton button, bool enabled) = 0;
    // The text of the command that starts and stops a batch. Called on the GUI thread by
    // start(), on the worker thread at the end of a batch.
    virtual void setStartCommandText(const char* text) = 0;
    // The completion message: a message box owned by the main window, with an information icon
    // and an OK button. May block until the user closes it, but not on the GUI thread's help
    // once the box is closed: the GUI thread may then wait for the worker to return. Called on
    // the worker thread.
    virtual void showCompletionMessage(const std::string& text, const char* caption) = 0;
};

}  // namespace brindle
