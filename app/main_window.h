#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QToolBar>
#include <QUrl>
#include <array>
#include <functional>
#include <map>
#include <memory>

#include "app/app_state.h"
#include "app/command_state.h"
#include "app/graph_widget.h"
#include "app/main_view.h"
#include "base/qt_modal_run.h"

namespace calvane {

class MainWindow;

// Where the commands carried out by other windows plug in. Each hook carries out its command
// whole: its own discard check, its windows (run with RunModal over the main window), and its
// effects on the main window through the MainView interface. A hook that is not set makes its
// command do nothing visible.
struct CommandHooks {
  std::function<void(MainWindow&)> open_data;     // 1123: file dialog and data sheet
  std::function<void(MainWindow&)> close_data;    // 1124
  std::function<void(MainWindow&)> save_results;  // 1125: save dialog and results report
  // 1127: makes the fitting-conditions window, which the main window runs modally and then
  // repaints itself.
  std::function<std::unique_ptr<ModalWindow>(MainWindow&)> make_conditions_window;
  std::function<void(MainWindow&)> run;               // 1128: run command and progress window
  std::function<void(MainWindow&)> fit_details;       // 1140: the details window
  std::function<void(MainWindow&)> save_graph_image;  // 1141: save dialog and image
};

// The main window "Calvane": the menu bar, the toolbar (70) at the top of the client area, the
// fields and labels of the client area at their client geometry (objectName = control id), the
// status line and the graph. Carries out exit, help and version itself and routes the other
// commands to CommandHooks. Main thread.
class MainWindow : public QMainWindow, public MainView {
  Q_OBJECT

 public:
  // Client area size below the menu bar, holding every control at its position.
  static constexpr int kClientWidth = 566;
  static constexpr int kClientHeight = 459;

  // `state` and `prompter` outlive the window. state.working_directory must be set.
  MainWindow(AppState& state, Prompter& prompter, QWidget* parent = nullptr);
  ~MainWindow() override;

  CommandHooks& hooks() { return hooks_; }
  AppState& state() { return state_; }

  // Replaces how the help file is opened (QDesktopServices by default); tests record it.
  void SetUrlOpener(std::function<void(const QUrl&)> opener) { url_opener_ = std::move(opener); }

  // First-run check: when the working directory holds no Formula.ini, centres the window on
  // `desktop` and creates the file empty; otherwise the window keeps its position.
  void FirstRunCheck(const QRect& desktop);

  // Carries out command `id` as if chosen from the menu or the toolbar. Ignores disabled and
  // unknown commands.
  void RunCommand(int id);

  // Enables the details (1140) and graph image (1141) commands by the workflow state as it
  // stands. Every change of the main window's commands, fields, status line or graph calls it,
  // and so does the opening of each pop-up menu.
  void RefreshWorkflowCommands();

  QAction* Action(int id) const;
  GraphWidget* graph() const { return graph_; }
  QToolBar* toolbar() const { return toolbar_; }

  // MainView.
  void SetFieldText(int control_id, std::string_view text) override;
  std::string FieldText(int control_id) const override;
  void SetStatusLine(std::string_view text) override;
  CommandState Commands() const override { return commands_; }
  void SetCommands(const CommandState& commands) override;
  void ClearResults() override;
  void Repaint() override;
  bool ConfirmDiscard() override;
  Prompter& prompter() override { return prompter_; }

 signals:
  // The exit command passed its discard check: the event loop should end with code 0.
  void quitRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateControls();
  void CreateToolbar();
  QLabel* AddLabel(int id, std::string_view text, const QRect& geometry);
  QLineEdit* AddField(int id, const QRect& geometry);
  void OpenHelp();

  AppState& state_;
  Prompter& prompter_;
  CommandHooks hooks_;
  std::function<void(const QUrl&)> url_opener_;
  std::map<int, QAction*> actions_;
  std::map<int, QLineEdit*> fields_;
  CommandState commands_;
  GraphWidget* graph_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QLabel* status_line_ = nullptr;
};

}  // namespace calvane
