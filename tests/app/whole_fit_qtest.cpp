// One whole fit through the windows only, as a person works them: the data file chosen for
// "open data", its columns and first row typed into the data sheet, the Gaussian sample's
// conditions typed into the fitting-conditions window, the run watched to its end in the progress
// window, and the report saved. What it leaves equals calvane-batch's files for the same data and
// conditions byte for byte (the report apart from its two time lines).

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "app/batch_driver.h"
#include "app/main_window.h"
#include "app/qt_command_wiring.h"
#include "base/file_io.h"
#include "base/qt_prompter.h"
#include "base/qt_ui_font.h"
#include "conditions/fitting_conditions_dialog.h"
#include "data/data_sheet_window.h"
#include "engine/progress_window.h"
#include "tests/support/scripted_file_chooser.h"

namespace calvane {

namespace {

const char* const kInternalFiles[] = {"Formula.ini", "FittingCondition.ini", "Calculation.ini",
                                      "DataReadCondition.ini"};

// The fitting-conditions window's controls (objectName = id).
constexpr int kLeftSide = 1047;
constexpr int kFormula = 1048;
constexpr int kDegree = 1089;
constexpr int kConditionsOk = 1094;

// resources/Sample/gauss_peak.ccn, as a person reads it off the file: the formula and the first
// four rows of initial value, lower bound, upper bound and accuracy.
const char* const kFormulaText = "k0*Exp(-(x-k1)^2/k2)+k3";
const char* const kConstantRows[4][4] = {{"3", "0", "10", "0.0001"},
                                         {"0.5", "-5", "5", "0.0001"},
                                         {"2", "0.1", "20", "0.0001"},
                                         {"0", "-1", "1", "0.0001"}};

struct NullOutput : BatchOutput {
  void Out(std::string_view) override {}
  void Err(std::string_view) override {}
};

// Line `number` (1-based) of a CR LF text replaced by `with`.
std::string WithLine(std::string text, int number, const std::string& with) {
  std::size_t from = 0;
  for (int i = 1; i < number; ++i) from = text.find("\r\n", from) + 2;
  const std::size_t to = text.find("\r\n", from);
  return text.replace(from, to - from, with);
}

// Hands the modal window of type T to `act` once it is shown and active, so that the focus moves
// as for a person (looked for again on each pass of the event loop until then).
template <typename T>
void WhenModal(std::function<void(T&)> act, bool* seen) {
  QTimer::singleShot(0, [act, seen] {
    auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
    if (window != nullptr && window->isVisible() && !window->isActiveWindow()) {
      window->activateWindow();
    }
    if (window == nullptr || !window->isActiveWindow()) {
      WhenModal<T>(act, seen);
      return;
    }
    *seen = true;
    act(*window);
    // A failed check returns from `act` early: end the window so the test reports, not hangs.
    if (QTest::currentTestFailed() && window->isVisible()) window->done(0);
  });
}

template <typename T>
T* Find(QWidget& window, int id) {
  T* control = window.findChild<T*>(QString::number(id));
  if (control == nullptr) qFatal("control %d missing", id);
  return control;
}

// Clicks into `field`, replaces what it holds by typing `text` and leaves it with Tab.
void TypeInto(QLineEdit* field, const QString& text) {
  QTest::mouseClick(field, Qt::LeftButton);
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(field, Qt::Key_Backspace);
  QTest::keyClicks(field, text);
  QTest::keyClick(field, Qt::Key_Tab);
}

}  // namespace

class WholeFitTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setFont(UiFont()); }

  void gaussianFitThroughTheWindowsMatchesTheBatch() {
    QTemporaryDir data_dir, window_dir, batch_dir;
    const std::string sample = std::string(CALVANE_SOURCE_DIR) + "/resources/Sample/";
    const std::string data = data_dir.filePath("gauss_peak.csv").toStdString();
    const std::string ccn = data_dir.filePath("gauss_peak.ccn").toStdString();
    QVERIFY(WriteWholeFile(data, ReadWholeFile(sample + "gauss_peak.csv").value()));
    QVERIFY(WriteWholeFile(ccn, ReadWholeFile(sample + "gauss_peak.ccn").value()));

    NullOutput output;
    const std::string batch_report = batch_dir.filePath("r.frs").toStdString();
    QCOMPARE(RunBatch({"--data", data, "--x", "1", "--y", "2", "--start", "2", "--to-last-row",
                       "--conditions", ccn, "--report", batch_report},
                      batch_dir.path().toStdString(), output),
             0);

    auto state = MakeAppState(window_dir.path().toStdString());
    QtPrompter prompter;
    MainWindow window(*state, prompter);
    prompter.SetOwner(WindowId::kMain, &window);
    test::ScriptedFileChooser chooser;
    InstallCommandHooks(window, prompter, chooser);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto help_line = [&window] { return Find<QLabel>(window, 1029)->text(); };
    QCOMPARE(help_line(), QStringLiteral("データを開いてください。"));

    // Open data: the chooser gives the file, the sheet takes columns 1 and 2 from row 2 on.
    bool seen = false;
    chooser.Answer(data);
    WhenModal<DataSheetWindow>(
        [](DataSheetWindow& sheet) {
          TypeInto(qobject_cast<QLineEdit*>(sheet.Control(kSheetXField)), QStringLiteral("1"));
          TypeInto(qobject_cast<QLineEdit*>(sheet.Control(kSheetYField)), QStringLiteral("2"));
          TypeInto(qobject_cast<QLineEdit*>(sheet.Control(kSheetStartField)), QStringLiteral("2"));
          auto* to_last = qobject_cast<QCheckBox*>(sheet.Control(kSheetUseToLastRowBox));
          QTest::mouseClick(to_last, Qt::LeftButton, {}, QPoint(6, to_last->height() / 2));
          QVERIFY(to_last->isChecked());
          QTest::mouseClick(qobject_cast<QPushButton*>(sheet.Control(kSheetOkButton)),
                            Qt::LeftButton);
        },
        &seen);
    window.RunCommand(kCmdOpenData);
    QVERIFY(seen);
    QCOMPARE(state->points.count, 301u);  // rows 2 to 302
    QCOMPARE(help_line(), QStringLiteral("計算条件を設定してください。"));

    // The conditions, typed.
    seen = false;
    WhenModal<FittingConditionsDialog>(
        [](FittingConditionsDialog& dialog) {
          auto* left_side = Find<QComboBox>(dialog, kLeftSide);
          left_side->setFocus(Qt::TabFocusReason);
          while (left_side->currentIndex() < 2) QTest::keyClick(left_side, Qt::Key_Down);
          QCOMPARE(left_side->currentText(), QStringLiteral("y (y系列)"));
          TypeInto(Find<QLineEdit>(dialog, kFormula), QString::fromUtf8(kFormulaText));
          QCOMPARE(Find<QLineEdit>(dialog, kFormula)->text(), QString::fromUtf8(kFormulaText));
          QVERIFY2(!Find<QLabel>(dialog, 1036)->text().startsWith(QStringLiteral("【エラー】")),
                   qPrintable(Find<QLabel>(dialog, 1036)->text()));
          for (int row = 0; row < 4; ++row) {
            for (int column = 0; column < 4; ++column) {
              TypeInto(dialog.ConstantField(row, column),
                       QString::fromUtf8(kConstantRows[row][column]));
            }
          }
          auto* degree = Find<QRadioButton>(dialog, kDegree);
          QTest::mouseClick(degree, Qt::LeftButton, {}, QPoint(6, degree->height() / 2));
          QVERIFY(degree->isChecked());
          QTest::mouseClick(Find<QPushButton>(dialog, kConditionsOk), Qt::LeftButton);
        },
        &seen);
    window.RunCommand(kCmdFittingConditions);
    QVERIFY(seen);
    QCOMPARE(help_line(), QStringLiteral("計算を実行してください。"));

    // Run, watched to its end.
    seen = false;
    WhenModal<ProgressWindow>(
        [](ProgressWindow& progress) {
          QTRY_VERIFY_WITH_TIMEOUT(progress.Control(kPrgOk)->isEnabled(), 60000);
          QCOMPARE(progress.ControlText(kPrgStatus), QStringLiteral("完了しました。"));
          QTest::mouseClick(qobject_cast<QPushButton*>(progress.Control(kPrgOk)), Qt::LeftButton);
        },
        &seen);
    window.RunCommand(kCmdRun);
    QVERIFY(seen);
    QVERIFY(!Find<QLineEdit>(window, kCtlR2)->text().isEmpty());

    const std::string window_report = window_dir.filePath("r.frs").toStdString();
    chooser.Answer(window_report);
    window.RunCommand(kCmdSaveResults);
    QVERIFY(chooser.AllAnswered());
    QCOMPARE(help_line(), QStringLiteral("計算結果保存済みです。"));

    const std::string written = ReadWholeFile(window_report).value_or("");
    const std::string expected = ReadWholeFile(batch_report).value_or("?");
    QCOMPARE(WithLine(WithLine(written, 3, "T"), 5, "T"),
             WithLine(WithLine(expected, 3, "T"), 5, "T"));
    for (const char* name : kInternalFiles) {
      const std::optional<std::string> ours =
          ReadWholeFile(JoinPath(state->working_directory, name));
      QVERIFY2(ours.has_value(), name);
      QVERIFY2(ours == ReadWholeFile(batch_dir.filePath(name).toStdString()), name);
    }
  }
};

}  // namespace calvane

QTEST_MAIN(calvane::WholeFitTest)
#include "whole_fit_qtest.moc"
