#include "app/win32/app_framework.h"

#include <windows.h>

namespace brindle::win32 {
namespace {

CAppBase* theApp = nullptr;

}  // namespace

CAppBase::CAppBase() { theApp = this; }

CAppBase::~CAppBase() {
    if (theApp == this) theApp = nullptr;
}

void CAppBase::postQuit(int code) {
    exitCode_ = code;
    PostQuitMessage(code);
}

int CAppBase::run(const std::string& commandTail) {
    m_lpCmdLine = commandTail;
    if (!InitInstance()) return ExitInstance();
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    exitCode_ = static_cast<int>(message.wParam);
    return ExitInstance();
}

std::string commandTailOf(const char* commandLine) {
    if (commandLine == nullptr) return {};
    const char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

}  // namespace brindle::win32

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using brindle::win32::theApp;
    if (theApp == nullptr) return 1;
    return theApp->run(brindle::win32::commandTailOf(GetCommandLineA()));
}
