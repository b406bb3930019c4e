// Window tests of the run and save-results commands through the main window: data and conditions
// are prepared through the core (as calvane-batch does), the run goes through the menu command,
// its progress window and the installed hooks; the report is saved through the scripted file
// chooser. A Gaussian fit's report and internal files equal calvane-batch's byte for byte; pause,
// resume, abort while paused and the condition error show on the main window as they should.

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <functional>

#include "app/batch_driver.h"
#include "app/main_window.h"
#include "app/qt_command_wiring.h"
#include "base/file_io.h"
#include "base/qt_prompter.h"
#include "base/qt_ui_font.h"
#include "conditions/condition_accept.h"
#include "conditions/condition_file.h"
#include "data/data_text.h"
#include "data/range_conversion.h"
#include "data/selection_file.h"
#include "engine/progress_window.h"
#include "tests/engine/run_state_support.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_file_chooser.h"

namespace calvane {

namespace {

const char* const kInternalFiles[] = {"Calculation.ini", "FittingCondition.ini", "Formula.ini",
                                      "DataReadCondition.ini"};

std::string SamplePath(const char* name) {
  return std::string(CALVANE_SOURCE_DIR) + "/resources/Sample/" + name;
}

// Line `number` (1-based) of a CR LF text replaced by `with`.
std::string WithLine(std::string text, int number, const std::string& with) {
  std::size_t from = 0;
  for (int i = 1; i < number; ++i) from = text.find("\r\n", from) + 2;
  const std::size_t to = text.find("\r\n", from);
  return text.replace(from, to - from, with);
}

struct NullOutput : BatchOutput {
  void Out(std::string_view) override {}
  void Err(std::string_view) override {}
};

// The main window over a working directory, with the run and save hooks installed.
struct Program {
  explicit Program(std::unique_ptr<AppState> app_state)
      : state(std::move(app_state)), window(*state, prompter) {
    InstallCommandHooks(window, qt_prompter, chooser);
    window.SetCommands(CommandState{true, true, false});
  }

  QString Field(int id) const { return window.findChild<QLineEdit*>(QString::number(id))->text(); }
  ProgressWindow* Progress() const { return window.findChild<ProgressWindow*>(); }

  // Runs the command `id`; `inside` acts on the progress window from inside its modal loop.
  void RunWithProgress(const std::function<void(ProgressWindow&)>& inside) {
    QTimer::singleShot(0, &window, [this, inside] {
      ProgressWindow* progress = Progress();
      QVERIFY(progress != nullptr);
      inside(*progress);
    });
    window.RunCommand(kCmdRun);
  }

