#include "conditions/detailed_conditions_dialog.h"

#include <QButtonGroup>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <array>

#include "base/qt_prompter.h"
#include "base/qt_text.h"
#include "base/qt_ui_font.h"
#include "conditions/condition_messages.h"
#include "conditions/detailed_conditions.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

enum class Kind { kCheck, kLabel, kEdit, kGroup, kRadio, kDefaultButton, kButton };

struct Control {
  int id;
  Kind kind;
  std::string_view text;
  QRect rect;
};

constexpr int kCheckId = 1100;
constexpr int kIntervalId = 1101;
constexpr int kOkId = 1102;
constexpr int kCancelId = 1103;

constexpr int kFirstMethodId = 1105;  // 1105..1107 in the order of SearchMethod

// In creation order, which is the tab order.
const std::array<Control, 9> kControls{{
    {kCheckId, Kind::kCheck, text::kNoRoughEstimation, {39, 18, 134, 27}},
    {1000, Kind::kLabel, text::kIntervalLabel, {39, 67, 155, 17}},
    {kIntervalId, Kind::kEdit, {}, {38, 85, 91, 20}},
    {1104, Kind::kGroup, text::kSearchMethodFrame, {12, 118, 237, 88}},
    {kFirstMethodId, Kind::kRadio, text::kMethodLattice, {27, 137, 210, 20}},
    {kFirstMethodId + 1, Kind::kRadio, text::kMethodLatticeThenLm, {27, 158, 210, 20}},
    {kFirstMethodId + 2, Kind::kRadio, text::kMethodLmOnly, {27, 179, 210, 20}},
    {kOkId, Kind::kDefaultButton, text::kButtonOk, {12, 219, 109, 48}},
    {kCancelId, Kind::kButton, text::kButtonCancel, {140, 219, 109, 48}},
}};

std::size_t MethodIndex(SearchMethod method) { return static_cast<std::size_t>(method); }

}  // namespace

DetailedConditionsDialog::DetailedConditionsDialog(ConditionRecord& record, QWidget* owner)
    : ModalWindow(owner), record_(record) {
  setObjectName(QStringLiteral("FittingCondition2"));
  setWindowTitle(DisplayText(text::kDetailedCaption));
  setFont(UiFont());
  setFixedSize(kClientWidth, kClientHeight);
  auto* method_group = new QButtonGroup(this);
  for (const Control& control : kControls) {
    QWidget* widget = nullptr;
    switch (control.kind) {
      case Kind::kCheck:
        widget = no_rough_estimation_ = new QCheckBox(DisplayText(control.text), this);
        break;
      case Kind::kLabel:
        widget = new QLabel(DisplayText(control.text), this);
        break;
      case Kind::kEdit:
        widget = interval_ = new QLineEdit(this);
        interval_->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]*")), interval_));
        interval_->installEventFilter(this);
        break;
      case Kind::kGroup:
        widget = new QGroupBox(DisplayText(control.text), this);
        break;
      case Kind::kRadio: {
        auto* radio = new QRadioButton(DisplayText(control.text), this);
        method_group->addButton(radio);
        methods_[static_cast<std::size_t>(control.id - kFirstMethodId)] = radio;
        widget = radio;
        break;
      }
      case Kind::kDefaultButton:
      case Kind::kButton: {
        auto* button = new QPushButton(DisplayText(control.text), this);
        button->setDefault(control.kind == Kind::kDefaultButton);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, id = control.id] {
          if (id == kOkId) Accept();
          EndModal(1);
        });
        widget = button;
        break;
      }
    }
    widget->setObjectName(QString::number(control.id));
    widget->setGeometry(control.rect);
  }
  no_rough_estimation_->setChecked(record_.roughEstimation == 0);
  interval_->setText(FromCp932(FormatNumber(static_cast<double>(record_.dataInterval))));
  const std::size_t method = MethodIndex(record_.searchMethod);
  methods_[method < methods_.size() ? method : 0]->setChecked(true);
}

bool DetailedConditionsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == interval_ && event->type() == QEvent::FocusOut) {
    interval_->setText(FromCp932(NormalisedIntervalText(ToCp932(interval_->text()))));
  }
  return ModalWindow::eventFilter(watched, event);
}

void DetailedConditionsDialog::Accept() {
  record_.roughEstimation = no_rough_estimation_->isChecked() ? 0 : 1;
  record_.dataInterval = IntervalFromText(ToCp932(interval_->text()));
  for (std::size_t i = 0; i < methods_.size(); ++i) {
    if (methods_[i]->isChecked()) record_.searchMethod = static_cast<SearchMethod>(i);
  }
}

}  // namespace calvane
