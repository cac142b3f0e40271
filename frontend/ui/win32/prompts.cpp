#include "ui/win32/prompts.h"

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

namespace brindle::win32 {
namespace {

// What a chooser's callback is told: the path to select when it opens and, for the source
// chooser, which selections may be confirmed.
struct Browse {
    const std::string* startPath;
    const std::function<bool(const std::string&)>* acceptable;
};

// Selects the start path once the folder chooser has opened; offers OK only for acceptable
// selections when there is a rule for them.
int CALLBACK browseCallback(HWND chooser, UINT message, LPARAM item, LPARAM data) {
    const auto* browse = reinterpret_cast<const Browse*>(data);
    if (message == BFFM_INITIALIZED) {
        SendMessageA(chooser, BFFM_SETSELECTIONA, TRUE,
                     reinterpret_cast<LPARAM>(browse->startPath->c_str()));
    } else if (message == BFFM_SELCHANGED && browse->acceptable != nullptr) {
        char path[MAX_PATH] = {};
        const bool ok = SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(item), path) &&
                        (*browse->acceptable)(path);
        SendMessageA(chooser, BFFM_ENABLEOK, 0, ok ? TRUE : FALSE);
    }
    return 0;
}

std::wstring wideFromAnsi(const char* text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

class SystemPrompts final : public Prompts {
public:
    std::optional<std::string> chooseFolder(HWND owner, const char* title, const char* rootName,
                                            const std::string& startPath) override {
        return runChooser(owner, title, rootName, Browse{&startPath, nullptr});
    }

    std::optional<std::string> chooseSource(
        HWND owner, const char* title, const char* rootName, const std::string& startPath,
        const std::function<bool(const std::string&)>& acceptable) override {
        std::optional<std::string> chosen =
            runChooser(owner, title, rootName, Browse{&startPath, &acceptable});
        if (chosen && !acceptable(*chosen)) return std::nullopt;
        return chosen;
    }

    // The folder chooser; files are listed too when the callback has a rule for them.
    std::optional<std::string> runChooser(HWND owner, const char* title, const char* rootName,
                                          const Browse& rules) {
        // The chooser needs COM on this thread; a thread that already has it keeps its kind.
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

        std::optional<std::string> chosen;
        IMalloc* allocator = nullptr;
        if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr) {
            auto* displayName = static_cast<char*>(allocator->Alloc(MAX_PATH));
            if (displayName != nullptr) {
                // Whatever item the desktop parses from the root's name becomes the root; when it
                // parses nothing (the name is another language's), the desktop is the root.
                LPITEMIDLIST root = nullptr;
                IShellFolder* desktop = nullptr;
                if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop != nullptr) {
                    std::wstring wideRoot = wideFromAnsi(rootName);
                    ULONG eaten = 0;
                    desktop->ParseDisplayName(owner, nullptr, wideRoot.data(), &eaten, &root,
                                              nullptr);
                    desktop->Release();
                }

                BROWSEINFOA browse{};
                browse.hwndOwner = owner;
                browse.pidlRoot = root;
                browse.pszDisplayName = displayName;
                browse.lpszTitle = title;
                browse.ulFlags = rules.acceptable != nullptr ? BIF_BROWSEINCLUDEFILES
                                                             : BIF_RETURNONLYFSDIRS;
                browse.lpfn = browseCallback;
                browse.lParam = reinterpret_cast<LPARAM>(&rules);
                if (LPITEMIDLIST item = SHBrowseForFolderA(&browse)) {
                    // A folder without a file-system path is no choice: the display name left in
                    // the buffer is not a path.
                    if (SHGetPathFromIDListA(item, displayName)) chosen = std::string(displayName);
                    allocator->Free(item);
                }
                if (root != nullptr) allocator->Free(root);
                allocator->Free(displayName);
            }
            allocator->Release();
        }

        if (SUCCEEDED(com)) CoUninitialize();
        return chosen;
    }

    std::optional<std::string> chooseFile(HWND owner, const char* title,
                                          const char* filterText) override {
        // One entry: the display text, then an empty pattern, then the list's end.
        std::string filter = filterText;
        filter.push_back('\0');
        filter.push_back('\0');
        std::vector<char> path(MAX_PATH, '\0');

        OPENFILENAMEA dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = owner;
        dialog.lpstrFilter = filter.c_str();
        dialog.lpstrFile = path.data();
        dialog.nMaxFile = static_cast<DWORD>(path.size());
        dialog.lpstrTitle = title;
        dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
        if (!GetOpenFileNameA(&dialog)) return std::nullopt;
        return std::string(path.data());
    }

    void warn(HWND owner, const char* text, const char* caption) override {
        MessageBoxA(owner, text, caption, MB_OK);
    }

    void inform(HWND owner, const std::string& text, const char* caption) override {
        MessageBoxA(owner, text.c_str(), caption, MB_ICONINFORMATION | MB_OK);
    }

    void openLink(const char* address) override {
        ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
    }
};

}  // namespace

Prompts& systemPrompts() {
    static SystemPrompts prompts;
    return prompts;
}

}  // namespace brindle::win32
