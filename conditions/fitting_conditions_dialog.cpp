#include "conditions/fitting_conditions_dialog.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "app/app_state.h"
#include "base/base_messages.h"
#include "base/qt_prompter.h"
#include "base/qt_text.h"
#include "base/qt_ui_font.h"
#include "conditions/condition_messages.h"
#include "conditions/detailed_conditions_dialog.h"
#include "formula/formula_check.h"

namespace calvane {
namespace {

enum class Kind { kLabel, kCombo, kEdit, kConstant, kGroup, kRadio, kButton, kDefaultButton };

struct Control {
  int id;
  Kind kind;
  std::string_view text;
  QRect rect;
};

enum ControlId : int {
  kToolbarId = 71,
  kLeftSideId = 1047,
  kFormulaId = 1048,
  kStatusId = 1036,
  kFirstConstantId = 1049,
  kDegreeId = 1089,
  kRadianId = 1090,
  kResetId = 1093,
  kOkId = 1094,
  kCancelId = 1098,
};

enum CommandId : int {
  kHelp = 1129,
  kOpenFile = 1132,
  kSaveFile = 1133,
  kDetailed = 1134,
  kClose = 1135,
};

constexpr int kToolbarHeight = 28;       // the separator lines follow at y = 29 and 30
constexpr int kLeftSideItemHeight = 20;  // each item of the left-side list
constexpr std::array<int, 10> kRowLabelIds{1018, 1019, 1020, 1021, 1022,
                                           1023, 1024, 1030, 1096, 1097};
constexpr std::array<std::string_view, 10> kRowNames{"k0", "k1", "k2", "k3", "k4",
                                                     "k5", "k6", "k7", "k8", "k9"};

// The controls in creation order, which is the tab order.
std::vector<Control> ControlTable() {
  std::vector<Control> table{
      {1000, Kind::kLabel, text::kFormulaLabel, {17, 35, 94, 14}},
      {kLeftSideId, Kind::kCombo, {}, {11, 53, 107, 20}},
      {1002, Kind::kLabel, text::kEquals, {126, 57, 12, 18}},
      {kFormulaId, Kind::kEdit, {}, {143, 53, 499, 20}},
      {kStatusId, Kind::kLabel, text::kStatusNotEntered, {146, 78, 133, 18}},
      {1013, Kind::kLabel, text::kConstantHeader, {6, 103, 55, 14}},
      {1014, Kind::kLabel, text::kInitialHeader, {67, 103, 94, 14}},
      {1015, Kind::kLabel, text::kLowerHeader, {221, 103, 94, 14}},
      {1016, Kind::kLabel, text::kUpperHeader, {364, 103, 94, 14}},
      {1017, Kind::kLabel, text::kAccuracyHeader, {518, 103, 94, 14}},
  };
  for (int row = 0; row < 10; ++row) {
    const auto r = static_cast<std::size_t>(row);
    table.push_back({kRowLabelIds[r], Kind::kLabel, kRowNames[r], {22, 123 + 30 * row, 19, 18}});
  }
  for (int row = 0; row < 10; ++row) {
    for (int column = 0; column < 4; ++column) {
      table.push_back({kFirstConstantId + 4 * row + column,
                       Kind::kConstant,
                       {},
                       {60 + 150 * column, 120 + 30 * row, 130, 20}});
    }
  }
  table.push_back({1091, Kind::kGroup, text::kAngleUnitFrame, {20, 432, 120, 85}});
  table.push_back({kDegreeId, Kind::kRadio, text::kDegree, {41, 448, 98, 28}});
  table.push_back({kRadianId, Kind::kRadio, text::kRadian, {41, 478, 98, 28}});
  table.push_back({kResetId, Kind::kButton, text::kReset, {267, 456, 91, 48}});
  table.push_back({kOkId, Kind::kDefaultButton, text::kButtonOk, {397, 455, 109, 48}});
  table.push_back({kCancelId, Kind::kButton, text::kButtonCancel, {528, 455, 109, 48}});
  return table;
}

QString Text(std::string_view utf8) { return DisplayText(utf8); }

}  // namespace

FittingConditionsDialog::FittingConditionsDialog(AppState& state,
                                                 std::unique_ptr<ConditionsHost> host,
                                                 QMenuBar* menu_bar, QWidget* owner,
                                                 std::function<void()> beep)
    : ModalWindow(owner),
      state_(state),
      host_(std::move(host)),
      menu_bar_(menu_bar),
      beep_(beep ? std::move(beep) : std::function<void()>([] { QApplication::beep(); })),
      saved_rough_estimation_(state.conditions.roughEstimation),
      saved_data_interval_(state.conditions.dataInterval),
      saved_search_method_(state.conditions.searchMethod) {
  setObjectName(QStringLiteral("FittingCondition"));
  setWindowTitle(Text(text::kConditionsCaption));
  setFont(UiFont());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  if (menu_bar_ != nullptr) {
    layout->setMenuBar(menu_bar_);
    for (QAction* action : menu_bar_->findChildren<QAction*>()) {
      bool is_command = false;
      const int id = action->objectName().toInt(&is_command);
      if (is_command) connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    }
  }
  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("client"));
  client_->setFixedSize(kClientWidth, kClientHeight);
  client_->installEventFilter(this);
  layout->addWidget(client_);
  CreateControls(client_);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  SetValues(DialogValuesFromRecord(state_));
  ApplyWorkflowState();
}

