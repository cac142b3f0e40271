#pragma once
// What the main window's commands do, apart from the controls: the texts of the two path labels,
// the commands started by the buttons, the choices that change a setting, and the file a
// double-clicked row opens. The window turns a control event into one of these calls and then
// updates its controls; it holds no path logic of its own. All of this runs on the GUI thread.

#include <optional>
#include <string>
#include <string_view>

#include "core/batch_walker.h"
#include "core/frontend_state.h"
#include "core/platform.h"
#include "texts/texts.h"

namespace brindle {

// Label 1012: "操作路径：" + source folder, composed in the state's label scratch.
const std::string& sourceLabelText(FrontEndState& state, const Texts& texts);

// Label 1013: the output prefix + output folder, composed in the state's label scratch. The
// window's first text after opening reads "源代码输出：", every later one "源文件输出：".
enum class OutputLabel { AtOpening, AfterChange };
const std::string& outputLabelText(FrontEndState& state, const Texts& texts, OutputLabel when);

// 1000 and 1008: the folder opener ("Explorer.exe ") followed by the default output folder, or by
// the current one, started maximized without waiting. False when it could not be started.
bool openDefaultOutputFolder(Platform& platform, const FrontEndState& state);
bool openOutputFolder(Platform& platform, const FrontEndState& state);

// 1002: the registrar beside the program, started by its unquoted path, hidden, not waited for.
bool startRegistrar(Platform& platform, const std::string& programFolder);

// What the source can be: a folder, or an archive (a file named .jar, .war, .ear or .zip, in
// any letter case). The source chooser offers only these.
bool isSourceChoice(Platform& platform, const std::string& path);

// 1006, or a folder or file dropped on the window: a path that isSourceChoice becomes the source
// folder; anything else changes nothing. True when it did. The window refuses a drop while a
// batch runs, as it disables 1006.
bool applySourceChoice(Platform& platform, FrontEndState& state, const std::string& path);

// 1001: a confirmed, non-empty viewer choice is written to ShellApp.ini and becomes the viewer
// command (without a trailing blank). An empty choice changes nothing.
void applyViewerChoice(FrontEndState& state, const std::string& programFolder,
                       const std::string& chosenPath);

// 1007: a confirmed output-folder choice. A path no longer than a bare root (shorter than 4
// characters on Windows: a drive root), or one longer than CodeOut.ini can give back, is
// refused and nothing changes; the window then shows the matching warning. Otherwise it becomes
// the output folder and is written to CodeOut.ini (the in-memory value changes even when the
// file cannot be written).
enum class OutputChoice { Changed, RootRefused, TooLongRefused };
OutputChoice applyOutputChoice(FrontEndState& state, const PathStyle& style,
                               const std::string& programFolder, const std::string& chosenPath);

// 1009: the command's caption is read into 80 characters (79 of text); when it reads as the stop
// text the batch is stopped, otherwise one is started. Returns whether a batch was started.
inline constexpr std::size_t kStartCommandTextLimit = 79;
bool startOrStopBatch(BatchWalker& walker, const Texts& texts, std::string_view commandText);

// Double-click on the list: the file of the row at the selection mark, or nothing when the mark
// is negative, no class file has been handed over yet, or the mark is stale (not below the
// number of produced files, as just after a new batch emptied the list).
std::optional<std::string> producedFileAt(const FrontEndState& state, int selectionMark);

// Starts the viewer command + " " + the file of the row at the selection mark, maximized,
// without waiting. False when there was nothing to open or it could not be started.
bool openProducedFile(Platform& platform, const FrontEndState& state, int selectionMark);

// Double-click on the list: as openProducedFile, except for a row whose class file failed, where
// nothing is started and the reason to show is returned (owned by the window, captioned
// "系统提示").
std::optional<std::string> openOrExplainRow(Platform& platform, const FrontEndState& state,
                                            int selectionMark);

}  // namespace brindle
