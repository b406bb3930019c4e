// Window tests of the main window: menus, toolbar, controls, command enabling, the discard
// check on exit and close, version, help and the first-run check.

#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "app/command_state.h"
#include "app/main_window.h"
#include "app/qt_menus.h"
#include "base/qt_ui_font.h"
#include "base/workflow_state.h"
#include "tests/support/recording_prompter.h"

namespace calvane {

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  struct Fixture {
    explicit Fixture(const QString& dir = QString())
        : state(MakeAppState(dir.isEmpty() ? std::string(".") : dir.toStdString())),
          window(*state, prompter) {}
    std::unique_ptr<AppState> state;
    test::RecordingPrompter prompter;
    MainWindow window;
  };

  static QToolButton* ToolButton(MainWindow& window, int id) {
    return qobject_cast<QToolButton*>(window.toolbar()->widgetForAction(window.Action(id)));
  }

 private slots:
  void initTestCase() { QApplication::setFont(UiFont()); }

  void menusShowTheirItemsInDisplayOrderWithIds() {
    Fixture f;
    QStringList lines;
    for (QAction* top : f.window.menuBar()->actions()) {
      lines << top->text();
      for (QAction* item : top->menu()->actions()) {
        lines << (item->isSeparator()
                      ? QStringLiteral("  -")
                      : QStringLiteral("  %1[%2]").arg(item->text(), item->objectName()));
      }
    }
    const QStringList expected = {"ファイル(&F)",
                                  "  データを開く(&D)[1123]",
                                  "  データを閉じる(&C)[1124]",
                                  "  -",
                                  "  計算結果を保存する(&S)[1125]",
                                  "  グラフを画像で保存(&G)[1141]",
                                  "  -",
                                  "  終了(&X)[1126]",
                                  "計算(&C)",
                                  "  計算条件(&C)[1127]",
                                  "  -",
                                  "  実行(&E)[1128]",
                                  "  計算結果の詳細(&R)[1140]",
                                  "ヘルプ(&H)",
                                  "  ヘルプ(&H)[1129]",
                                  "  バージョン情報(&A)[1130]"};
    QCOMPARE(lines, expected);
    QCOMPARE(f.window.windowTitle(), QStringLiteral("Calvane"));
  }

  void conditionsMenuBarIsBuiltForItsWindow() {
    QWidget window;
    std::map<int, QAction*> actions;
    QMenuBar* bar = BuildConditionsMenuBar(&window, actions);
    QCOMPARE(bar->parentWidget(), &window);
    QStringList lines;
    for (QAction* top : bar->actions()) {
      lines << top->text();
      for (QAction* item : top->menu()->actions()) {
        lines << (item->isSeparator()
                      ? QStringLiteral("  -")
                      : QStringLiteral("  %1[%2]").arg(item->text(), item->objectName()));
      }
    }
    QCOMPARE(lines, (QStringList{"ファイル(&F)", "  計算条件を開く(&O)[1132]",
                                 "  計算条件を保存する(&S)[1133]", "  -", "  詳細条件(&D)[1134]",
                                 "  -", "  閉じる(&C)[1135]", "ヘルプ(&H)", "  ヘルプ(&H)[1129]"}));
    QCOMPARE(actions.size(), std::size_t{5});
    QCOMPARE(actions.at(1134)->data().toInt(), 1134);
  }

  void toolbarHasFourImagesASeparatorAndTooltips() {
    Fixture f;
    QToolBar* bar = f.window.toolbar();
    QCOMPARE(bar->objectName(), QStringLiteral("70"));
    QCOMPARE(bar->geometry().topLeft(), QPoint(0, 0));
    QVERIFY(bar->geometry().bottom() < 29);
    QStringList items;
    for (QAction* action : bar->actions()) {
      items << (action->isSeparator()
                    ? QStringLiteral("-")
                    : QStringLiteral("%1:%2").arg(action->objectName(), action->toolTip()));
      if (!action->isSeparator()) {
        QVERIFY(!action->icon().isNull());
        QCOMPARE(action->icon().availableSizes().value(0), QSize(16, 15));
      }
    }
    QCOMPARE(items, (QStringList{"1123:データを開く", "1125:計算結果の保存", "-", "1127:計算条件",
                                 "1128:計算実行"}));
    QVERIFY(!f.window.windowIcon().isNull());
  }

