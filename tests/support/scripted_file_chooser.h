#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "base/file_chooser.h"

namespace calvane::test {

// A FileChooser for tests (GoogleTest and Qt Test alike): records every request with its filters
// copied, and answers from a script of paths given in advance (std::nullopt: the user cancels).
// A request with no scripted answer is answered as a cancel and counted in unanswered().
class ScriptedFileChooser : public FileChooser {
 public:
  struct Request {
    bool save = false;
    std::string title;
    std::vector<std::pair<std::string, std::string>> filters;  // label, pattern
    std::string default_extension;
    std::string initial_folder;
    WindowId owner = WindowId::kMain;
  };

  // Queues the answer for the next dialog.
  void Answer(std::optional<std::string> path) { answers_.push_back(std::move(path)); }

  std::optional<std::string> ChooseOpen(const FileDialogRequest& request) override {
    return Take(request, false);
  }
  std::optional<std::string> ChooseSave(const FileDialogRequest& request) override {
    return Take(request, true);
  }

  const std::vector<Request>& requests() const { return requests_; }
  bool AllAnswered() const { return answers_.empty(); }
  int unanswered() const { return unanswered_; }

 private:
  std::optional<std::string> Take(const FileDialogRequest& request, bool save) {
    Request copy{save,
                 std::string(request.title),
                 {},
                 std::string(request.default_extension),
                 request.initial_folder,
                 request.owner};
    for (const FileFilter& f : request.filters) {
      copy.filters.emplace_back(std::string(f.label), std::string(f.pattern));
    }
    requests_.push_back(std::move(copy));
    if (answers_.empty()) {
      ++unanswered_;
      return std::nullopt;
    }
    std::optional<std::string> answer = std::move(answers_.front());
    answers_.pop_front();
    return answer;
  }

  std::vector<Request> requests_;
  std::deque<std::optional<std::string>> answers_;
  int unanswered_ = 0;
};

}  // namespace calvane::test
