// Window tests of the progress window: its controls, its appearance at every moment of a run
// (the worker's part played by a thread, or a real worker), the timer's blinking line, pause and
// resume, the condition error, the overflow stop, abort and close requests.

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <set>
#include <thread>

#include "base/qt_prompter.h"
#include "base/qt_ui_font.h"
#include "engine/calculation_driver.h"
#include "engine/progress_window.h"
#include "engine/qt_progress_view.h"
#include "engine/worker.h"
#include "tests/engine/run_state_support.h"

namespace calvane {

namespace {

// One run's parts around a progress window: state, view, driver (Begin done), window.
struct RunParts {
  RunParts(std::string_view formula, std::uint32_t points, bool start_worker = true)
      : state(test::RunnableState(dir.path().toStdString(), formula, points)),
        driver(*state, view) {
    QVERIFY(driver.Begin());
    window = std::make_unique<ProgressWindow>(*state, driver, view, nullptr, start_worker);
    window->SetBeeper([this] { ++beeps; });
  }
  ~RunParts() {
    if (!driver.WorkerEnded()) driver.RequestAbort();
    window.reset();
    driver.Finish();
  }

  QString Text(int id) const { return window->ControlText(id); }
  bool Enabled(int id) const { return window->Control(id)->isEnabled(); }
  QPushButton* Button(int id) const { return qobject_cast<QPushButton*>(window->Control(id)); }

