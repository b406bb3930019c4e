// Five NIST StRD nonlinear-regression problems, fitted through calvane-batch's whole path from
// both NIST starting points, compared with the certified values.
//
// Conditions. Bounds are wide boxes that hold both starts and the certified value (roughly an
// order of magnitude around them), so the first lattice step, a hundredth of the box, is coarse.
// Each constant's accuracy is one significant digit of certified_sd / 10^4, so the lattice can
// resolve every constant far below its statistical uncertainty. Rough estimation is on.
//
// Tolerances. certified_sd is the standard uncertainty of each certified estimate: a fit that
// lands within a small fraction of it has found the certified minimum for every practical
// purpose. The lattice search moves one constant at a time and stops when no single move of the
// final accuracy lowers the sum; in a valley of strongly correlated constants that happens before
// the valley's lowest point, at a distance of roughly the accuracy times the valley's elongation.
// Measured with these conditions (worst over both starts): Gauss1 1e-4 sd, Chwirut2 0.003 sd,
// DanWood 0.005 sd, Misra1a 0.04 sd (b1 and b2 correlated at about -0.999), Kirby2 0.22 sd
// (five constants of a rational function, all strongly correlated). Each problem's tolerance is
// a little above its measured worst, and every fit must also reach the certified residual sum of
// squares within 0.1 %, which says the search stopped on the valley floor and not on its wall.
// With an accuracy of certified_sd / 10^3 instead, Kirby2 from start 1 stops 2 sd short (sum
// 2.8 % above): the stop-short is a property of the search, shrinking in step with the accuracy.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "formula/number_text.h"
#include "tests/end_to_end/batch_test_support.h"
#include "tests/support/sanitized_build.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

struct Constant {
  const char* start1;
  const char* start2;
  const char* lower;
  const char* upper;
  const char* accuracy;
  double certified;
  double certified_sd;
};

using Model = std::function<double(const std::vector<double>& k, double x)>;

struct Problem {
  const char* name;
  const char* formula;
  double certified_rss;
  double tolerance_sd;  // allowed |fit - certified| in certified standard deviations
  Model model;          // the NIST model, for the residual sum of squares
  std::vector<Constant> constants;
  // About two seconds in the optimised build (start 1 crawls along Kirby2's valley for many
  // cycles at the final accuracy) and over two minutes under the sanitizers, which it would
  // not tell anything the other problems do not: the code paths are the same.
  bool slow = false;
};

const std::vector<Problem>& Problems() {
  static const std::vector<Problem> problems = {
      {"Misra1a",
       "k0*(1-Exp(-k1*x))",
       0.12455138894,
       0.1,
       [](const std::vector<double>& k, double x) { return k[0] * (1 - std::exp(-k[1] * x)); },
       {
           {"500", "250", "0", "1000", "0.0003", 238.94212918, 2.7070075241},
           {"0.0001", "0.0005", "0", "0.01", "7e-10", 0.00055015643181, 7.2668688436e-06},
       }},
      {"Chwirut2",
       "Exp(-k0*x)/(k1+k2*x)",
       513.04802941,
       0.01,
       [](const std::vector<double>& k, double x) {
         return std::exp(-k[0] * x) / (k[1] + k[2] * x);
       },
       {
           {"0.1", "0.15", "0", "1", "4e-06", 0.16657666537, 0.03830328681},
           {"0.01", "0.008", "0", "0.1", "7e-08", 0.0051653291286, 0.00066621605126},
           {"0.02", "0.01", "0", "0.1", "2e-07", 0.012150007096, 0.0015304234767},
       }},
      {"Gauss1",
       "k0*Exp(-k1*x)+k2*Exp(-(x-k3)^2/k4^2)+k5*Exp(-(x-k6)^2/k7^2)",
       1315.8222432,
       0.01,
       [](const std::vector<double>& k, double x) {
         return k[0] * std::exp(-k[1] * x) +
                k[2] * std::exp(-(x - k[3]) * (x - k[3]) / (k[4] * k[4])) +
                k[5] * std::exp(-(x - k[6]) * (x - k[6]) / (k[7] * k[7]));
       },
       {
           {"97.0", "94.0", "0", "200", "6e-05", 98.778210871, 0.5752731273},
           {"0.009", "0.0105", "0", "0.1", "1e-08", 0.010497276517, 0.00011406289017},
           {"100.0", "99.0", "0", "200", "6e-05", 100.48990633, 0.58831775752},
           {"65.0", "63.0", "0", "200", "1e-05", 67.481111276, 0.10460593412},
           {"20.0", "25.0", "0", "100", "2e-05", 23.12977336, 0.17439951146},
           {"70.0", "71.0", "0", "200", "6e-05", 71.994503004, 0.62622793913},
           {"178.0", "180.0", "100", "250", "1e-05", 178.99805021, 0.12436988217},
           {"16.5", "20.0", "0", "100", "2e-05", 18.389389025, 0.20134312832},
       }},
      {"DanWood",
       "k0*x^k1",
       0.0043173084083,
       0.02,
       [](const std::vector<double>& k, double x) { return k[0] * std::pow(x, k[1]); },
       {
           {"1", "0.7", "0", "10", "2e-06", 0.76886226176, 0.01828197386},
           {"5", "4", "0", "10", "5e-06", 3.8604055871, 0.051726610913},
       }},
      {"Kirby2",
       "(k0+k1*x+k2*x^2)/(1+k3*x+k4*x^2)",
       3.9050739624,
       0.3,
       [](const std::vector<double>& k, double x) {
         return (k[0] + k[1] * x + k[2] * x * x) / (1 + k[3] * x + k[4] * x * x);
       },
       {
           {"2", "1.5", "0", "10", "9e-06", 1.6745063063, 0.087989634338},
           {"-0.1", "-0.15", "-1", "0", "4e-07", -0.13927397867, 0.0041182041386},
           {"0.003", "0.0025", "0", "0.01", "4e-09", 0.0025961181191, 4.1856520458e-05},
           {"-0.001", "-0.0015", "-0.01", "0", "6e-09", -0.001724181187, 5.8931897355e-05},
           {"1e-05", "2e-05", "0", "0.0001", "2e-11", 2.1664802578e-05, 2.0129761919e-07},
       },
       /*slow=*/true},
  };
  return problems;
}