  void controlsSitAtTheirClientGeometry() {
    Fixture f;
    struct Row {
      int id;
      QRect geometry;
      const char* text;
    };
    std::vector<Row> rows = {
        {1000, {14, 46, 97, 16}, "データファイル名："},
        {1001, {110, 43, 445, 20}, ""},
        {1002, {388, 79, 93, 21}, "定数　　計算結果"},
        {1023, {14, 370, 97, 16}, "計算開始時刻："},
        {1024, {339, 403, 97, 16}, "相関係数R^2"},
        {1025, {99, 367, 131, 19}, ""},
        {1026, {133, 307, 142, 12}, ""},
        {1027, {11, 186, 16, 15}, ""},
        {1029, {2, 432, 563, 18}, "データを開いてください。"},
        {1030, {14, 396, 97, 16}, "計算終了時刻："},
        {1031, {99, 393, 131, 19}, ""},
        {1032, {425, 400, 131, 19}, ""},
    };
    static const char* const kNames[] = {"k0", "k1", "k2", "k3", "k4",
                                         "k5", "k6", "k7", "k8", "k9"};
    for (int i = 0; i < 10; ++i) {
      rows.push_back({1003 + i, {425, 100 + 30 * i, 131, 19}, ""});
      rows.push_back({1013 + i, {394, 103 + 30 * i, 19, 14}, kNames[i]});
    }
    for (const Row& row : rows) {
      QWidget* control = f.window.graph()->findChild<QWidget*>(QString::number(row.id));
      QVERIFY2(control != nullptr, qPrintable(QString::number(row.id)));
      QCOMPARE(control->geometry(), row.geometry);
      QCOMPARE(control->parentWidget(), f.window.graph());
      if (auto* field = qobject_cast<QLineEdit*>(control)) {
        QVERIFY(field->isReadOnly());
        QCOMPARE(field->text(), QString::fromUtf8(row.text));
      } else {
        QCOMPARE(qobject_cast<QLabel*>(control)->text(), QString::fromUtf8(row.text));
      }
    }
    QCOMPARE(f.window.centralWidget()->size(),
             QSize(MainWindow::kClientWidth, MainWindow::kClientHeight));
    auto* status = f.window.graph()->findChild<QLabel*>("1029");
    QCOMPARE(status->frameShadow(), QFrame::Sunken);
    QVERIFY(!(f.window.windowFlags() & Qt::WindowMaximizeButtonHint));
  }

  void controlsUseTheUserInterfaceFont() {
    Fixture f;
    auto* label = f.window.graph()->findChild<QLabel*>("1000");
    QCOMPARE(label->font().families().value(0), QStringLiteral("ＭＳ Ｐゴシック"));
    QCOMPARE(label->font().pixelSize(), 12);
    const QString resolved = QFontInfo(label->font()).family();
    QVERIFY2(resolved == "ＭＳ Ｐゴシック" || resolved == "IPAPGothic" ||
                 resolved == "IPA Pゴシック" || resolved == "Noto Sans CJK JP",
             qPrintable(resolved));
  }