FittingConditionsDialog::~FittingConditionsDialog() {
  // The menu bar serves every opening: detach it before the window deletes its children.
  if (menu_bar_ != nullptr) {
    menu_bar_->hide();
    menu_bar_->setParent(nullptr);
  }
}

void FittingConditionsDialog::CreateControls(QWidget* client) {
  toolbar_ = new QToolBar(client);
  toolbar_->setObjectName(QString::number(kToolbarId));
  toolbar_->setMovable(false);
  toolbar_->setIconSize(QSize(16, 15));
  toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  toolbar_->setGeometry(0, 0, kClientWidth, kToolbarHeight);
  if (menu_bar_ != nullptr) {
    for (int id : {kOpenFile, kSaveFile}) {
      if (auto* action = menu_bar_->findChild<QAction*>(QString::number(id))) {
        toolbar_->addAction(action);
        toolbar_->widgetForAction(action)->installEventFilter(this);  // no tooltips here
      }
    }
  }
  for (const Control& control : ControlTable()) {
    QWidget* widget = nullptr;
    switch (control.kind) {
      case Kind::kLabel: {
        auto* label = new QLabel(Text(control.text), client);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (control.id == kStatusId) status_ = label;
        widget = label;
        break;
      }
      case Kind::kCombo:
        left_side_ = new QComboBox(client);
        // A plain item delegate, so the list honours each item's height of 20 pixels.
        left_side_->setItemDelegate(new QStyledItemDelegate(left_side_));
        for (std::string_view item : {text::kLeftSideEmpty, text::kLeftSideX, text::kLeftSideY}) {
          left_side_->addItem(Text(item));
          left_side_->setItemData(left_side_->count() - 1, QSize(0, kLeftSideItemHeight),
                                  Qt::SizeHintRole);
        }
        connect(left_side_, &QComboBox::activated, this, &FittingConditionsDialog::LeftSideChanged);
        widget = left_side_;
        break;
      case Kind::kEdit:
        widget = formula_ = new QLineEdit(client);
        formula_->setMaxLength(500);
        formula_->installEventFilter(this);
        break;
      case Kind::kConstant: {
        auto* field = new QLineEdit(client);
        field->installEventFilter(this);
        constants_[static_cast<std::size_t>(control.id - kFirstConstantId)] = field;
        widget = field;
        break;
      }
      case Kind::kGroup:
        widget = new QGroupBox(Text(control.text), client);
        break;
      case Kind::kRadio: {
        auto* radio = new QRadioButton(Text(control.text), client);
        (control.id == kDegreeId ? degree_ : radian_) = radio;
        widget = radio;
        break;
      }
      case Kind::kButton:
      case Kind::kDefaultButton: {
        auto* button = new QPushButton(Text(control.text), client);
        button->setDefault(control.kind == Kind::kDefaultButton);
        button->setAutoDefault(false);
        const int id = control.id;
        connect(button, &QPushButton::clicked, this, [this, id] {
          if (id == kOkId) Accept();
          if (id == kCancelId) Cancel();
          if (id == kResetId && host_->Reset()) ApplyWorkflowState();
        });
        if (id == kResetId) reset_ = button;
        widget = button;
        break;
      }
    }
    widget->setObjectName(QString::number(control.id));
    widget->setGeometry(control.rect);
  }
}

