#include <cstddef>
#include <string>

#include <gtest/gtest.h>

#include "engine/worker.h"
#include "formula/number_text.h"
#include "tests/engine/engine_test_support.h"
#include "tests/support/test_paths.h"

namespace calvane {
namespace {

using test::FitSetup;
using test::PhaseHarness;

// Reads the two columns of a "x,y" table with a header row into the setup's points.
void LoadTable(FitSetup& setup, const std::string& bytes) {
  std::string text = bytes;
  std::size_t position = text.find('\n') + 1;  // past the header row
  while (position < text.size()) {
    ParseStatus status = ParseStatus::ParseOk;
    const double x = ParseNumber(text.c_str(), position, status);
    ASSERT_EQ(status, ParseStatus::ParseOk);
    ASSERT_EQ(text[position], ',');
    ++position;
    const double y = ParseNumber(text.c_str(), position, status);
    ASSERT_EQ(status, ParseStatus::ParseOk);
    setup.AddPoint(x, y);
    position = text.find('\n', position);
    if (position == std::string::npos) break;
    ++position;
  }
}

// A Gaussian peak with the rough estimate and four least-squares steps: the whole run log,
// byte for byte, as an independent implementation of the same rules writes it.
TEST(GaussPeak, RunLogMatchesTheWorkedExample) {
  FitSetup setup("k0*Exp(-(x-k1)^2/k2)");
  const auto table = ReadWholeFile(test::SourcePath("tests/engine/data/gauss-peak/gauss.csv"));
  ASSERT_TRUE(table.has_value());
  LoadTable(setup, *table);
  ASSERT_EQ(setup.state().points.count, 61u);
  setup.state().conditions.roughEstimation = 1;
  setup.state().conditions.angleUnit = AngleUnit::Radian;
  setup.SetTexts(0, "2", "0", "10", "0.0001");
  setup.SetTexts(1, "0.5", "-5", "5", "0.0001");
  setup.SetTexts(2, "1", "0.01", "10", "0.0001");
  PhaseHarness harness(setup);
  ASSERT_EQ(RunWorker(setup.state(), harness.view, harness.log), kWorkerCompleted);
  harness.log.Close();
  const auto expected =
      ReadWholeFile(test::SourcePath("tests/engine/data/gauss-peak/Calculation.ini"));
  ASSERT_TRUE(expected.has_value());
  const std::string actual = setup.ReadFile("Calculation.ini");
  std::size_t first_difference = 0;
  while (first_difference < actual.size() && first_difference < expected->size() &&
         actual[first_difference] == (*expected)[first_difference]) {
    ++first_difference;
  }
  EXPECT_EQ(actual, *expected) << "first difference at byte " << first_difference;
  EXPECT_TRUE(harness.view.messages.empty());
}

}  // namespace
}  // namespace calvane
