// Feeds every case of fuzz/corpus/<harness>/ to the same property check its fuzzer runs, so
// every case ever found stays found in the ordinary test run.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "fuzz/fuzz_checks.h"
#include "tests/support/test_paths.h"

namespace calvane::fuzz {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles(std::string_view harness) {
  const fs::path folder = fs::path(CALVANE_SOURCE_DIR) / "fuzz" / "corpus" / std::string(harness);
  std::vector<fs::path> files;
  if (!fs::is_directory(folder)) return files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class CorpusReplay : public ::testing::TestWithParam<NamedCheck> {};

TEST_P(CorpusReplay, EveryCaseKeepsItsProperties) {
  const NamedCheck& harness = GetParam();
  const std::vector<fs::path> files = CorpusFiles(harness.name);
  ASSERT_GE(files.size(), 3u) << "the corpus of " << harness.name << " is missing";
  for (const fs::path& file : files) {
    const std::optional<std::string> bytes = ReadWholeFile(file.string());
    ASSERT_TRUE(bytes.has_value()) << file;
    const std::string failure =
        harness.check(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size());
    EXPECT_EQ(failure, "") << file.filename();
  }
}

INSTANTIATE_TEST_SUITE_P(Harnesses, CorpusReplay, ::testing::ValuesIn(kChecks),
                         [](const ::testing::TestParamInfo<NamedCheck>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace calvane::fuzz