  // Enabled state of every command, menu and toolbar alike, along the workflow.
  void commandsFollowTheWorkflowSteps() {
    Fixture f;
    MainWindow& w = f.window;
    auto check = [&](bool close, bool run, bool save, const char* status, const char* step) {
      const std::map<int, bool> expected = {{kCmdOpenData, true},
                                            {kCmdCloseData, close},
                                            {kCmdSaveResults, save},
                                            {kCmdExit, true},
                                            {kCmdFittingConditions, true},
                                            {kCmdRun, run},
                                            {kCmdHelp, true},
                                            {kCmdVersion, true}};
      for (const auto& [id, enabled] : expected) {
        QVERIFY2(w.Action(id)->isEnabled() == enabled,
                 qPrintable(QStringLiteral("%1 command %2").arg(step).arg(id)));
        if (QToolButton* button = ToolButton(w, id)) {
          QVERIFY2(button->isEnabled() == enabled,
                   qPrintable(QStringLiteral("%1 button %2").arg(step).arg(id)));
        }
      }
      QCOMPARE(w.graph()->findChild<QLabel*>("1029")->text(), QString::fromUtf8(status));
    };
    check(false, false, false, "データを開いてください。", "start-up");
    ApplyUpdate(w, AfterDataAccepted(w.Commands(), FormulaState::Valid, LeftSide::Y));
    check(true, true, false, "計算を実行してください。", "data accepted");
    ApplyUpdate(w, AfterRunEnded(w.Commands(), WorkflowStateValue::kCompletedResults));
    check(true, true, true, "必要であれば計算結果を保存してください。", "converged");
    ApplyUpdate(w, AfterResultsSaved(w.Commands()));
    check(true, true, true, "計算結果保存済みです。", "saved");
    w.ClearResults();
    check(true, true, false, "計算結果保存済みです。", "cleared");
    ApplyUpdate(w, AfterRunEnded(w.Commands(), WorkflowStateValue::kStoppedResults));
    check(true, true, true, "計算を実行してください。", "stopped early");
    ApplyUpdate(w, AfterConditionsAccepted(w.Commands(), WorkflowStateValue::kDataLoaded,
                                           FormulaState::Invalid, LeftSide::Y));
    check(true, false, true, "計算条件を設定してください。", "conditions invalid");
    ApplyUpdate(w, AfterDataClosed(w.Commands()));
    check(false, false, false, "データを開いてください。", "closed");
  }

  // The details (1140) and the graph image (1141) follow the workflow state itself: each change
  // the flows make to the window, and each opening of a pop-up, refreshes them; a disabled one
  // does nothing when it is run.
  void workflowCommandsFollowTheWorkflowState_data() {
    QTest::addColumn<int>("workflow");
    QTest::addColumn<bool>("details");
    QTest::addColumn<bool>("image");
    QTest::newRow("0 no data") << 0 << false << false;
    QTest::newRow("1 data loaded") << 1 << false << true;
    QTest::newRow("2 stopped early") << 2 << true << true;
    QTest::newRow("3 completed") << 3 << true << true;
    QTest::newRow("4 saved") << 4 << true << true;
    QTest::newRow("-1 paused") << -1 << false << false;
    QTest::newRow("-10 aborting") << -10 << false << false;
  }

  void workflowCommandsFollowTheWorkflowState() {
    QFETCH(int, workflow);
    QFETCH(bool, details);
    QFETCH(bool, image);
    Fixture f;
    MainWindow& w = f.window;
    int details_runs = 0;
    int image_runs = 0;
    w.hooks().fit_details = [&](MainWindow&) { ++details_runs; };
    w.hooks().save_graph_image = [&](MainWindow&) { ++image_runs; };
    const auto state = static_cast<WorkflowStateValue>(static_cast<std::int8_t>(workflow));

    // By a step of the flows (the commands and the status line set after the state changed).
    f.state->workflow.store(state);
    ApplyUpdate(w, AfterResultsSaved(w.Commands()));
    QCOMPARE(w.Action(kCmdFitDetails)->isEnabled(), details);
    QCOMPARE(w.Action(kCmdSaveGraphImage)->isEnabled(), image);
    // By the opening of the menus, after a change that told the window nothing.
    f.state->workflow.store(WorkflowStateValue::kNoData);
    w.RefreshWorkflowCommands();
    f.state->workflow.store(state);
    for (QAction* top : w.menuBar()->actions()) emit top->menu()->aboutToShow();
    QCOMPARE(w.Action(kCmdFitDetails)->isEnabled(), details);
    QCOMPARE(w.Action(kCmdSaveGraphImage)->isEnabled(), image);

    w.RunCommand(kCmdFitDetails);
    w.RunCommand(kCmdSaveGraphImage);
    QCOMPARE(details_runs, details ? 1 : 0);
    QCOMPARE(image_runs, image ? 1 : 0);
    // Neither is on the toolbar.
    QVERIFY(ToolButton(w, kCmdFitDetails) == nullptr);
    QVERIFY(ToolButton(w, kCmdSaveGraphImage) == nullptr);
  }