ConditionDialogValues FittingConditionsDialog::Values() const {
  ConditionDialogValues values;
  for (int row = 0; row < 10; ++row) {
    for (int column = 0; column < 4; ++column) {
      values.constants[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] =
          ToCp932(ConstantField(row, column)->text());
    }
  }
  values.left_side_index = left_side_->currentIndex();
  values.formula = ToCp932(formula_->text());
  values.degree = degree_->isChecked();
  values.formula_status = status_->text().toStdString();
  return values;
}

void FittingConditionsDialog::SetValues(const ConditionDialogValues& values) {
  for (int row = 0; row < 10; ++row) {
    for (int column = 0; column < 4; ++column) {
      ConstantField(row, column)
          ->setText(FromCp932(
              values.constants[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]));
    }
  }
  left_side_->setCurrentIndex(values.left_side_index);
  formula_->setText(FromCp932(values.formula));
  (values.degree ? degree_ : radian_)->setChecked(true);
  status_->setText(Text(values.formula_status));
}

// Read-only while results are not saved (workflow state 2 or 3): only reset, OK, Cancel, the
// menu and the toolbar stay usable.
void FittingConditionsDialog::ApplyWorkflowState() {
  const WorkflowStateValue workflow = state_.workflow.load();
  const bool editable = workflow != WorkflowStateValue::kStoppedResults &&
                        workflow != WorkflowStateValue::kCompletedResults;
  left_side_->setEnabled(editable);
  formula_->setEnabled(editable);
  for (QLineEdit* field : constants_) field->setEnabled(editable);
  degree_->setEnabled(editable);
  radian_->setEnabled(editable);
  reset_->setEnabled(!editable);
}

void FittingConditionsDialog::RunCommand(int id) {
  switch (id) {
    case kOpenFile: {
      ConditionDialogValues values = Values();
      if (host_->OpenConditionFile(values)) {
        SetValues(values);
        ApplyWorkflowState();
      }
      break;
    }
    case kSaveFile:
      // The file dialog and the overwrite question are modal and owned by this window, which
      // must stay enabled for them to take input.
      host_->SaveConditionFile(Values());
      break;
    case kDetailed:
      if (host_->PrepareDetailedConditions()) {
        ApplyWorkflowState();
        DetailedConditionsDialog detailed(state_.conditions, this);
        RunModal(detailed, this);
      }
      break;
    case kClose:
      EndModal(1);
      break;
    case kHelp:
      host_->OpenHelp();
      break;
    default:
      break;
  }
}

