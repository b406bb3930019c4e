// The data sheet and the fitting-conditions dialog fed the worst inputs: 65537 rows, 300 series,
// cells of 10000 bytes, invalid Shift-JIS, zero bytes, every data and condition file of the fuzz
// corpus, and a formula of 500 bytes of operators. Every user event must be handled within the
// budget (the window stays responsive) and no message is shown twice.

#include <QDirIterator>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>
#include <functional>
#include <map>

#include "app/command_state.h"
#include "app/condition_commands.h"
#include "app/qt_menus.h"
#include "base/file_io.h"
#include "base/qt_ui_font.h"
#include "conditions/fitting_conditions_dialog.h"
#include "data/data_messages.h"
#include "data/data_sheet_window.h"
#include "tests/support/recording_main_view.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/sanitized_build.h"
#include "tests/support/scripted_file_chooser.h"

namespace calvane {

namespace {

// The longest one user event may take. The sanitizer builds run the same code several times
// slower, so they get five times the budget.
constexpr qint64 kEventBudgetMs = test::kSanitizedBuild ? 1000 : 200;

// Runs one user event (and then the events it left queued, such as paints) and remembers the
// slowest.
class EventClock {
 public:
  void Run(const QString& what, const std::function<void()>& event) {
    QElapsedTimer timer;
    timer.start();
    event();
    QCoreApplication::processEvents();
    const qint64 elapsed = timer.elapsed();
    if (elapsed > slowest_) {
      slowest_ = elapsed;
      slowest_what_ = what;
    }
  }
  qint64 slowest() const { return slowest_; }
  QString Report() const {
    return QStringLiteral("%1 took %2 ms").arg(slowest_what_).arg(slowest_);
  }

 private:
  qint64 slowest_ = -1;
  QString slowest_what_;
};

// True when no text was shown or asked twice.
bool NoTextRepeats(const test::RecordingPrompter& prompter, QString* repeated) {
  std::map<std::string, int> seen;
  for (const std::string& text : prompter.Texts()) {
    if (++seen[text] > 1) {
      *repeated = QString::fromStdString(text);
      return false;
    }
  }
  return true;
}

std::string RowsOfTwo(int n) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(n) * 12);
  for (int r = 1; r <= n; ++r) bytes += std::to_string(r) + "," + std::to_string(2 * r) + "\r\n";
  return bytes;
}

std::string WideRows() {
  std::string row;
  for (int k = 1; k <= 300; ++k) row += std::to_string(k) + (k < 300 ? ";" : "\r\n");
  return row + row + row;
}

std::string LongCells() {
  return "1," + std::string(10000, '7') + "\r\n" + std::string(10000, 'x') + ",2\r\n" +
         std::string(10000, ' ') + "3,4\r\n";
}

std::string InvalidShiftJis() {
  std::string bytes = "\x81,\x82\r\n\xFF\xFE,\xA0\x80\r\n\x81\r\n1,\x9F";
  bytes += "\r\n\xE0,\xEF\xFC\x81\x7F\r\n";
  return bytes;
}

std::string ZeroBytes() {
  std::string bytes = "1,2\r\n3,4\r\n";
  bytes.push_back('\0');
  bytes += "5,6\r\n";
  bytes.push_back('\0');
  bytes.push_back('\0');
  return bytes;
}

QString CorpusFolder(const char* harness) {
  return QStringLiteral(CALVANE_SOURCE_DIR "/fuzz/corpus/") + QString::fromLatin1(harness);
}

QStringList CorpusFiles(const char* harness) {
  QStringList files;
  QDirIterator it(CorpusFolder(harness), QDir::Files);
  while (it.hasNext()) files << it.next();
  files.sort();
  return files;
}

std::string ReadBytes(const QString& path) {
  return ReadWholeFile(path.toStdString()).value_or(std::string());
}

// One data sheet, driven through its controls as a person would, every event timed.
struct SheetRun {
  explicit SheetRun(std::string bytes, EventClock& clock)
      : state(MakeAppState(dir.path().toStdString())), text(std::move(bytes)) {
    clock.Run(QStringLiteral("opening the sheet"), [&] {
      window = std::make_unique<DataSheetWindow>(text, *state, prompter, nullptr);
      window->show();
    });
  }
  QLineEdit* Field(int id) const { return qobject_cast<QLineEdit*>(window->Control(id)); }
  QScrollBar* Bar(int id) const { return qobject_cast<QScrollBar*>(window->Control(id)); }

