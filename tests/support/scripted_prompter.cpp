#include "tests/support/scripted_prompter.h"

#include <gtest/gtest.h>

namespace calvane::test {

void ScriptedPrompter::Show(std::string_view text, std::string_view caption, WindowId owner) {
  calls_.push_back(Call{false, std::string(text), std::string(caption), Buttons::kOk, owner});
}

calvane::Answer ScriptedPrompter::Ask(std::string_view text, std::string_view caption,
                                      Buttons buttons, WindowId owner) {
  calls_.push_back(Call{true, std::string(text), std::string(caption), buttons, owner});
  if (answers_.empty()) {
    ADD_FAILURE() << "unexpected question: " << text;
    return buttons == Buttons::kYesNo ? calvane::Answer::kNo : calvane::Answer::kCancel;
  }
  calvane::Answer answer = answers_.front();
  answers_.pop_front();
  return answer;
}

std::vector<std::string> ScriptedPrompter::Texts() const {
  std::vector<std::string> texts;
  for (const Call& call : calls_) texts.push_back(call.text);
  return texts;
}

}  // namespace calvane::test
