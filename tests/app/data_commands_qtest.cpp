// Open data and close data through the main window's hooks as the program installs them: the
// file dialog answered by a script, the data sheet run modally over the main window and worked
// as a person would.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/main_window.h"
#include "app/qt_command_wiring.h"
#include "base/qt_prompter.h"
#include "base/qt_ui_font.h"
#include "data/data_sheet_window.h"
#include "tests/support/scripted_file_chooser.h"

namespace calvane {

class DataCommandsTest : public QObject {
  Q_OBJECT

 private:
  // When the data sheet is running: fills the four fields and presses OK, or closes it.
  static void WorkSheet(bool accept, bool* seen) {
    QTimer::singleShot(0, [accept, seen] {
      auto* sheet = qobject_cast<DataSheetWindow*>(QApplication::activeModalWidget());
      if (sheet == nullptr) {
        WorkSheet(accept, seen);  // not shown yet
        return;
      }
      *seen = true;
      if (!accept) {
        sheet->close();
        return;
      }
      const char* values[] = {"1", "2", "2", "16"};
      const int ids[] = {kSheetXField, kSheetYField, kSheetStartField, kSheetEndField};
      for (int i = 0; i < 4; ++i) {
        qobject_cast<QLineEdit*>(sheet->Control(ids[i]))->setText(values[i]);
      }
      qobject_cast<QPushButton*>(sheet->Control(kSheetOkButton))->click();
    });
  }

  static QString FieldText(MainWindow& window, const char* id) {
    return window.findChild<QLineEdit*>(id)->text();
  }

 private slots:
  void initTestCase() { QApplication::setFont(UiFont()); }

  void openAcceptCancelAndClose() {
    QTemporaryDir dir;
    const QString sample = QStringLiteral(CALVANE_SOURCE_DIR "/resources/Sample/gauss_peak.csv");
    const QString first = dir.filePath("first.csv");
    const QString second = dir.filePath("second.csv");
    QVERIFY(QFile::copy(sample, first));
    QVERIFY(QFile::copy(sample, second));

    auto state = MakeAppState(dir.path().toStdString());
    QtPrompter prompter;
    MainWindow window(*state, prompter);
    prompter.SetOwner(WindowId::kMain, &window);
    test::ScriptedFileChooser chooser;
    InstallCommandHooks(window, prompter, chooser);
    window.show();

    bool seen = false;
    chooser.Answer(first.toStdString());
    WorkSheet(true, &seen);
    window.RunCommand(kCmdOpenData);
    QVERIFY(seen);
    QCOMPARE(FieldText(window, "1001"), first);
    QCOMPARE(window.findChild<QLabel*>("1029")->text(),
             QStringLiteral("計算条件を設定してください。"));
    QCOMPARE(state->points.count, 15u);
    QCOMPARE(state->ranges.min_x, -5.0);
    QVERIFY(window.Commands().close_data);
    QVERIFY(window.isEnabled());
    QCOMPARE(chooser.requests().at(0).initial_folder, dir.path().toStdString() + "/Sample");

    // A second file whose sheet is closed: the first stays.
    seen = false;
    chooser.Answer(second.toStdString());
    WorkSheet(false, &seen);
    window.RunCommand(kCmdOpenData);
    QVERIFY(seen);
    QCOMPARE(FieldText(window, "1001"), first);
    QCOMPARE(state->points.count, 15u);
    QCOMPARE(chooser.requests().at(1).initial_folder, std::string());

    window.RunCommand(kCmdCloseData);
    QCOMPARE(FieldText(window, "1001"), QString());
    QCOMPARE(window.findChild<QLabel*>("1029")->text(), QStringLiteral("データを開いてください。"));
    QCOMPARE(state->points.count, 0u);
    QVERIFY(!window.Commands().close_data);
    QVERIFY(chooser.AllAnswered());
  }
};

}  // namespace calvane

QTEST_MAIN(calvane::DataCommandsTest)
#include "data_commands_qtest.moc"