  // Scrolls to both ends and the middle, turns the wheel, clicks the grid, then accepts
  // `x`, `y` and every row.
  void Drive(EventClock& clock, const QString& x, const QString& y) {
    for (int id : {kSheetVerticalBar, kSheetHorizontalBar}) {
      QScrollBar* bar = Bar(id);
      for (int position : {bar->maximum(), bar->maximum() / 2, 0}) {
        clock.Run(QStringLiteral("scrolling to %1").arg(position), [&] {
          bar->setValue(position);
          window->grid()->repaint();
        });
      }
    }
    clock.Run(QStringLiteral("the wheel"), [&] {
      QWheelEvent event(QPointF(10, 10), window->mapToGlobal(QPointF(10, 10)), QPoint(),
                        QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(window.get(), &event);
    });
    for (QPoint at : {QPoint(120, 60), QPoint(300, 200)}) {
      clock.Run(QStringLiteral("a click on the grid"),
                [&] { QTest::mouseClick(window->grid(), Qt::LeftButton, {}, at); });
    }
    Field(kSheetXField)->setText(x);
    Field(kSheetYField)->setText(y);
    Field(kSheetStartField)->setText(QStringLiteral("1"));
    Field(kSheetEndField)->setText(QStringLiteral("1"));
    clock.Run(QStringLiteral("ticking the use-to-last-row box"), [&] {
      QTest::mouseClick(window->Control(kSheetUseToLastRowBox), Qt::LeftButton, {}, QPoint(5, 5));
    });
    prompter.Answer(Answer::kYes);  // skip blank rows, should there be any
    clock.Run(QStringLiteral("OK"), [&] {
      QTest::mouseClick(qobject_cast<QPushButton*>(window->Control(kSheetOkButton)),
                        Qt::LeftButton);
    });
  }

  QTemporaryDir dir;
  std::unique_ptr<AppState> state;
  DataText text;
  test::RecordingPrompter prompter;
  std::unique_ptr<DataSheetWindow> window;
};

// The fitting-conditions dialog over a working folder, shown and active.
struct ConditionsRun {
  ConditionsRun() : state(MakeAppState(dir.path().toStdString())) {
    state->workflow = WorkflowStateValue::kDataLoaded;
    std::map<int, QAction*> actions;
    menu.reset(BuildConditionsMenuBar(nullptr, actions));
    auto host = std::make_unique<ConditionCommands>(*state, view, chooser, [] {});
    dialog = std::make_unique<FittingConditionsDialog>(*state, std::move(host), menu.get(), nullptr,
                                                       [this] { ++beeps; });
    dialog->show();
    dialog->activateWindow();
  }
  template <typename T>
  T* Control(int id) const {
    return dialog->findChild<T*>(QString::number(id));
  }

  QTemporaryDir dir;
  std::unique_ptr<AppState> state;
  test::RecordingPrompter prompter;
  test::RecordingMainView view{prompter};
  test::ScriptedFileChooser chooser;
  std::unique_ptr<QMenuBar> menu;
  std::unique_ptr<FittingConditionsDialog> dialog;
  int beeps = 0;
};

}  // namespace

class HostileInputWindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setFont(UiFont()); }

  void theDataSheetStaysResponsiveOnTheWorstFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<unsigned>("points");
    const QString rows = QString::fromUtf8(text::kMsgTooManyRows.data());
    const QString series = QString::fromUtf8(text::kMsgTooManySeries.data());
    auto bytes = [](const std::string& text) {
      return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
    };
    QTest::newRow("65537 rows") << bytes(RowsOfTwo(65537)) << "1"
                                << "2" << QStringList{rows} << 65536u;
    QTest::newRow("300 series") << bytes(WideRows()) << "256"
                                << "1" << QStringList{series} << 3u;
    QTest::newRow("cells of 10000 bytes") << bytes(LongCells()) << "1"
                                          << "2" << QStringList{} << 0u;
    QTest::newRow("invalid Shift-JIS") << bytes(InvalidShiftJis()) << "1"
                                       << "2" << QStringList{} << 0u;
    QTest::newRow("zero bytes") << bytes(ZeroBytes()) << "1"
                                << "2" << QStringList{} << 2u;
  }

  void theDataSheetStaysResponsiveOnTheWorstFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, x);
    QFETCH(QString, y);
    QFETCH(QStringList, messages);
    QFETCH(unsigned, points);
    EventClock clock;
    SheetRun run(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())), clock);
    run.Drive(clock, x, y);
    qInfo().noquote() << "slowest event:" << clock.Report();
    QVERIFY2(clock.slowest() <= kEventBudgetMs, qPrintable(clock.Report()));
    QString repeated;
    QVERIFY2(NoTextRepeats(run.prompter, &repeated), qPrintable(repeated));
    // The limit messages come first, once each, whatever was painted or scrolled after them.
    QStringList shown;
    for (const std::string& text : run.prompter.Texts()) shown << QString::fromStdString(text);
    QCOMPARE(shown.mid(0, messages.size()), messages);
    QCOMPARE(run.state->points.count, points);
  }

  void theDataSheetStaysResponsiveOnTheFuzzCorpus() {
    const QStringList files = CorpusFiles("data_text");
    QVERIFY(files.size() >= 10);
    EventClock clock;
    for (const QString& file : files) {
      std::string bytes = ReadBytes(file);
      if (bytes.size() > 6) bytes.erase(0, 6);  // the harness's selection bytes
      SheetRun run(bytes, clock);
      run.Drive(clock, QStringLiteral("1"), QStringLiteral("2"));
      QString repeated;
      QVERIFY2(NoTextRepeats(run.prompter, &repeated), qPrintable(file + ": " + repeated));
    }
    qInfo().noquote() << "slowest event:" << clock.Report();
    QVERIFY2(clock.slowest() <= kEventBudgetMs, qPrintable(clock.Report()));
  }

  void aLongFormulaIsJudgedOncePerLeavingWithinTheBudget_data() {
    QTest::addColumn<QString>("formula");
    QTest::addColumn<QString>("message");
    const QString invalid = QStringLiteral("フィッティング式が不正です。");
    // 500 bytes of operators: too long, and then invalid text, which overwrites the length code.
    QTest::newRow("500 operators") << QString(QStringLiteral("+-*/^")).repeated(100) << invalid;
    QTest::newRow("499 operators")
        << QString(QStringLiteral("+-*/^")).repeated(100).left(499) << invalid;
    QTest::newRow("500 bytes, else valid")
        << QStringLiteral("k0*x") + QStringLiteral("+0").repeated(248)
        << QStringLiteral("フィッティング式は500文字未満でなくてはいけません。");
    QTest::newRow("247 nested groups")
        << QStringLiteral("(").repeated(247) + QStringLiteral("k0*x") +
               QStringLiteral(")").repeated(247)
        << QString();
  }

  void aLongFormulaIsJudgedOncePerLeavingWithinTheBudget() {
    QFETCH(QString, formula);
    QFETCH(QString, message);
    ConditionsRun run;
    QVERIFY(QTest::qWaitForWindowActive(run.dialog.get()));
    EventClock clock;
    QLineEdit* field = run.Control<QLineEdit>(1048);
    clock.Run(QStringLiteral("typing the formula"), [&] {
      field->setFocus();
      field->setText(formula);
    });
    clock.Run(QStringLiteral("leaving the formula box"),
              [&] { run.dialog->ConstantField(0, 0)->setFocus(); });
    // Back and forth once more: the unchanged text is judged again, once per leaving.
    clock.Run(QStringLiteral("leaving it again"), [&] {
      field->setFocus();
      run.dialog->ConstantField(0, 1)->setFocus();
    });
    qInfo().noquote() << "slowest event:" << clock.Report();
    QVERIFY2(clock.slowest() <= kEventBudgetMs, qPrintable(clock.Report()));
    QStringList shown;
    for (const std::string& text : run.prompter.Texts()) shown << QString::fromStdString(text);
    const QStringList expected = message.isEmpty() ? QStringList() : QStringList{message, message};
    QCOMPARE(shown, expected);
    QCOMPARE(run.beeps, message.isEmpty() ? 0 : 2);
  }

  void theConditionsDialogOpensEveryCorpusFileWithinTheBudget() {
    const QStringList files = CorpusFiles("condition_file");
    QVERIFY(files.size() >= 10);
    ConditionsRun run;
    QVERIFY(QTest::qWaitForWindowActive(run.dialog.get()));
    EventClock clock;
    for (const QString& file : files) {
      run.chooser.Answer(file.toStdString());
      clock.Run(QStringLiteral("opening ") + file,
                [&] { run.dialog->RunCommand(kCmdOpenConditionFile); });
      const QString label = run.Control<QLabel>(1036)->text();
      QVERIFY2(label.isEmpty() || label.startsWith(QStringLiteral("【エラー】")),
               qPrintable(file + ": " + label));
    }
    // A constant field of 10000 bytes is refused once, within the budget.
    QLineEdit* field = run.dialog->ConstantField(0, 0);
    clock.Run(QStringLiteral("a constant of 10000 bytes"), [&] {
      field->setFocus();
      field->setText(QString(10000, QLatin1Char('9')) + QStringLiteral("x"));
      run.dialog->ConstantField(0, 1)->setFocus();
    });
    qInfo().noquote() << "slowest event:" << clock.Report();
    QVERIFY2(clock.slowest() <= kEventBudgetMs, qPrintable(clock.Report()));
    QVERIFY(run.chooser.AllAnswered());
    QVERIFY(run.prompter.calls().size() <= 1);  // loading is silent; the long field at most one
  }
};

}  // namespace calvane

QTEST_MAIN(calvane::HostileInputWindowsTest)
#include "hostile_input_windows_qtest.moc"
