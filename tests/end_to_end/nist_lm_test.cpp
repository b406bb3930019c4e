// All eleven NIST StRD nonlinear problems of data/nist fitted through calvane-batch's whole path
// with the search method "Lattice+LM" (the lattice search finished by the Levenberg-Marquardt
// phase), from both NIST starts, against the certified values: every constant must reach at
// least six correct significant digits (LRE = -log10(|fit - certified| / |certified|)).
//
// Conditions, one rule for every constant (bench/nist/nist_lre.py uses the same):
//  - bounds: the span from the smallest to the largest of the two starts and the certified
//    value, widened by that span on each side; a lower bound that would cross zero for a
//    positive constant is a tenth of the smallest value instead (and alike for an upper bound of
//    a negative one), so no constant changes sign. Written with ten significant digits.
//  - accuracy: one significant digit of certified_sd / 10^4 (as in nist_test.cpp).
//  - rough estimation on, angle unit Radian, data interval 1.
//
// Two cases are run otherwise, and say why:
//  - MGH09 from start 1: the lattice search, which does not hold the constants within their
//    bounds, walks off towards k1, k2, k3 -> infinity (where the model tends to a limit of
//    lower sum) and never ends, so the finish never starts. "LM only", whose points stay within
//    the bounds, is run there instead.
//  - Lanczos3 from start 1 is left out: the lattice search ends in another valley (k2 < 0 with
//    the second and third terms nearly cancelling, sum 4.7e-6 against the certified 1.6e-8),
//    which is a local minimum the finish can only polish. Which valley it reaches depends on
//    the last digits of the bounds (with the bounds written in full it reached the certified
//    minimum with its terms exchanged).
// Lanczos3's model is the same with the terms (k2, k3) and (k4, k5) exchanged; they are matched
// by their rates before the comparison.
//
// Slow cases (the lattice search crawling for seconds before the finish) run in the optimised
// build only.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "base/cp932.h"
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
};

struct Problem {
  const char* name;
  const char* formula;
  double certified_rss;
  std::vector<Constant> constants;
};

