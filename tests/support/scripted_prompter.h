#pragma once

#include <string_view>

#include "tests/support/recording_prompter.h"

namespace calvane::test {

// The RecordingPrompter of the GoogleTest suites: a question with no scripted answer fails the
// test, so a test cannot pass while a real dialog would have waited for a person.
class ScriptedPrompter : public RecordingPrompter {
 protected:
  void OnUnanswered(std::string_view text) override;
};

}  // namespace calvane::test
