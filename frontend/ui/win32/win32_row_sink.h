#pragma once
// The batch walker's view of the main window: its list (1005), its folder buttons (1006, 1007),
// its start command (1009) and its completion message. Every change is a message to a control
// (SendMessage), which Windows carries out on the thread that owns the window, so the worker
// may call these directly; each call returns when the control has been changed.

#include <windows.h>

#include "core/row_sink.h"
#include "ui/win32/prompts.h"

namespace brindle::win32 {

// The list's images: every row shows the program icon, a failed one the failure mark.
inline constexpr int kRowImage = 0;
inline constexpr int kFailedImage = 1;

class Win32RowSink final : public RowSink {
public:
    explicit Win32RowSink(Prompts& prompts) : prompts_(prompts) {}

    // The main window whose controls the sink changes; set on the GUI thread before a batch
    // starts.
    void attach(HWND dialog) { dialog_ = dialog; }

    void deleteAllRows() override;
    void insertRow(std::int32_t index, const std::string& column0) override;
    void setColumn1(std::int32_t index, const std::string& text) override;
    void markFailed(std::int32_t index) override;
    void enableButton(FolderButton button, bool enabled) override;
    void setStartCommandText(const char* text) override;
    void showCompletionMessage(const std::string& text, const char* caption) override;

private:
    HWND list() const;

    Prompts& prompts_;
    HWND dialog_ = nullptr;
};

}  // namespace brindle::win32
