#pragma once

namespace calvane {

class MainWindow;
class QtPrompter;
class FileChooser;

// Fills the main window's CommandHooks: open and close data (the data sheet), the fitting
// conditions (the conditions dialogs), run (the progress window), save results, the details of
// the results (their window) and the graph image. The one place where the windows of the
// subsystems meet the main window. `prompter` and `chooser` outlive `window`. Main thread.
void InstallCommandHooks(MainWindow& window, QtPrompter& prompter, FileChooser& chooser);

}  // namespace calvane
