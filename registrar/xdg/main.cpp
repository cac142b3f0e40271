// typebind: registers brindle, from the registrar's own folder, as the program that opens
// .class files for the user who runs it. It prints nothing, reads no arguments and always ends
// with exit code 0; what cannot be written is skipped.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "common/files.h"
#include "common/process.h"
#include "common/program_path.h"
#include "common/utf8.h"
#include "registrar/xdg/association.h"

namespace {

using namespace brindle::xdg;
namespace common = brindle::common;

// New folders are private to the user, as the XDG rules ask.
bool makeFolders(const std::string& folder) {
    return common::makeFolders(folder, common::NewFolders::Private, nullptr);
}

// A symbolic link (a list kept in a dotfiles repository, say) stays a link, and an existing
// file keeps its permissions.
bool replaceFile(const std::string& path, const std::string& bytes) {
    return common::replaceFile(path, bytes,
                               common::ReplaceOptions{.followLink = true, .keepMode = true}, nullptr);
}

// Makes path a symbolic link to target through a new link beside it and a rename, so that a
// launcher never finds it missing. An existing link is replaced; anything else at path is left
// alone (false).
bool replaceLink(const std::string& path, const std::string& target) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) return false;
    const std::string temporary = path + ".new" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) return false;
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

// The program the desktop entry starts. Launchers differ in how they read a quoted Exec
// program, so where the data folder's path needs no quoting the entry names a link there to
// brindle in the program folder (brindle finds its own folder through the link); elsewhere it
// names brindle itself, quoted.
std::string entryProgram(const std::string& programFolder, const std::string& dataFolder) {
    const std::string launcher = launcherPath(dataFolder);
    const std::string brindle = programFolder + std::string(kLauncherName);
    if (isPlainExecProgram(launcher) &&
        makeFolders(dataFolder + "/" + std::string(kLauncherFolder)) &&
        replaceLink(launcher, brindle)) {
        return launcher;
    }
    return brindle;
}

// Runs program (found on PATH) with one argument, silently, and waits for it; a program that
// is not installed is skipped.
void runQuietly(const char* program, const std::string& argument) {
    common::waitForProcess(common::startProcess({program, argument}, common::Streams::Silent));
}

void registerClassFiles() {
    const std::string folder = common::programFolder();
    // A desktop entry is UTF-8 text: a folder name that is not cannot be written into one.
    if (folder.empty() || !common::isUtf8(folder)) return;
    const char* home = std::getenv("HOME");
    const auto data = baseFolder(std::getenv("XDG_DATA_HOME"), home, ".local/share");
    const auto config = baseFolder(std::getenv("XDG_CONFIG_HOME"), home, ".config");
    if (!data || !config) return;

    const std::string applications = *data + "/applications";
    if (!makeFolders(applications) ||
        !replaceFile(applications + "/" + std::string(kDesktopFileName),
                     desktopEntry(entryProgram(folder, *data), folder))) {
        return;  // without the entry, a default naming it would point nowhere
    }
    const std::string mime = *data + "/mime";
    const std::string packages = mime + "/packages";
    const bool typed = makeFolders(packages) &&
                       replaceFile(packages + "/" + std::string(kMimePackageName), mimePackage());

    // The user's own list is only rewritten when it could be read whole (or is not there yet).
    const std::string list = *config + "/mimeapps.list";
    if (makeFolders(*config)) {
        std::string existing;
        const common::ReadStatus read =
            common::readWholeFile(list, common::kNoSizeLimit, existing, nullptr);
        if (read == common::ReadStatus::Ok || read == common::ReadStatus::Missing)
            replaceFile(list, mergeMimeApps(existing));
    }

    if (typed) runQuietly("update-mime-database", mime);
    runQuietly("update-desktop-database", applications);
}

}  // namespace

int main() {
    registerClassFiles();
    return 0;
}
