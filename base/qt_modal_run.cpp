#include "base/qt_modal_run.h"

namespace calvane {

namespace {
constexpr Qt::WindowFlags kModalFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
}  // namespace

ModalWindow::ModalWindow(QWidget* owner) : QDialog(owner, kModalFlags) {}

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
