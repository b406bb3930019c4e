#include "app/main_window.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>

#include "app/discard_check.h"
#include "app/messages.h"
#include "app/qt_images.h"
#include "app/qt_menus.h"
#include "app/start_up.h"
#include "base/qt_prompter.h"

namespace calvane {

namespace {

constexpr int kToolbarHeight = 28;       // the separator lines follow at y = 29 and 30
constexpr int kNumberFieldStretch = 90;  // percent of the normal width

QString IdName(int id) { return QString::number(id); }

}  // namespace

MainWindow::MainWindow(AppState& state, Prompter& prompter, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                              Qt::CustomizeWindowHint),
      state_(state),
      prompter_(prompter),
      url_opener_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
  setObjectName(QStringLiteral("NORMAL0"));
  setWindowTitle(DisplayText(text::kMainCaption));
  BuildMenuBar(*menuBar(), MainMenuBar(), actions_);
  for (auto& [id, action] : actions_) {
    const int command = id;
    connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
  }
  for (QAction* popup : menuBar()->actions()) {
    if (popup->menu() != nullptr) {
      connect(popup->menu(), &QMenu::aboutToShow, this, [this] { RefreshWorkflowCommands(); });
    }
  }

  graph_ = new GraphWidget(state_, this);
  graph_->setObjectName(QStringLiteral("client"));
  setCentralWidget(graph_);
  CreateControls();
  setWindowIcon(ProgramIcon());
  CreateToolbar();

  // Close data, run and save results need data or results.
  ApplyUpdate(*this, AtStartUp());
  resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  // Lay out now, so the client area has its size before the window is first shown.
  layout()->activate();
}

MainWindow::~MainWindow() = default;