double ReadNumber(const std::string& text, std::size_t& position) {
  ParseStatus status = ParseStatus::ParseOk;
  double value = ParseNumber(text.c_str(), position, status);
  EXPECT_EQ(status, ParseStatus::ParseOk) << text.substr(position, 20);
  return value;
}

// The observations of a data file "x,y" per row after one heading row.
std::vector<std::pair<double, double>> Observations(const std::string& csv) {
  std::vector<std::pair<double, double>> points;
  std::size_t at = csv.find("\r\n") + 2;
  while (at < csv.size()) {
    std::size_t position = at;
    double x = ReadNumber(csv, position);
    ++position;  // the comma
    double y = ReadNumber(csv, position);
    points.emplace_back(x, y);
    at = csv.find("\r\n", at);
    if (at == std::string::npos) break;
    at += 2;
  }
  return points;
}

class NistProblem : public ::testing::TestWithParam<std::size_t> {};

TEST_P(NistProblem, FitsFromBothStartsLandOnTheCertifiedValues) {
  const Problem& problem = Problems()[GetParam()];
  if (problem.slow && test::kSanitizedBuild) {
    GTEST_SKIP() << problem.name << " runs in the optimised build only";
  }
  std::string csv = test::Fixture(std::string("nist/") + problem.name + ".csv");
  std::vector<std::pair<double, double>> points = Observations(csv);
  for (int start : {1, 2}) {
    SCOPED_TRACE(std::string(problem.name) + " from start " + std::to_string(start));
    test::TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("d.csv"), csv));
    ASSERT_TRUE(WriteWholeFile(dir.File("c.ccn"), test::NistConditionFile(problem, start)));
    test::CapturedOutput output;
    int exit_code = test::RunBatchIn(dir.path(),
                                     {"--data", "d.csv", "--x", "1", "--y", "2", "--start", "2",
                                      "--to-last-row", "--conditions", "c.ccn"},
                                     output);
    ASSERT_EQ(exit_code, 0) << output.ErrText();
    std::vector<std::string> lines = output.out();
    ASSERT_EQ(lines.size(), 11u);

    std::vector<double> fitted;
    for (std::size_t i = 0; i < problem.constants.size(); ++i) {
      std::size_t position = 4;  // after "kN, "
      fitted.push_back(ReadNumber(lines[i], position));
      const Constant& c = problem.constants[i];
      EXPECT_LE(std::fabs(fitted[i] - c.certified), problem.tolerance_sd * c.certified_sd)
          << "k" << i << " = " << lines[i] << ", certified " << c.certified << " (sd "
          << c.certified_sd << ")";
    }
    double rss = 0.0;
    for (const auto& [x, y] : points) {
      double residual = y - problem.model(fitted, x);
      rss += residual * residual;
    }
    EXPECT_LE(rss, problem.certified_rss * (1 + 1e-3));
    EXPECT_GE(rss, problem.certified_rss * (1 - 1e-6)) << "below the certified minimum";
  }
}

INSTANTIATE_TEST_SUITE_P(Certified, NistProblem, ::testing::Range<std::size_t>(0, 5),
                         [](const ::testing::TestParamInfo<std::size_t>& param_info) {
                           return std::string(Problems()[param_info.param].name);
                         });

}  // namespace
}  // namespace calvane
