#include "core/batch_walker.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <system_error>
#include <utility>

#include "core/batch_paths.h"
#include "core/engine_command.h"
#include "core/engine_runner.h"
#include "core/path_rules.h"

namespace brindle {

BatchWalker::BatchWalker(Platform& platform, FrontEndState& state, RowSink& sink,
                         const Texts& texts)
    : platform_(platform), state_(state), sink_(sink), texts_(texts) {}

BatchWalker::~BatchWalker() {
    if (worker_.joinable()) {
        stop();
        worker_.join();
    }
}

bool BatchWalker::start() {
    // Once the start text is back on the command, the worker has nothing left to do but show
    // its completion message and return: a start then waits for it. Before that, the command
    // reads the stop text and no second worker may begin.
    if (running_.load() && !ending_.load()) return false;
    if (worker_.joinable()) worker_.join();
    ending_.store(false);

    const PathStyle& style = platform_.pathStyle();
    // A source folder written with a trailing separator is the same folder; keeping the
    // separator would double it in every path below.
    sourceRoot_ = withoutTrailingSeparators(state_.sourceFolder, style);
    outputFolder_ = state_.outputFolder;
    outputIdentity_.reset();
    enginePath_ = state_.enginePath;
    constexpr auto kLengthLimit =
        static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    state_.sourceRootLength = static_cast<std::int32_t>(
        sourceRoot_.size() < kLengthLimit ? sourceRoot_.size() : kLengthLimit);

    {
        const std::lock_guard lock(scratchMutex_);
        abandoned_ = false;
    }
    state_.runFlag.store(1);
    state_.producedFiles.clear();
    sink_.setStartCommandText(texts_.stopBatch);
    sink_.enableButton(FolderButton::Source, false);
    sink_.enableButton(FolderButton::Output, false);

    running_.store(true);
    try {
        worker_ = std::thread([this] { work(); });
    } catch (const std::system_error&) {
        running_.store(false);
        state_.runFlag.store(0);
        sink_.enableButton(FolderButton::Source, true);
        sink_.enableButton(FolderButton::Output, true);
        sink_.setStartCommandText(texts_.startBatch);
        return false;
    }
    return true;
}

void BatchWalker::stop() {
    state_.runFlag.store(0);
}

bool BatchWalker::running() const {
    return running_.load();
}

void BatchWalker::abandon() {
    stop();
    const std::lock_guard lock(scratchMutex_);
    abandoned_ = true;
    for (const std::string& folder : scratchFolders_) platform_.removeFolderTree(folder);
    scratchFolders_.clear();
}

void BatchWalker::wait() {
    if (worker_.joinable()) worker_.join();
}

void BatchWalker::work() {
    state_.producedCount.store(0);
    failed_ = 0;
    engineMissing_.clear();
    sink_.deleteAllRows();
    const PathStyle& style = platform_.pathStyle();
    // No source folder chosen: nothing to walk (an empty text would otherwise name the root).
    if (!sourceRoot_.empty()) {
        // An archive chosen as the source puts its sources straight into the output folder.
        if (isArchiveName(sourceRoot_, style) &&
            platform_.kindOf(sourceRoot_) == PathKind::File) {
            walkArchive(sourceRoot_, withTrailingSeparator(outputFolder_, style), 0, nullptr);
        } else {
            walk(topFolderText(sourceRoot_, style));
        }
    }

    std::string message(texts_.batchDonePrefix);
    message.append(std::to_string(state_.producedCount.load() - failed_));
    message.append(texts_.batchDoneSuffix);
    if (failed_ > 0) {
        message.append("\n").append(texts_.failedCountPrefix).append(std::to_string(failed_));
        message.append(texts_.failedCountSuffix);
    }
    if (!engineMissing_.empty()) message.append("\n").append(engineMissing_);
    sink_.enableButton(FolderButton::Source, true);
    sink_.enableButton(FolderButton::Output, true);
    ending_.store(true);
    sink_.setStartCommandText(texts_.startBatch);
    sink_.showCompletionMessage(message, texts_.systemNotice);
    running_.store(false);
}

// folder ends in a separator. Subfolders are walked the moment they are met, before the entries
// that follow them; paths are held in strings of any length, so a deep tree only ends where the
// platform refuses to open a folder.
void BatchWalker::walk(const std::string& folder) {
    const PathStyle& style = platform_.pathStyle();
    const std::size_t rootLength = sourceRoot_.size();
    const std::string mirrored = mirroredFolder(outputFolder_, folder, rootLength, style);

    std::string pattern(folder);
    pattern.append("*.*");
    const std::unique_ptr<FolderSearch> search = platform_.findFirst(pattern);
    if (!search) return;

    FolderEntry entry;
    while (goingOn() && search->next(entry)) {
        if (entry.name == "." || entry.name == "..") continue;
        std::string path(folder);
        path.append(entry.name);
        if (entry.isDirectory) {
            if (isOutputFolder(path)) continue;
            std::string target = withTrailingSeparator(outputFolder_, style);
            target.append(relativePart(path, rootLength, style));
            makeFolders(target);
            path += style.separator;
            walk(path);
        } else if (isClassFileName(path, style)) {
            decompileOne(path, mirrored);
        } else if (isArchiveName(path, style)) {
            const std::string name = archiveMirrorName(entry.name, [&](const std::string& sibling) {
                return platform_.kindOf(folder + sibling) != PathKind::Missing;
            });
            walkArchive(path, mirrored + name + style.separator, 0, nullptr);
        }
    }
}

// An output folder inside the source tree would otherwise be walked while the walk keeps adding
// mirrored folders inside it. Texts cannot tell: "src/./out", "src//out" or a source reached
// through a link name the same folder as "src/out". The output folder may only come into being
// during the walk, so its identity is asked for until it is there.
bool BatchWalker::isOutputFolder(const std::string& folder) {
    if (!outputIdentity_) outputIdentity_ = platform_.folderIdentity(outputFolder_);
    if (!outputIdentity_) return false;
    return platform_.folderIdentity(folder) == outputIdentity_;
}

void BatchWalker::makeFolders(const std::string& folder) {
    for (const std::string& level : folderLevels(folder, platform_.pathStyle())) {
        platform_.createFolder(level);
    }
}

bool BatchWalker::goingOn() const {
    return state_.runFlag.load() != 0 && engineMissing_.empty();
}

std::int32_t BatchWalker::listRow(const std::string& expected) {
    const PathStyle& style = platform_.pathStyle();
    removeStaleResult(platform_, expected);
    state_.producedFiles.append(expected);
    const std::int32_t row = state_.producedCount.load();
    sink_.insertRow(row, column0Text(expected, style));
    sink_.setColumn1(row, column1Text(expected, style));
    return row;
}

void BatchWalker::markFailed(std::int32_t row, std::string reason) {
    ++failed_;
    state_.producedFiles.markFailed(static_cast<std::size_t>(row), std::move(reason));
    sink_.markFailed(row);
}

void BatchWalker::decompileOne(const std::string& classPath, const std::string& mirrored) {
    const PathStyle& style = platform_.pathStyle();
    const ProcessCommand command = batchEngineCommand(enginePath_, classPath, mirrored, style);
    const std::string expected = expectedOutputFile(mirrored, baseName(classPath, style), style);

    // The row and its entry are there while the engine runs; the count follows the run.
    const std::int32_t row = listRow(expected);
    const ProcessOutcome outcome = platform_.runAndWait(command, ShowState::Hidden);
    state_.producedCount.fetch_add(1);
    if (std::optional<std::string> failure =
            engineFailure(platform_, command, outcome, expected, texts_)) {
        // Every later file would fail the same way: the batch ends here.
        if (!outcome.started) engineMissing_ = *failure;
        markFailed(row, std::move(*failure));
    }
}

void BatchWalker::listUnreadable(const std::string& classPath, const std::string& mirrored) {
    const PathStyle& style = platform_.pathStyle();
    const std::int32_t row =
        listRow(expectedOutputFile(mirrored, baseName(classPath, style), style));
    state_.producedCount.fetch_add(1);
    markFailed(row, texts_.entryUnreadable);
}

}  // namespace brindle
