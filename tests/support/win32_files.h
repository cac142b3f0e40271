#pragma once
// Windows tests under Wine: the build's own files as Windows paths, the Windows folder, and
// removing a test's folder tree.

#include <windows.h>

#include <string>

namespace brindle::testing {

// A Linux path (a build output) as Wine's Z: drive shows it.
inline std::string fromLinuxPath(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return "Z:" + path;
}

// Where Brindle.exe looks for its engine.
inline std::string windowsFolder() {
    char buffer[MAX_PATH];
    return std::string(buffer, GetWindowsDirectoryA(buffer, MAX_PATH));
}

// Removes folder and everything below it, read-only files included.
inline void removeTree(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace brindle::testing
