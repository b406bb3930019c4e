#pragma once

#include <string_view>

namespace calvane {

// The window that owns a message box, so logic code can name an owner without a widget.
enum class WindowId {
  kMain,
  kDataSheet,
  kConditions,
  kDetailedConditions,
  kProgress,
  kFitDetails,
};

enum class Buttons { kOk, kOkCancel, kYesNo };
enum class Answer { kOk, kCancel, kYes, kNo };

// Shows messages and asks questions on behalf of the logic. Texts and captions are UTF-8 and
// final. The Qt version uses message boxes; tests answer from a script; calvane-batch prints.
class Prompter {
 public:
  virtual ~Prompter() = default;
  virtual void Show(std::string_view text, std::string_view caption, WindowId owner) = 0;
  virtual Answer Ask(std::string_view text, std::string_view caption, Buttons buttons,
                     WindowId owner) = 0;
};

}  // namespace calvane
