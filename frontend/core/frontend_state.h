#pragma once
// The front-end's one process-wide record, filled at start-up and living until the program ends.

#include <atomic>
#include <cstdint>
#include <string>

#include "core/produced_files.h"

namespace brindle {

struct FrontEndState {
    // Non-zero while a batch may go on: set by the window thread, read by the worker.
    std::atomic<std::uint8_t> runFlag{0};
    // Class files handed to the engine by the current batch; also the next list row's index.
    std::atomic<std::int32_t> producedCount{0};
    // Length of the source folder text, fixed when a batch starts.
    std::int32_t sourceRootLength = 0;

    std::string viewerCommand;        // "Notepad.exe " by default, with its trailing blank
    std::string defaultOutputFolder;  // program folder + "JavaSourceCode", fixed at start-up
    std::string outputFolder;
    std::string sourceFolder;
    std::string enginePath;           // Windows folder + "\Jad.exe ", with its trailing blank
    std::string labelScratch;         // composes the main window's two path labels
    ProducedFiles producedFiles;
    std::string browseStartPath;      // what a folder chooser pre-selects
};

}  // namespace brindle
