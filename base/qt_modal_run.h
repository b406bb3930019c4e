#pragma once

#include <QDialog>

namespace calvane {

// Base of every secondary window that runs modally (data sheet, fitting conditions, detailed
// conditions, progress): no system menu and no close box, and neither Escape nor a close
// request ends it by itself, because result 0 means acceptance for some of these windows.
// They are different events: a close request (Alt+F4, the window manager) calls
// CloseRequested(), the Escape key (wherever the focus is inside the window) EscapePressed();
// both do nothing unless the window overrides them. The window ends itself with EndModal(code).
class ModalWindow : public QDialog {
  Q_OBJECT

 public:
  explicit ModalWindow(QWidget* owner);

  // End modal window: ends the modal run with `code`, which RunModal returns.
  void EndModal(int code) { done(code); }

 protected:
  virtual void CloseRequested() {}
  virtual void EscapePressed() {}
  void reject() override { CloseRequested(); }
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
};

// Run modal window: shows `window` over `owner`, disables `owner` (and with it every window
// below it) for as long as the window runs, runs a nested event loop until the window ends,
// enables `owner` again and returns the window's result code. Nests: a window run from inside
// another modal window disables that window and leaves the outer owners disabled. The window
// takes the owner's icon when it has none, loses its close box and system menu, and is
// re-parented to `owner` when it has another parent. Main thread.
int RunModal(QDialog& window, QWidget* owner);

}  // namespace calvane
