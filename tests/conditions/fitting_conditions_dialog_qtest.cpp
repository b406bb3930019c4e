// Window tests of the fitting-conditions and detailed-conditions dialogs, through the seams:
// the scripted prompter and file chooser, a recording main view and a counted beep.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <cstring>
#include <set>

#include "app/condition_commands.h"
#include "app/main_window.h"
#include "app/qt_command_wiring.h"
#include "app/qt_menus.h"
#include "base/file_io.h"
#include "base/qt_prompter.h"
#include "base/qt_text.h"
#include "base/qt_ui_font.h"
#include "conditions/condition_file.h"
#include "conditions/detailed_conditions_dialog.h"
#include "conditions/fitting_conditions_dialog.h"
#include "tests/support/recording_main_view.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_file_chooser.h"

namespace calvane {

namespace {

const QString kInvalidInput = QStringLiteral("不正な入力値です。");
const QString kTooLarge = QStringLiteral("値が大きすぎ、あるいは小さすぎます。");
const QString kAccuracy = QStringLiteral("計算精度は正でなければなりません。");
const QString kBounds = QStringLiteral("下限は上限より小さくくなければなりません。");
const QString kInitial = QStringLiteral("初期値は下限と上限の間でなければなりません。");
const QString kDiscard =
    QStringLiteral("計算結果がまだ保存されていません。計算結果を破棄してもよろしいですか？");

QStringList Texts(const test::RecordingPrompter& prompter) {
  QStringList texts;
  for (const std::string& text : prompter.Texts()) texts << QString::fromStdString(text);
  return texts;
}

// Everything a dialog needs, with the dialog shown and active so the focus moves as for a person.
struct Fixture {
  explicit Fixture(WorkflowStateValue workflow = WorkflowStateValue::kDataLoaded)
      : state(MakeAppState(dir.path().toStdString())) {
    state->workflow = workflow;
    std::map<int, QAction*> actions;
    menu.reset(BuildConditionsMenuBar(nullptr, actions));
  }
  FittingConditionsDialog& Open() {
    auto host = std::make_unique<ConditionCommands>(*state, view, chooser, [this] { ++help; });
    dialog = std::make_unique<FittingConditionsDialog>(*state, std::move(host), menu.get(), nullptr,
                                                       [this] { ++beeps; });
    dialog->show();
    dialog->activateWindow();
    return *dialog;
  }
  template <typename T>
  T* Control(int id) const {
    return dialog->findChild<T*>(QString::number(id));
  }
  QLineEdit* Field(int row, int column) const { return dialog->ConstantField(row, column); }
  // Types `text` into `field` and moves the focus on to `next`, as Tab would.
  void Type(QLineEdit* field, const QString& text, QWidget* next) {
    field->setFocus();
    field->setText(text);
    next->setFocus();
  }
  void Click(int id) { Control<QPushButton>(id)->click(); }

  QTemporaryDir dir;
  std::unique_ptr<AppState> state;
  test::RecordingPrompter prompter;
  test::RecordingMainView view{prompter};
  test::ScriptedFileChooser chooser;
  std::unique_ptr<QMenuBar> menu;
  std::unique_ptr<FittingConditionsDialog> dialog;
  int beeps = 0;
  int help = 0;
};

// Finds the detailed-conditions window once it runs and hands it to `act`.
void WhenDetailedOpens(std::function<void(DetailedConditionsDialog&)> act) {
  QTimer::singleShot(0, [act] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* detailed = qobject_cast<DetailedConditionsDialog*>(widget);
          detailed != nullptr && detailed->isVisible()) {
        act(*detailed);
        return;
      }
    }
    QFAIL("the detailed-conditions window is not open");
  });
}

}  // namespace

class FittingConditionsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setFont(UiFont()); }

  void controlsHaveUniqueIdsInsideTheClientAreaInTheTabOrderOfCreation() {
    Fixture f;
    FittingConditionsDialog& dialog = f.Open();
    QWidget* client = dialog.findChild<QWidget*>(QStringLiteral("client"));
    QVERIFY(client != nullptr);
    QCOMPARE(client->size(),
             QSize(FittingConditionsDialog::kClientWidth, FittingConditionsDialog::kClientHeight));
    std::set<QString> ids;
    for (QWidget* child : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      QVERIFY2(ids.insert(child->objectName()).second, qPrintable(child->objectName()));
      QVERIFY2(client->rect().contains(child->geometry()), qPrintable(child->objectName()));
    }
    QCOMPARE(ids.size(), std::size_t{1 + 10 + 10 + 40 + 6});
    QCOMPARE(f.Control<QLineEdit>(1049)->geometry(), QRect(60, 120, 130, 20));
    QCOMPARE(f.Control<QLineEdit>(1088)->geometry(), QRect(510, 390, 130, 20));
    QCOMPARE(f.Control<QLabel>(1097)->text(), QStringLiteral("k9"));
    QCOMPARE(f.Control<QLabel>(1036)->text(), QStringLiteral("【エラー】式が未入力です"));
    QCOMPARE(f.Control<QComboBox>(1047)->itemText(2), QStringLiteral("y (y系列)"));
    for (int item = 0; item < 3; ++item) {
      QCOMPARE(f.Control<QComboBox>(1047)->view()->sizeHintForRow(item), 20);
    }
    QCOMPARE(dialog.windowTitle(), QStringLiteral("計算条件"));
    QVERIFY(f.Control<QPushButton>(1094)->isDefault());

    QStringList order;
    QWidget* widget = f.Control<QWidget>(1047);
    for (int i = 0; i < 48; ++i) {
      order << widget->objectName();
      widget = widget->nextInFocusChain();
      while (widget->focusPolicy() == Qt::NoFocus || !client->isAncestorOf(widget)) {
        widget = widget->nextInFocusChain();
      }
    }
    QStringList expected = {QStringLiteral("1047"), QStringLiteral("1048")};
    for (int id = 1049; id <= 1088; ++id) expected << QString::number(id);
    expected << QStringLiteral("1089") << QStringLiteral("1090") << QStringLiteral("1093")
             << QStringLiteral("1094") << QStringLiteral("1098");
    expected << QStringLiteral("1047");
    order << widget->objectName();
    QCOMPARE(order.mid(0, 47), expected.mid(0, 47));

    // The menu is attached while the window lives, and survives it for the next opening.
    QCOMPARE(dialog.layout()->menuBar(), f.menu.get());
    auto* toolbar = f.Control<QToolBar>(71);
    QCOMPARE(toolbar->actions().size(), 2);
    QCOMPARE(toolbar->actions()[0]->objectName(), QStringLiteral("1132"));
    QCOMPARE(toolbar->actions()[1]->objectName(), QStringLiteral("1133"));
    f.menu->findChild<QAction*>(QStringLiteral("1129"))->trigger();
    QCOMPARE(f.help, 1);
    f.dialog.reset();
    QVERIFY(f.menu->parent() == nullptr);
    f.Open();
    QCOMPARE(f.dialog->layout()->menuBar(), f.menu.get());
  }

  void readOnlyWithUnsavedResultsUntilReset() {
    Fixture f(WorkflowStateValue::kCompletedResults);
    f.Open();
    for (int id : {1047, 1048, 1049, 1070, 1088, 1089, 1090}) {
      QVERIFY2(!f.Control<QWidget>(id)->isEnabled(), qPrintable(QString::number(id)));
    }
    for (int id : {1093, 1094, 1098}) QVERIFY(f.Control<QWidget>(id)->isEnabled());

    f.prompter.Answer(Answer::kNo);
    f.Click(1093);
    QVERIFY(!f.Control<QWidget>(1048)->isEnabled());
    f.prompter.Answer(Answer::kYes);
    f.Click(1093);
    for (int id : {1047, 1048, 1049, 1088, 1089, 1090})
      QVERIFY(f.Control<QWidget>(id)->isEnabled());
    QVERIFY(!f.Control<QWidget>(1093)->isEnabled());
    QCOMPARE(f.state->workflow.load(), WorkflowStateValue::kDataLoaded);
    QCOMPARE(f.view.results_cleared, 1);
    QCOMPARE(f.view.status_line, std::string("計算を実行してください。"));
    QCOMPARE(Texts(f.prompter), (QStringList{kDiscard, kDiscard}));

    Fixture editable(WorkflowStateValue::kResultsSaved);
    editable.Open();
    QVERIFY(editable.Control<QWidget>(1048)->isEnabled());
    QVERIFY(!editable.Control<QWidget>(1093)->isEnabled());
  }

  void leavingAConstantFieldChecksIt_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("letters") << "abc" << kInvalidInput;
    QTest::newRow("too large") << "1e400" << kTooLarge;
    QTest::newRow("a space and x") << "12 x" << kInvalidInput;
    QTest::newRow("empty") << "" << QString();
    QTest::newRow("a number") << "-0.5" << QString();
    QTest::newRow("full-width digit") << "１" << kInvalidInput;
    QTest::newRow("no Shift-JIS form") << "1한" << kInvalidInput;
  }
  void leavingAConstantFieldChecksIt() {
    QFETCH(QString, text);
    QFETCH(QString, message);
    Fixture f;
    f.Open();
    QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
    QLineEdit* field = f.Field(3, 2);
    f.Type(field, text, f.Field(3, 3));
    if (message.isEmpty()) {
      QVERIFY(f.prompter.calls().empty());
      QCOMPARE(f.beeps, 0);
      QVERIFY(f.Field(3, 3)->hasFocus());
      return;
    }
    QCOMPARE(Texts(f.prompter), QStringList{message});
    QCOMPARE(f.prompter.calls()[0].caption, std::string("エラー"));
    QCOMPARE(f.prompter.calls()[0].owner, WindowId::kConditions);
    QCOMPARE(f.beeps, 1);
    QTRY_VERIFY(field->hasFocus());
    QCOMPARE(field->selectedText(), text);
  }

  void aRefusedFieldRaisesNoSecondBoxOnTheWayBack() {
    Fixture f;
    f.Open();
    QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
    f.Field(0, 1)->setText(QStringLiteral("xyz"));  // refused too, were it checked
    f.Type(f.Field(0, 0), QStringLiteral("abc"), f.Field(0, 1));
    QTRY_VERIFY(f.Field(0, 0)->hasFocus());
    QCOMPARE(Texts(f.prompter), QStringList{kInvalidInput});
    f.Field(0, 0)->setText(QStringLiteral("1"));
    f.Field(0, 2)->setFocus();
    QCOMPARE(Texts(f.prompter), QStringList{kInvalidInput});  // a valid field leaves quietly
  }

  void okChecksTheRowsInOrder_data() {
    QTest::addColumn<QStringList>("row");  // initial, lower, upper, accuracy of k4
    QTest::addColumn<int>("column");       // field in error, 0: accepted
    QTest::addColumn<QString>("message");
    QTest::newRow("accuracy 0") << QStringList{"", "", "", "0"} << 4 << kAccuracy;
    QTest::newRow("accuracy -1") << QStringList{"", "", "", "-1"} << 4 << kAccuracy;
    QTest::newRow("equal bounds") << QStringList{"", "5", "5", ""} << 2 << kBounds;
    QTest::newRow("initial 10 in 0..10") << QStringList{"10", "0", "10", "1"} << 0 << QString();
    QTest::newRow("initial 11 in 0..10") << QStringList{"11", "0", "10", "1"} << 1 << kInitial;
    QTest::newRow("20 characters, the cut keeps the value")
        << QStringList{"1.000000000000000000", "", "", ""} << 0 << QString();
    QTest::newRow("20 characters, the cut does not")
        << QStringList{"", "", "", "1.00000000000000e-05"} << 4 << kInvalidInput;
  }
  void okChecksTheRowsInOrder() {
    QFETCH(QStringList, row);
    QFETCH(int, column);
    QFETCH(QString, message);
    Fixture f;
    f.Open();
    QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
    for (int c = 0; c < 4; ++c) f.Field(4, c)->setText(row[c]);
    f.Click(1094);
    if (column == 0) {
      QVERIFY(f.prompter.calls().empty());
      QCOMPARE(f.dialog->result(), 1);
      QCOMPARE(f.state->conditions.constants[4].InitialValue, ToCp932(row[0]).substr(0, 19));
      return;
    }
    QCOMPARE(Texts(f.prompter), QStringList{message});
    QCOMPARE(f.beeps, 1);
    QTRY_VERIFY(f.Field(4, column - 1)->hasFocus());
    QCOMPARE(f.Field(4, column - 1)->selectedText(), row[column - 1]);
    QVERIFY(f.dialog->isVisible());
    QCOMPARE(f.state->conditions.constants[4].Accuracy, std::string());
  }

  void theFirstRowInErrorWins() {
    Fixture f;
    f.Open();
    QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
    f.Field(7, 3)->setText(QStringLiteral("0"));
    f.Field(3, 1)->setText(QStringLiteral("9"));
    f.Field(3, 2)->setText(QStringLiteral("1"));
    f.Click(1094);
    QCOMPARE(Texts(f.prompter), QStringList{kBounds});
    QTRY_VERIFY(f.Field(3, 1)->hasFocus());
  }

  void okStoresAndUpdatesTheMainWindow() {
    Fixture f;
    f.Open();
    QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
    f.Type(f.Control<QLineEdit>(1048), QStringLiteral("k0*x+k1"), f.Field(0, 0));
    QCOMPARE(f.Control<QLabel>(1036)->text(), QString());
    f.Control<QRadioButton>(1090)->setChecked(true);
    f.Click(1094);
    QCOMPARE(f.dialog->result(), 1);
    QCOMPARE(std::string(f.state->formula.formulaText), std::string("k0*x+k1"));
    QCOMPARE(f.state->conditions.formulaState, FormulaState::Valid);
    QCOMPARE(f.state->conditions.angleUnit, AngleUnit::Radian);
    QVERIFY(f.view.commands.run);
    QCOMPARE(f.view.status_line, std::string("計算を実行してください。"));
    QVERIFY(FileExists(f.state->working_directory + "/Formula.ini"));
  }

  void formulaCheckedWhenItLosesTheFocus_data() {
    QTest::addColumn<QString>("formula");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("label");
    const QString invalid = QStringLiteral("【エラー】式が不正です");
    QTest::newRow("valid") << "k0*Exp(-x^2/k1)" << QString() << QString();
    QTest::newRow("only spaces") << "   " << QString()
                                 << QStringLiteral("【エラー】式が未入力です");
    QTest::newRow("full-width x") << "k0*ｘ" << QStringLiteral("フィッティング式が不正です。")
                                  << invalid;
    QTest::newRow("no Shift-JIS form, not dropped")
        << "k0*x+k1한" << QStringLiteral("フィッティング式が不正です。") << invalid;
    QTest::newRow("500 bytes") << "k0*x" + QString("+1").repeated(248)
                               << QStringLiteral(
                                      "フィッティング式は500文字未満でなくてはいけません。")
                               << invalid;
    QTest::newRow("499 bytes") << "k0*x" + QString("+1").repeated(247) + "+"
                               << QStringLiteral("フィッティング式が不正です。") << invalid;
  }
  void formulaCheckedWhenItLosesTheFocus() {
    QFETCH(QString, formula);
    QFETCH(QString, message);
    QFETCH(QString, label);
    Fixture f;
    f.Open();
    QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
    f.Type(f.Control<QLineEdit>(1048), formula, f.Field(0, 0));
    QCOMPARE(f.Control<QLabel>(1036)->text(), label);
    QCOMPARE(Texts(f.prompter), message.isEmpty() ? QStringList{} : QStringList{message});
    QCOMPARE(f.beeps, message.isEmpty() ? 0 : 1);
    // The record keeps the text accepted by the last OK.
    QCOMPARE(std::string(f.state->formula.formulaText), std::string());
  }

  void theLeftSideCannotBeAVariableOfTheFormula() {
    Fixture f;
    f.Open();
    QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
    f.Type(f.Control<QLineEdit>(1048), QStringLiteral("k0*x"), f.Field(0, 0));
    auto* left = f.Control<QComboBox>(1047);
    left->setCurrentIndex(LeftSideIndex(LeftSide::X));
    emit left->activated(LeftSideIndex(LeftSide::X));
    QCOMPARE(left->currentIndex(), LeftSideIndex(LeftSide::NotSelected));
    QCOMPARE(Texts(f.prompter),
             QStringList{
                 QStringLiteral("右辺に含まれている変数(xもしくはy)を選択することはできません。")});
    left->setCurrentIndex(LeftSideIndex(LeftSide::Y));
    emit left->activated(LeftSideIndex(LeftSide::Y));
    QCOMPARE(left->currentIndex(), LeftSideIndex(LeftSide::Y));
    QCOMPARE(f.Control<QLabel>(1036)->text(), QString());
    QCOMPARE(f.prompter.calls().size(), std::size_t{1});
  }

  void cancelRestoresTheDetailedValuesAndTheMenuCloseKeepsThem() {
    for (const bool cancel : {true, false}) {
      Fixture f;
      f.Open();
      WhenDetailedOpens([](DetailedConditionsDialog& detailed) {
        detailed.findChild<QCheckBox*>(QStringLiteral("1100"))->setChecked(true);
        detailed.findChild<QLineEdit*>(QStringLiteral("1101"))->setText(QStringLiteral("7"));
        detailed.findChild<QPushButton*>(QStringLiteral("1102"))->click();
      });
      f.dialog->RunCommand(kCmdDetailedConditions);
      QCOMPARE(f.state->conditions.roughEstimation, std::uint8_t{0});
      QCOMPARE(f.state->conditions.dataInterval, std::uint8_t{7});
      if (cancel) {
        f.Click(1098);
      } else {
        f.menu->findChild<QAction*>(QStringLiteral("1135"))->trigger();
      }
      QVERIFY(!f.dialog->isVisible());
      QCOMPARE(f.state->conditions.roughEstimation, static_cast<std::uint8_t>(cancel ? 1 : 0));
      QCOMPARE(f.state->conditions.dataInterval, static_cast<std::uint8_t>(cancel ? 1 : 7));
    }
  }

  void detailedIntervalIsNormalisedWhenItLosesTheFocus_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("0") << "0"
                       << "1";
    QTest::newRow("250") << "250"
                         << "100";
    QTest::newRow("empty") << ""
                           << "1";
    QTest::newRow("letters are not typed") << "a5b"
                                           << "5";
  }
  void detailedIntervalIsNormalisedWhenItLosesTheFocus() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    ConditionRecord record;
    DetailedConditionsDialog detailed(record, nullptr);
    detailed.show();
    detailed.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&detailed));
    auto* interval = detailed.findChild<QLineEdit*>(QStringLiteral("1101"));
    auto* check = detailed.findChild<QCheckBox*>(QStringLiteral("1100"));
    QCOMPARE(interval->text(), QStringLiteral("1"));
    QVERIFY(!check->isChecked());
    interval->setFocus();
    interval->clear();
    QTest::keyClicks(interval, typed);
    check->setFocus();
    QCOMPARE(interval->text(), shown);
    detailed.findChild<QPushButton*>(QStringLiteral("1103"))->click();
    QCOMPARE(record.dataInterval, std::uint8_t{1});  // Cancel stores nothing
  }

  void detailedControlsStayInsideTheGrownClientAreaWithTheMethodsInTheirGroup() {
    ConditionRecord record;
    DetailedConditionsDialog detailed(record, nullptr);
    QCOMPARE(detailed.size(), QSize(DetailedConditionsDialog::kClientWidth,
                                    DetailedConditionsDialog::kClientHeight));
    std::set<QString> ids;
    QRect group;
    for (QWidget* child : detailed.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      QVERIFY2(ids.insert(child->objectName()).second, qPrintable(child->objectName()));
      QVERIFY2(detailed.rect().contains(child->geometry()), qPrintable(child->objectName()));
      if (child->objectName() == QStringLiteral("1104")) group = child->geometry();
    }
    QCOMPARE(ids.size(), std::size_t{9});
    QCOMPARE(detailed.findChild<QGroupBox*>(QStringLiteral("1104"))->title(),
             QStringLiteral("探索方法"));
    const QStringList texts = {QStringLiteral("格子探索"), QStringLiteral("格子探索＋LM法で仕上げ"),
                               QStringLiteral("LM法のみ（高速）")};
    for (int i = 0; i < 3; ++i) {
      auto* radio = detailed.findChild<QRadioButton*>(QString::number(1105 + i));
      QCOMPARE(radio->text(), texts[i]);
      QVERIFY(group.contains(radio->geometry()));
    }
    const QRect ok = detailed.findChild<QPushButton*>(QStringLiteral("1102"))->geometry();
    QVERIFY2(ok.top() > group.bottom(), "the buttons sit below the group");
    QVERIFY(group.top() >
            detailed.findChild<QLineEdit*>(QStringLiteral("1101"))->geometry().bottom());
  }

  void detailedMethodFollowsTheRecordAndOnlyOkStoresIt_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("clicked");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("after");
    const auto method = [](SearchMethod m) { return static_cast<int>(m); };
    QTest::newRow("OK stores lattice+LM")
        << method(SearchMethod::Lattice) << 1106 << true << method(SearchMethod::LatticeThenLm);
    QTest::newRow("OK stores LM only")
        << method(SearchMethod::LatticeThenLm) << 1107 << true << method(SearchMethod::LmOnly);
    QTest::newRow("OK stores the lattice search")
        << method(SearchMethod::LmOnly) << 1105 << true << method(SearchMethod::Lattice);
    QTest::newRow("Cancel stores nothing")
        << method(SearchMethod::LmOnly) << 1106 << false << method(SearchMethod::LmOnly);
  }
  void detailedMethodFollowsTheRecordAndOnlyOkStoresIt() {
    QFETCH(int, before);
    QFETCH(int, clicked);
    QFETCH(bool, ok);
    QFETCH(int, after);
    ConditionRecord record;
    record.searchMethod = static_cast<SearchMethod>(before);
    DetailedConditionsDialog detailed(record, nullptr);
    detailed.show();
    QVERIFY(QTest::qWaitForWindowExposed(&detailed));
    for (int id = 1105; id <= 1107; ++id) {
      QCOMPARE(detailed.findChild<QRadioButton*>(QString::number(id))->isChecked(),
               id == 1105 + before);
    }
    auto* radio = detailed.findChild<QRadioButton*>(QString::number(clicked));
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(8, radio->height() / 2));
    QVERIFY(radio->isChecked());
    for (int id = 1105; id <= 1107; ++id) {
      QCOMPARE(detailed.findChild<QRadioButton*>(QString::number(id))->isChecked(), id == clicked);
    }
    detailed.findChild<QPushButton*>(ok ? QStringLiteral("1102") : QStringLiteral("1103"))->click();
    QCOMPARE(static_cast<int>(record.searchMethod), after);
    QCOMPARE(record.dataInterval, std::uint8_t{1});
  }

  void aLatticeLmFileRoundTripsThroughTheDialogsAndCancelRestoresTheMethod() {
    Fixture f;
    auto writer = MakeAppState(f.state->working_directory);
    std::memcpy(writer->formula.formulaText, "k0*Exp(-(x-k1)^2/k2)", 21);
    writer->conditions.constants[0] = {"2", "0", "10", "0.000001"};
    writer->conditions.constants[1] = {"0.2", "-5", "5", "0.000001"};
    writer->conditions.constants[2] = {"1", "0.01", "10", "0.000001"};
    writer->conditions.angleUnit = AngleUnit::Radian;
    writer->conditions.searchMethod = SearchMethod::LatticeThenLm;
    const std::string original = BuildConditionFile(ConditionSource::FromRecord, *writer);
    QVERIFY(original.find("[Search Method]\r\nLattice+LM") != std::string::npos);
    const std::string path = f.state->working_directory + "/lm.ccn";
    QVERIFY(WriteWholeFile(path, original));

    f.Open();
    f.chooser.Answer(path);
    f.dialog->RunCommand(kCmdOpenConditionFile);
    QCOMPARE(f.state->conditions.searchMethod, SearchMethod::LatticeThenLm);
    bool shown_checked = false;
    WhenDetailedOpens([&shown_checked](DetailedConditionsDialog& detailed) {
      shown_checked = detailed.findChild<QRadioButton*>(QStringLiteral("1106"))->isChecked();
      detailed.findChild<QPushButton*>(QStringLiteral("1102"))->click();
    });
    f.dialog->RunCommand(kCmdDetailedConditions);
    QVERIFY(shown_checked);
    const std::string copy = f.state->working_directory + "/copy.ccn";
    f.chooser.Answer(copy);
    f.dialog->RunCommand(kCmdSaveConditionFile);
    QCOMPARE(ReadWholeFile(copy), std::optional<std::string>(original));
    QVERIFY(f.chooser.AllAnswered());

    // The method opened from the file is undone by the conditions dialog's Cancel.
    f.Click(1098);
    QCOMPARE(f.state->conditions.searchMethod, SearchMethod::Lattice);
  }

  void overwriteIsAskedAndDeclinedLeavesTheFile() {
    Fixture f;
    f.Open();
    const std::string path = f.state->working_directory + "/old.ccn";
    QVERIFY(WriteWholeFile(path, "old"));
    f.chooser.Answer(path);
    f.prompter.Answer(Answer::kCancel);
    f.dialog->RunCommand(kCmdSaveConditionFile);
    QCOMPARE(Texts(f.prompter),
             QStringList{QStringLiteral("その名前のファイルは既に存在します。上書きしますか？")});
    QCOMPARE(f.prompter.calls()[0].buttons, Buttons::kOkCancel);
    QCOMPARE(ReadWholeFile(path), std::optional<std::string>("old"));
    QVERIFY(f.dialog->isEnabled());
    QVERIFY(f.chooser.AllAnswered());
  }

  void theFirstFolderFlagIsSharedWithOpenData() {
    Fixture f;
    f.Open();
    f.chooser.Answer(std::nullopt);
    f.dialog->RunCommand(kCmdOpenConditionFile);
    f.state->first_dialog.MarkChosen();  // as the open-data dialog does when a file is chosen
    f.chooser.Answer(std::nullopt);
    f.dialog->RunCommand(kCmdOpenConditionFile);
    QCOMPARE(f.chooser.requests().size(), std::size_t{2});
    QCOMPARE(f.chooser.requests()[0].initial_folder, f.state->working_directory + "/Sample");
    QCOMPARE(f.chooser.requests()[1].initial_folder, std::string());
  }

  void aSavedFileOpensAgainAsItWasAndAsTheBatchReaderExpects() {
    Fixture f;
    f.Open();
    f.Control<QComboBox>(1047)->setCurrentIndex(LeftSideIndex(LeftSide::X));
    f.Control<QLineEdit>(1048)->setText(QStringLiteral("k0*Exp(-(y-k1)^2/k2)+k3"));
    const QStringList k1 = {"0.5", "-5", "5", "0.0001"};
    for (int c = 0; c < 4; ++c) f.Field(1, c)->setText(k1[c]);
    f.Field(9, 1)->setText(QStringLiteral("-5"));
    f.Field(2, 0)->setText(QStringLiteral("12345678901234567890123"));  // written cut to 19
    f.Control<QRadioButton>(1090)->setChecked(true);
    const ConditionDialogValues filled = f.dialog->Values();

    const std::string path = f.state->working_directory + "/round.ccn";
    f.chooser.Answer(path);
    f.dialog->RunCommand(kCmdSaveConditionFile);
    const std::optional<std::string> bytes = ReadWholeFile(path);
    QVERIFY(bytes.has_value());
    const std::string expected =
        "[Formula]\r\nx=\r\nk0*Exp(-(y-k1)^2/k2)+k3\r\n"
        "[Initial, Minimum, Maximum and Accuracy]\r\n"
        ",,,\r\n0.5,-5,5,0.0001\r\n1234567890123456789,,,\r\n,,,\r\n,,,\r\n,,,\r\n,,,\r\n"
        ",,,\r\n,,,\r\n,-5,,\r\n"
        "[Angle Unit]\r\nRadian\r\n[No Wild Guess]\r\nInvalid\r\n[Valid Data Interval]\r\n1";
    QCOMPARE(*bytes, expected + std::string(1, '\0'));

    f.dialog->SetValues(ConditionDialogValues{});
    f.chooser.Answer(path);
    f.dialog->RunCommand(kCmdOpenConditionFile);
    ConditionDialogValues reopened = f.dialog->Values();
    QCOMPARE(reopened.left_side_index, filled.left_side_index);
    QCOMPARE(reopened.formula, filled.formula);
    QCOMPARE(reopened.degree, false);
    QCOMPARE(reopened.formula_status, std::string());
    for (int row = 0; row < 10; ++row) {
      for (int c = 0; c < 4; ++c) {
        const std::string& want = filled.constants[row][c];
        QCOMPARE(reopened.constants[row][c], want.substr(0, 19));
      }
    }

    // calvane-batch's conditions reader takes the same file to the same values.
    auto batch_state = MakeAppState(f.state->working_directory);
    ConditionDialogValues batch = DialogValuesFromRecord(*batch_state);
    QCOMPARE(LoadConditionFile(*bytes, batch, *batch_state), FormulaCheckCode::FormulaValid);
    QCOMPARE(batch.formula, reopened.formula);
    QCOMPARE(batch.constants, reopened.constants);
    QCOMPARE(batch.left_side_index, LeftSideIndex(LeftSide::X));
  }

  void theMainWindowsCommandOpensTheDialogWithItsMenuAndToolbarImages() {
    QTemporaryDir dir;
    auto state = MakeAppState(dir.path().toStdString());
    QtPrompter prompter;
    test::ScriptedFileChooser chooser;
    MainWindow main(*state, prompter);
    InstallCommandHooks(main, prompter, chooser);
    QVERIFY(main.hooks().make_conditions_window);
    std::unique_ptr<ModalWindow> window = main.hooks().make_conditions_window(main);
    auto* dialog = qobject_cast<FittingConditionsDialog*>(window.get());
    QVERIFY(dialog != nullptr);
    QCOMPARE(prompter.Owner(WindowId::kConditions), dialog);
    QMenuBar* menu = qobject_cast<QMenuBar*>(dialog->layout()->menuBar());
    QVERIFY(menu != nullptr);
    QStringList lines;
    for (QAction* top : menu->actions()) {
      lines << top->text();
      for (QAction* item : top->menu()->actions()) {
        lines << (item->isSeparator() ? QStringLiteral("  -") : "  " + item->objectName());
      }
    }
    QCOMPARE(lines, (QStringList{"ファイル(&F)", "  1132", "  1133", "  -", "  1134", "  -",
                                 "  1135", "ヘルプ(&H)", "  1129"}));
    auto* toolbar = dialog->findChild<QToolBar*>(QStringLiteral("71"));
    for (QAction* action : toolbar->actions()) QVERIFY(!action->icon().isNull());

    // With CALVANE_SCREENSHOT set to a PNG path: the dialog filled with the Gaussian sample's
    // conditions, saved as it looks.
    const QByteArray target = qgetenv("CALVANE_SCREENSHOT");
    if (target.isEmpty()) return;
    chooser.Answer(std::string(CALVANE_SOURCE_DIR) + "/resources/Sample/gauss_peak.ccn");
    dialog->RunCommand(kCmdOpenConditionFile);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QVERIFY(dialog->grab().save(QString::fromLocal8Bit(target)));
  }
};

}  // namespace calvane

QTEST_MAIN(calvane::FittingConditionsDialogTest)
#include "fitting_conditions_dialog_qtest.moc"
