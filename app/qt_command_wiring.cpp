#include "app/qt_command_wiring.h"

#include <QAction>
#include <QMenuBar>
#include <memory>

#include "app/condition_commands.h"
#include "app/data_commands.h"
#include "app/main_window.h"
#include "app/qt_graph_image.h"
#include "app/qt_images.h"
#include "app/qt_menus.h"
#include "app/run_commands.h"
#include "base/file_chooser.h"
#include "base/qt_modal_run.h"
#include "base/qt_prompter.h"
#include "conditions/fitting_conditions_dialog.h"
#include "data/data_sheet_window.h"
#include "engine/progress_window.h"
#include "engine/qt_progress_view.h"
#include "report/fit_details.h"
#include "report/fit_details_window.h"
#include "report/fit_statistics.h"

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

  // Open data (1123) and close data (1124): the data sheet runs over the main window and owns
  // its own messages while it is open.
  window.hooks().open_data = [&prompter, &chooser](MainWindow& main) {
    OpenData(main, chooser, main.state(), [&prompter, &main](DataText& text) {
      DataSheetWindow sheet(text, main.state(), prompter, &main, [&main] {
        main.raise();
        main.activateWindow();
      });
      prompter.SetOwner(WindowId::kDataSheet, &sheet);
      const int code = RunModal(sheet, &main);
      prompter.SetOwner(WindowId::kDataSheet, nullptr);
      return code;
    });
  };
  window.hooks().close_data = [](MainWindow& main) { CloseData(main, main.state()); };

  // What the run leaves for saving (the marks of a run that stopped early).
  auto record = std::make_shared<RunRecord>();

  // 1128: the run command and its progress window.
  window.hooks().run = [record, &prompter](MainWindow& main) {
    QtProgressView progress;
    RunCommandFlow flow(main.state(), main, progress, *record, &main.graph()->scale());
    progress.SetSnapshotHandler(
        [&flow](const PauseSnapshot& snapshot) { flow.ShowPauseSnapshot(snapshot); });
    progress.SetPrompter(&main.prompter());
    flow.Run([&](CalculationDriver& driver) {
      ProgressWindow dialog(main.state(), driver, progress, &main);
      prompter.SetOwner(WindowId::kProgress, &dialog);
      RunModal(dialog, &main);
      prompter.SetOwner(WindowId::kProgress, nullptr);
    });
  };

  // 1125: the save dialog and the results report.
  window.hooks().save_results = [record, &chooser](MainWindow& main) {
    SaveResultsCommand(main.state(), main, *record, chooser);
  };

  // 1140: the statistics of the results shown, computed now that no worker runs, in their
  // window.
  window.hooks().fit_details = [record, &prompter, &chooser](MainWindow& main) {
    FitStatistics stats = ComputeFitStatistics(main.state());
    FitDetails details =
        MakeFitDetails(stats, main.state().conditions.leftSide, record->stopped_early);
    FitDetailsWindow details_window(std::move(details), std::move(stats), main.prompter(), chooser,
                                    &main);
    prompter.SetOwner(WindowId::kFitDetails, &details_window);
    RunModal(details_window, &main);
    prompter.SetOwner(WindowId::kFitDetails, nullptr);
  };

  // 1141: the graph as an image.
  window.hooks().save_graph_image = [&chooser](MainWindow& main) {
    SaveGraphImageCommand(*main.graph(), main.prompter(), chooser);
  };
}

}  // namespace calvane