bool FittingConditionsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == client_ && event->type() == QEvent::Paint) {
    // The etched separator under the toolbar.
    QPainter painter(client_);
    painter.setPen(QColor(160, 160, 160));
    painter.drawLine(0, kToolbarHeight + 1, client_->width(), kToolbarHeight + 1);
    painter.setPen(Qt::white);
    painter.drawLine(0, kToolbarHeight + 2, client_->width(), kToolbarHeight + 2);
    return false;
  }
  if (event->type() == QEvent::ToolTip && toolbar_->isAncestorOf(qobject_cast<QWidget*>(watched))) {
    return true;
  }
  auto* field = qobject_cast<QLineEdit*>(watched);
  if (field == nullptr) return ModalWindow::eventFilter(watched, event);
  if (event->type() != QEvent::FocusOut || refused_field_ != nullptr || !field->isEnabled() ||
      static_cast<QFocusEvent*>(event)->reason() == Qt::PopupFocusReason) {
    return ModalWindow::eventFilter(watched, event);
  }
  if (field == formula_) {
    ReportFormulaCheck();
  } else {
    for (std::size_t i = 0; i < constants_.size(); ++i) {
      if (constants_[i] == field) ValidateField(static_cast<int>(i) / 4, static_cast<int>(i) % 4);
    }
  }
  return ModalWindow::eventFilter(watched, event);
}

void FittingConditionsDialog::ReportFormulaCheck() {
  const FormulaCheckCode code = CheckFormula(state_.formula, ToCp932(formula_->text()),
                                             LeftSideFromIndex(left_side_->currentIndex()));
  status_->setText(Text(FormulaStatusLabel(code)));
  const std::string_view message = FormulaCheckMessage(code);
  if (message.empty()) return;
  beep_();
  host_->prompter().Show(message, text::kCaptionError, WindowId::kConditions);
}

void FittingConditionsDialog::CheckFormulaSilently() {
  const FormulaCheckCode code = CheckFormula(state_.formula, ToCp932(formula_->text()),
                                             LeftSideFromIndex(left_side_->currentIndex()));
  status_->setText(Text(FormulaStatusLabel(code)));
}

void FittingConditionsDialog::LeftSideChanged(int index) {
  if ((LeftSideFromIndex(index) == LeftSide::X && state_.formula.usesX) ||
      (LeftSideFromIndex(index) == LeftSide::Y && state_.formula.usesY)) {
    beep_();
    host_->prompter().Show(text::kLeftSideInFormula, text::kCaptionError, WindowId::kConditions);
    left_side_->setCurrentIndex(LeftSideIndex(LeftSide::NotSelected));
    return;
  }
  CheckFormulaSilently();
}

bool FittingConditionsDialog::ValidateField(int row, int column) {
  const FieldCheck check = CheckConstantText(ToCp932(ConstantField(row, column)->text()));
  if (check == FieldCheck::kAccepted) return true;
  RefuseField(ConstantField(row, column), FieldCheckMessage(check));
  return false;
}

void FittingConditionsDialog::RefuseField(QLineEdit* field, std::string_view message) {
  refused_field_ = field;
  beep_();
  if (!message.empty()) host_->prompter().Show(message, text::kCaptionError, WindowId::kConditions);
  // Once the focus change under way has ended (a line edit drops its selection on leaving).
  QTimer::singleShot(0, field, [this, field] {
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    refused_field_ = nullptr;
  });
}

void FittingConditionsDialog::Accept() {
  // OK chosen with Enter leaves the focus where it was: check that field first.
  if (formula_->hasFocus()) ReportFormulaCheck();
  for (std::size_t i = 0; i < constants_.size(); ++i) {
    if (constants_[i]->hasFocus() &&
        !ValidateField(static_cast<int>(i) / 4, static_cast<int>(i) % 4)) {
      return;
    }
  }
  const AcceptResult result = host_->Accept(Values());
  if (!result.accepted) {
    // The host has shown the message; the dialog beeps and puts the focus on the field.
    RefuseField(ConstantField(result.row - 1, result.column - 1), {});
    return;
  }
  EndModal(1);
}

void FittingConditionsDialog::Cancel() {
  state_.conditions.roughEstimation = saved_rough_estimation_;
  state_.conditions.dataInterval = saved_data_interval_;
  state_.conditions.searchMethod = saved_search_method_;
  EndModal(1);
}

}  // namespace calvane
