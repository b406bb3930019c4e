#include "base/qt_modal_run.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace calvane {

namespace {
constexpr Qt::WindowFlags kModalFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
}  // namespace

ModalWindow::ModalWindow(QWidget* owner) : QDialog(owner, kModalFlags) {}

void ModalWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    EscapePressed();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void ModalWindow::closeEvent(QCloseEvent* event) {
  if (!isVisible()) {
    event->accept();
    return;
  }
  CloseRequested();
  // Still shown: the window did not end itself, so the request is refused.
  if (isVisible()) {
    event->ignore();
  } else {
    event->accept();
  }
}

int RunModal(QDialog& window, QWidget* owner) {
  if (window.parentWidget() != owner) window.setParent(owner, kModalFlags);
  if (window.windowFlags() != kModalFlags) window.setWindowFlags(kModalFlags);
  if (owner != nullptr && window.windowIcon().isNull()) window.setWindowIcon(owner->windowIcon());
  window.setWindowModality(Qt::ApplicationModal);
  const bool owner_was_enabled = owner != nullptr && owner->isEnabled();
  if (owner != nullptr) owner->setEnabled(false);
  // Disabling the owner disables its child windows too; a window may be enabled explicitly.
  window.setEnabled(true);
  const int code = window.exec();
  if (owner != nullptr && owner_was_enabled) owner->setEnabled(true);
  return code;
}

}  // namespace calvane