const std::vector<Problem>& Problems() {
  static const std::vector<Problem> problems = {
      {"Misra1a",
       "k0*(1-Exp(-k1*x))",
       0.12455138894,
       {
           {"500", "250", "23.89421292", "761.0578708", "3e-4", 238.94212918},
           {"0.0001", "0.0005", "1e-05", "0.001000312864", "7e-10", 0.00055015643181},
       }},
      {"Chwirut2",
       "Exp(-k0*x)/(k1+k2*x)",
       513.04802941,
       {
           {"0.1", "0.15", "0.03342333463", "0.2331533307", "4e-6", 0.16657666537},
           {"0.01", "0.008", "0.0003306582572", "0.01483467087", "7e-8", 0.0051653291286},
           {"0.02", "0.01", "0.001", "0.03", "2e-7", 0.012150007096},
       }},
      {"Gauss1",
       "k0*Exp(-k1*x)+k2*Exp(-(x-k3)^2/k4^2)+k5*Exp(-(x-k6)^2/k7^2)",
       1315.8222432,
       {
           {"97.0", "94.0", "89.22178913", "103.5564217", "6e-5", 98.778210871},
           {"0.009", "0.0105", "0.0075", "0.012", "1e-8", 0.010497276517},
           {"100.0", "99.0", "97.51009367", "101.9798127", "6e-5", 100.48990633},
           {"65.0", "63.0", "58.51888872", "71.96222255", "1e-5", 67.481111276},
           {"20.0", "25.0", "15", "30", "2e-5", 23.12977336},
           {"70.0", "71.0", "68.005497", "73.98900601", "6e-5", 71.994503004},
           {"178.0", "180.0", "176", "182", "1e-5", 178.99805021},
           {"16.5", "20.0", "13", "23.5", "2e-5", 18.389389025},
       }},
      {"DanWood",
       "k0*x^k1",
       0.0043173084083,
       {
           {"1", "0.7", "0.4", "1.3", "2e-6", 0.76886226176},
           {"5", "4", "2.720811174", "6.139594413", "5e-6", 3.8604055871},
       }},
      {"Kirby2",
       "(k0+k1*x+k2*x^2)/(1+k3*x+k4*x^2)",
       3.9050739624,
       {
           {"2", "1.5", "1", "2.5", "9e-6", 1.6745063063},
           {"-0.1", "-0.15", "-0.2", "-0.05", "4e-7", -0.13927397867},
           {"0.003", "0.0025", "0.002", "0.0035", "4e-9", 0.0025961181191},
           {"-0.001", "-0.0015", "-0.002448362374", "-0.000275818813", "6e-9", -0.001724181187},
           {"1e-05", "2e-05", "1e-06", "3.332960516e-05", "2e-11", 2.1664802578e-05},
       }},
      {"Lanczos3",
       "k0*Exp(-k1*x)+k2*Exp(-k3*x)+k4*Exp(-k5*x)",
       1.6117193594e-08,
       {
           {"1.2", "0.5", "0.008681641498", "2.313183585", "2e-6", 0.086816414977},
           {"0.3", "0.7", "0.03", "1.60996203", "1e-5", 0.95498101505},
           {"5.6", "3.6", "0.08440077746", "10.35599223", "4e-6", 0.84400777463},
           {"5.5", "4.2", "0.4031903664", "8.048404817", "1e-5", 2.9515951832},
           {"6.5", "4", "0.158256859", "11.41743141", "6e-6", 1.5825685901},
           {"7.6", "6.3", "2.372713017", "10.21364349", "3e-6", 4.9863565084},
       }},
      {"Hahn1",
       "(k0+k1*x+k2*x^2+k3*x^3)/(1+k4*x+k5*x^2+k6*x^3)",
       1.5324382854,
       {
           {"10", "1", "0.1", "19", "2e-5", 1.0776351733},
           {"-1", "-0.1", "-1.9", "-0.01", "1e-6", -0.12269296921},
           {"0.05", "0.005", "0.0004086375061", "0.09591362494", "2e-8", 0.004086375061},
           {"-1e-05", "-1e-06", "-1.9e-05", "-1e-07", "3e-11", -1.4262662514e-06},
           {"-0.05", "-0.005", "-0.095", "-0.0005", "2e-8", -0.0057609940901},
           {"0.001", "0.0001", "1e-05", "0.0019", "1e-9", 0.00024053735503},
           {"-1e-06", "-1e-07", "-1.9e-06", "-1e-08", "1e-12", -1.2314450199e-07},
       }},
      {"Thurber",
       "(k0+k1*x+k2*x^2+k3*x^3)/(1+k4*x+k5*x^2+k6*x^3)",
       5642.7082397,
       {
           {"1000", "1300", "700", "1600", "5e-4", 1288.13968},
           {"1000", "1500", "500", "2000", "4e-3", 1491.0792535},
           {"400", "500", "216.7616312", "766.4767375", "3e-3", 583.23836877},
           {"40", "75", "4.583355709", "110.8332886", "6e-4", 75.416644291},
           {"0.7", "1", "0.4", "1.3", "3e-6", 0.96629502864},
           {"0.3", "0.4", "0.2", "0.5", "1e-6", 0.39797285797},
           {"0.03", "0.05", "0.01", "0.07", "7e-7", 0.049727297349},
       }},
      {"MGH09",
       "k0*(x^2+x*k1)/(x^2+x*k2+k3)",
       0.00030750560385,
       {
           {"25", "0.25", "0.01928069346", "49.80719307", "1e-6", 0.19280693458},
           {"39", "0.39", "0.01912823287", "77.80871767", "2e-5", 0.19128232873},
           {"41.5", "0.415", "0.01230565069", "82.87694349", "8e-6", 0.12305650693},
           {"39", "0.39", "0.01360623307", "77.86393767", "9e-6", 0.13606233068},
       }},
      {"Eckerle4",
       "(k0/k1)*Exp(-0.5*((x-k2)/k1)^2)",
       0.0014635887487,
       {
           {"1", "1.5", "0.4456172822", "2.108765436", "2e-6", 1.5543827178},
           {"10", "5", "0.4088832175", "15.91116782", "5e-6", 4.0888321754},
           {"500", "450", "400", "550", "5e-6", 451.54121844},
       }},
      {"Rat43",
       "k0/((1+Exp(k1-k2*x))^(1/k3))",
       8786.404908,
       {
           {"100", "700", "10", "1300", "2e-3", 699.6415127},
           {"10", "5", "0.5", "15", "2e-4", 5.2771253025},
           {"1", "0.75", "0.5", "1.25", "2e-5", 0.75962938329},
           {"1", "1.3", "0.7", "1.6", "7e-5", 1.2792483859},
       }},
  };
  return problems;
}

struct Case {
  std::size_t problem;
  int start;
  const char* method = "Lattice+LM";
  bool slow = false;  // over a second in the optimised build
};

