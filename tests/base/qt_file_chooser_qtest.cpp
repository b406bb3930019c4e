// The Qt file dialogs behind FileChooser: what each dialog is set to, and what it returns.

#include <QTemporaryDir>
#include <QtTest>
#include <array>

#include "base/image_file.h"
#include "base/qt_file_chooser.h"
#include "base/qt_prompter.h"

namespace calvane {

class QtFileChooserTest : public QObject {
  Q_OBJECT

 private:
  static constexpr std::array<FileFilter, 3> kFilters = {{
      {"CSV カンマ区切り(*.csv)", "*.csv"},
      {"テキスト ファイル(*.txt)", "*.txt"},
      {"Report", "*.frs"},
  }};

 private slots:
  void openDialogShowsTheRequestAndReturnsTheChosenFile() {
    QTemporaryDir dir;
    QFile file(dir.filePath("a.csv"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QWidget main;
    QtPrompter owners;
    owners.SetOwner(WindowId::kMain, &main);
    QtFileChooser chooser(owners);
    bool checked = false;
    chooser.SetRunner([&](QFileDialog& dialog) {
      checked = true;
      [&] {
        QCOMPARE(dialog.windowTitle(), QStringLiteral("データファイルを開く"));
        QCOMPARE(dialog.nameFilters(), QStringList({"CSV カンマ区切り(*.csv)",
                                                    "テキスト ファイル(*.txt)", "Report (*.frs)"}));
        QCOMPARE(dialog.selectedNameFilter(), QStringLiteral("CSV カンマ区切り(*.csv)"));
        QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(QDir(dialog.directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
        QCOMPARE(dialog.parentWidget(), &main);
      }();
      dialog.selectFile(dir.filePath("a.csv"));
      return int(QDialog::Accepted);
    });
    FileDialogRequest request;
    request.title = "データファイルを開く";
    request.filters = kFilters;
    request.initial_folder = dir.path().toStdString();
    const std::optional<std::string> chosen = chooser.ChooseOpen(request);
    QVERIFY(checked);
    QVERIFY(chosen.has_value());
    QCOMPARE(QFileInfo(QString::fromStdString(*chosen)).canonicalFilePath(),
             QFileInfo(dir.filePath("a.csv")).canonicalFilePath());

    chooser.SetRunner([](QFileDialog&) { return int(QDialog::Rejected); });
    QVERIFY(!chooser.ChooseOpen(request).has_value());
  }

  void saveDialogAppendsTheDefaultExtensionToANameWithoutOne_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bare name") << "result"
                               << "result.frs";
    QTest::newRow("own extension") << "result.txt"
                                   << "result.txt";
  }

  void saveDialogAppendsTheDefaultExtensionToANameWithoutOne() {
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QtPrompter owners;
    QtFileChooser chooser(owners);
    chooser.SetRunner([&](QFileDialog& dialog) {
      if (dialog.acceptMode() != QFileDialog::AcceptSave) return int(QDialog::Rejected);
      if (!dialog.testOption(QFileDialog::DontConfirmOverwrite)) return int(QDialog::Rejected);
      dialog.selectFile(dir.filePath(typed));
      return int(QDialog::Accepted);
    });
    FileDialogRequest request;
    request.title = "保存";
    request.filters = kFilters;
    request.default_extension = "frs";
    request.initial_folder = dir.path().toStdString();
    const std::optional<std::string> chosen = chooser.ChooseSave(request);
    QVERIFY(chosen.has_value());
    QCOMPARE(QFileInfo(QString::fromStdString(*chosen)).fileName(), expected);
  }

  // An image's save dialog: the filter chosen gives a bare name its extension.
  void saveDialogTakesTheExtensionOfTheChosenFilter_data() {
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("png, bare name") << 0 << "graph"
                                    << "graph.png";
    QTest::newRow("svg, bare name") << 1 << "graph"
                                    << "graph.svg";
    QTest::newRow("svg, own extension") << 1 << "graph.png"
                                        << "graph.png";
  }

  void saveDialogTakesTheExtensionOfTheChosenFilter() {
    QFETCH(int, filter);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QtPrompter owners;
    QtFileChooser chooser(owners);
    FileDialogRequest request = ImageSaveRequest(WindowId::kMain);
    request.initial_folder = dir.path().toStdString();
    chooser.SetRunner([&](QFileDialog& dialog) {
      const QString name = dialog.nameFilters().at(filter);
      dialog.selectNameFilter(name);
      emit dialog.filterSelected(name);
      dialog.selectFile(dir.filePath(typed));
      return int(QDialog::Accepted);
    });
    const std::optional<std::string> chosen = chooser.ChooseSave(request);
    QVERIFY(chosen.has_value());
    QCOMPARE(QFileInfo(QString::fromStdString(*chosen)).fileName(), expected);
  }

  void defaultExtensionRule() {
    QCOMPARE(WithDefaultExtension("/a.b/name", "frs"), std::string("/a.b/name.frs"));
    QCOMPARE(WithDefaultExtension("/a/name.ccn", "frs"), std::string("/a/name.ccn"));
    QCOMPARE(WithDefaultExtension("/a/name", ""), std::string("/a/name"));
    QCOMPARE(WithDefaultExtension("/a/", "frs"), std::string("/a/"));
  }
};

}  // namespace calvane

QTEST_MAIN(calvane::QtFileChooserTest)
#include "qt_file_chooser_qtest.moc"