QLabel* MainWindow::AddLabel(int id, std::string_view text, const QRect& geometry) {
  auto* label = new QLabel(DisplayText(text), graph_);
  label->setObjectName(IdName(id));
  label->setGeometry(geometry);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QLineEdit* MainWindow::AddField(int id, const QRect& geometry) {
  auto* field = new QLineEdit(graph_);
  field->setObjectName(IdName(id));
  field->setGeometry(geometry);
  field->setReadOnly(true);
  field->setFrame(true);
  if (id != kCtlDataFile) {
    // The fallback fonts set digits wider than the face the field widths were made for, so a
    // time stamp or a 15-digit value would lose its last characters: the number fields use a
    // slightly narrowed font. The file name field scrolls instead.
    QFont narrow = field->font();
    narrow.setStretch(kNumberFieldStretch);
    field->setFont(narrow);
  }
  fields_[id] = field;
  return field;
}

void MainWindow::CreateControls() {
  AddLabel(kCtlDataFileLabel, text::kDataFileLabel, {14, 46, 97, 16});
  AddField(kCtlDataFile, {110, 43, 445, 20});
  AddLabel(kCtlConstantsHeader, text::kConstantsHeader, {388, 79, 93, 21});
  for (int i = 0; i < 10; ++i) AddField(kCtlConstant0 + i, {425, 100 + 30 * i, 131, 19});
  static constexpr std::array<std::string_view, 10> kNames{"k0", "k1", "k2", "k3", "k4",
                                                           "k5", "k6", "k7", "k8", "k9"};
  for (int i = 0; i < 10; ++i) {
    AddLabel(kCtlConstantName0 + i, kNames[static_cast<std::size_t>(i)],
             {394, 103 + 30 * i, 19, 14});
  }
  AddLabel(kCtlStartTimeLabel, text::kStartTimeLabel, {14, 370, 97, 16});
  AddLabel(kCtlR2Label, text::kR2Label, {339, 403, 97, 16});
  AddField(kCtlStartTime, {99, 367, 131, 19});
  QLabel* horizontal = AddLabel(kCtlHorizontalAxis, {}, {133, 307, 142, 12});
  horizontal->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  QLabel* vertical = AddLabel(kCtlVerticalAxis, {}, {11, 186, 16, 15});
  vertical->setAlignment(Qt::AlignRight | Qt::AlignTop);
  graph_->SetAxisLabels(horizontal, vertical);
  status_line_ = AddLabel(kCtlStatusLine, text::kStatusOpenData, {2, 432, 563, 18});
  status_line_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  status_line_->setLineWidth(1);
  status_line_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  AddLabel(kCtlEndTimeLabel, text::kEndTimeLabel, {14, 396, 97, 16});
  AddField(kCtlEndTime, {99, 393, 131, 19});
  AddField(kCtlR2, {425, 400, 131, 19});
}

void MainWindow::CreateToolbar() {
  toolbar_ = new QToolBar(graph_);
  toolbar_->setObjectName(IdName(kCtlToolbar));
  toolbar_->setMovable(false);
  toolbar_->setFloatable(false);
  toolbar_->setIconSize(QSize(16, 15));
  toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  struct Button {
    int command;
    ToolbarImage image;
    std::string_view tip;
  };
  const std::array<Button, 4> buttons{{
      {kCmdOpenData, ToolbarImage::kOpenData, text::kTipOpenData},
      {kCmdSaveResults, ToolbarImage::kSaveResults, text::kTipSaveResults},
      {kCmdFittingConditions, ToolbarImage::kConditions, text::kTipConditions},
      {kCmdRun, ToolbarImage::kRun, text::kTipRun},
  }};
  for (const Button& button : buttons) {
    QAction* action = Action(button.command);
    action->setIcon(QIcon(ToolbarPixmap(button.image)));
    // The menu shows the item's text, the toolbar this tooltip.
    action->setToolTip(DisplayText(button.tip));
    toolbar_->addAction(action);
    if (button.command == kCmdSaveResults) toolbar_->addSeparator();
  }
  toolbar_->setGeometry(0, 0, kClientWidth, kToolbarHeight);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (toolbar_ != nullptr) toolbar_->setGeometry(0, 0, graph_->width(), kToolbarHeight);
}

QAction* MainWindow::Action(int id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::FirstRunCheck(const QRect& desktop) {
  if (!IsFirstRun(state_.working_directory)) return;
  const QRect frame = frameGeometry();
  const WindowPosition position =
      CentredPosition(desktop.left(), desktop.top(), desktop.left() + desktop.width(),
                      desktop.top() + desktop.height(), frame.width(), frame.height());
  move(position.left, position.top);
  CreateEmptyFormulaIni(state_.working_directory);
}

void MainWindow::RunCommand(int id) {
  if (IsWorkflowCommand(id)) {
    if (!WorkflowCommandEnabled(state_.workflow.load(), id)) return;
  } else if (!IsCommandEnabled(commands_, id)) {
    return;
  }
  switch (id) {
    case kCmdOpenData:
      if (hooks_.open_data) hooks_.open_data(*this);
      break;
    case kCmdCloseData:
      if (hooks_.close_data) hooks_.close_data(*this);
      break;
    case kCmdSaveResults:
      if (hooks_.save_results) hooks_.save_results(*this);
      break;
    case kCmdExit:
      if (ConfirmDiscard()) emit quitRequested();
      break;
    case kCmdFittingConditions:
      if (hooks_.make_conditions_window) {
        std::unique_ptr<ModalWindow> window = hooks_.make_conditions_window(*this);
        if (window != nullptr) RunModal(*window, this);
        Repaint();
      }
      break;
    case kCmdRun:
      if (hooks_.run) hooks_.run(*this);
      break;
    case kCmdFitDetails:
      if (hooks_.fit_details) hooks_.fit_details(*this);
      break;
    case kCmdSaveGraphImage:
      if (hooks_.save_graph_image) hooks_.save_graph_image(*this);
      break;
    case kCmdHelp:
      OpenHelp();
      break;
    case kCmdVersion:
      ShowVersionBox(prompter_, WindowId::kMain);
      break;
    default:
      break;
  }
  RefreshWorkflowCommands();
}

void MainWindow::RefreshWorkflowCommands() {
  const WorkflowStateValue workflow = state_.workflow.load();
  for (const int id : {kCmdFitDetails, kCmdSaveGraphImage}) {
    if (QAction* action = Action(id)) action->setEnabled(WorkflowCommandEnabled(workflow, id));
  }
}

void MainWindow::OpenHelp() {
  // Whether a viewer opened the file is not reported.
  url_opener_(QUrl::fromLocalFile(QString::fromStdString(HelpFilePath(state_.working_directory))));
}

void MainWindow::SetFieldText(int control_id, std::string_view text) {
  const auto it = fields_.find(control_id);
  if (it == fields_.end()) return;
  it->second->setText(DisplayText(text));
  it->second->setCursorPosition(0);
}

std::string MainWindow::FieldText(int control_id) const {
  const auto it = fields_.find(control_id);
  if (it == fields_.end()) return {};
  return it->second->text().toStdString();
}

void MainWindow::SetStatusLine(std::string_view text) {
  status_line_->setText(DisplayText(text));
  RefreshWorkflowCommands();
}

void MainWindow::SetCommands(const CommandState& commands) {
  commands_ = commands;
  for (const int id : {kCmdCloseData, kCmdRun, kCmdSaveResults}) {
    if (QAction* action = Action(id)) action->setEnabled(IsCommandEnabled(commands_, id));
  }
  RefreshWorkflowCommands();
}

void MainWindow::ClearResults() {
  SetFieldText(kCtlStartTime, {});
  SetFieldText(kCtlEndTime, {});
  for (int i = 0; i < 10; ++i) SetFieldText(kCtlConstant0 + i, {});
  SetFieldText(kCtlR2, {});
  ApplyUpdate(*this, AfterClearResults(commands_));
}

void MainWindow::Repaint() {
  graph_->update();
  RefreshWorkflowCommands();
}

bool MainWindow::ConfirmDiscard() {
  return DiscardCheck(state_.workflow.load(), prompter_, WindowId::kMain);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (ConfirmDiscard()) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace calvane