  void disabledCommandsDoNothing() {
    Fixture f;
    int runs = 0;
    f.window.hooks().run = [&](MainWindow&) { ++runs; };
    f.window.hooks().open_data = [&](MainWindow&) { ++runs; };
    f.window.RunCommand(kCmdRun);
    QCOMPARE(runs, 0);
    f.window.Action(kCmdOpenData)->trigger();
    QCOMPARE(runs, 1);
    ApplyUpdate(f.window, AfterDataAccepted(f.window.Commands(), FormulaState::Valid, LeftSide::Y));
    f.window.Action(kCmdRun)->trigger();
    QCOMPARE(runs, 2);
  }

  void clearResultsEmptiesTheResultFields() {
    Fixture f;
    const std::vector<int> ids = {1025, 1031, 1032, 1003, 1004, 1005, 1006,
                                  1007, 1008, 1009, 1010, 1011, 1012};
    for (const int id : ids) f.window.SetFieldText(id, "1.5 *");
    f.window.SetFieldText(1001, "/data/file.csv");
    f.window.ClearResults();
    for (const int id : ids) {
      QCOMPARE(f.window.graph()->findChild<QLineEdit*>(QString::number(id))->text(), QString());
    }
    QCOMPARE(f.window.graph()->findChild<QLineEdit*>("1001")->text(),
             QStringLiteral("/data/file.csv"));
  }

  void exitAsksOnlyForUnsavedResults_data() {
    QTest::addColumn<int>("workflow");
    QTest::addColumn<int>("answer");  // -1 no question expected
    QTest::addColumn<bool>("quits");
    QTest::newRow("no data") << static_cast<int>(WorkflowStateValue::kNoData) << -1 << true;
    QTest::newRow("data loaded") << static_cast<int>(WorkflowStateValue::kDataLoaded) << -1 << true;
    QTest::newRow("saved") << static_cast<int>(WorkflowStateValue::kResultsSaved) << -1 << true;
    QTest::newRow("stopped, yes") << static_cast<int>(WorkflowStateValue::kStoppedResults)
                                  << int(Answer::kYes) << true;
    QTest::newRow("stopped, no") << static_cast<int>(WorkflowStateValue::kStoppedResults)
                                 << int(Answer::kNo) << false;
    QTest::newRow("completed, yes")
        << static_cast<int>(WorkflowStateValue::kCompletedResults) << int(Answer::kYes) << true;
    QTest::newRow("completed, no")
        << static_cast<int>(WorkflowStateValue::kCompletedResults) << int(Answer::kNo) << false;
  }
  void exitAsksOnlyForUnsavedResults() {
    QFETCH(int, workflow);
    QFETCH(int, answer);
    QFETCH(bool, quits);
    Fixture f;
    f.state->workflow = static_cast<WorkflowStateValue>(workflow);
    if (answer >= 0) f.prompter.Answer(static_cast<Answer>(answer));
    QSignalSpy quit(&f.window, &MainWindow::quitRequested);
    f.window.Action(kCmdExit)->trigger();
    QCOMPARE(quit.count(), quits ? 1 : 0);
    QCOMPARE(int(f.prompter.calls().size()), answer >= 0 ? 1 : 0);
    QCOMPARE(f.prompter.unanswered(), 0);
    if (answer >= 0) {
      QCOMPARE(
          QString::fromStdString(f.prompter.calls()[0].text),
          QStringLiteral("計算結果がまだ保存されていません。計算結果を破棄してもよろしいですか？"));
      QCOMPARE(QString::fromStdString(f.prompter.calls()[0].caption), QStringLiteral("確認"));
    }
  }

