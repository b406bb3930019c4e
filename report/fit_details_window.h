#pragma once

#include <QTableWidget>

#include "base/file_chooser.h"
#include "base/prompter.h"
#include "base/qt_modal_run.h"
#include "report/fit_details.h"
#include "report/fit_statistics.h"

namespace calvane {

class ResidualPlotWidget;

// Control ids of the details window.
enum FitDetailsControlId : int {
  kCtlDetailsFigures = 1200,  // table: label, value
  kCtlDetailsPlot = 1201,     // the residual plot
  kCtlDetailsConstantsLabel = 1202,
  kCtlDetailsConstants = 1203,  // table: name, value, error, relative, lower, upper
  kCtlDetailsCorrelationLabel = 1204,
  kCtlDetailsCorrelation = 1205,  // table: the correlation matrix
  kCtlDetailsNote = 1206,         // why there are no statistics, or the provisional note
  kCtlDetailsSaveText = 1207,
  kCtlDetailsSaveImage = 1208,
  kCtlDetailsClose = 1209,
};

// The window "計算結果の詳細": read-only tables of the figures, of the constants with their
// errors and 95 % limits and of the correlation matrix, the residual plot, the note that says why
// there are no statistics (or that the values are provisional), and the buttons "テキストで保存"
// (the details text through `chooser`, Shift-JIS, CR LF), "残差グラフを画像で保存" (PNG or SVG)
// and "閉じる". Escape and a close request close it too. Messages through `prompter` as
// WindowId::kFitDetails. Run with RunModal over the main window. Main thread.
class FitDetailsWindow : public ModalWindow {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 760;
  static constexpr int kClientHeight = 646;

  FitDetailsWindow(FitDetails details, FitStatistics stats, Prompter& prompter,
                   FileChooser& chooser, QWidget* owner);

  QTableWidget* Table(int id) const;
  ResidualPlotWidget* plot() const { return plot_; }

  // The buttons' commands, as a click carries them out.
  SaveResultsStatus SaveText();
  SaveResultsStatus SaveImage();

 protected:
  void CloseRequested() override { EndModal(0); }
  void EscapePressed() override { EndModal(0); }

 private:
  void Fill();

  FitDetails details_;
  FitStatistics stats_;
  Prompter& prompter_;
  FileChooser& chooser_;
  ResidualPlotWidget* plot_ = nullptr;
};

}  // namespace calvane
