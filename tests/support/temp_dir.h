#pragma once

#include <string>

namespace calvane::test {

// A fresh folder under the test temporary directory, removed with its content when the object
// goes out of scope. Serves as a working directory for tests that write internal files.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() joined with `name`.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace calvane::test
