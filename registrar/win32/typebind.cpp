// Typebind.exe: registers Brindle.exe, from the registrar's own folder, as the program that
// opens .class files. It shows nothing, reads no command line and always ends with exit code 0;
// whatever cannot be written is skipped with everything below it.

#include <windows.h>

#include <string>

#include "texts/gb2312_texts.h"

namespace {

// The largest module path taken, terminating zero included; a longer path is not used at all.
constexpr DWORD kPathBuffer = 280;

// The length of path up to and including its last backslash, read under the ANSI code page's
// lead-byte rules so that a double-byte character whose trail byte is 0x5C is not cut.
std::size_t folderLength(const std::string& path) {
    std::size_t folder = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            ++i;
        } else if (path[i] == '\\') {
            folder = i + 1;
        }
    }
    return folder;
}

// The registrar's folder with its trailing backslash; empty when the module path cannot be
// read whole (a cut path would name a Brindle.exe that is not there).
std::string programFolder() {
    char buffer[kPathBuffer];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, kPathBuffer);
    if (length == 0 || length >= kPathBuffer) return {};
    const std::string path(buffer, length);
    return path.substr(0, folderLength(path));
}

bool createKey(HKEY parent, const char* name, REGSAM access, HKEY* key) {
    return RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                           key, nullptr) == ERROR_SUCCESS;
}

// Sets the key's default value to the whole text with its terminating zero.
void setDefault(HKEY key, DWORD type, const std::string& text) {
    RegSetValueExA(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

void registerClassFiles(const std::string& folder) {
    const std::string target = folder + "Brindle.exe";
    const std::string openCommand = "\"" + target + "\" \"%1\"";
    const std::string iconReference = target + ",1";  // index 1: the class-file icon

    HKEY root = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, nullptr, 0, KEY_CREATE_SUB_KEY, &root) !=
        ERROR_SUCCESS) {
        return;
    }
    HKEY extension = nullptr;
    if (createKey(root, ".Class", KEY_SET_VALUE, &extension)) {
        setDefault(extension, REG_SZ, "CoolBrindle");
        RegCloseKey(extension);
    }
    HKEY fileType = nullptr;
    if (createKey(root, "CoolBrindle", KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &fileType)) {
        setDefault(fileType, REG_SZ, BRINDLE_TEXT_FILE_TYPE_NAME);
        HKEY icon = nullptr;
        if (createKey(fileType, "DefaultIcon", KEY_SET_VALUE, &icon)) {
            setDefault(icon, REG_SZ, iconReference);
            RegCloseKey(icon);
        }
        HKEY shell = nullptr;
        if (createKey(fileType, "Shell", KEY_CREATE_SUB_KEY, &shell)) {
            HKEY open = nullptr;
            if (createKey(shell, "Open", KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &open)) {
                setDefault(open, REG_SZ, "");
                HKEY command = nullptr;
                if (createKey(open, "Command", KEY_SET_VALUE, &command)) {
                    setDefault(command, REG_EXPAND_SZ, openCommand);
                    RegCloseKey(command);
                }
                RegCloseKey(open);
            }
            RegCloseKey(shell);
        }
        RegCloseKey(fileType);
    }
    RegCloseKey(root);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::string folder = programFolder();
    if (!folder.empty()) registerClassFiles(folder);
    return 0;
}
