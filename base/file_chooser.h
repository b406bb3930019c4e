#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/prompter.h"

namespace calvane {

// One entry of a file dialog's type list: the label the user sees (UTF-8) and its pattern.
struct FileFilter {
  std::string_view label;
  std::string_view pattern;  // "*.csv"
};

// What an open or save dialog shows. Texts are UTF-8; paths are the platform's own.
struct FileDialogRequest {
  std::string_view title;
  std::span<const FileFilter> filters;  // in the order offered; the first is selected
  std::string_view default_extension;   // without the dot; empty: a typed name is kept as it is
  std::string initial_folder;           // empty: the system's default folder
  WindowId owner = WindowId::kMain;
  // Save dialogs: a name typed without an extension gets the extension of the filter chosen
  // (its pattern "*.ext"), not default_extension.
  bool extension_follows_filter = false;
};

// The extension of a filter pattern "*.ext" ("ext"), empty for any other pattern.
inline std::string_view FilterExtension(const FileFilter& filter) {
  const std::string_view p = filter.pattern;
  if (p.size() < 3 || p.substr(0, 2) != "*.") return {};
  const std::string_view ext = p.substr(2);
  return ext.find_first_of("*?; ") == std::string_view::npos ? ext : std::string_view();
}

// The open-file and save-file dialogs on behalf of the logic. The Qt version shows the system's
// dialog; tests answer from a script. An empty result means the user cancelled. A save dialog
// appends the default extension to a name typed without one; it never asks about an existing
// file itself (the caller asks the overwrite question). Main thread.
class FileChooser {
 public:
  virtual ~FileChooser() = default;
  virtual std::optional<std::string> ChooseOpen(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> ChooseSave(const FileDialogRequest& request) = 0;
};

// `path` with ".extension" appended when its file name has no extension of its own (no dot
// after the last slash); unchanged when `extension` is empty. What a save dialog does to a name
// typed without one.
inline std::string WithDefaultExtension(std::string path, std::string_view extension) {
  if (extension.empty() || path.empty()) return path;
  const std::size_t slash = path.find_last_of('/');
  const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
  if (path.find('.', name) != std::string::npos || name == path.size()) return path;
  path.push_back('.');
  path.append(extension);
  return path;
}

// The first-dialog flag, shared by the open-data dialog and the condition-file dialogs: until a
// file has been chosen in one of them, each starts in the Sample folder under the working
// directory; afterwards no initial folder is given.
class FirstDialogFlag {
 public:
  // The initial folder for the next of these dialogs.
  std::string InitialFolder(std::string_view working_directory) const {
    if (chosen_) return {};
    std::string folder(working_directory);
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + "Sample";
  }
  // A file was chosen in one of the dialogs.
  void MarkChosen() { chosen_ = true; }
  bool chosen() const { return chosen_; }

 private:
  bool chosen_ = false;
};

}  // namespace calvane