  QTemporaryDir dir;
  std::unique_ptr<AppState> state;
  QtProgressView view;
  CalculationDriver driver;
  std::unique_ptr<ProgressWindow> window;
  int beeps = 0;
};

// The worker's writes of one moment of a run, made from another thread as the worker makes them.
enum Moment { kCreation, kRoughPhase, kLeastSquares, kCompletion, kConditionError, kOverflow };

void PlayWorker(ProgressView& view, Moment moment) {
  switch (moment) {
    case kCreation:
      break;
    case kRoughPhase:
      view.EnableButton(ProgressButton::kPause, false);
      view.SetStatusText("ただいま計算しています。");
      view.SetPhaseText("--- 概略推測フェーズ ---");
      view.SetStepTotal("1");
      view.SetCycleTotal("1500");
      view.RefreshCounters(1, 0);
      break;
    case kCompletion:
    case kOverflow:
    case kLeastSquares:
      view.EnableButton(ProgressButton::kPause, true);
      view.SetStatusText("ただいま計算しています。");
      view.SetPhaseText("--- 最小二乗計算フェーズ ---");
      view.SetStepTotal("4");
      view.SetCycleTotal("");
      view.SetCycleSlash("");
      for (std::uint32_t cycle = 1; cycle <= 500; ++cycle) view.RefreshCounters(3, cycle);
      if (moment == kOverflow) {
        view.SetMessage(
            "計算中の二乗値が非常に大きくなっています。\rこれ以上計算を継続できません。");
      }
      if (moment != kCompletion) break;
      view.RefreshCounters(4, 7);
      view.StopTimer();
      view.EnableButton(ProgressButton::kOk, true);
      view.EnableButton(ProgressButton::kAbort, false);
      view.SetStatusText("完了しました。");
      view.EnableButton(ProgressButton::kPause, false);
      view.SetStepValue("4");
      view.Beep();
      break;
    case kConditionError:
      view.SetMessage("k5の下限が入力されていません。");
      view.ShowConditionError();
      break;
  }
}

}  // namespace

class ProgressWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setFont(UiFont()); }

  void controlsAreCreatedInOrderInsideTheClientArea() {
    RunParts run("k0*x+k1", 10, /*start_worker=*/false);
    ProgressWindow& w = *run.window;
    QCOMPARE(w.windowTitle(), QStringLiteral("計算中"));
    QCOMPARE(w.objectName(), QStringLiteral("NowComputing"));
    QStringList order;
    std::set<QString> ids;
    const QRect client(0, 0, ProgressWindow::kClientWidth, ProgressWindow::kClientHeight);
    for (QObject* child : w.children()) {
      auto* control = qobject_cast<QWidget*>(child);
      if (control == nullptr) continue;
      order << control->objectName();
      QVERIFY2(ids.insert(control->objectName()).second, qPrintable(control->objectName()));
      QVERIFY2(client.contains(control->geometry()), qPrintable(control->objectName()));
    }
    QCOMPARE(order, QStringList({"1000", "1034", "1035", "1036", "1013", "1037", "1015", "1016",
                                 "1038", "1039", "1002", "1040", "1041", "1017", "1018"}));
    QCOMPARE(w.Control(kPrgStatus)->geometry(), QRect(53, 27, 203, 19));
    QCOMPARE(w.Control(kPrgMessage)->geometry(), QRect(19, 135, 268, 66));
    QCOMPARE(w.Control(kPrgAbort)->geometry(), QRect(223, 215, 75, 33));
    QCOMPARE(qobject_cast<QLabel*>(w.Control(kPrgStepValue))->alignment() & Qt::AlignRight,
             Qt::AlignRight);
    // Tab order follows creation: OK comes after pause, abort after OK.
    QCOMPARE(w.Control(kPrgPause)->nextInFocusChain(), w.Control(kPrgOk));
  }

  void appearanceAtEachMoment_data() {
    QTest::addColumn<int>("moment");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("phase");
    QTest::addColumn<QString>("stepTotal");
    QTest::addColumn<QString>("cycleTotal");
    QTest::addColumn<QString>("cycleSlash");
    QTest::addColumn<QString>("buttons");  // pause, OK, abort enabled: "101" ...
    QTest::addColumn<bool>("timer");
    QTest::newRow("creation") << int(kCreation) << "計算準備をしています。"
                              << ""
                              << "0"
                              << "0"
                              << "/"
                              << "101" << true;
    QTest::newRow("rough phase") << int(kRoughPhase) << "ただいま計算しています。"
                                 << "--- 概略推測フェーズ ---"
                                 << "1"
                                 << "1500"
                                 << "/"
                                 << "001" << true;
    QTest::newRow("least-squares phase") << int(kLeastSquares) << "ただいま計算しています。"
                                         << "--- 最小二乗計算フェーズ ---"
                                         << "4"
                                         << ""
                                         << ""
                                         << "101" << true;
    QTest::newRow("completion") << int(kCompletion) << "完了しました。"
                                << "--- 最小二乗計算フェーズ ---"
                                << "4"
                                << ""
                                << ""
                                << "010" << false;
    QTest::newRow("condition error") << int(kConditionError) << "計算条件エラー"
                                     << ""
                                     << "0"
                                     << "0"
                                     << "/"
                                     << "010" << false;
    // The overflow stop leaves the buttons as they were: only abort leads out.
    QTest::newRow("overflow stop") << int(kOverflow) << "ただいま計算しています。"
                                   << "--- 最小二乗計算フェーズ ---"
                                   << "4"
                                   << ""
                                   << ""
                                   << "101" << true;
  }

  void appearanceAtEachMoment() {
    QFETCH(int, moment);
    QFETCH(QString, status);
    QFETCH(QString, phase);
    QFETCH(QString, stepTotal);
    QFETCH(QString, cycleTotal);
    QFETCH(QString, cycleSlash);
    QFETCH(QString, buttons);
    QFETCH(bool, timer);
    RunParts run("k0*x+k1", 10, /*start_worker=*/false);
    std::thread worker([&] { PlayWorker(run.view, static_cast<Moment>(moment)); });
    worker.join();
    // Every write is queued: nothing has landed before the event loop runs.
    QCOMPARE(run.Text(kPrgStatus), QStringLiteral("計算準備をしています。"));
    QTRY_COMPARE(run.Text(kPrgStatus), status);
    QCOMPARE(run.Text(kPrgPhase), phase);
    QCOMPARE(run.Text(kPrgStepTotal), stepTotal);
    QCOMPARE(run.Text(kPrgCycleTotal), cycleTotal);
    QCOMPARE(run.Text(kPrgCycleSlash), cycleSlash);
    QCOMPARE(QString("%1%2%3")
                 .arg(int(run.Enabled(kPrgPause)))
                 .arg(int(run.Enabled(kPrgOk)))
                 .arg(int(run.Enabled(kPrgAbort))),
             buttons);
    QCOMPARE(run.window->timer_active(), timer);
    if (moment == kCompletion) {
      QCOMPARE(run.Text(kPrgStepValue), QStringLiteral("4"));
      QCOMPARE(run.beeps, 1);
    }
    if (moment == kLeastSquares) {
      // 500 refreshes were coalesced; the last values are shown.
      QCOMPARE(run.Text(kPrgCycleValue), QStringLiteral("500"));
      QCOMPARE(run.Text(kPrgStepValue), QStringLiteral("3"));
    }
    if (moment == kConditionError) {
      QCOMPARE(run.Text(kPrgMessage), QStringLiteral("k5の下限が入力されていません。"));
    }
  }

  void completedRunShowsTheStepTotalAndOnlyOk() {
    RunParts run("k0*x+k1", 50);
    run.window->show();
    QTRY_COMPARE(run.Text(kPrgStatus), QStringLiteral("完了しました。"));
    QTRY_COMPARE(run.beeps, 1);
    QVERIFY(run.driver.WorkerEnded());
    const QString total = QString::number(run.state->engine.StepTotal.load());
    QCOMPARE(run.Text(kPrgStepTotal), total);
    QCOMPARE(run.Text(kPrgStepValue), total);
    QVERIFY(run.Enabled(kPrgOk));
    QVERIFY(!run.Enabled(kPrgPause));
    QVERIFY(!run.Enabled(kPrgAbort));
    QVERIFY(!run.window->timer_active());
    QTest::mouseClick(run.Button(kPrgOk), Qt::LeftButton);
    QVERIFY(!run.window->isVisible());
    QCOMPARE(run.window->result(), 0);
  }

  void pauseAndResumeToggleTheButtonAndStopTheAsterisks() {
    RunParts run("k0*x+k1", 60000);
    run.window->show();
    QLabel* blink = qobject_cast<QLabel*>(run.window->Control(kPrgBlink));
    QCOMPARE(blink->text(), QString());
    run.window->Tick();
    QCOMPARE(blink->text(), QString(30, QLatin1Char('*')));
    run.window->Tick();
    QCOMPARE(blink->text(), QString());

    QTest::mouseClick(run.Button(kPrgPause), Qt::LeftButton);
    QCOMPARE(run.state->workflow.load(), WorkflowStateValue::kPaused);
    QCOMPARE(run.Text(kPrgPause), QStringLiteral("再開"));
    QCOMPARE(run.Text(kPrgStatus), QStringLiteral("計算停止しています。"));
    run.window->Tick();
    QCOMPARE(blink->text(), QString());  // empty while paused
    run.window->Tick();
    QCOMPARE(blink->text(), QString());

    QTest::mouseClick(run.Button(kPrgPause), Qt::LeftButton);
    QCOMPARE(run.state->workflow.load(), WorkflowStateValue::kDataLoaded);
    QCOMPARE(run.Text(kPrgPause), QStringLiteral("一時中止"));
    QCOMPARE(run.Text(kPrgStatus), QStringLiteral("ただいま計算しています。"));
    run.window->Tick();
    QCOMPARE(blink->text(), QString(30, QLatin1Char('*')));

    // Abort: the window waits for the worker with the event loop running, then ends with 1.
    QTest::mouseClick(run.Button(kPrgAbort), Qt::LeftButton);
    QCOMPARE(run.state->workflow.load(), WorkflowStateValue::kAbortRequested);
    QTRY_VERIFY(!run.window->isVisible());
    QCOMPARE(run.window->result(), 1);
    QVERIFY(run.driver.WorkerEnded());
    QCOMPARE(run.driver.Finish(), int(kWorkerStopped));
  }

  // A pause or abort clicked before the worker's queued "calculating" lands keeps its status.
  void pausedStatusIsNotOverwrittenByALateWorkerWrite() {
    RunParts run("k0*x+k1", 10, /*start_worker=*/false);
    QTest::mouseClick(run.Button(kPrgPause), Qt::LeftButton);
    run.view.SetStatusText("ただいま計算しています。");
    QCoreApplication::processEvents();
    QCOMPARE(run.Text(kPrgStatus), QStringLiteral("計算停止しています。"));
    run.state->workflow.store(WorkflowStateValue::kAbortRequested);
    run.window->SetControlText(kPrgStatus, "中止処理中です。お待ちください。");
    run.view.SetStatusText("ただいま計算しています。");
    QCoreApplication::processEvents();
    QCOMPARE(run.Text(kPrgStatus), QStringLiteral("中止処理中です。お待ちください。"));
    run.view.SetStatusText("完了しました。");
    QTRY_COMPARE(run.Text(kPrgStatus), QStringLiteral("完了しました。"));
    run.driver.StartWorker();  // ends at once: the abort is requested
  }

  void conditionErrorLeavesOnlyOk() {
    RunParts run("k0*x+k1", 10, /*start_worker=*/false);
    run.state->conditions.constants[1].VarRegionL.clear();
    run.driver.StartWorker();
    QTRY_COMPARE(run.Text(kPrgStatus), QStringLiteral("計算条件エラー"));
    QCOMPARE(run.Text(kPrgMessage), QStringLiteral("k1の下限が入力されていません。"));
    QVERIFY(run.Enabled(kPrgOk));
    QVERIFY(!run.Enabled(kPrgPause));
    QVERIFY(!run.Enabled(kPrgAbort));
    QCOMPARE(run.driver.Finish(), int(kWorkerConditionError));
  }

  void overflowStopLeavesOnlyAbort() {
    // exp(300) makes every residual of the first step far beyond 1e100.
    RunParts run("(k0+1)*Exp(x*30)", 20);
    run.window->show();
    QTRY_VERIFY(run.Text(kPrgMessage).startsWith(QStringLiteral("計算中の二乗値が非常に大きく")));
    QTRY_VERIFY(run.driver.WorkerEnded());
    QCoreApplication::processEvents();
    QVERIFY(!run.Enabled(kPrgOk));
    QVERIFY(run.Enabled(kPrgPause));
    QVERIFY(run.Enabled(kPrgAbort));
    // A close request is ignored while OK is disabled.
    run.window->close();
    QVERIFY(run.window->isVisible());
    // Abort finds the worker ended and closes at once.
    QTest::mouseClick(run.Button(kPrgAbort), Qt::LeftButton);
    QVERIFY(!run.window->isVisible());
    QCOMPARE(run.window->result(), 1);
  }

  void closeRequestIsIgnoredUntilOkIsEnabled() {
    RunParts run("k0*x+k1", 60000);
    run.window->show();
    run.window->close();
    QVERIFY(run.window->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(run.Enabled(kPrgOk), 60000);
    run.window->close();
    QVERIFY(!run.window->isVisible());
    QCOMPARE(run.window->result(), 0);
  }
};

}  // namespace calvane

QTEST_MAIN(calvane::ProgressWindowTest)
#include "progress_window_qtest.moc"
