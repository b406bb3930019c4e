#pragma once

#include <QFileDialog>
#include <QStringList>
#include <functional>

#include "base/file_chooser.h"
#include "base/qt_prompter.h"

namespace calvane {

// The Qt type list for a dialog: each label as the user sees it, followed by its pattern in
// parentheses unless the label already ends with it ("CSV カンマ区切り(*.csv)"), in the order
// given.
QStringList NameFilters(std::span<const FileFilter> filters);

// The FileChooser of the windows: the system's open and save dialogs (QFileDialog), owned by
// the window that `owners` registers for the request's owner. Open: an existing file in an
// existing folder, the read-only choice hidden. Save: no overwrite question of its own (the
// caller asks), the default extension appended to a name typed without one. Both: the title,
// the filters in order with the first selected, and the initial folder when one is given.
// Main thread.
class QtFileChooser : public FileChooser {
 public:
  explicit QtFileChooser(const QtPrompter& owners) : owners_(owners) {}

  std::optional<std::string> ChooseOpen(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseSave(const FileDialogRequest& request) override;

  // Replaces how a prepared dialog is run (its exec() by default): tests look at the dialog,
  // pick a file and accept without a person. Returns the dialog's result code.
  void SetRunner(std::function<int(QFileDialog&)> runner) { runner_ = std::move(runner); }

 private:
  std::optional<std::string> Choose(const FileDialogRequest& request, bool save);

  const QtPrompter& owners_;
  std::function<int(QFileDialog&)> runner_;
};

}  // namespace calvane
