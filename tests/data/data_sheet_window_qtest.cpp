// Window tests of the data sheet: its controls, the two-click selection, scrolling and the wheel,
// the use-to-last-row box, Escape against a close request, OK with its messages and question,
// the selection file, and the limit messages.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>
#include <set>

#include "base/file_io.h"
#include "base/qt_ui_font.h"
#include "data/data_messages.h"
#include "data/data_sheet_window.h"
#include "data/selection_file.h"
#include "tests/support/recording_prompter.h"

namespace calvane {

namespace {

// Rows "r,10r,100r" for r = 1..n, after an optional heading row.
std::string Rows(int n, bool heading = false) {
  std::string bytes = heading ? "x,y,z\r\n" : "";
  for (int r = 1; r <= n; ++r) {
    bytes +=
        std::to_string(r) + "," + std::to_string(10 * r) + "," + std::to_string(100 * r) + "\r\n";
  }
  return bytes;
}

// One data sheet over `bytes` in a fresh working directory, shown without a nested loop.
struct Sheet {
  explicit Sheet(std::string bytes, const RangeSelection* remembered = nullptr)
      : state(MakeAppState(dir.path().toStdString())), text(std::move(bytes)) {
    if (remembered != nullptr) WriteSelectionFile(state->working_directory, *remembered);
    window =
        std::make_unique<DataSheetWindow>(text, *state, prompter, nullptr, [this] { ++forward; });
    finished = std::make_unique<QSignalSpy>(window.get(), &QDialog::finished);
    window->show();
  }
  QLineEdit* Field(int id) const { return qobject_cast<QLineEdit*>(window->Control(id)); }
  QString Text(int id) const { return Field(id)->text(); }
  QString Label(int id) const { return qobject_cast<QLabel*>(window->Control(id))->text(); }
  QString Help() const { return Text(kSheetHelpLine); }
  QCheckBox* Box() const {
    return qobject_cast<QCheckBox*>(window->Control(kSheetUseToLastRowBox));
  }
  QScrollBar* Bar(int id) const { return qobject_cast<QScrollBar*>(window->Control(id)); }
  void Click(int x, int y) const {
    QTest::mouseClick(window->grid(), Qt::LeftButton, {}, QPoint(x, y));
  }
  void SetFields(const QString& x, const QString& y, const QString& start, const QString& end) {
    Field(kSheetXField)->setText(x);
    Field(kSheetYField)->setText(y);
    Field(kSheetStartField)->setText(start);
    Field(kSheetEndField)->setText(end);
  }
  void PressOk() const {
    QTest::mouseClick(qobject_cast<QPushButton*>(window->Control(kSheetOkButton)), Qt::LeftButton);
  }
  void Wheel(QWidget* target, int delta) const {
    QWheelEvent event(QPointF(10, 10), target->mapToGlobal(QPointF(10, 10)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
  }

  QTemporaryDir dir;
  std::unique_ptr<AppState> state;
  DataText text;
  test::RecordingPrompter prompter;
  int forward = 0;
  std::unique_ptr<DataSheetWindow> window;
  std::unique_ptr<QSignalSpy> finished;
};

QString Q(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace

class DataSheetWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setFont(UiFont()); }

  void controlsSitInsideTheClientAreaInTabOrder() {
    Sheet s(Rows(3));
    std::set<QString> ids;
    int controls = 0;
    const QRect client(0, 0, DataSheetWindow::kClientWidth, DataSheetWindow::kClientHeight);
    for (QWidget* child : s.window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      bool numeric = false;
      child->objectName().toInt(&numeric);
      if (!numeric) continue;
      ++controls;
      QVERIFY2(ids.insert(child->objectName()).second, qPrintable(child->objectName()));
      QVERIFY2(client.contains(child->geometry()), qPrintable(child->objectName()));
    }
    QCOMPARE(controls, 39);
    QCOMPARE(s.window->Control(1029)->geometry(), QRect(2, 455, 660, 18));
    QCOMPARE(s.window->Control(1118)->geometry(), QRect(150, 353, 35, 16));
    QCOMPARE(s.window->windowTitle(), QStringLiteral("DataSheet"));
    // The tab chain: OK, Cancel, the four fields, the box.
    QStringList chain;
    QWidget* w = s.window->Control(kSheetOkButton);
    for (int i = 0; i < 7; ++i) {
      chain << w->objectName();
      do {
        w = w->nextInFocusChain();
      } while (!(w->focusPolicy() & Qt::TabFocus));
    }
    QCOMPARE(chain, QStringList({"1035", "1106", "1111", "1112", "1113", "1114", "1116"}));
    QCOMPARE(s.Label(1000), QStringLiteral("1"));         // column headers and row labels
    QCOMPARE(s.Text(kSheetXField), QStringLiteral("0"));  // no selection file yet
  }

  void twoClicksChooseTheRangeAndOutsideClicksDoNothing() {
    Sheet s(Rows(40));
    s.Box()->setChecked(true);
    s.Click(600, 100);
    s.Click(300, 370);
    QCOMPARE(s.Help(), Q(text::kSheetFirstPrompt));
    QCOMPARE(s.Text(kSheetXField), QStringLiteral("0"));

    s.Click(250, 75);
    QCOMPARE(s.Text(kSheetXField), QStringLiteral("1"));
    QCOMPARE(s.Text(kSheetStartField), QStringLiteral("2"));
    QCOMPARE(s.Text(kSheetYField), QString());
    QCOMPARE(s.Text(kSheetEndField), QString());
    QCOMPARE(s.Help(), Q(text::kSheetSecondPrompt));
    s.Click(599, 370);  // outside: the second step waits
    QCOMPARE(s.Help(), Q(text::kSheetSecondPrompt));

    s.Click(450, 365);
    QCOMPARE(s.Text(kSheetYField), QStringLiteral("3"));
    QCOMPARE(s.Text(kSheetEndField), QStringLiteral("16"));
    QCOMPARE(s.Help(), Q(text::kSheetFirstPrompt));
    QVERIFY(!s.Box()->isChecked());
    QVERIFY(s.Field(kSheetEndField)->isEnabled());

    // Scrolled, the click counts on from the bars' positions.
    s.Bar(kSheetVerticalBar)->setValue(10);
    s.Click(250, 75);
    QCOMPARE(s.Text(kSheetStartField), QStringLiteral("12"));
  }

  void theWheelMovesOneRowWhateverItsDelta() {
    Sheet s(Rows(100));
    QScrollBar* vertical = s.Bar(kSheetVerticalBar);
    QCOMPARE(vertical->maximum(), 84);
    QCOMPARE(vertical->pageStep(), 16);
    const std::pair<int, int> steps[] = {{-120, 1}, {-720, 2}, {-1, 3},  {0, 4},  {360, 3},
                                         {1, 2},    {120, 1},  {120, 0}, {120, 0}};
    for (const auto& [delta, expected] : steps) {
      s.Wheel(s.window->grid(), delta);
      QCOMPARE(vertical->value(), expected);
    }
    s.Wheel(vertical, -480);  // the bar itself keeps the rule
    QCOMPARE(vertical->value(), 1);
    s.Wheel(s.Bar(kSheetHorizontalBar), -120);
    QCOMPARE(vertical->value(), 2);
    QCOMPARE(s.Bar(kSheetHorizontalBar)->value(), 0);
    QCOMPARE(s.Label(1015), QStringLiteral("3"));  // the top row label follows
  }

  void theBoxUsesTheLastRow() {
    const RangeSelection remembered{1, 2, 3, 5, 1};
    Sheet s(Rows(10), &remembered);
    QVERIFY(s.Box()->isChecked());
    QVERIFY(!s.Field(kSheetEndField)->isEnabled());
    QCOMPARE(s.Text(kSheetEndField), QStringLiteral("10"));
    QTest::mouseClick(s.Box(), Qt::LeftButton);  // clear: enabled, text kept
    QVERIFY(s.Field(kSheetEndField)->isEnabled());
    QCOMPARE(s.Text(kSheetEndField), QStringLiteral("10"));
    s.Field(kSheetEndField)->setText(QStringLiteral("4"));
    QTest::mouseClick(s.Box(), Qt::LeftButton);  // set again: OK takes rows 3..10
    s.PressOk();
    QCOMPARE(s.finished->count(), 1);
    QCOMPARE(s.finished->at(0).at(0).toInt(), 0);
    QCOMPARE(s.state->points.count, 8u);
    QCOMPARE(s.state->points.records[7].y, 100.0);
    QCOMPARE(s.forward, 1);
  }

  void escapeResetsTheChoiceAndACloseRequestCancels() {
    Sheet s(Rows(20));
    s.Click(250, 75);
    QTest::mouseClick(s.Box(), Qt::LeftButton);
    QTest::keyClick(s.Field(kSheetYField), Qt::Key_Escape);
    for (int id : {kSheetXField, kSheetYField, kSheetStartField, kSheetEndField}) {
      QCOMPARE(s.Text(id), QString());
    }
    QCOMPARE(s.Help(), Q(text::kSheetFirstPrompt));
    QVERIFY(s.Box()->isChecked());  // the box is left as it is
    QVERIFY(s.window->isVisible());
    QCOMPARE(s.finished->count(), 0);

    s.window->close();  // Alt+F4, the window manager
    QCOMPARE(s.finished->count(), 1);
    QCOMPARE(s.finished->at(0).at(0).toInt(), 1);
    QVERIFY(!s.window->isVisible());
    QCOMPARE(ReadSelectionFile(s.state->working_directory).x_series, 0);  // not written
    QCOMPARE(s.forward, 1);
  }

  void okRefusesEachInvalidRangeWithItsMessage_data() {
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("message");
    QTest::newRow("x 257") << "257"
                           << "2"
                           << "1"
                           << "5" << Q(text::kMsgXSeriesRange);
    QTest::newRow("x empty") << ""
                             << "2"
                             << "1"
                             << "5" << Q(text::kMsgXSeriesRange);
    QTest::newRow("y 0") << "1"
                         << "0"
                         << "1"
                         << "5" << Q(text::kMsgYSeriesRange);
    QTest::newRow("start 0") << "1"
                             << "2"
                             << "0"
                             << "5" << Q(text::kMsgStartRowRange);
    QTest::newRow("end 65537") << "1"
                               << "2"
                               << "1"
                               << "65537" << Q(text::kMsgEndRowRange);
    QTest::newRow("end huge") << "1"
                              << "2"
                              << "1"
                              << "9999999999999" << Q(text::kMsgEndRowRange);
    QTest::newRow("start after end") << "1"
                                     << "2"
                                     << "6"
                                     << "5" << Q(text::kMsgStartAfterEnd);
    QTest::newRow("same series") << "2"
                                 << "2"
                                 << "1"
                                 << "5" << Q(text::kMsgSameSeries);
    QTest::newRow("heading row") << "1"
                                 << "2"
                                 << "1"
                                 << "5"
                                 << QStringLiteral("1") + Q(text::kMsgRowHasError) + "\r" +
                                        Q(text::kMsgInvalidData);
  }

  void okRefusesEachInvalidRangeWithItsMessage() {
    QFETCH(QString, x);
    QFETCH(QString, y);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, message);
    Sheet s(Rows(10, true));
    s.state->points.count = 1;  // what an earlier file left
    s.SetFields(x, y, start, end);
    s.PressOk();
    QCOMPARE(s.prompter.calls().size(), size_t{1});
    QCOMPARE(Q(s.prompter.calls()[0].text), message);
    QVERIFY(s.prompter.calls()[0].owner == WindowId::kDataSheet);
    QVERIFY(s.window->isVisible());
    QCOMPARE(s.finished->count(), 0);
    QCOMPARE(s.state->points.count, 1u);
    QCOMPARE(s.forward, 0);
  }

