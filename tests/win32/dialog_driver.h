#pragma once
// Drives Brindle's real dialogs from a test: a dialog runs modally on its own thread, as the
// program runs it, while the test thread sends it messages and reads its controls back. Within
// one process a message sent to another thread's window carries pointers unchanged, so list
// and text requests work as they do on the window's own thread.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ui/win32/dialog_base.h"
#include "ui/win32/prompts.h"

namespace brindle::testing {

inline std::string textOf(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
    const int got = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

// The first visible dialog window of the thread whose caption is caption (any caption when
// null); waits up to ten seconds for it.
inline HWND waitForDialog(DWORD thread, const char* caption = nullptr) {
    struct Search {
        const char* caption;
        HWND found;
    } search{caption, nullptr};
    for (int i = 0; i < 500 && search.found == nullptr; ++i) {
        EnumThreadWindows(
            thread,
            [](HWND window, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                char name[32];
                GetClassNameA(window, name, sizeof name);
                if (std::string(name) != "#32770" || !IsWindowVisible(window)) return TRUE;
                if (s->caption != nullptr && textOf(window) != s->caption) return TRUE;
                s->found = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) Sleep(20);
    }
    return search.found;
}

// Runs dialog.DoModal() on a thread of its own until the dialog ends.
class ModalRun {
public:
    explicit ModalRun(win32::CDialogBase& dialog)
        : thread_([this, &dialog] {
              threadId_ = GetCurrentThreadId();
              result_ = dialog.DoModal();
              done_ = true;
          }) {
        while (threadId_ == 0) Sleep(1);
        window_ = waitForDialog(threadId_);
    }
    ~ModalRun() {
        if (!done_ && window_ != nullptr) PostMessageA(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    ModalRun(const ModalRun&) = delete;
    ModalRun& operator=(const ModalRun&) = delete;

    HWND window() const { return window_; }
    HWND item(int id) const { return GetDlgItem(window_, id); }
    DWORD threadId() const { return threadId_; }
    // Waits up to ten seconds for the dialog to end; its DoModal result, or nothing.
    std::optional<INT_PTR> ended() {
        for (int i = 0; i < 500 && !done_; ++i) Sleep(20);
        if (!done_) return std::nullopt;
        return result_.load();
    }
    bool running() const { return !done_; }

private:
    std::atomic<DWORD> threadId_{0};
    std::atomic<INT_PTR> result_{0};
    std::atomic<bool> done_{false};
    HWND window_ = nullptr;
    std::thread thread_;
};

// A button pressed the way the user presses it.
inline void click(HWND button) { SendMessageA(button, BM_CLICK, 0, 0); }

// Where a control lies in its dialog's client area, and where a template rectangle lands.
inline RECT placeOf(HWND dialog, HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}
// The dialog manager converts the origin and the size each on its own, so the far edge is the
// converted origin plus the converted size.
inline RECT fromDialogUnits(HWND dialog, int x, int y, int width, int height) {
    RECT units{x, y, width, height};
    MapDialogRect(dialog, &units);
    return RECT{units.left, units.top, units.left + units.right, units.top + units.bottom};
}

// The children of a dialog in their order, which is the template's.
inline std::vector<HWND> childrenOf(HWND dialog) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

inline LOGFONTA fontOf(HWND window) {
    LOGFONTA font{};
    const auto handle = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    if (handle != nullptr) GetObjectA(handle, sizeof font, &font);
    return font;
}

// Answers the choosers from queues the test fills, and records every prompt.
class FakePrompts final : public win32::Prompts {
public:
    struct Asked {
        HWND owner;
        std::string title;
        std::string extra;  // the root's name, or the file chooser's filter text
        std::string startPath;
    };
    struct Message {
        HWND owner;
        std::string text;
        std::string caption;
    };

    std::optional<std::string> chooseFolder(HWND owner, const char* title, const char* rootName,
                                            const std::string& startPath) override {
        std::lock_guard lock(mutex_);
        folderAsked.push_back({owner, title, rootName, startPath});
        return next(folderAnswers);
    }
    // Answered like the folder chooser, from the same queue; the rule is kept for the test.
    std::optional<std::string> chooseSource(
        HWND owner, const char* title, const char* rootName, const std::string& startPath,
        const std::function<bool(const std::string&)>& acceptable) override {
        std::lock_guard lock(mutex_);
        folderAsked.push_back({owner, title, rootName, startPath});
        sourceRule = acceptable;
        return next(folderAnswers);
    }
    std::optional<std::string> chooseFile(HWND owner, const char* title,
                                          const char* filterText) override {
        std::lock_guard lock(mutex_);
        fileAsked.push_back({owner, title, filterText, {}});
        return next(fileAnswers);
    }
    void warn(HWND owner, const char* text, const char* caption) override {
        std::lock_guard lock(mutex_);
        warnings.push_back({owner, text, caption});
    }
    void inform(HWND owner, const std::string& text, const char* caption) override {
        {
            std::lock_guard lock(mutex_);
            informed.push_back({owner, text, caption});
        }
        changed_.notify_all();
        Sleep(informReturnDelay);
    }
    void openLink(const char* address) override {
        std::lock_guard lock(mutex_);
        links.emplace_back(address);
    }

    // Waits up to thirty seconds for count information messages; those there are.
    std::vector<Message> waitForInformed(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(30), [&] { return informed.size() >= count; });
        return informed;
    }

    // How long an information message takes to return once it is recorded (closed), as a box
    // shown on a worker thread does under Wine. Set before the message.
    DWORD informReturnDelay = 0;

    // Filled by the test before it presses a button; a missing answer is a cancel.
    std::deque<std::optional<std::string>> folderAnswers;
    std::deque<std::optional<std::string>> fileAnswers;

    std::vector<Asked> folderAsked;
    std::vector<Asked> fileAsked;
    std::vector<Message> warnings;
    std::vector<Message> informed;
    std::vector<std::string> links;
    std::function<bool(const std::string&)> sourceRule;  // of the last source chooser

private:
    static std::optional<std::string> next(std::deque<std::optional<std::string>>& answers) {
        if (answers.empty()) return std::nullopt;
        std::optional<std::string> answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace brindle::testing
