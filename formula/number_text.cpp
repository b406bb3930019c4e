#include "formula/number_text.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace calvane {
namespace {

constexpr int kDigits = 15;
// Bounds of the normalised value: the doubles nearest to these decimal literals.
constexpr double kLowerNormal = 0.999999999999999;
constexpr double kUpperNormal = 9.99999999999999;
constexpr double kRangeLimit = 1e302;

// Beyond this the power of ten is an infinity (or zero) anyway; saturating keeps the decimals
// count and the exponent accumulator from overflowing on absurdly long input.
constexpr std::int64_t kAccumulatorCap = 1000000;

struct DigitRecord {
  int digit[kDigits];
  std::int32_t decpt;
  bool negative;
};

DigitRecord MakeDigits(double value) {
  DigitRecord r{};
  if (value == 0.0 || std::isnan(value)) {
    r.decpt = 0;
    r.negative = false;
    return r;
  }
  if (value < 0.0) {
    r.negative = true;
    value = -value;
  }
  r.decpt = 1;
  while (value < kLowerNormal) {
    value *= 10.0;
    --r.decpt;
  }
  while (value >= kUpperNormal) {
    value /= 10.0;
    ++r.decpt;
  }
  for (int i = 0; i < kDigits; ++i) {
    double d = std::floor(value);
    // The normalised value keeps every digit within 0..9; the clamp only guards the conversion.
    if (d < 0.0) d = 0.0;
    if (d > 9.0) d = 9.0;
    r.digit[i] = static_cast<int>(d);
    value = (value - d) * 10.0;
  }
  if (value >= 5.0) {
    int i = kDigits - 1;
    for (; i >= 0; --i) {
      if (r.digit[i] == 9) {
        r.digit[i] = 0;
      } else {
        ++r.digit[i];
        break;
      }
    }
    if (i < 0) {
      // A carry out of the first digit: the value rounded up to the next power of ten.
      r.digit[0] = 1;
      ++r.decpt;
    }
  }
  return r;
}

// Appends the exponent as "+%03d" (when `plus`) or "%03d" would write it.
void AppendExponent(std::string& out, std::int32_t value, bool plus) {
  std::int64_t v = value;
  bool negative = v < 0;
  if (negative) v = -v;
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v > 0);
  // "+%03d": a literal plus, then three digits at least; "%03d": the width includes the sign.
  if (negative) {
    out.push_back('-');
  } else if (plus) {
    out.push_back('+');
  }
  for (int pad = n + (negative ? 1 : 0); pad < 3; ++pad) out.push_back('0');
  while (n > 0) out.push_back(digits[--n]);
}

bool IsFieldEnd(char c) {
  return c == '\t' || c == ',' || c == ';' || c == '\r' || c == ' ' || c == '\0';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string FormatNumber(double value) {
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  const DigitRecord r = MakeDigits(value);
  std::string out;
  out.reserve(24);
  if (r.negative) out.push_back('-');
  if (r.decpt > 15 || r.decpt < -3) {
    out.push_back(static_cast<char>('0' + r.digit[0]));
    out.push_back('.');
    for (int i = 1; i < kDigits; ++i) out.push_back(static_cast<char>('0' + r.digit[i]));
    out.push_back('e');
    AppendExponent(out, r.decpt - 1, r.decpt > 15);
    return out;
  }
  if (r.decpt >= 1) {
    for (int i = 0; i < r.decpt; ++i) out.push_back(static_cast<char>('0' + r.digit[i]));
    out.push_back('.');
    for (int i = r.decpt; i < kDigits; ++i) out.push_back(static_cast<char>('0' + r.digit[i]));
  } else {
    out.push_back('0');
    out.push_back('.');
    for (int i = 0; i < -r.decpt; ++i) out.push_back('0');
    for (int i = 0; i < kDigits; ++i) out.push_back(static_cast<char>('0' + r.digit[i]));
  }
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  return out;
}

std::size_t FormatNumberInto(double value, char* buffer, std::size_t size) {
  const std::string text = FormatNumber(value);
  if (size > 0) {
    const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
  }
  return text.size();
}

double ParseNumber(const char* text, std::size_t& position, ParseStatus& status) {
  status = ParseStatus::ParseOk;
  double mantissa = 0.0;
  double sign = 1.0;
  bool point_seen = false;
  std::int64_t decimals = 0;
  std::int64_t exponent = 0;
  std::int64_t exponent_sign = 1;

  std::size_t p = position;
  while (text[p] == ' ') ++p;
  position = p;
  switch (text[p]) {
    case '\0':
      status = ParseStatus::ParseEndOfText;
      return 0.0;
    case '\r':
      status = ParseStatus::ParseEndOfLine;
      return 0.0;
    case '\t':
    case ',':
    case ';':
      status = ParseStatus::ParseEmptyField;
      return 0.0;
    default:
      break;
  }
  if (text[p] == '+' || text[p] == '-') {
    if (text[p + 1] != '.' && !IsDigit(text[p + 1])) {
      status = ParseStatus::ParseInvalid;
      position = p;
      return 0.0;
    }
    if (text[p] == '-') sign = -1.0;
    ++p;
  }
  if (text[p] != '.' && !IsDigit(text[p])) {
    status = ParseStatus::ParseInvalid;
    position = p;
    return 0.0;
  }
  for (;;) {
    const char c = text[p];
    if (IsDigit(c)) {
      mantissa = (mantissa * 10.0 + static_cast<double>(static_cast<unsigned char>(c))) - 48.0;
      if (point_seen && decimals < kAccumulatorCap) ++decimals;
      ++p;
    } else if (c == '.') {
      if (point_seen || !IsDigit(text[p + 1])) {
        status = ParseStatus::ParseInvalid;
        position = p;
        return 0.0;
      }
      point_seen = true;
      ++p;
    } else if (c == 'E' || c == 'e') {
      ++p;
      if (text[p] == '+') {
        ++p;
      } else if (text[p] == '-') {
        exponent_sign = -1;
        ++p;
      }
      if (!IsDigit(text[p])) {
        status = ParseStatus::ParseInvalid;
        position = p;
        return 0.0;
      }
      while (IsDigit(text[p])) {
        if (exponent < kAccumulatorCap) exponent = exponent * 10 + (text[p] - '0');
        ++p;
      }
      if (!IsFieldEnd(text[p])) {
        status = ParseStatus::ParseInvalid;
        position = p;
        return 0.0;
      }
      const std::int64_t power = exponent_sign * exponent;
      const double scaled = mantissa * IntegerPower(10.0, power);
      if (!std::isfinite(scaled) && std::isfinite(mantissa)) {
        // The digits times the power overflow although the number itself may lie in range:
        // fifteen digits with an exponent above about 293, as FormatNumber writes values near
        // 1e300. Scale once by the power less the decimals instead; a zero stays zero.
        mantissa = mantissa == 0.0 ? 0.0 : mantissa * IntegerPower(10.0, power - decimals);
        decimals = 0;
      } else {
        mantissa = scaled;
      }
      break;
    } else if (IsFieldEnd(c)) {
      break;
    } else {
      status = ParseStatus::ParseInvalid;
      position = p;
      return 0.0;
    }
  }
  while (text[p] == ' ') ++p;
  position = p;
  const double result = (mantissa * sign) / IntegerPower(10.0, decimals);
  if (result < -kRangeLimit || result > kRangeLimit || std::isnan(result))
    status = ParseStatus::ParseOutOfRange;
  return result;
}

}  // namespace calvane
