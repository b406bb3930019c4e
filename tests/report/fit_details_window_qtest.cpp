// The details window and the two image commands over the Gaussian sample: the sample is loaded and
// fitted in the main window, the details opened from their menu command, their values read off
// the tables, the text saved (the same bytes as calvane-batch --details writes), the graph and the
// residual plot saved as PNG and SVG and looked at. A formula with a constant that has no effect
// shows "不定" for it.

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "app/batch_driver.h"
#include "app/condition_commands.h"
#include "app/data_commands.h"
#include "app/graph_widget.h"
#include "app/main_window.h"
#include "app/qt_command_wiring.h"
#include "base/cp932.h"
#include "base/file_io.h"
#include "base/qt_prompter.h"
#include "base/qt_ui_font.h"
#include "conditions/condition_accept.h"
#include "conditions/condition_file.h"
#include "data/data_selection.h"
#include "data/data_text.h"
#include "engine/progress_window.h"
#include "formula/formula_check.h"
#include "report/fit_details_window.h"
#include "report/residual_plot_widget.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_file_chooser.h"

namespace calvane {

namespace {

struct NullOutput : BatchOutput {
  void Out(std::string_view) override {}
  void Err(std::string_view) override {}
};

// Hands the modal window of type T to `act` once it is shown (looked for again on each pass of
// the event loop until then); a failed check ends the window so the test reports, not hangs.
template <typename T>
void WhenModal(std::function<void(T&)> act, bool* seen) {
  QTimer::singleShot(0, [act, seen] {
    auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
    if (window == nullptr || !window->isVisible()) {
      WhenModal<T>(act, seen);
      return;
    }
    *seen = true;
    act(*window);
    if (QTest::currentTestFailed() && window->isVisible()) window->done(0);
  });
}

QString CellText(const QTableWidget& table, int row, int column) {
  const QTableWidgetItem* item = table.item(row, column);
  return item == nullptr ? QStringLiteral("<none>") : item->text();
}

// How many pixels of `image` have exactly the colour `colour`.
int CountColour(const QImage& image, const QColor& colour) {
  int count = 0;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < rgb.height(); ++y) {
    for (int x = 0; x < rgb.width(); ++x) {
      if (rgb.pixelColor(x, y) == colour) ++count;
    }
  }
  return count;
}

// The SVG rendered onto white at the size of its view box (in the widget's pixels).
QImage RenderSvg(const QString& path) {
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return {};
  QImage image(renderer.viewBox().size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  renderer.render(&painter);
  return image;
}

// The Gaussian sample with its conditions, loaded into `state` as open data and the conditions
// dialog's OK leave it, in the main window `window`.
void LoadSample(const std::string& data, const std::string& ccn, AppState& state,
                MainWindow& window, Prompter& prompter) {
  DataText text;
  QVERIFY(ReadDataFile(data, text, prompter, WindowId::kMain));
  IndexRows(text, prompter, WindowId::kDataSheet);
  RangeSelection selection{1, 2, 2, 0, 1};
  QVERIFY(AcceptDataSelection(text, selection, state, prompter).accepted());
  PublishAcceptedData(window, state, data);
  ConditionDialogValues dialog = DialogValuesFromRecord(state);
  LoadConditionFile(ReadWholeFile(ccn).value(), dialog, state);
  QVERIFY(AcceptConditionsCommand(dialog, state, window).accepted);
}

}  // namespace

class FitDetailsWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setFont(UiFont()); }

  void gaussianSampleDetailsImagesAndTheBatchAgree() {
    QTemporaryDir dir;
    const std::string sample = std::string(CALVANE_SOURCE_DIR) + "/resources/Sample/";
    const std::string data = dir.filePath("gauss_peak.csv").toStdString();
    const std::string ccn = dir.filePath("gauss_peak.ccn").toStdString();
    QVERIFY(WriteWholeFile(data, ReadWholeFile(sample + "gauss_peak.csv").value()));
    QVERIFY(WriteWholeFile(ccn, ReadWholeFile(sample + "gauss_peak.ccn").value()));
    QVERIFY(QDir(dir.path()).mkpath("batch") && QDir(dir.path()).mkpath("window"));

    NullOutput output;
    const std::string batch_details = dir.filePath("batch/d.txt").toStdString();
    QCOMPARE(RunBatch({"--data", data, "--x", "1", "--y", "2", "--start", "2", "--to-last-row",
                       "--conditions", ccn, "--details", batch_details},
                      dir.filePath("batch").toStdString(), output),
             0);

    auto state = MakeAppState(dir.filePath("window").toStdString());
    test::RecordingPrompter prompter;
    QtPrompter owners;
    MainWindow window(*state, prompter);
    owners.SetOwner(WindowId::kMain, &window);
    test::ScriptedFileChooser chooser;
    InstallCommandHooks(window, owners, chooser);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    LoadSample(data, ccn, *state, window, prompter);
    QVERIFY(!window.Action(kCmdFitDetails)->isEnabled());
    QVERIFY(window.Action(kCmdSaveGraphImage)->isEnabled());

    bool seen = false;
    WhenModal<ProgressWindow>(
        [](ProgressWindow& progress) {
          QTRY_VERIFY_WITH_TIMEOUT(progress.Control(kPrgOk)->isEnabled(), 60000);
          QTest::mouseClick(qobject_cast<QPushButton*>(progress.Control(kPrgOk)), Qt::LeftButton);
        },
        &seen);
    window.RunCommand(kCmdRun);
    QVERIFY(seen);
    QCOMPARE(state->workflow.load(), WorkflowStateValue::kCompletedResults);
    QVERIFY(window.Action(kCmdFitDetails)->isEnabled());

    // The details from the menu command: the tables, then the text saved and the plot as PNG.
    const std::string window_details = dir.filePath("window/d.txt").toStdString();
    const std::string residual_png = dir.filePath("residuals.png").toStdString();
    chooser.Answer(window_details);
    chooser.Answer(residual_png);
    const QString k0_shown = window.findChild<QLineEdit*>(QString::number(kCtlConstant0))->text();
    seen = false;
    WhenModal<FitDetailsWindow>(
        [&](FitDetailsWindow& details) {
          QCOMPARE(details.windowTitle(), QStringLiteral("計算結果の詳細"));
          const QTableWidget& figures = *details.Table(kCtlDetailsFigures);
          QCOMPARE(CellText(figures, 0, 0), QStringLiteral("使用したデータ点数"));
          QCOMPARE(CellText(figures, 0, 1), QStringLiteral("301 (データ間隔 1)"));
          QCOMPARE(CellText(figures, 2, 1), QStringLiteral("297"));  // 301 - 4
          const QTableWidget& constants = *details.Table(kCtlDetailsConstants);
          QCOMPARE(constants.rowCount(), 4);
          QCOMPARE(constants.horizontalHeaderItem(2)->text(), QStringLiteral("標準誤差"));
          QCOMPARE(CellText(constants, 0, 0), QStringLiteral("k0"));
          QCOMPARE(CellText(constants, 0, 1), k0_shown);  // the value the main window shows
          for (int row = 0; row < 4; ++row) {
            // Each constant has a positive standard error inside its 95 % limits.
            bool ok = false;
            const double error = CellText(constants, row, 2).toDouble(&ok);
            QVERIFY2(ok && error > 0, qPrintable(CellText(constants, row, 2)));
            const double value = CellText(constants, row, 1).toDouble();
            QVERIFY(CellText(constants, row, 4).toDouble() < value);
            QVERIFY(CellText(constants, row, 5).toDouble() > value);
          }
          const QTableWidget& correlation = *details.Table(kCtlDetailsCorrelation);
          QCOMPARE(correlation.rowCount(), 4);
          QCOMPARE(CellText(correlation, 1, 1), QStringLiteral("1"));
          QCOMPARE(CellText(correlation, 0, 2), CellText(correlation, 2, 0));
          QTest::mouseClick(details.findChild<QPushButton*>(QString::number(kCtlDetailsSaveText)),
                            Qt::LeftButton);
          QTest::mouseClick(details.findChild<QPushButton*>(QString::number(kCtlDetailsSaveImage)),
                            Qt::LeftButton);
          QTest::mouseClick(details.findChild<QPushButton*>(QString::number(kCtlDetailsClose)),
                            Qt::LeftButton);
        },
        &seen);
    window.RunCommand(kCmdFitDetails);
    QVERIFY(seen);
    QVERIFY(chooser.AllAnswered());
    QVERIFY(prompter.calls().empty());

    // The saved text: the batch's bytes, Shift-JIS with CR LF line ends only.
    const std::string saved = ReadWholeFile(window_details).value_or("");
    QCOMPARE(saved, ReadWholeFile(batch_details).value_or("?"));
    const std::string utf8 = Cp932ToUtf8(saved).value_or("");
    QVERIFY(
        utf8.starts_with("*** 計算結果の詳細 ***\r\n使用したデータ点数, 301 (データ間隔 1)\r\n"));
    QVERIFY(saved.ends_with("\r\n"));
    QCOMPARE(std::count(saved.begin(), saved.end(), '\n'),
             std::count(saved.begin(), saved.end(), '\r'));
    QVERIFY(utf8.find("\r\n[残差]\r\nx, 観測値, 計算値, 残差\r\n") != std::string::npos);

    // The residual plot: a white box with the zero line and a dot per point.
    const QImage residuals(QString::fromStdString(residual_png));
    QVERIFY(!residuals.isNull());
    QCOMPARE(residuals.width(), 2 * 400);
    QVERIFY(CountColour(residuals, kResidualZeroColour) > 2 * 2 * 300);  // the 2-pixel line
    QVERIFY(CountColour(residuals, kPointColour) > 36 * 50);  // 3x3 dots, twice the scale

    // The main window's graph as PNG (twice the screen resolution) and SVG.
    const QString png = dir.filePath("graph.png");
    const QString svg = dir.filePath("graph.svg");
    chooser.Answer(png.toStdString());
    window.RunCommand(kCmdSaveGraphImage);
    chooser.Answer(svg.toStdString());
    window.RunCommand(kCmdSaveGraphImage);
    QVERIFY(chooser.AllAnswered());
    QCOMPARE(chooser.requests().back().filters.size(), std::size_t{2});
    const QImage graph(png);
    QVERIFY(!graph.isNull());
    const QRect area = window.graph()->ImageRect();
    QCOMPARE(graph.size(), area.size() * 2);
    QVERIFY(CountColour(graph, kPointColour) > 36 * 100);  // the data dots
    QVERIFY(CountColour(graph, kCurveColour) > 16 * 200);  // the curve, a dot per column
    const QImage drawn = RenderSvg(svg);
    QVERIFY(!drawn.isNull());
    QCOMPARE(drawn.size(), area.size());
    QVERIFY(CountColour(drawn, kPointColour) > 9 * 100);
    QVERIFY(CountColour(drawn, kCurveColour) > 4 * 200);
    const std::string svg_text = ReadWholeFile(svg.toStdString()).value_or("");
    QVERIFY(svg_text.find("#ff0064") != std::string::npos);
    QVERIFY(svg_text.find("#6400ff") != std::string::npos);

    // Saving the graph again under the same name asks; Cancel keeps the first image.
    const std::string before = ReadWholeFile(png.toStdString()).value_or("");
    chooser.Answer(png.toStdString());
    window.RunCommand(kCmdSaveGraphImage);
    QCOMPARE(prompter.calls().size(), std::size_t{1});
    QCOMPARE(prompter.calls()[0].text,
             std::string("その名前のファイルは既に存在します。上書きしますか？"));
    QCOMPARE(ReadWholeFile(png.toStdString()).value_or(""), before);
  }

  // A constant without effect: "不定" for its error, limits and correlations; the others keep
  // numbers. The window's save writes the same.
  void constantWithoutEffectIsUndetermined() {
    QTemporaryDir dir;
    auto state = MakeAppState(dir.path().toStdString());
    test::RecordingPrompter prompter;
    const std::string csv =
        ReadWholeFile(std::string(CALVANE_SOURCE_DIR) + "/resources/Sample/gauss_peak.csv").value();
    DataText text;
    const std::string data = dir.filePath("g.csv").toStdString();
    QVERIFY(WriteWholeFile(data, csv));
    QVERIFY(ReadDataFile(data, text, prompter, WindowId::kMain));
    IndexRows(text, prompter, WindowId::kDataSheet);
    QVERIFY(AcceptDataSelection(text, RangeSelection{1, 2, 2, 0, 1}, *state, prompter).accepted());
    QCOMPARE(CheckFormula(state->formula, "k0*Exp(-(x-k1)^2/k2)+k3+0*k4", LeftSide::Y),
             FormulaCheckCode::FormulaValid);
    const double values[5] = {3.0, 0.5, 2.0, 0.1, 7.0};
    for (int k = 0; k < 5; ++k) {
      const std::uint8_t v = state->formula.paramIndex[k];
      state->engine.CurrentValue[v] = values[k];
      state->engine.Accuracy[v] = 1e-4;
    }
    FitStatistics stats = ComputeFitStatistics(*state);
    FitDetails details = MakeFitDetails(stats, LeftSide::Y, /*provisional=*/true);
    test::ScriptedFileChooser chooser;
    FitDetailsWindow window(details, stats, prompter, chooser, nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QTableWidget& constants = *window.Table(kCtlDetailsConstants);
    QCOMPARE(constants.rowCount(), 5);
    QCOMPARE(CellText(constants, 4, 0), QStringLiteral("k4"));
    QCOMPARE(CellText(constants, 4, 1), QStringLiteral("7"));
    for (int column = 2; column < 6; ++column) {
      QCOMPARE(CellText(constants, 4, column), QStringLiteral("不定"));
      QVERIFY(CellText(constants, 0, column) != QStringLiteral("不定"));
    }
    const QTableWidget& correlation = *window.Table(kCtlDetailsCorrelation);
    for (int i = 0; i < 5; ++i) {
      QCOMPARE(CellText(correlation, 4, i), QStringLiteral("不定"));
      QCOMPARE(CellText(correlation, i, 4), QStringLiteral("不定"));
    }
    QCOMPARE(window.findChild<QLabel*>(QString::number(kCtlDetailsNote))->text(),
             QStringLiteral("計算が途中で終了したため、値は暫定値です。"));

    const std::string path = dir.filePath("d.txt").toStdString();
    chooser.Answer(path);
    QCOMPARE(window.SaveText(), SaveResultsStatus::kSaved);
    const std::string saved = ReadWholeFile(path).value_or("");
    QCOMPARE(saved, FitDetailsFileBytes(details, stats));
    const std::string undetermined_row =
        Utf8ToCp932("\r\nk4, 7, 不定, 不定, 不定, 不定\r\n").value();
    QVERIFY(saved.find(undetermined_row) != std::string::npos);
    QVERIFY(saved.find(Utf8ToCp932("暫定値").value()) != std::string::npos);

    // A close request ends the window like its button.
    window.close();
    QTRY_VERIFY(!window.isVisible());
  }
};

}  // namespace calvane

QTEST_MAIN(calvane::FitDetailsWindowTest)
#include "fit_details_window_qtest.moc"
