#include "core/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace ormid {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Length of the number that starts at text[pos]: optional sign, digits with at
// most one point (at least one digit), and an exponent when one is complete.
// Returns 0 when no number starts there.
size_t NumberLength(std::string_view text, size_t pos) {
  size_t i = pos;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    size_t expDigits = 0;
    while (j < text.size() && IsDigit(text[j])) ++j, ++expDigits;
    if (expDigits > 0) i = j;
  }
  return i - pos;
}

// The common number of a data file, at most 15 or so digits and a small
// exponent, converted without from_chars: digits that fit 2^53 times or
// divided by a power of ten up to 10^22 are both exact doubles, so the one
// rounding of the product or quotient is the correctly rounded value, the
// same one from_chars gives. False when the text is not of that kind.
bool FastConvert(std::string_view number, double& value) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  std::uint64_t digits = 0;
  int significant = 0, exponent = 0;
  std::size_t i = 0;
  bool point = false;
  for (; i < number.size(); ++i) {
    const char c = number[i];
    if (c == '.') {
      point = true;
      continue;
    }
    if (!IsDigit(c)) break;
    if (digits != 0 || c != '0') ++significant;
    if (significant > 15) return false;
    digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
    if (point) --exponent;
  }
  if (i < number.size()) {  // the exponent, complete by NumberLength
    ++i;
    bool negative = false;
    if (number[i] == '+' || number[i] == '-') negative = number[i++] == '-';
    int e = 0;
    for (; i < number.size(); ++i) {
      e = e * 10 + (number[i] - '0');
      if (e > 1000) return false;
    }
    exponent += negative ? -e : e;
  }
  if (digits == 0) {
    value = 0;
    return true;
  }
  if (exponent < -22 || exponent > 22) return false;
  const double d = static_cast<double>(digits);
  value = exponent < 0 ? d / kPowers[-exponent] : d * kPowers[exponent];
  return true;
}

// Converts a text that NumberLength accepted in full. Overflow gives an
// infinity of the number's sign, underflow gives zero.
double ConvertNumber(std::string_view number) {
  bool negative = false;
  if (!number.empty() && (number.front() == '+' || number.front() == '-')) {
    negative = number.front() == '-';
    number.remove_prefix(1);
  }
  double value = 0;
  if (FastConvert(number, value)) return negative ? -value : value;
  auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone; tell overflow from underflow by the
    // size of the decimal exponent the digits stand for.
    size_t e = number.find_first_of("Ee");
    long long exponent = 0;
    if (e != std::string_view::npos) {
      std::string_view ex = number.substr(e + 1);
      bool expNegative = !ex.empty() && ex.front() == '-';
      if (!ex.empty() && (ex.front() == '+' || ex.front() == '-')) ex.remove_prefix(1);
      for (char c : ex) {
        exponent = exponent * 10 + (c - '0');
        if (exponent > 100000) break;
      }
      if (expNegative) exponent = -exponent;
    }
    value = exponent < 0 ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return negative ? -value : value;
}

}  // namespace

bool IsValidNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  size_t n = NumberLength(text, i);
  if (n == 0) return false;
  // Only blanks may follow; an incomplete exponent ("1e") is left over here.
  i += n;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return i == text.size();
}

double LeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  size_t n = NumberLength(text, i);
  if (n == 0) return 0.0;
  return ConvertNumber(text.substr(i, n));
}

std::optional<double> ParseNumberItem(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i == text.size()) return 0.0;
  const size_t n = NumberLength(text, i);
  if (n == 0) return std::nullopt;
  for (size_t j = i + n; j < text.size(); ++j)
    if (!IsBlank(text[j])) return std::nullopt;
  return ConvertNumber(text.substr(i, n));
}

std::optional<short> RoundToInt16(double value) {
  if (std::isnan(value)) return std::nullopt;
  double whole = std::floor(value);
  double rest = value - whole;
  if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  if (whole < -32768.0 || whole > 32767.0) return std::nullopt;
  return static_cast<short>(whole);
}

}  // namespace ormid
