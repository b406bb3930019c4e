#include "base/qt_prompter.h"

#include <QMessageBox>

namespace calvane {

QString DisplayText(std::string_view utf8) {
  QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar('\r'), QChar('\n'));
  return text;
}

namespace {

// A box owned by a window that a modal run has disabled would be disabled with it: it is a
// window of its own and is enabled explicitly.
int Run(QMessageBox& box) {
  box.setEnabled(true);
  return box.exec();
}

}  // namespace

void QtPrompter::SetOwner(WindowId owner, QWidget* window) {
  owners_[static_cast<std::size_t>(owner)] = window;
}

QWidget* QtPrompter::Owner(WindowId owner) const {
  QWidget* window = owners_[static_cast<std::size_t>(owner)];
  if (window == nullptr) window = owners_[static_cast<std::size_t>(WindowId::kMain)];
  return window;
}

void QtPrompter::Show(std::string_view text, std::string_view caption, WindowId owner) {
  QMessageBox box(QMessageBox::NoIcon, DisplayText(caption), DisplayText(text), QMessageBox::Ok,
                  Owner(owner));
  Run(box);
}

Answer QtPrompter::Ask(std::string_view text, std::string_view caption, Buttons buttons,
                       WindowId owner) {
  QMessageBox box(QMessageBox::Warning, DisplayText(caption), DisplayText(text),
                  QMessageBox::NoButton, Owner(owner));
  switch (buttons) {
    case Buttons::kYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::No);
      box.setEscapeButton(QMessageBox::No);
      break;
    case Buttons::kOkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Cancel);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case Buttons::kOk:
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  switch (Run(box)) {
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    case QMessageBox::Ok:
      return Answer::kOk;
    default:
      return buttons == Buttons::kYesNo ? Answer::kNo : Answer::kCancel;
  }
}

}  // namespace calvane
