#include "app/discard_check.h"

#include "app/command_state.h"
#include "app/messages.h"

namespace calvane {

bool DiscardCheck(WorkflowStateValue workflow, Prompter& prompter, WindowId owner) {
  if (!DiscardCheckAsks(workflow)) return true;
  const Answer answer =
      prompter.Ask(text::kDiscardQuestion, text::kCaptionConfirm, Buttons::kYesNo, owner);
  return answer != Answer::kNo;
}

}  // namespace calvane
