// brindle's entry on Linux. Single-file mode creates no toolkit object unless the engine failed
// and a display is there to say so, so it runs without a display; window mode runs the main
// window modally and ends when it closes.

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "core/engine_runner.h"
#include "core/startup.h"
#include "os/host_platform.h"
#include "ui/qt/brindle_dlg.h"
#include "ui/qt/qt_texts.h"
#include "ui/qt/prompts.h"

namespace {

// The command tail: the arguments after the program's name, joined by single blanks.
std::string commandTail(int argc, char** argv) {
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) tail += ' ';
        tail += argv[i];
    }
    return tail;
}

brindle::FrontEndState frontEndState;

// Without any display Qt would abort the program; say why and end instead.
bool displayReachable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    brindle::Platform& platform = brindle::hostPlatform();
    const std::string tail = commandTail(argc, argv);
    const std::string programFolder = brindle::fillFrontEndState(platform, frontEndState);

    const brindle::Texts& texts = brindle::hostTexts();
    if (brindle::startModeFor(tail) == brindle::StartMode::SingleFile) {
        const std::optional<std::string> failure =
            brindle::decompileAndShow(platform, frontEndState, texts, tail);
        if (!failure) return 0;
        // No source: say why, in a message box where there is a display, else on stderr.
        if (displayReachable()) {
            QApplication application(argc, argv);
            brindle::ui::installQtChineseTexts(application);
            brindle::ui::MessageBox::show(nullptr, QMessageBox::Warning,
                                          QString::fromUtf8(texts.systemNotice),
                                          QString::fromStdString(*failure));
        } else {
            std::string line = *failure;
            std::replace(line.begin(), line.end(), '\n', ' ');
            std::fprintf(stderr, "brindle: %s\n", line.c_str());
        }
        return 1;
    }
    if (!displayReachable()) {
        std::fputs("brindle: no display for the window; give a class file to decompile it "
                   "without one\n", stderr);
        return 1;
    }
    QApplication application(argc, argv);
    brindle::ui::installQtChineseTexts(application);
    brindle::CBrindleDlg window(platform, frontEndState, texts, programFolder);
    window.exec();
    return 0;
}