  std::unique_ptr<AppState> state;
  test::RecordingPrompter prompter;
  QtPrompter qt_prompter;
  test::ScriptedFileChooser chooser;
  MainWindow window;
};

void Click(ProgressWindow& progress, int id) {
  QTest::mouseClick(qobject_cast<QPushButton*>(progress.Control(id)), Qt::LeftButton);
}

}  // namespace

class RunCommandTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setFont(UiFont()); }

  // The Gaussian sample through the windows gives calvane-batch's report (apart from the two
  // times) and its four internal files, byte for byte.
  void gaussianFitMatchesTheBatchByteForByte() {
    QTemporaryDir data_dir, window_dir, batch_dir;
    const std::string data = data_dir.filePath("gauss_peak.csv").toStdString();
    const std::string ccn = data_dir.filePath("gauss_peak.ccn").toStdString();
    QVERIFY(WriteWholeFile(data, ReadWholeFile(SamplePath("gauss_peak.csv")).value()));
    QVERIFY(WriteWholeFile(ccn, ReadWholeFile(SamplePath("gauss_peak.ccn")).value()));

    // calvane-batch.
    NullOutput output;
    const std::string batch_report = batch_dir.filePath("r.frs").toStdString();
    QCOMPARE(RunBatch({"--data", data, "--x", "1", "--y", "2", "--start", "2", "--to-last-row",
                       "--conditions", ccn, "--report", batch_report},
                      batch_dir.path().toStdString(), output),
             0);

    // The windows: open data and the conditions' OK as their commands do, then run and save.
    Program program(MakeAppState(window_dir.path().toStdString()));
    AppState& state = *program.state;
    DataText text(ReadWholeFile(data).value());
    IndexRows(text, program.prompter);
    RangeSelection selection{1, 2, 2, 0, 1};
    selection = ApplyUseToLastRow(selection, text);
    QVERIFY(
        ConvertRange(text, selection, state.points, state.ranges, program.prompter).completed());
    QVERIFY(WriteSelectionFile(state.working_directory, selection));
    state.workflow.store(WorkflowStateValue::kDataLoaded);
    program.window.SetFieldText(kCtlDataFile, data);
    ConditionDialogValues dialog = DialogValuesFromRecord(state);
    LoadConditionFile(ReadWholeFile(ccn).value(), dialog, state);
    QVERIFY(AcceptConditions(dialog, state, program.prompter).accepted);

    program.RunWithProgress([](ProgressWindow& progress) {
      QTRY_VERIFY_WITH_TIMEOUT(progress.Control(kPrgOk)->isEnabled(), 60000);
      QCOMPARE(progress.ControlText(kPrgStatus), QStringLiteral("完了しました。"));
      Click(progress, kPrgOk);
    });
    QCOMPARE(state.workflow.load(), WorkflowStateValue::kCompletedResults);
    QVERIFY(program.window.Action(kCmdSaveResults)->isEnabled());
    QVERIFY(!program.Field(kCtlConstant0).endsWith(QStringLiteral(" *")));
    QVERIFY(!program.Field(kCtlR2).isEmpty());

    const std::string window_report = window_dir.filePath("r.frs").toStdString();
    program.chooser.Answer(window_report);
    program.window.RunCommand(kCmdSaveResults);
    QVERIFY(program.chooser.AllAnswered());
    QCOMPARE(state.workflow.load(), WorkflowStateValue::kResultsSaved);
    QCOMPARE(program.window.findChild<QLabel*>(QStringLiteral("1029"))->text(),
             QStringLiteral("計算結果保存済みです。"));
    QVERIFY(program.window.Action(kCmdSaveResults)->isEnabled());

    const std::string written = ReadWholeFile(window_report).value_or("");
    const std::string expected = ReadWholeFile(batch_report).value_or("?");
    QCOMPARE(WithLine(WithLine(written, 3, "T"), 5, "T"),
             WithLine(WithLine(expected, 3, "T"), 5, "T"));
    for (const char* name : kInternalFiles) {
      QVERIFY2(ReadWholeFile(JoinPath(state.working_directory, name)) ==
                   ReadWholeFile(batch_dir.filePath(name).toStdString()),
               name);
    }
    QVERIFY(program.prompter.calls().empty());
  }

  // Pause shows the reached point with " *" in the main window and the curve for it; resume goes
  // on to completion with plain values.
  void pauseShowsTheSnapshotAndResumeCompletes() {
    QTemporaryDir dir;
    Program program(test::RunnableState(dir.path().toStdString(), "k0*x+k1", 60000));
    program.RunWithProgress([&program](ProgressWindow& progress) {
      Click(progress, kPrgPause);
      QCOMPARE(progress.ControlText(kPrgPause), QStringLiteral("再開"));
      QTRY_VERIFY(program.Field(kCtlConstant0).endsWith(QStringLiteral(" *")));
      QVERIFY(program.Field(kCtlConstant0 + 1).endsWith(QStringLiteral(" *")));
      QVERIFY(program.Field(kCtlR2).endsWith(QStringLiteral(" *")));
      QVERIFY(program.Field(kCtlConstant0 + 2).isEmpty());
      QCOMPARE(progress.ControlText(kPrgStatus), QStringLiteral("計算停止しています。"));
      GraphWidget& graph = *program.window.graph();
      const GraphPlan& plan = graph.scale().Compute(*program.state, graph.width(), graph.height());
      QVERIFY(plan.draw_curve);
      QCOMPARE(plan.curve.size(), std::size_t{kCurveColumns});
      Click(progress, kPrgPause);
      QCOMPARE(progress.ControlText(kPrgPause), QStringLiteral("一時中止"));
      QTRY_VERIFY_WITH_TIMEOUT(progress.Control(kPrgOk)->isEnabled(), 60000);
      Click(progress, kPrgOk);
    });
    QCOMPARE(program.state->workflow.load(), WorkflowStateValue::kCompletedResults);
    QCOMPARE(program.Field(kCtlConstant0), QStringLiteral("2"));
    QCOMPARE(program.Field(kCtlConstant0 + 1), QStringLiteral("1"));
    QVERIFY(!program.Field(kCtlR2).endsWith(QStringLiteral(" *")));
    QVERIFY(std::abs(program.Field(kCtlR2).toDouble() - 1.0) < 1e-12);
    QVERIFY(!program.window.graph()->scale().holding());
  }

  // Abort while paused ends with the reached values marked, workflow state 2, and a report with
  // the marks.
  void abortWhilePausedKeepsTheReachedValuesMarked() {
    QTemporaryDir dir;
    Program program(test::RunnableState(dir.path().toStdString(), "k0*x+k1", 60000));
    QString paused_k0;
    program.RunWithProgress([&](ProgressWindow& progress) {
      Click(progress, kPrgPause);
      QTRY_VERIFY(program.Field(kCtlConstant0).endsWith(QStringLiteral(" *")));
      paused_k0 = program.Field(kCtlConstant0);
      Click(progress, kPrgAbort);
      QCOMPARE(progress.ControlText(kPrgStatus),
               QStringLiteral("中止処理中です。お待ちください。"));
    });
    AppState& state = *program.state;
    QCOMPARE(state.workflow.load(), WorkflowStateValue::kStoppedResults);
    QCOMPARE(program.Field(kCtlConstant0), paused_k0);
    QVERIFY(program.Field(kCtlR2).endsWith(QStringLiteral(" *")));
    QVERIFY(!program.Field(kCtlEndTime).isEmpty());
    QCOMPARE(program.window.findChild<QLabel*>(QStringLiteral("1029"))->text(),
             QStringLiteral("計算を実行してください。"));

    program.chooser.Answer(dir.filePath("stopped.frs").toStdString());
    program.window.RunCommand(kCmdSaveResults);
    const std::string report = ReadWholeFile(dir.filePath("stopped.frs").toStdString()).value();
    const std::string k0_line = "k0, " + paused_k0.toStdString() + "\r\n";
    QVERIFY2(report.find(k0_line) != std::string::npos, report.c_str());
    QVERIFY(report.find("k2, ---\r\n") != std::string::npos);
    QCOMPARE(state.workflow.load(), WorkflowStateValue::kResultsSaved);
  }

  // An empty lower bound of a used constant: "計算条件エラー", its message and only OK; the main
  // window keeps its cleared results and returns to workflow state 1.
  void conditionErrorShowsOnlyOk() {
    QTemporaryDir dir;
    Program program(test::RunnableState(dir.path().toStdString(), "k0*x+k1", 10));
    program.state->conditions.constants[0].VarRegionL.clear();
    program.window.SetFieldText(kCtlConstant0, "old");
    program.RunWithProgress([](ProgressWindow& progress) {
      QTRY_COMPARE(progress.ControlText(kPrgStatus), QStringLiteral("計算条件エラー"));
      QCOMPARE(progress.ControlText(kPrgMessage), QStringLiteral("k0の下限が入力されていません。"));
      QVERIFY(progress.Control(kPrgOk)->isEnabled());
      QVERIFY(!progress.Control(kPrgPause)->isEnabled());
      QVERIFY(!progress.Control(kPrgAbort)->isEnabled());
      QVERIFY(progress.ControlText(kPrgPhase).isEmpty());
      Click(progress, kPrgOk);
    });
    QCOMPARE(program.state->workflow.load(), WorkflowStateValue::kDataLoaded);
    QVERIFY(program.Field(kCtlConstant0).isEmpty());
    QVERIFY(!program.window.Action(kCmdSaveResults)->isEnabled());
  }

  // Saving twice to one name asks the overwrite question; Cancel keeps the first report and the
  // workflow state.
  void savingAgainAsksBeforeReplacing() {
    QTemporaryDir dir;
    Program program(test::RunnableState(dir.path().toStdString(), "k0*x+k1", 10));
    program.RunWithProgress([](ProgressWindow& progress) {
      QTRY_VERIFY(progress.Control(kPrgOk)->isEnabled());
      Click(progress, kPrgOk);
    });
    const std::string path = dir.filePath("r.frs").toStdString();
    program.chooser.Answer(path);
    program.window.RunCommand(kCmdSaveResults);
    const std::string first = ReadWholeFile(path).value();
    QVERIFY(WriteWholeFile(path, "kept"));
    program.state->workflow.store(WorkflowStateValue::kCompletedResults);
    program.chooser.Answer(path);
    program.prompter.Answer(Answer::kCancel);
    program.window.RunCommand(kCmdSaveResults);
    QCOMPARE(ReadWholeFile(path).value(), std::string("kept"));
    QCOMPARE(program.state->workflow.load(), WorkflowStateValue::kCompletedResults);
    QCOMPARE(program.prompter.Texts(),
             std::vector<std::string>{"その名前のファイルは既に存在します。上書きしますか？"});
    QVERIFY(program.prompter.AllAnswered());
    QVERIFY(first.rfind("*** Fitting Results ***", 0) == 0);
  }
};

}  // namespace calvane

QTEST_MAIN(calvane::RunCommandTest)
#include "run_command_qtest.moc"
