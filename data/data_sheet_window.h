#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <array>
#include <functional>
#include <map>

#include "app/app_state.h"
#include "base/prompter.h"
#include "base/qt_modal_run.h"
#include "data/data_grid_widget.h"
#include "data/data_text.h"
#include "data/range_conversion.h"

namespace calvane {

// Control ids of the data sheet.
enum DataSheetControlId : int {
  kSheetXLabelId = 1107,
  kSheetXField = 1111,
  kSheetYLabelId = 1108,
  kSheetYField = 1112,
  kSheetStartLabelId = 1109,
  kSheetStartField = 1113,
  kSheetEndLabelId = 1110,
  kSheetEndField = 1114,
  kSheetUseToLastRowBox = 1116,
  kSheetRangeGroupId = 1115,
  kSheetHorizontalBar = 1104,
  kSheetVerticalBar = 1105,
  kSheetOkButton = 1035,
  kSheetCancelButton = 1106,
  kSheetHelpLine = 1029,
};

// The data sheet "DataSheet": shows the data text as a painted grid of four series by sixteen
// rows, and lets the user choose the x and y series and the rows by typing or by two clicks on
// the grid. Every control of its table sits at its client position with objectName = its id.
// On creation it indexes the text (the limit messages, once) and reads the last selection.
// OK accepts the selection through AcceptDataSelection and ends with 0; Cancel and a close
// request end with 1; Escape empties the four fields and restores the first prompt. Both
// endings release the text and call `bring_main_forward`. Run it with RunModal. Main thread.
class DataSheetWindow : public ModalWindow {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 663;
  static constexpr int kClientHeight = 479;

  // `text` (read, not yet indexed), `state` and `prompter` outlive the window.
  DataSheetWindow(DataText& text, AppState& state, Prompter& prompter, QWidget* owner,
                  std::function<void()> bring_main_forward = {});

  QWidget* Control(int id) const;
  DataGridWidget* grid() const { return grid_; }

 protected:
  void CloseRequested() override;
  void EscapePressed() override;
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void ShowSelection(const RangeSelection& selection);
  void RefreshView();    // headers, row labels and cells after scrolling
  void RefreshFrames();  // the frames after the fields changed
  void OnGridPressed(int px, int py);
  void OnUseToLastRow(bool checked);
  void OnWheel(int delta);
  void Accept();
  void Cancel();
  QLineEdit* Field(int id) const;

  DataText& text_;
  AppState& state_;
  Prompter& prompter_;
  std::function<void()> bring_main_forward_;
  std::map<int, QWidget*> controls_;
  DataGridWidget* grid_ = nullptr;
  QScrollBar* horizontal_ = nullptr;
  QScrollBar* vertical_ = nullptr;
  QLineEdit* help_line_ = nullptr;
  QCheckBox* use_to_last_row_ = nullptr;
  std::array<QLabel*, 4> column_headers_{};
  std::array<QLabel*, 16> row_labels_{};
};

}  // namespace calvane
