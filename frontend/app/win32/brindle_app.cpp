// Brindle.exe's application object and its start-up.

#include <windows.h>

#include "app/win32/app_framework.h"
#include "core/engine_runner.h"
#include "core/startup.h"
#include "os/host_platform.h"
#include "ui/win32/brindle_dlg.h"
#include "ui/win32/prompts.h"

namespace brindle {

class CBrindleApp final : public win32::CAppBase {
public:
    bool InitInstance() override;

    // The window the program runs in, while it exists.
    win32::CDialogBase* m_pMainWnd = nullptr;
};

namespace {

FrontEndState frontEndState;
CBrindleApp theBrindleApp;

}  // namespace

bool CBrindleApp::InitInstance() {
    // Brindle's windows host no embedded controls, so there is no control container to enable.
    Platform& platform = hostPlatform();
    const std::string programFolder = fillFrontEndState(platform, frontEndState);

    if (startModeFor(m_lpCmdLine) == StartMode::SingleFile) {
        const std::optional<std::string> failure =
            decompileAndShow(platform, frontEndState, hostTexts(), m_lpCmdLine);
        // No source: the message says why, in place of a viewer on a file that is not there.
        if (failure) {
            win32::systemPrompts().warn(nullptr, failure->c_str(), hostTexts().systemNotice);
        }
        postQuit(failure ? 1 : 0);
        return false;
    }

    // Window mode: the main window runs modally; when it has closed, the program ends.
    {
        win32::CBrindleDlg dialog(platform, frontEndState, hostTexts(), programFolder,
                                  win32::systemPrompts());
        m_pMainWnd = &dialog;
        dialog.DoModal();
        m_pMainWnd = nullptr;
        // Closed during a batch: end at once. The worker ends with the process, never meeting
        // the window's objects freed; an engine run in progress goes on by itself. The
        // temporary folders of archives in hand go first.
        if (dialog.batchRunning()) {
            dialog.abandonBatch();
            ExitProcess(0);
        }
    }
    return false;
}

}  // namespace brindle
