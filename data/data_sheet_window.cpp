#include "data/data_sheet_window.h"

#include <QGroupBox>
#include <QRegularExpressionValidator>
#include <QWheelEvent>
#include <algorithm>
#include <string>
#include <vector>

#include "base/qt_prompter.h"
#include "base/qt_ui_font.h"
#include "data/data_messages.h"
#include "data/data_selection.h"
#include "data/data_sheet.h"
#include "data/selection_file.h"

namespace calvane {
namespace {

enum class Kind {
  kLabel,
  kLabelCentred,
  kLabelRight,
  kEdit,
  kCheck,
  kGroup,
  kHBar,
  kVBar,
  kButton,
  kHelpLine
};

struct ControlSpec {
  int id;
  Kind kind;
  std::string_view text;
  QRect rect;
};

constexpr std::array<int, 4> kHeaderIds = {1000, 1002, 1013, 1014};
constexpr std::array<int, 16> kRowLabelIds = {1015, 1016, 1017, 1018, 1019, 1020, 1021, 1022,
                                              1023, 1024, 1030, 1096, 1097, 1095, 1117, 1118};

// The control table in creation order, which is also the tab order.
std::vector<ControlSpec> ControlTable() {
  std::vector<ControlSpec> table = {
      {kSheetHorizontalBar, Kind::kHBar, {}, {184, 376, 426, 26}},
      {kSheetVerticalBar, Kind::kVBar, {}, {610, 52, 26, 325}},
      {kSheetOkButton, Kind::kButton, text::kButtonOk, {249, 411, 120, 35}},
      {kSheetCancelButton, Kind::kButton, text::kButtonCancel, {441, 410, 120, 35}},
      {kSheetXLabelId, Kind::kLabelCentred, text::kSheetXLabel, {37, 53, 50, 22}},
      {kSheetYLabelId, Kind::kLabelCentred, text::kSheetYLabel, {37, 103, 50, 22}},
      {kSheetStartLabelId, Kind::kLabel, text::kSheetStartLabel, {44, 167, 41, 16}},
      {kSheetEndLabelId, Kind::kLabel, text::kSheetEndLabel, {43, 218, 51, 20}},
      {kSheetXField, Kind::kEdit, {}, {41, 70, 40, 22}},
      {kSheetYField, Kind::kEdit, {}, {41, 121, 40, 22}},
      {kSheetStartField, Kind::kEdit, {}, {41, 184, 40, 22}},
      {kSheetEndField, Kind::kEdit, {}, {41, 235, 40, 22}},
      {kSheetRangeGroupId, Kind::kGroup, text::kSheetRangeGroup, {14, 29, 133, 272}},
      {kSheetUseToLastRowBox, Kind::kCheck, text::kSheetUseToLastRow, {28, 269, 103, 26}},
      {kSheetHelpLine, Kind::kHelpLine, text::kSheetFirstPrompt, {2, 455, 660, 18}},
  };
  const std::array<int, 4> header_x = {236, 336, 436, 536};
  for (std::size_t i = 0; i < kHeaderIds.size(); ++i) {
    table.push_back({kHeaderIds[i], Kind::kLabelCentred, {}, {header_x[i], 30, 35, 16}});
  }
  for (std::size_t i = 0; i < kRowLabelIds.size(); ++i) {
    table.push_back(
        {kRowLabelIds[i], Kind::kLabelRight, {}, {150, 53 + 20 * static_cast<int>(i), 35, 16}});
  }
  table.push_back({1119, Kind::kLabel, text::kSheetRowUnit, {85, 241, 41, 16}});
  table.push_back({1120, Kind::kLabel, text::kSheetRowUnit, {85, 190, 41, 16}});
  table.push_back({1121, Kind::kLabel, text::kSheetSeriesUnit, {85, 127, 41, 16}});
  table.push_back({1122, Kind::kLabel, text::kSheetSeriesUnit, {85, 76, 41, 16}});
  return table;
}

QString Number(std::int64_t value) { return QString::number(value); }

}  // namespace

DataSheetWindow::DataSheetWindow(DataText& text, AppState& state, Prompter& prompter,
                                 QWidget* owner, std::function<void()> bring_main_forward)
    : ModalWindow(owner),
      text_(text),
      state_(state),
      prompter_(prompter),
      bring_main_forward_(std::move(bring_main_forward)) {
  setObjectName(QStringLiteral("DataSheet"));
  setWindowTitle(DisplayText(text::kSheetCaption));
  setFixedSize(kClientWidth, kClientHeight);
  setFont(UiFont());

  // Initialisation: the index (with its limit messages, once per file), the controls, the bars,
  // the last selection, the focus in the x field.
  IndexRows(text_, prompter_, WindowId::kDataSheet);
  CreateControls();
  vertical_->setRange(0, LastTopRowIndex(text_));
  vertical_->setPageStep(SheetGrid::kRowPage);
  horizontal_->setRange(0, LastLeftSeriesIndex(text_));
  horizontal_->setPageStep(SheetGrid::kSeriesPage);
  ShowSelection(ReadSelectionFile(state_.working_directory));
  RefreshView();
  RefreshFrames();
  Field(kSheetXField)->setFocus();
}

void DataSheetWindow::CreateControls() {
  grid_ = new DataGridWidget(text_, this);
  grid_->setGeometry(0, 0, kClientWidth, kClientHeight);
  grid_->installEventFilter(this);
  connect(grid_, &DataGridWidget::pressed, this, &DataSheetWindow::OnGridPressed);
  std::size_t header = 0;
  std::size_t row_label = 0;
  for (const ControlSpec& entry : ControlTable()) {
    QWidget* control = nullptr;
    switch (entry.kind) {
      case Kind::kLabel:
      case Kind::kLabelCentred:
      case Kind::kLabelRight: {
        auto* label = new QLabel(DisplayText(entry.text), this);
        label->setAlignment(entry.kind == Kind::kLabelCentred ? Qt::AlignHCenter | Qt::AlignTop
                            : entry.kind == Kind::kLabelRight ? Qt::AlignRight | Qt::AlignTop
                                                              : Qt::AlignLeft | Qt::AlignTop);
        if (std::find(kHeaderIds.begin(), kHeaderIds.end(), entry.id) != kHeaderIds.end()) {
          column_headers_[header++] = label;
        } else if (std::find(kRowLabelIds.begin(), kRowLabelIds.end(), entry.id) !=
                   kRowLabelIds.end()) {
          row_labels_[row_label++] = label;
        }
        control = label;
        break;
      }
      case Kind::kEdit: {
        auto* edit = new QLineEdit(this);
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
        // The fields are 40 pixels wide; without the line edit's inner padding the largest row
        // number, 65536, fits whole instead of being scrolled under the frame.
        edit->setTextMargins(-2, 0, -2, 0);
        connect(edit, &QLineEdit::textChanged, this, [this] { RefreshFrames(); });
        control = edit;
        break;
      }
      case Kind::kCheck: {
        use_to_last_row_ = new QCheckBox(DisplayText(entry.text), this);
        connect(use_to_last_row_, &QCheckBox::clicked, this, &DataSheetWindow::OnUseToLastRow);
        control = use_to_last_row_;
        break;
      }
      case Kind::kGroup:
        control = new QGroupBox(DisplayText(entry.text), this);
        control->setAttribute(Qt::WA_TransparentForMouseEvents);
        break;
      case Kind::kHBar:
      case Kind::kVBar: {
        auto* bar = new QScrollBar(entry.kind == Kind::kHBar ? Qt::Horizontal : Qt::Vertical, this);
        bar->setFocusPolicy(Qt::NoFocus);
        bar->installEventFilter(this);
        connect(bar, &QScrollBar::valueChanged, this, [this] { RefreshView(); });
        (entry.kind == Kind::kHBar ? horizontal_ : vertical_) = bar;
        control = bar;
        break;
      }
      case Kind::kButton: {
        auto* button = new QPushButton(DisplayText(entry.text), this);
        button->setAutoDefault(false);
        if (entry.id == kSheetOkButton) {
          connect(button, &QPushButton::clicked, this, &DataSheetWindow::Accept);
        } else {
          connect(button, &QPushButton::clicked, this, &DataSheetWindow::Cancel);
        }
        control = button;
        break;
      }
      case Kind::kHelpLine:
        help_line_ = new QLineEdit(DisplayText(entry.text), this);
        help_line_->setReadOnly(true);
        help_line_->setFocusPolicy(Qt::NoFocus);
        control = help_line_;
        break;
    }
    control->setObjectName(QString::number(entry.id));
    control->setGeometry(entry.rect);
    controls_[entry.id] = control;
  }
}

QWidget* DataSheetWindow::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

QLineEdit* DataSheetWindow::Field(int id) const { return static_cast<QLineEdit*>(Control(id)); }

void DataSheetWindow::ShowSelection(const RangeSelection& selection) {
  Field(kSheetXField)->setText(Number(selection.x_series));
  Field(kSheetYField)->setText(Number(selection.y_series));
  Field(kSheetStartField)->setText(Number(selection.start_row));
  Field(kSheetEndField)->setText(Number(selection.end_row));
  use_to_last_row_->setChecked(selection.use_to_last_row != 0);
  if (selection.use_to_last_row != 0) OnUseToLastRow(true);
}

void DataSheetWindow::RefreshView() {
  const int left = horizontal_->value();
  const int top = vertical_->value();
  for (std::size_t j = 0; j < column_headers_.size(); ++j) {
    column_headers_[j]->setText(Number(left + static_cast<int>(j) + 1));
  }
  for (std::size_t g = 0; g < row_labels_.size(); ++g) {
    row_labels_[g]->setText(Number(static_cast<std::int64_t>(top) + static_cast<int>(g) + 1));
  }
  grid_->SetView(left, top);
  grid_->RepaintCells();
}

void DataSheetWindow::RefreshFrames() {
  grid_->SetFields(ReadSheetFields(
      Field(kSheetXField)->text().toStdString(), Field(kSheetYField)->text().toStdString(),
      Field(kSheetStartField)->text().toStdString(), Field(kSheetEndField)->text().toStdString()));
  grid_->update();
}

void DataSheetWindow::OnGridPressed(int px, int py) {
  const std::optional<SheetCell> cell = CellAt(px, py, horizontal_->value(), vertical_->value());
  if (!cell) return;
  if (help_line_->text() == DisplayText(text::kSheetFirstPrompt)) {
    Field(kSheetXField)->setText(Number(cell->series));
    Field(kSheetStartField)->setText(Number(cell->row));
    Field(kSheetYField)->clear();
    Field(kSheetEndField)->clear();
    help_line_->setText(DisplayText(text::kSheetSecondPrompt));
  } else {
    Field(kSheetYField)->setText(Number(cell->series));
    Field(kSheetEndField)->setText(Number(cell->row));
    help_line_->setText(DisplayText(text::kSheetFirstPrompt));
    use_to_last_row_->setChecked(false);
    Field(kSheetEndField)->setEnabled(true);
  }
  RefreshFrames();
}

void DataSheetWindow::OnUseToLastRow(bool checked) {
  QLineEdit* end = Field(kSheetEndField);
  end->setEnabled(!checked);
  if (checked) end->setText(Number(text_.row_count()));
  RefreshFrames();
}

void DataSheetWindow::EscapePressed() {
  Field(kSheetXField)->clear();
  Field(kSheetStartField)->clear();
  Field(kSheetYField)->clear();
  Field(kSheetEndField)->clear();
  help_line_->setText(DisplayText(text::kSheetFirstPrompt));
}

void DataSheetWindow::OnWheel(int delta) {
  vertical_->setValue(vertical_->value() + (delta > 0 ? -1 : 1));
}

void DataSheetWindow::wheelEvent(QWheelEvent* event) {
  OnWheel(event->angleDelta().y());
  event->accept();
}

bool DataSheetWindow::eventFilter(QObject* watched, QEvent* event) {
  // The bars would scroll by their own wheel step: one row per wheel message everywhere.
  if (event->type() == QEvent::Wheel &&
      (watched == horizontal_ || watched == vertical_ || watched == grid_)) {
    OnWheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
    return true;
  }
  return ModalWindow::eventFilter(watched, event);
}

void DataSheetWindow::Accept() {
  RangeSelection typed;
  typed.x_series = SheetFieldValue(Field(kSheetXField)->text().toStdString());
  typed.y_series = SheetFieldValue(Field(kSheetYField)->text().toStdString());
  typed.start_row = SheetFieldValue(Field(kSheetStartField)->text().toStdString());
  typed.end_row = SheetFieldValue(Field(kSheetEndField)->text().toStdString());
  typed.use_to_last_row = use_to_last_row_->isChecked() ? 1 : 0;
  const SelectionAcceptance acceptance =
      AcceptDataSelection(text_, typed, state_, prompter_, WindowId::kDataSheet);
  if (!acceptance.accepted()) return;
  text_.Release();
  if (bring_main_forward_) bring_main_forward_();
  EndModal(0);
}

void DataSheetWindow::Cancel() {
  text_.Release();
  if (bring_main_forward_) bring_main_forward_();
  EndModal(1);
}

void DataSheetWindow::CloseRequested() { Cancel(); }

}  // namespace calvane
