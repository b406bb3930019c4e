#include "app/qt_command_wiring.h"

#include <QAction>
#include <QMenuBar>
#include <memory>

#include "app/condition_commands.h"
#include "app/main_window.h"
#include "app/qt_images.h"
#include "app/qt_menus.h"
#include "base/file_chooser.h"
#include "base/qt_prompter.h"
#include "conditions/fitting_conditions_dialog.h"

namespace calvane {

void InstallCommandHooks(MainWindow& window, QtPrompter& prompter, FileChooser& chooser) {
  // 1127: the fitting-conditions window. Its menu bar is built once, here at start-up, and
  // attached by every opening; its first two entries carry the toolbar images.
  std::shared_ptr<QMenuBar> conditions_menu;
  {
    std::map<int, QAction*> actions;
    conditions_menu.reset(BuildConditionsMenuBar(nullptr, actions));
    actions.at(kCmdOpenConditionFile)->setIcon(ToolbarPixmap(ToolbarImage::kOpenData));
    actions.at(kCmdSaveConditionFile)->setIcon(ToolbarPixmap(ToolbarImage::kSaveResults));
  }
  window.hooks().make_conditions_window =
      [conditions_menu, &prompter, &chooser](MainWindow& main) -> std::unique_ptr<ModalWindow> {
    auto host = std::make_unique<ConditionCommands>(main.state(), main, chooser,
                                                    [&main] { main.RunCommand(kCmdHelp); });
    auto dialog = std::make_unique<FittingConditionsDialog>(main.state(), std::move(host),
                                                            conditions_menu.get(), &main);
    prompter.SetOwner(WindowId::kConditions, dialog.get());
    return dialog;
  };
}

}  // namespace calvane
