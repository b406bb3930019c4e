#include "report/fit_details_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <array>

#include "base/base_messages.h"
#include "base/image_file.h"
#include "base/qt_image_file.h"
#include "base/qt_prompter.h"
#include "base/qt_ui_font.h"
#include "report/report_messages.h"
#include "report/residual_plot_widget.h"

namespace calvane {
namespace {

enum class Kind { kTable, kPlot, kLabel, kButton, kDefaultButton };

struct Control {
  int id;
  Kind kind;
  std::string_view text;
  QRect rect;
};

// In creation order, which is the tab order.
const std::array<Control, 10> kControls{{
    {kCtlDetailsFigures, Kind::kTable, {}, {10, 10, 330, 248}},
    {kCtlDetailsPlot, Kind::kPlot, {}, {350, 10, 400, 248}},
    {kCtlDetailsConstantsLabel, Kind::kLabel, text::kDetailsConstantsSection, {10, 266, 200, 16}},
    {kCtlDetailsConstants, Kind::kTable, {}, {10, 284, 740, 170}},
    {kCtlDetailsCorrelationLabel,
     Kind::kLabel,
     text::kDetailsCorrelationSection,
     {10, 460, 200, 16}},
    {kCtlDetailsCorrelation, Kind::kTable, {}, {10, 478, 740, 108}},
    {kCtlDetailsNote, Kind::kLabel, {}, {10, 592, 740, 18}},
    {kCtlDetailsSaveText, Kind::kButton, text::kDetailsSaveText, {376, 614, 120, 24}},
    {kCtlDetailsSaveImage, Kind::kButton, text::kDetailsSaveImage, {502, 614, 160, 24}},
    {kCtlDetailsClose, Kind::kDefaultButton, text::kDetailsClose, {668, 614, 82, 24}},
}};

constexpr std::array<FileFilter, 1> kTextFilters{
    FileFilter{text::kDetailsFilter, text::kDetailsFilterPattern}};

QTableWidgetItem* Cell(std::string_view text) {
  auto* item = new QTableWidgetItem(DisplayText(text));
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

void SetHeadings(QTableWidget& table, Qt::Orientation orientation,
                 const std::vector<std::string>& headings) {
  QStringList labels;
  for (const std::string& heading : headings) labels << DisplayText(heading);
  if (orientation == Qt::Horizontal) {
    table.setColumnCount(static_cast<int>(headings.size()));
    table.setHorizontalHeaderLabels(labels);
  } else {
    table.setRowCount(static_cast<int>(headings.size()));
    table.setVerticalHeaderLabels(labels);
  }
}

}  // namespace

FitDetailsWindow::FitDetailsWindow(FitDetails details, FitStatistics stats, Prompter& prompter,
                                   FileChooser& chooser, QWidget* owner)
    : ModalWindow(owner),
      details_(std::move(details)),
      stats_(std::move(stats)),
      prompter_(prompter),
      chooser_(chooser) {
  setObjectName(QStringLiteral("FitDetails"));
  setWindowTitle(DisplayText(text::kDetailsTitle));
  setFont(UiFont());
  setFixedSize(kClientWidth, kClientHeight);
  for (const Control& control : kControls) {
    QWidget* widget = nullptr;
    switch (control.kind) {
      case Kind::kTable: {
        auto* table = new QTableWidget(this);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionMode(QAbstractItemView::ContiguousSelection);
        table->verticalHeader()->setDefaultSectionSize(20);
        table->setWordWrap(false);  // a number is never broken, only scrolled to
        widget = table;
        break;
      }
      case Kind::kPlot:
        widget = plot_ = new ResidualPlotWidget(stats_.residuals, details_.abscissa_name, this);
        break;
      case Kind::kLabel:
        widget = new QLabel(DisplayText(control.text), this);
        break;
      case Kind::kButton:
      case Kind::kDefaultButton: {
        auto* button = new QPushButton(DisplayText(control.text), this);
        button->setDefault(control.kind == Kind::kDefaultButton);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, id = control.id] {
          if (id == kCtlDetailsSaveText) SaveText();
          if (id == kCtlDetailsSaveImage) SaveImage();
          if (id == kCtlDetailsClose) EndModal(0);
        });
        widget = button;
        break;
      }
    }
    widget->setObjectName(QString::number(control.id));
    widget->setGeometry(control.rect);
  }
  Fill();
}

