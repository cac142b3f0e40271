#pragma once
// Brindle's main window: the source and output folders, the viewer choice, the folder batch with
// its list of produced files, and the commands that open them. Each control event becomes one
// call of the window commands (core/window_commands.h) and one update of the controls.
//
// The batch walker lives as long as this object. When the window has closed during a batch, the
// program must end at once without destroying this object (see core/batch_walker.h): ask
// batchRunning(), then abandonBatch() and ExitProcess.

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "core/batch_walker.h"
#include "core/frontend_state.h"
#include "core/platform.h"
#include "texts/texts.h"
#include "ui/win32/dialog_base.h"
#include "ui/win32/prompts.h"
#include "ui/win32/win32_row_sink.h"

namespace brindle::win32 {

class CBrindleDlg final : public CDialogBase {
public:
    // programFolder ends in a backslash; the settings files and the registrar live there.
    CBrindleDlg(Platform& platform, FrontEndState& state, const Texts& texts,
                std::string programFolder, Prompts& prompts, HWND parent = nullptr);

    // True while a batch worker runs. GUI thread.
    bool batchRunning() const { return walker_.running(); }
    // Stops the batch and removes the temporary folders of archives in hand, before the program
    // ends at once. GUI thread.
    void abandonBatch() { walker_.abandon(); }

protected:
    BOOL OnInitDialog() override;
    // Enter and Esc do nothing in this window; only the close request ends it.
    void OnOK() override {}
    void OnCancel() override {}
    bool OnCommand(int id, int code, HWND control) override;
    bool OnNotify(const NMHDR& header, LRESULT& result) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void focusList();
    void chooseViewer();
    void chooseSourceFolder();
    void dropSource(HDROP drop);
    void chooseOutputFolder();
    void startOrStop();
    void showAbout();
    void paintIcon();

    Platform& platform_;
    FrontEndState& state_;
    const Texts& texts_;
    const std::string programFolder_;
    Prompts& prompts_;
    Win32RowSink sink_;
    BatchWalker walker_;
    HICON m_hIcon = nullptr;
    // The list's 16 x 16 image list; the list control owns it once given, and destroys it.
    HIMAGELIST imageList_ = nullptr;
};

}  // namespace brindle::win32
