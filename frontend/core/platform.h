#pragma once
// Everything the core needs from the operating system, behind one interface. frontend/os has
// one implementation per platform; tests may hand in their own.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/path_style.h"
#include "core/process_command.h"

namespace brindle {

enum class ShowState { Hidden, Maximized };

// The platform's fixed choices, handed to the core as values.
struct PlatformDefaults {
    const char* sourceFolder;   // "C:\Tarnwick\Servlets"
    const char* viewerCommand;  // "Notepad.exe " (with its trailing blank)
    const char* folderOpener;   // "Explorer.exe "
    const char* engineName;     // "Jad.exe"
    const char* registrarName;  // "Typebind.exe"
};

// How a process that was waited for ended.
struct ProcessOutcome {
    bool started = false;   // false: it could not be started at all
    int exitCode = 0;       // its exit status; -1 when it ended otherwise (a signal)
    std::string errorLine;  // its first non-empty line on standard error, trimmed; may be empty
};

// What a path leads to, links followed. Other: a device, a pipe, a socket.
enum class PathKind { Missing, File, Folder, Other };

struct FolderEntry {
    std::string name;
    bool isDirectory = false;
};

// What tells one folder from every other, however its path is spelled ("src/./out", "src//out",
// a path through a link, other letter case where names ignore it): the device and inode on
// Linux, the volume serial number and file index on Windows.
struct FolderIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FolderIdentity&) const = default;
};

// One open folder search; closed when destroyed.
class FolderSearch {
public:
    virtual ~FolderSearch() = default;
    // Fills entry with the next entry in the platform's order; false when there is none.
    virtual bool next(FolderEntry& entry) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    virtual const PathStyle& pathStyle() const = 0;
    virtual const PlatformDefaults& defaults() const = 0;

    // The folder the engine lives in, without a trailing separator; empty when unknown.
    virtual std::string windowsFolder() = 0;
    // Full path of the running program file; empty when unknown.
    virtual std::string programPath() = 0;
    virtual bool setCurrentDirectory(const std::string& folder) = 0;

    // Starts the command as a new process, hidden from view and without a console window of its
    // own, and blocks until it ends. Its standard error is collected through a pipe (whatever it
    // writes there, however much, is read while it runs).
    virtual ProcessOutcome runAndWait(const ProcessCommand& command, ShowState show) = 0;
    // Starts the command and returns at once. False when it could not be started.
    virtual bool start(const ProcessCommand& command, ShowState show) = 0;

    // Makes a file deletable (clears read-only and the like); never follows a symbolic link.
    virtual void clearAttributes(const std::string& path) = 0;
    virtual void deleteFile(const std::string& path) = 0;

    // Opens a search of a folder with a pattern ending in "*.*" (the folder part ends in the
    // separator). Null when the folder cannot be read.
    virtual std::unique_ptr<FolderSearch> findFirst(const std::string& pattern) = 0;
    // Creates one folder; an existing folder or a failure is not reported.
    virtual void createFolder(const std::string& path) = 0;
    // The identity of the folder at path, links followed; nothing when no folder is there or
    // it cannot be opened.
    virtual std::optional<FolderIdentity> folderIdentity(const std::string& path) = 0;

    virtual PathKind kindOf(const std::string& path) = 0;
    // A new, empty folder below the system's temporary folder that only the current user may
    // enter: its path, without a trailing separator, or empty when none could be made.
    virtual std::string createPrivateFolder() = 0;
    // Removes the folder and everything in it. Links inside are removed, never followed.
    virtual void removeFolderTree(const std::string& path) = 0;
    // The platform's spelling of one file or folder name given in UTF-8 (an archive entry's),
    // or nothing when no file on this platform can carry that name: a character the ANSI code
    // page lacks, or a name Windows reserves (CON, "a:b", a trailing dot).
    virtual std::optional<std::string> fileNameFromUtf8(std::string_view name) = 0;
};

}  // namespace brindle