QTableWidget* FitDetailsWindow::Table(int id) const {
  return findChild<QTableWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void FitDetailsWindow::Fill() {
  QTableWidget& figures = *Table(kCtlDetailsFigures);
  figures.setColumnCount(2);
  figures.setRowCount(static_cast<int>(details_.figures.size()));
  figures.horizontalHeader()->hide();
  figures.verticalHeader()->hide();
  for (std::size_t r = 0; r < details_.figures.size(); ++r) {
    figures.setItem(static_cast<int>(r), 0, Cell(details_.figures[r].first));
    figures.setItem(static_cast<int>(r), 1, Cell(details_.figures[r].second));
  }
  figures.resizeColumnToContents(0);
  figures.horizontalHeader()->setStretchLastSection(true);

  QTableWidget& constants = *Table(kCtlDetailsConstants);
  SetHeadings(constants, Qt::Horizontal,
              {std::string(text::kDetailsColumnName), std::string(text::kDetailsColumnValue),
               std::string(text::kDetailsColumnError), std::string(text::kDetailsColumnRelative),
               std::string(text::kDetailsColumnLower), std::string(text::kDetailsColumnUpper)});
  constants.setRowCount(static_cast<int>(details_.constants.size()));
  constants.verticalHeader()->hide();
  for (std::size_t r = 0; r < details_.constants.size(); ++r) {
    for (std::size_t c = 0; c < details_.constants[r].size(); ++c) {
      constants.setItem(static_cast<int>(r), static_cast<int>(c), Cell(details_.constants[r][c]));
    }
  }
  constants.resizeColumnsToContents();

  QTableWidget& correlation = *Table(kCtlDetailsCorrelation);
  SetHeadings(correlation, Qt::Horizontal,
              details_.correlation.empty() ? std::vector<std::string>{} : details_.names);
  SetHeadings(correlation, Qt::Vertical,
              details_.correlation.empty() ? std::vector<std::string>{} : details_.names);
  for (std::size_t r = 0; r < details_.correlation.size(); ++r) {
    for (std::size_t c = 0; c < details_.correlation[r].size(); ++c) {
      correlation.setItem(static_cast<int>(r), static_cast<int>(c),
                          Cell(details_.correlation[r][c]));
    }
  }

  correlation.resizeColumnsToContents();

  auto* note = findChild<QLabel*>(QString::number(kCtlDetailsNote));
  if (!details_.reason.empty()) {
    note->setText(DisplayText(details_.reason));
  } else if (details_.provisional) {
    note->setText(DisplayText(text::kDetailsProvisional));
  }
}

SaveResultsStatus FitDetailsWindow::SaveText() {
  FileDialogRequest request;
  request.title = text::kDetailsSaveTitle;
  request.filters = kTextFilters;
  request.default_extension = text::kDetailsExtension;
  request.owner = WindowId::kFitDetails;
  const std::optional<std::string> path = chooser_.ChooseSave(request);
  if (!path) return SaveResultsStatus::kCancelled;
  return SaveFitDetails(details_, stats_, *path, prompter_, WindowId::kFitDetails);
}

SaveResultsStatus FitDetailsWindow::SaveImage() {
  const std::optional<std::string> path =
      chooser_.ChooseSave(ImageSaveRequest(WindowId::kFitDetails));
  if (!path) return SaveResultsStatus::kCancelled;
  const std::string bytes = RenderWidgetImage(*plot_, plot_->rect(), ImageFormatForPath(*path));
  if (bytes.empty()) {
    prompter_.Show(text::kMsgFileWriteFailed, text::kCaptionError, WindowId::kFitDetails);
    return SaveResultsStatus::kWriteFailed;
  }
  return SaveUserFile(bytes, *path, prompter_, WindowId::kFitDetails);
}

}  // namespace calvane
