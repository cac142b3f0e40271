// typebind: registers brindle, from the registrar's own folder, as the program that opens
// .class files for the user who runs it. It prints nothing, reads no arguments and always ends
// with exit code 0; what cannot be written is skipped.

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
        !replaceFile(applications + "/" + std::string(kDesktopFileName), desktopEntry(folder))) {
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
