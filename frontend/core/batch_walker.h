#pragma once
// The batch: every class file below the source folder handed to the engine, one at a time, on a
// worker thread, into folders below the output folder that mirror the source tree. Each file
// gets its expected output file in the produced-file list and a row in the window's list before
// its engine runs.
//
// After each engine run the walker tells whether the source was written (engine_runner.h): a
// failed row keeps its place and texts, shows the failure mark and keeps its reason for a
// double-click. The completion message counts the files created and, on a second line, those
// that failed. An engine that cannot be started ends the batch after its first file, and the
// message says so once, naming the engine's path.
//
// Archives (.jar, .war, .ear, .zip) met in the tree, inside other archives, or chosen as the
// source itself are walked like folders: their sources go to a folder named after the archive
// ("lib/foo.jar" -> "<output>/lib/foo.jar.src/..."; a source archive's straight into the output
// folder). The class files of each folder of an archive are extracted, together, into a private
// temporary folder of that archive just before the first of them goes to the engine, so a
// class's nested classes lie beside it; the temporary folder goes when the archive is done. An
// archive that cannot be read, or that would expand past archive/zip_limits.h, is skipped.
//
// Lifetime. The platform, the state, the sink and the texts must outlive the worker. The
// destructor stops a running worker and waits for it, which lasts until the current engine run
// ends and the sink's calls return; it must therefore not run on a thread that the sink waits
// for. To end the program at once during a batch (closing the main window), call stop() and end
// the process without destroying the walker or anything it uses (ExitProcess on Windows,
// std::_Exit on Linux): the worker then ends with the process and never meets freed memory,
// while an engine run in progress goes on by itself.

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "archive/zip_archive.h"
#include "core/frontend_state.h"
#include "core/platform.h"
#include "core/row_sink.h"
#include "texts/texts.h"

namespace brindle {

class BatchWalker {
public:
    BatchWalker(Platform& platform, FrontEndState& state, RowSink& sink, const Texts& texts);
    ~BatchWalker();
    BatchWalker(const BatchWalker&) = delete;
    BatchWalker& operator=(const BatchWalker&) = delete;

    // GUI thread. Sets the run flag, empties the produced-file list, shows the stop text on the
    // start command, disables the source-folder then the output-folder button, and starts the
    // worker. The source folder, output folder and engine path are read here, once per batch.
    // Returns false and changes nothing while the worker of an earlier batch still walks. A
    // worker that has put the start text back and is only showing its completion message or
    // returning from it is waited for first, so a start right after the message always starts:
    // the sink must then not need the GUI thread to return from that message. Also false, with
    // the controls and the run flag put back, when no thread can be started.
    bool start();

    // Clears the run flag; nothing else. The worker ends before its next folder entry, after the
    // engine run in progress. Any thread.
    void stop();

    // True from start() until the worker has shown its completion message and ended.
    bool running() const;

    // For a program about to end at once during a batch: clears the run flag and removes the
    // temporary folders of the archives in hand; the worker makes no new one and extracts
    // nothing more. Blocks while the worker finishes extracting one file. GUI thread.
    void abandon();

    // Blocks until the worker (if any) has ended. Not for a thread the sink waits for.
    void wait();

private:
    class ArchiveWalk;  // the walk inside one archive (archive_walk.cpp)

    void work();
    void walk(const std::string& folder);
    bool isOutputFolder(const std::string& folder);
    void decompileOne(const std::string& classPath, const std::string& mirrored);
    // The row of a class file of an archive that could not be extracted: listed, and failed.
    void listUnreadable(const std::string& classPath, const std::string& mirrored);
    // Removes a stale result and lists its row (entry and row i); the row's index.
    std::int32_t listRow(const std::string& expected);
    void markFailed(std::int32_t row, std::string reason);
    // The run flag is set and the engine could be started so far. Worker thread.
    bool goingOn() const;
    // Makes every missing level of folder (which may end in a separator).
    void makeFolders(const std::string& folder);

    // Walks the archive at path into mirrored (ending in a separator). depth counts the
    // archives it lies in; budget is shared by them (null for an archive that lies in none).
    void walkArchive(const std::string& path, const std::string& mirrored, int depth,
                     archive::ExpansionBudget* budget);

    // The temporary folders of the archives in hand. Every change to them, and every file
    // extracted into them, happens under the lock, so that abandon() never races the worker.
    std::string openScratchFolder();
    void closeScratchFolder(const std::string& folder);
    archive::ZipStatus extractInto(archive::ZipArchive& zip, const archive::ZipEntry& entry,
                                   const std::string& target);
    void makeScratchFolder(const std::string& folder);

    Platform& platform_;
    FrontEndState& state_;
    RowSink& sink_;
    const Texts& texts_;

    // Fixed by start() for the batch it begins; read only by that batch's worker.
    std::string sourceRoot_;
    std::string outputFolder_;
    std::string enginePath_;
    // Known once the output folder exists; the worker's own.
    std::optional<FolderIdentity> outputIdentity_;

    // The worker's own counts for the batch in hand.
    std::int32_t failed_ = 0;
    std::string engineMissing_;  // why the engine could not be started; empty while it could

    std::mutex scratchMutex_;
    std::vector<std::string> scratchFolders_;
    bool abandoned_ = false;

    std::atomic<bool> running_{false};
    // Set by the worker as it puts the start text back; all it does after is its message.
    std::atomic<bool> ending_{false};
    std::thread worker_;
};

}  // namespace brindle
