#include "tests/support/scripted_prompter.h"

#include <gtest/gtest.h>

namespace calvane::test {

void ScriptedPrompter::OnUnanswered(std::string_view text) {
  ADD_FAILURE() << "unexpected question: " << text;
}

}  // namespace calvane::test
