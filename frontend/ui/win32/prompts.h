#pragma once
// The choosers, message boxes and the link opener that Brindle's windows show, behind one
// interface so that tests can answer them. systemPrompts() shows the real ones; a test installs
// its own object in the window it drives.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace brindle::win32 {

class Prompts {
public:
    virtual ~Prompts() = default;

    // The folder chooser owned by owner, titled title, rooted at the shell item named by
    // rootName (a display name such as "我的电脑"), with startPath pre-selected. Only file-system
    // folders can be chosen. The chosen folder's path, or nothing when the user cancelled.
    // GUI thread.
    virtual std::optional<std::string> chooseFolder(HWND owner, const char* title,
                                                    const char* rootName,
                                                    const std::string& startPath) = 0;

    // The source chooser: the folder chooser as above that lists files too, and offers OK only
    // while acceptable says yes to the selection's path (a folder or an archive). GUI thread.
    virtual std::optional<std::string> chooseSource(
        HWND owner, const char* title, const char* rootName, const std::string& startPath,
        const std::function<bool(const std::string&)>& acceptable) = 0;

    // The file-open dialog owned by owner, titled title, with one file type whose display text
    // is filterText and whose pattern is empty. The chosen path (possibly empty), or nothing
    // when the user cancelled. GUI thread.
    virtual std::optional<std::string> chooseFile(HWND owner, const char* title,
                                                  const char* filterText) = 0;

    // A warning owned by owner with only an OK button. GUI thread.
    virtual void warn(HWND owner, const char* text, const char* caption) = 0;

    // An information message owned by owner with an OK button; returns when it is closed.
    // Called on the batch worker thread.
    virtual void inform(HWND owner, const std::string& text, const char* caption) = 0;

    // Opens a web address with the system's default handler, without waiting. GUI thread.
    virtual void openLink(const char* address) = 0;
};

// The real choosers and message boxes.
Prompts& systemPrompts();

}  // namespace brindle::win32
