#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "app/prompter.h"

namespace calvane::test {

// A Prompter for tests: records every message and question, and answers questions from a
// script given in advance. A question with no scripted answer fails the test, so a test cannot
// pass while a real dialog would have waited for a person.
class ScriptedPrompter : public Prompter {
 public:
  struct Call {
    bool question = false;
    std::string text;
    std::string caption;
    Buttons buttons = Buttons::kOk;
    WindowId owner = WindowId::kMain;
  };

  // Queues the answer for the next question.
  void Answer(calvane::Answer answer) { answers_.push_back(answer); }

  void Show(std::string_view text, std::string_view caption, WindowId owner) override;
  calvane::Answer Ask(std::string_view text, std::string_view caption, Buttons buttons,
                      WindowId owner) override;

  const std::vector<Call>& calls() const { return calls_; }
  // Texts of every call, messages and questions alike, in order.
  std::vector<std::string> Texts() const;
  // True when every scripted answer has been used.
  bool AllAnswered() const { return answers_.empty(); }

 private:
  std::vector<Call> calls_;
  std::deque<calvane::Answer> answers_;
};

}  // namespace calvane::test
