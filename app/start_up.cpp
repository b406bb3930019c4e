#include "app/start_up.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "app/messages.h"
#include "base/file_io.h"

namespace calvane {

std::string ReadWorkingDirectory() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return ".";
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

std::string FormulaIniPath(const std::string& working_directory) {
  return JoinPath(working_directory, "Formula.ini");
}

std::string HelpFilePath(const std::string& working_directory) {
  return JoinPath(JoinPath(working_directory, "Help"), "Help.htm");
}

bool IsFirstRun(const std::string& working_directory) {
  return !FileExists(FormulaIniPath(working_directory));
}

bool CreateEmptyFormulaIni(const std::string& working_directory) {
  const std::string path = FormulaIniPath(working_directory);
  if (FileExists(path)) return true;
  return CreateNewFile(path, {});
}

WindowPosition CentredPosition(int desktop_left, int desktop_top, int desktop_right,
                               int desktop_bottom, int width, int height) {
  // Integer division truncates toward zero, as the rule asks; the sums are taken in 64 bits so
  // that no desktop coordinate can overflow them.
  const long long left = (static_cast<long long>(desktop_left) + desktop_right) / 2 - width / 2;
  const long long top = (static_cast<long long>(desktop_top) + desktop_bottom) / 2 - height / 2;
  return {static_cast<int>(left), static_cast<int>(top)};
}

void ShowVersionBox(Prompter& prompter, WindowId owner) {
  prompter.Show(text::kVersionText, text::kVersionCaption, owner);
}

}  // namespace calvane
