// Window tests of the modal runner and of the message boxes behind the Prompter.

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "base/qt_modal_run.h"
#include "base/qt_prompter.h"

namespace calvane {

class ModalRunTest : public QObject {
  Q_OBJECT

 private slots:
  void resultCodeIsReturnedAndTheOwnerEnabledAgain() {
    for (const int code : {0, 1, 2, 77}) {
      QWidget owner;
      owner.show();
      ModalWindow window(&owner);
      bool disabled_inside = false;
      QTimer::singleShot(0, &window, [&] {
        disabled_inside = !owner.isEnabled() && window.isEnabled() &&
                          QApplication::activeModalWidget() == &window;
        window.EndModal(code);
      });
      QCOMPARE(RunModal(window, &owner), code);
      QVERIFY(disabled_inside);
      QVERIFY(owner.isEnabled());
      QVERIFY(!window.isVisible());
    }
  }

  void nestedWindowsDisableEveryOwnerBelowThem() {
    QWidget main;
    main.show();
    ModalWindow conditions(&main);
    bool inner_ok = false;
    bool after_inner_ok = false;
    int inner_code = -1;
    QTimer::singleShot(0, &conditions, [&] {
      ModalWindow detailed(&conditions);
      QTimer::singleShot(0, &detailed, [&] {
        inner_ok = !main.isEnabled() && !conditions.isEnabled() && detailed.isEnabled() &&
                   QApplication::activeModalWidget() == &detailed;
        detailed.EndModal(5);
      });
      inner_code = RunModal(detailed, &conditions);
      after_inner_ok = conditions.isEnabled() && !main.isEnabled();
      conditions.EndModal(3);
    });
    QCOMPARE(RunModal(conditions, &main), 3);
    QCOMPARE(inner_code, 5);
    QVERIFY(inner_ok);
    QVERIFY(after_inner_ok);
    QVERIFY(main.isEnabled());
  }

  void escapeAndCloseRequestsDoNotEndTheWindowByThemselves() {
    QWidget owner;
    ModalWindow window(&owner);
    bool still_open = false;
    QTimer::singleShot(0, &window, [&] {
      QTest::keyClick(&window, Qt::Key_Escape);
      window.close();
      still_open = window.isVisible();
      window.EndModal(9);
    });
    QCOMPARE(RunModal(window, &owner), 9);
    QVERIFY(still_open);
    QVERIFY(!(window.windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(!(window.windowFlags() & Qt::WindowSystemMenuHint));
  }

  void windowOfAnotherParentIsRunOverItsOwner() {
    QWidget owner;
    QDialog plain;  // a window made without an owner
    QTimer::singleShot(0, &plain, [&] { plain.done(4); });
    QCOMPARE(RunModal(plain, &owner), 4);
    QCOMPARE(plain.parentWidget(), &owner);
  }

  // The discard question: warning icon, No the default; the text's carriage return is a break.
  void questionsDefaultToTheSecondButton() {
    QWidget main;
    main.show();
    QtPrompter prompter;
    prompter.SetOwner(WindowId::kMain, &main);
    struct Seen {
      QMessageBox::Icon icon = QMessageBox::NoIcon;
      QString text, title;
      QMessageBox::StandardButton default_button = QMessageBox::NoButton;
      bool enabled = false;
      QWidget* parent = nullptr;
    } seen;
    auto answer_with = [&](QMessageBox::StandardButton button) {
      QTimer::singleShot(0, [&seen, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box != nullptr);
        seen.icon = box->icon();
        seen.text = box->text();
        seen.title = box->windowTitle();
        seen.default_button = box->standardButton(box->defaultButton());
        seen.enabled = box->isEnabled();
        seen.parent = box->parentWidget();
        box->button(button)->click();
      });
    };
    answer_with(QMessageBox::Yes);
    QCOMPARE(prompter.Ask("A\rB", "確認", Buttons::kYesNo, WindowId::kMain), Answer::kYes);
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.text, QStringLiteral("A\nB"));
    QCOMPARE(seen.title, QStringLiteral("確認"));
    QCOMPARE(seen.default_button, QMessageBox::No);
    QCOMPARE(seen.parent, &main);

    answer_with(QMessageBox::No);
    QCOMPARE(prompter.Ask("x", "確認", Buttons::kYesNo, WindowId::kDataSheet), Answer::kNo);
    QCOMPARE(seen.parent, &main);  // no data sheet registered: the main window owns the box

    answer_with(QMessageBox::Ok);
    QCOMPARE(prompter.Ask("x", "確認", Buttons::kOkCancel, WindowId::kMain), Answer::kOk);
    QCOMPARE(seen.default_button, QMessageBox::Cancel);

    // A box owned by a window that a modal run disabled can still be answered.
    main.setEnabled(false);
    answer_with(QMessageBox::Ok);
    prompter.Show("Calvane  Ver. 1.2.2\r\rX", "バージョン情報", WindowId::kMain);
    QVERIFY(seen.enabled);
    QCOMPARE(seen.text, QStringLiteral("Calvane  Ver. 1.2.2\n\nX"));
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
  }
};

}  // namespace calvane

QTEST_MAIN(calvane::ModalRunTest)
#include "modal_run_qtest.moc"
