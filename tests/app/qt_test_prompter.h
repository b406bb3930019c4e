#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "app/prompter.h"

namespace calvane::test {

// Records the messages and questions of the window tests and answers questions from a script.
// A question without a scripted answer is recorded and answered No/Cancel, and counted in
// unanswered, so a test can tell that a real box would have waited for a person.
class QtTestPrompter : public Prompter {
 public:
  struct Call {
    bool question = false;
    std::string text;
    std::string caption;
    Buttons buttons = Buttons::kOk;
    WindowId owner = WindowId::kMain;
  };

  void Queue(calvane::Answer answer) { answers_.push_back(answer); }

  void Show(std::string_view text, std::string_view caption, WindowId owner) override {
    calls.push_back({false, std::string(text), std::string(caption), Buttons::kOk, owner});
  }
  calvane::Answer Ask(std::string_view text, std::string_view caption, Buttons buttons,
                      WindowId owner) override {
    calls.push_back({true, std::string(text), std::string(caption), buttons, owner});
    if (answers_.empty()) {
      ++unanswered;
      return buttons == Buttons::kYesNo ? calvane::Answer::kNo : calvane::Answer::kCancel;
    }
    const calvane::Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

  std::vector<Call> calls;
  int unanswered = 0;

 private:
  std::deque<calvane::Answer> answers_;
};

}  // namespace calvane::test