// Names a case in test listings (instead of its bytes).
void PrintTo(const Case& c, std::ostream* os) {
  *os << Problems()[c.problem].name << " from start " << c.start << " (" << c.method << ")";
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  for (std::size_t p = 0; p < Problems().size(); ++p) {
    const std::string name = Problems()[p].name;
    for (int start : {1, 2}) {
      Case c{p, start};
      if (name == "Lanczos3" && start == 1) continue;
      if (name == "MGH09" && start == 1) c.method = "LM";
      c.slow = (name == "Hahn1") || (name == "Rat43" && start == 1);
      cases.push_back(c);
    }
  }
  return cases;
}

double Lre(double value, double certified) {
  if (value == certified) return 15.0;
  return -std::log10(std::fabs(value - certified) / std::fabs(certified));
}

class NistLm : public ::testing::TestWithParam<Case> {};

TEST_P(NistLm, EveryConstantReachesSixCorrectDigits) {
  const Case& c = GetParam();
  const Problem& problem = Problems()[c.problem];
  if (c.slow && test::kSanitizedBuild)
    GTEST_SKIP() << problem.name << " runs in the optimised build only";
  test::TempDir dir;
  ASSERT_TRUE(WriteWholeFile(dir.File("d.csv"),
                             test::Fixture(std::string("nist/") + problem.name + ".csv")));
  ASSERT_TRUE(
      WriteWholeFile(dir.File("c.ccn"), test::NistConditionFile(problem, c.start, c.method)));
  test::CapturedOutput output;
  const int exit_code = test::RunBatchIn(dir.path(),
                                         {"--data", "d.csv", "--x", "1", "--y", "2", "--start", "2",
                                          "--to-last-row", "--conditions", "c.ccn"},
                                         output);
  ASSERT_EQ(exit_code, 0) << output.ErrText();
  const std::vector<std::string> lines = output.out();
  ASSERT_EQ(lines.size(), 11u);
  std::vector<double> fitted;
  for (std::size_t i = 0; i < problem.constants.size(); ++i) {
    std::size_t position = 4;  // after "kN, "
    ParseStatus status = ParseStatus::ParseOk;
    fitted.push_back(ParseNumber(lines[i].c_str(), position, status));
    ASSERT_EQ(status, ParseStatus::ParseOk) << lines[i];
  }
  if (std::string(problem.name) == "Lanczos3" && fitted[3] > fitted[5]) {
    std::swap(fitted[2], fitted[4]);
    std::swap(fitted[3], fitted[5]);
  }
  for (std::size_t i = 0; i < fitted.size(); ++i) {
    EXPECT_GE(Lre(fitted[i], problem.constants[i].certified), 6.0)
        << "k" << i << " = " << FormatNumber(fitted[i]) << ", certified "
        << FormatNumber(problem.constants[i].certified);
  }
  // The method the run used is the one the file names, in the conditions the report carries,
  // and the run log has the LM phase.
  const std::string ini = ReadWholeFile(dir.File("FittingCondition.ini")).value_or("");
  EXPECT_NE(ini.find(std::string("[Search Method]\r\n") + c.method + '\0'), std::string::npos);
  const std::string log = ReadWholeFile(dir.File("Calculation.ini")).value_or("");
  EXPECT_NE(log.find(Utf8ToCp932("LM法フェーズ----------").value_or("?")), std::string::npos);
}

TEST(NistLmReport, TheReportEndsWithTheConditionsNamingTheMethod) {
  const Problem& problem = Problems()[3];  // DanWood
  test::TempDir dir;
  ASSERT_TRUE(WriteWholeFile(dir.File("d.csv"), test::Fixture("nist/DanWood.csv")));
  ASSERT_TRUE(WriteWholeFile(dir.File("c.ccn"), test::NistConditionFile(problem, 2, "LM")));
  test::CapturedOutput output;
  ASSERT_EQ(test::RunBatchIn(dir.path(),
                             {"--data", "d.csv", "--x", "1", "--y", "2", "--start", "2",
                              "--to-last-row", "--conditions", "c.ccn", "--report", "r.frs"},
                             output),
            0)
      << output.ErrText();
  const std::string report = ReadWholeFile(dir.File("r.frs")).value_or("");
  const std::string tail = "[Valid Data Interval]\r\n1\r\n[Search Method]\r\nLM";
  ASSERT_GE(report.size(), tail.size() + 1);
  EXPECT_EQ(report.substr(report.size() - tail.size() - 1), tail + '\0');
}

INSTANTIATE_TEST_SUITE_P(Certified, NistLm, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& param_info) {
                           return std::string(Problems()[param_info.param.problem].name) +
                                  "_start" + std::to_string(param_info.param.start);
                         });

}  // namespace
}  // namespace calvane
