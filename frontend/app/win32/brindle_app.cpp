// Brindle.exe's application object and its start-up.

#include "app/win32/app_framework.h"
#include "core/engine_runner.h"
#include "core/startup.h"
#include "os/host_platform.h"

namespace brindle {

class CBrindleApp final : public win32::CAppBase {
public:
    bool InitInstance() override;
};

namespace {

FrontEndState frontEndState;
CBrindleApp theBrindleApp;

}  // namespace

bool CBrindleApp::InitInstance() {
    // Brindle's windows host no embedded controls, so there is no control container to enable.
    Platform& platform = hostPlatform();
    fillFrontEndState(platform, frontEndState);

    if (startModeFor(m_lpCmdLine) == StartMode::SingleFile) {
        decompileAndShow(platform, frontEndState, m_lpCmdLine);
        postQuit(0);
        return false;
    }
    // Window mode: the main window is created and run modally here.
    return false;
}

}  // namespace brindle
