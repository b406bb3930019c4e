#include "formula/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace calvane {
namespace {

struct FormatCase {
  double value;
  const char* text;
};

TEST(FormatNumber, WritesTheExactTextOfTellingValues) {
  const FormatCase cases[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {std::numeric_limits<double>::quiet_NaN(), "0"},
      {1.0, "1"},
      {-1.5, "-1.5"},
      {0.1, "0.1"},
      {1.0 / 3.0, "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667"},
      {123.456, "123.456"},
      {0.0001, "0.0001"},
      {0.00001, "1.00000000000000e-05"},
      {1.5e-7, "1.50000000000000e-07"},
      {1e-100, "1.00000000000000e-100"},
      {123456789012345.0, "123456789012345"},
      {999999999999999.0, "1.00000000000000e+015"},
      {1e15, "1.00000000000000e+015"},
      {1e16, "1.00000000000000e+016"},
      {0.999999999999999, "1"},
      {9.99999999999999, "10"},
      {99.9999999999999, "100"},
      {std::numeric_limits<double>::max(), "1.79769313486232e+308"},
      // Further layout points: whole numbers, negative exponents, the fixed-form boundaries.
      {100.0, "100"},
      {-250.0, "-250"},
      {0.5, "0.5"},
      {0.00012, "0.00012"},
      {-0.00001, "-1.00000000000000e-05"},
      {100000000000000.0, "100000000000000"},
      {2e300, "2.00000000000000e+300"},
      {5e-324, "4.94065645841247e-324"},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(FormatNumber(c.value), c.text) << "value " << c.value;
  }
}

TEST(FormatNumber, ReturnsForInfinities) {
  EXPECT_EQ(FormatNumber(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(FormatNumber(-std::numeric_limits<double>::infinity()), "-inf");
}

TEST(FormatNumber, CopiesIntoACallersBufferWithinItsSize) {
  char buffer[24];
  EXPECT_EQ(FormatNumberInto(-1.5e-7, buffer, sizeof buffer), 21u);
  EXPECT_STREQ(buffer, "-1.50000000000000e-07");
  char small[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(FormatNumberInto(123.456, small, sizeof small), 7u);
  EXPECT_STREQ(small, "123.");
}

TEST(FormatNumber, WritesWholeNumbersBelow1e15AsPlainDecimals) {
  std::mt19937_64 rng(20261207);
  std::uniform_int_distribution<std::int64_t> dist(-999999999999999, 999999999999999);
  for (int i = 0; i < 2000; ++i) {
    std::int64_t n = dist(rng) >> (i % 50);
    if (n > -100000000000000 && n < 100000000000000) {
      EXPECT_EQ(FormatNumber(static_cast<double>(n)), std::to_string(n));
    }
  }
}

struct ParseCase {
  const char* text;
  std::size_t start;
  ParseStatus status;
  double value;          // checked for ParseStatus::ParseOk and ParseStatus::ParseOutOfRange
  std::size_t position;  // position after the call
};

TEST(ParseNumber, ReadsNumbersAndReportsStatuses) {
  const ParseCase cases[] = {
      {"  12.5,3", 0, ParseStatus::ParseOk, 12.5, 6},
      {"-.5", 0, ParseStatus::ParseOk, -0.5, 3},
      {"+7", 0, ParseStatus::ParseOk, 7.0, 2},
      {"-", 0, ParseStatus::ParseInvalid, 0, 0},
      {"+a", 0, ParseStatus::ParseInvalid, 0, 0},
      {" -x", 0, ParseStatus::ParseInvalid, 0, 1},
      {".", 0, ParseStatus::ParseInvalid, 0, 0},
      {"5.", 0, ParseStatus::ParseInvalid, 0, 1},
      {"1.2.3", 0, ParseStatus::ParseInvalid, 0, 3},
      {"1E", 0, ParseStatus::ParseInvalid, 0, 2},
      {"1e+", 0, ParseStatus::ParseInvalid, 0, 3},
      {"1e-,", 0, ParseStatus::ParseInvalid, 0, 3},
      {"1.E3", 0, ParseStatus::ParseInvalid, 0, 1},
      {"12a", 0, ParseStatus::ParseInvalid, 0, 2},
      {"1e5x", 0, ParseStatus::ParseInvalid, 0, 3},
      {"", 0, ParseStatus::ParseEndOfText, 0, 0},
      {"   ", 0, ParseStatus::ParseEndOfText, 0, 3},
      {"  \r\n", 0, ParseStatus::ParseEndOfLine, 0, 2},
      {" ,", 0, ParseStatus::ParseEmptyField, 0, 1},
      {"\t", 0, ParseStatus::ParseEmptyField, 0, 0},
      {";", 0, ParseStatus::ParseEmptyField, 0, 0},
      {"2e302", 0, ParseStatus::ParseOutOfRange, 2.0 * IntegerPower(10.0, 302), 5},
      {"-2e302", 0, ParseStatus::ParseOutOfRange, -2.0 * IntegerPower(10.0, 302), 6},
      {"1e301", 0, ParseStatus::ParseOk, IntegerPower(10.0, 301), 5},
      {"1e-400", 0, ParseStatus::ParseOk, 0.0, 6},
      {"12  x", 0, ParseStatus::ParseOk, 12.0, 4},
      {"12\n", 0, ParseStatus::ParseInvalid, 0, 2},
      {"\n", 0, ParseStatus::ParseInvalid, 0, 0},
      {"1e3;", 0, ParseStatus::ParseOk, 1000.0, 3},
      {"2.5E+2\r", 0, ParseStatus::ParseOk, 250.0, 6},
      {"a,4.25 ,", 2, ParseStatus::ParseOk, 4.25, 7},
      // Exponents beyond the double range do not overflow the accumulator.
      {"1e99999999999999999999999", 0, ParseStatus::ParseOutOfRange, HUGE_VAL, 25},
      {"1e-99999999999999999999999", 0, ParseStatus::ParseOk, 0.0, 26},
  };
  for (const ParseCase& c : cases) {
    std::size_t position = c.start;
    ParseStatus status = static_cast<ParseStatus>(255);
    double value = ParseNumber(c.text, position, status);
    EXPECT_EQ(status, c.status) << '"' << c.text << '"';
    EXPECT_EQ(position, c.position) << '"' << c.text << '"';
    if (c.status == ParseStatus::ParseOk || c.status == ParseStatus::ParseOutOfRange) {
      EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
  }
}

TEST(ParseNumber, AccumulatesTheDigitsAsOneIntegerAndDividesByAPowerOfTen) {
  // 0.1 is read as 1 / 10 and 1.23 as 123 / 100: equal to the nearest doubles here, while a
  // long fraction shows the division (the nearest double of the decimal literal may differ).
  std::size_t position = 0;
  ParseStatus status = ParseStatus::ParseOk;
  const char* text = "0.30000000000000004441";
  double value = ParseNumber(text, position, status);
  EXPECT_EQ(status, ParseStatus::ParseOk);
  EXPECT_EQ(value, 30000000000000004441.0 / IntegerPower(10.0, 20));
}

TEST(ParseNumber, ManyDecimalsGiveZeroOrOutOfRangeWithoutOverflow) {
  std::string many_decimals = "0." + std::string(40000, '0') + "1";
  std::size_t position = 0;
  ParseStatus status = ParseStatus::ParseOk;
  EXPECT_EQ(ParseNumber(many_decimals.c_str(), position, status), 0.0);
  EXPECT_EQ(status, ParseStatus::ParseOk);
  EXPECT_EQ(position, many_decimals.size());

  std::string huge_mantissa(400, '9');
  position = 0;
  ParseNumber(huge_mantissa.c_str(), position, status);
  EXPECT_EQ(status, ParseStatus::ParseOutOfRange);
}

TEST(IntegerPower, MultipliesRunningSquaresFromTheLowestBit) {
  EXPECT_EQ(IntegerPower(2.0, 0), 1.0);
  EXPECT_EQ(IntegerPower(0.0, 0), 1.0);
  EXPECT_EQ(IntegerPower(-2.0, 3), -8.0);
  EXPECT_EQ(IntegerPower(2.0, -2), 0.25);
  EXPECT_TRUE(std::isinf(IntegerPower(0.0, -1)));
  EXPECT_EQ(IntegerPower(10.0, 5), 100000.0);
  const double a = 1.1;
  // 13 = 0b1101: a * a^4 * a^8 with the squares computed as a^2 = a*a, a^4 = a^2*a^2, ...
  const double a2 = a * a;
  const double a4 = a2 * a2;
  const double a8 = a4 * a4;
  EXPECT_EQ(IntegerPower(a, 13), ((1.0 * a) * a4) * a8);
  EXPECT_EQ(IntegerPower(a, -13), 1.0 / (((1.0 * a) * a4) * a8));
  EXPECT_EQ(IntegerPower(1.0, std::numeric_limits<std::int64_t>::min()), 1.0);
}

// Fifteen digits times a power of ten near 1e300 overflow before the division by the decimals;
// such a number still lies within 1e302 and reads as itself (found by the number-text fuzzer).
TEST(ParseNumber, ReadsFifteenDigitsWithAnExponentNear300) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"5.73349053895691e+299", 573349053895691.0 * IntegerPower(10.0, 285)},
      {"-3.34843853572036e+299", -334843853572036.0 * IntegerPower(10.0, 285)},
      {"1.00000000000000e+301", 100000000000000.0 * IntegerPower(10.0, 287)},
      {"0.000000000000000000001e310", IntegerPower(10.0, 289)},
      {"0e400", 0.0},
  };
  for (const auto& c : cases) {
    std::size_t position = 0;
    ParseStatus status = static_cast<ParseStatus>(255);
    const double value = ParseNumber(c.text, position, status);
    EXPECT_EQ(status, ParseStatus::ParseOk) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  for (double value : {1e295, -4.5e299, 9.9e301}) {
    const std::string text = FormatNumber(value);
    std::size_t position = 0;
    ParseStatus status = static_cast<ParseStatus>(255);
    const double parsed = ParseNumber(text.c_str(), position, status);
    EXPECT_EQ(status, ParseStatus::ParseOk) << text;
    EXPECT_LE(std::fabs(parsed - value), std::fabs(value) * 1e-14) << text;
  }
}

// FormatNumber keeps 15 significant digits, so parsing its text gives back a value within a
// relative 1e-14 of the original; for moderate magnitudes formatting that again gives the same
// text (far out, the repeated scaling by ten of both directions may move the last digit).
TEST(NumberText, FormattedTextParsesBackToTheSameText) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-299, 300);
  for (int i = 0; i < 5000; ++i) {
    const int e = (i % 2 == 0) ? exponent(rng) : exponent(rng) / 30;
    const double value = mantissa(rng) * std::pow(10.0, e);
    const std::string text = FormatNumber(value);
    std::size_t position = 0;
    ParseStatus status = static_cast<ParseStatus>(255);
    const double parsed = ParseNumber(text.c_str(), position, status);
    ASSERT_EQ(status, ParseStatus::ParseOk) << text;
    ASSERT_EQ(position, text.size()) << text;
    ASSERT_LE(std::fabs(parsed - value), std::fabs(value) * 1e-14) << text;
    if (e >= -10 && e <= 10) {
      ASSERT_EQ(FormatNumber(parsed), text) << text;
    }
  }
}

}  // namespace
}  // namespace calvane
