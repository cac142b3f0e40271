// Drives a running Brindle.exe for the screenshot script: waits for the main window, starts a
// batch with the start command, closes the completion message when it comes, and prints the
// main window's place on the screen as "x y width height".

#include <windows.h>

#include <cstdio>

#include "support/win32_launch.h"
#include "texts/texts.h"
#include "ui/resource.h"

namespace {

HWND waitForDialog(const char* caption) {
    for (int i = 0; i < 1500; ++i) {
        if (HWND window = FindWindowA("#32770", caption); window != nullptr && IsWindowVisible(window)) {
            return window;
        }
        Sleep(20);
    }
    return nullptr;
}

}  // namespace

int main() {
    const brindle::Texts& t = brindle::gb2312Texts();
    HWND window = waitForDialog(t.mainCaption);
    if (window == nullptr) {
        std::fprintf(stderr, "no main window\n");
        return 1;
    }
    brindle::testing::pressButton(window, IDC_START_BATCH);
    HWND message = waitForDialog(t.systemNotice);
    if (message == nullptr) {
        std::fprintf(stderr, "no completion message\n");
        return 1;
    }
    SendMessageA(message, WM_COMMAND, IDOK, 0);
    Sleep(500);
    RECT rect;
    GetWindowRect(window, &rect);
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    return 0;
}
