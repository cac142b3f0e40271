#pragma once
// The batch: every class file below the source folder handed to the engine, one at a time, on a
// worker thread, into folders below the output folder that mirror the source tree. Each file
// gets its expected output file in the produced-file list and a row in the window's list before
// its engine runs.
//
// Lifetime. The platform, the state, the sink and the texts must outlive the worker. The
// destructor stops a running worker and waits for it, which lasts until the current engine run
// ends and the sink's calls return; it must therefore not run on a thread that the sink waits
// for. To end the program at once during a batch (closing the main window), call stop() and end
// the process without destroying the walker or anything it uses (ExitProcess on Windows,
// std::_Exit on Linux): the worker then ends with the process and never meets freed memory,
// while an engine run in progress goes on by itself.

#include <atomic>
#include <optional>
#include <string>
#include <thread>

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

    // Blocks until the worker (if any) has ended. Not for a thread the sink waits for.
    void wait();

private:
    void work();
    void walk(const std::string& folder);
    bool isOutputFolder(const std::string& folder);
    void decompileOne(const std::string& classPath, const std::string& mirrored);

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

    std::atomic<bool> running_{false};
    // Set by the worker as it puts the start text back; all it does after is its message.
    std::atomic<bool> ending_{false};
    std::thread worker_;
};

}  // namespace brindle
