#pragma once

#include <functional>
#include <span>
#include <string>

#include "app/app_state.h"
#include "app/main_view.h"
#include "base/file_chooser.h"
#include "data/data_text.h"

namespace calvane {

// Result codes of the data sheet's modal run.
inline constexpr int kSheetAccepted = 0;
inline constexpr int kSheetCancelled = 1;

// Runs the data sheet over the text just read and returns its result code: kSheetAccepted once
// its OK has converted the points (AcceptDataSelection), anything else when it was cancelled.
// The sheet indexes the text itself.
using RunDataSheet = std::function<int(DataText& text)>;

// The open-data dialog's type list, in the order offered (csv first).
std::span<const FileFilter> OpenDataFilters();

// The open-data dialog's request: title, filters, no default extension, owned by the main window,
// starting in Sample under the working directory until a data or condition file has been chosen.
FileDialogRequest OpenDataRequest(const AppState& state);

// Open data (command 1123): the discard check, the open-file dialog, clear results, the file read
// whole, the data sheet; on acceptance PublishAcceptedData. A cancelled dialog or a refused
// discard changes nothing. A file that cannot be opened or read shows its message (caption
// "エラー", without "終了します。") and leaves the data loaded before as they were; the program
// goes on. A cancelled sheet leaves the file name, status line, workflow state and commands as they
// were (the results are already cleared). Returns true when new data were accepted. Main thread.
bool OpenData(MainView& view, FileChooser& chooser, AppState& state, const RunDataSheet& run_sheet);

// What follows an accepted data selection: the data ranges over the points, the file path in
// field 1001, the workflow state 1, the commands and the status line of the accepted step, and a
// repaint. Shared by open data and calvane-batch. Main thread.
void PublishAcceptedData(MainView& view, AppState& state, const std::string& path);

// Close data (command 1124): ignored while a run is paused or being aborted; otherwise the
// discard check, clear results, workflow state 0, point count 0, an empty file name, the
// data-closed commands and status line, a repaint. Returns true when the data were closed.
bool CloseData(MainView& view, AppState& state);

}  // namespace calvane
