#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "base/prompter.h"

namespace calvane::test {

// A Prompter for tests that needs no test framework (the window tests use it as it is):
// records every message and question and answers questions from a script given in advance.
// A question with no scripted answer is answered No/Cancel, counted in unanswered() and passed
// to OnUnanswered, so a test can tell that a real box would have waited for a person.
class RecordingPrompter : public Prompter {
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

  void Show(std::string_view text, std::string_view caption, WindowId owner) override {
    calls_.push_back(Call{false, std::string(text), std::string(caption), Buttons::kOk, owner});
  }

  calvane::Answer Ask(std::string_view text, std::string_view caption, Buttons buttons,
                      WindowId owner) override {
    calls_.push_back(Call{true, std::string(text), std::string(caption), buttons, owner});
    if (answers_.empty()) {
      ++unanswered_;
      OnUnanswered(text);
      return buttons == Buttons::kYesNo ? calvane::Answer::kNo : calvane::Answer::kCancel;
    }
    const calvane::Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

  const std::vector<Call>& calls() const { return calls_; }
  // Texts of every call, messages and questions alike, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Call& call : calls_) texts.push_back(call.text);
    return texts;
  }
  // True when every scripted answer has been used.
  bool AllAnswered() const { return answers_.empty(); }
  int unanswered() const { return unanswered_; }

 protected:
  virtual void OnUnanswered(std::string_view /*text*/) {}

 private:
  std::vector<Call> calls_;
  std::deque<calvane::Answer> answers_;
  int unanswered_ = 0;
};

}  // namespace calvane::test