  void closeBoxKeepsTheWindowWhenTheUserKeepsResults() {
    Fixture f;
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    f.state->workflow = WorkflowStateValue::kCompletedResults;
    f.prompter.Answer(Answer::kNo);
    QVERIFY(!f.window.close());
    QVERIFY(f.window.isVisible());
    f.prompter.Answer(Answer::kYes);
    QVERIFY(f.window.close());
    QVERIFY(!f.window.isVisible());
    QCOMPARE(f.prompter.unanswered(), 0);
    QCOMPARE(int(f.prompter.calls().size()), 2);
  }

  void versionBoxShowsTheExactText() {
    Fixture f;
    f.window.Action(kCmdVersion)->trigger();
    QCOMPARE(int(f.prompter.calls().size()), 1);
    const test::RecordingPrompter::Call& call = f.prompter.calls()[0];
    QVERIFY(!call.question);
    QCOMPARE(QByteArray::fromStdString(call.text),
             QByteArray("Calvane  Ver. 1.2.2\r\r最小二乗フィッティングソフトウェア"));
    QCOMPARE(QString::fromStdString(call.caption), QStringLiteral("バージョン情報"));
  }

  void helpOpensTheFileUnderTheWorkingDirectory() {
    QTemporaryDir dir;
    Fixture f(dir.path());
    QList<QUrl> opened;
    f.window.SetUrlOpener([&](const QUrl& url) { opened << url; });
    f.window.Action(kCmdHelp)->trigger();
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened[0].toLocalFile(), dir.path() + "/Help/Help.htm");
    QVERIFY(f.prompter.calls().empty());  // a missing file is not reported
  }

  void firstRunCentresTheWindowAndCreatesFormulaIni() {
    QTemporaryDir dir;
    const QString ini = dir.path() + "/Formula.ini";
    const QRect desktop(0, 0, 1280, 1024);
    {
      Fixture f(dir.path());
      f.window.move(7, 9);
      f.window.FirstRunCheck(desktop);
      const QSize outer = f.window.frameGeometry().size();
      QCOMPARE(f.window.frameGeometry().topLeft(),
               QPoint(640 - outer.width() / 2, 512 - outer.height() / 2));
      QVERIFY(QFile::exists(ini));
      QCOMPARE(QFileInfo(ini).size(), 0);
    }
    {
      Fixture f(dir.path());
      f.window.move(7, 9);
      f.window.FirstRunCheck(desktop);
      QCOMPARE(f.window.pos(), QPoint(7, 9));
    }
  }

  void conditionsCommandRunsItsWindowModallyAndRepaints() {
    Fixture f;
    int made = 0;
    bool owner_disabled_inside = false;
    f.window.hooks().make_conditions_window = [&](MainWindow& owner) {
      ++made;
      auto window = std::make_unique<ModalWindow>(&owner);
      ModalWindow* raw = window.get();
      QTimer::singleShot(0, raw, [&, raw] {
        owner_disabled_inside = !f.window.isEnabled() && raw->isEnabled();
        raw->EndModal(1);
      });
      return window;
    };
    f.window.Action(kCmdFittingConditions)->trigger();
    QCOMPARE(made, 1);
    QVERIFY(owner_disabled_inside);
    QVERIFY(f.window.isEnabled());
  }

  void commandsWithoutHooksDoNothingVisible() {
    Fixture f;
    ApplyUpdate(f.window, AfterDataAccepted(f.window.Commands(), FormulaState::Valid, LeftSide::Y));
    ApplyUpdate(f.window,
                AfterRunEnded(f.window.Commands(), WorkflowStateValue::kCompletedResults));
    for (const int id :
         {kCmdOpenData, kCmdCloseData, kCmdSaveResults, kCmdFittingConditions, kCmdRun}) {
      f.window.RunCommand(id);
    }
    QVERIFY(f.prompter.calls().empty());
    QVERIFY(QApplication::topLevelWidgets().contains(&f.window));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
  }
};

}  // namespace calvane

QTEST_MAIN(calvane::MainWindowTest)
#include "main_window_qtest.moc"
