#pragma once

#include <string>

namespace calvane::test {

// Folder of the source tree, for fixtures checked in under tests/.
inline std::string SourcePath(const std::string& relative) {
  return std::string(CALVANE_SOURCE_DIR) + "/" + relative;
}

// Folder of the build tree, where calvane-batch and the other programs are built.
inline std::string BinaryPath(const std::string& relative) {
  return std::string(CALVANE_BINARY_DIR) + "/" + relative;
}

}  // namespace calvane::test
