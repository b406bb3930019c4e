#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <string_view>

#include "base/prompter.h"

namespace calvane {

// Converts the program's UTF-8 text to a QString for display. A lone carriage return (the
// program joins two-part messages with one) becomes a line break, which Qt shows only for "\n".
QString DisplayText(std::string_view utf8);

// The Prompter of the windows: every message and question is a QMessageBox owned by the window
// registered for the owner id (the main window when that window is not open). Messages have an
// OK button; questions carry the warning icon, and the second button (No, Cancel) is the
// default, so that Enter never drops results or overwrites a file by accident. Main thread.
class QtPrompter : public Prompter {
 public:
  // Registers (or with nullptr unregisters) the window that owns boxes for `owner`.
  void SetOwner(WindowId owner, QWidget* window);
  QWidget* Owner(WindowId owner) const;

  void Show(std::string_view text, std::string_view caption, WindowId owner) override;
  Answer Ask(std::string_view text, std::string_view caption, Buttons buttons,
             WindowId owner) override;

 private:
  std::array<QPointer<QWidget>, 6> owners_;
};

}  // namespace calvane