  void theBlankRowQuestionAnsweredBothWays_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
  }

  void theBlankRowQuestionAnsweredBothWays() {
    QFETCH(bool, yes);
    Sheet s("1,10\r\n,\r\n3,30\r\n,\r\n5,50\r\n");
    s.prompter.Answer(yes ? Answer::kYes : Answer::kNo);
    s.SetFields("1", "2", "1", "5");
    s.PressOk();
    QCOMPARE(s.prompter.calls().size(), size_t{1});  // asked once, for row 2
    QCOMPARE(Q(s.prompter.calls()[0].text), QStringLiteral("2") + Q(text::kMsgBlankRowQuestion));
    QCOMPARE(s.finished->count(), yes ? 1 : 0);
    QCOMPARE(s.state->points.count, yes ? 3u : 0u);
  }

  void theNextSheetOffersTheAcceptedSelection() {
    Sheet s(Rows(120));
    s.SetFields("1", "2", "3", "100");
    s.PressOk();
    QCOMPARE(s.finished->count(), 1);
    QCOMPARE(s.state->points.count, 98u);
    QCOMPARE(s.text.size(), size_t{1});  // the text was released

    const RangeSelection written = ReadSelectionFile(s.state->working_directory);
    Sheet next(Rows(5), &written);
    QCOMPARE(next.Text(kSheetXField), QStringLiteral("1"));
    QCOMPARE(next.Text(kSheetYField), QStringLiteral("2"));
    QCOMPARE(next.Text(kSheetStartField), QStringLiteral("3"));
    QCOMPARE(next.Text(kSheetEndField), QStringLiteral("100"));
    QVERIFY(!next.Box()->isChecked());
  }

  void tooManyRowsIsSaidOnceNotOncePerPaint() {
    Sheet s(Rows(65537));
    QCOMPARE(s.prompter.Texts(), std::vector<std::string>{std::string(text::kMsgTooManyRows)});
    QScrollBar* vertical = s.Bar(kSheetVerticalBar);
    QCOMPARE(vertical->maximum(), 65536 - 16);
    for (int position : {100, 30000, 65520}) {
      vertical->setValue(position);
      s.window->grid()->repaint();
    }
    QCOMPARE(s.Label(1118), QStringLiteral("65536"));
    QCOMPARE(s.prompter.calls().size(), size_t{1});
  }
};

}  // namespace calvane

QTEST_MAIN(calvane::DataSheetWindowTest)
#include "data_sheet_window_qtest.moc"
