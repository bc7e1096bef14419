#include "core/numbers.h"

#include <charconv>
#include <cmath>
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

// Converts a text that NumberLength accepted in full. Overflow gives an
// infinity of the number's sign, underflow gives zero.
double ConvertNumber(std::string_view number) {
  bool negative = false;
  if (!number.empty() && (number.front() == '+' || number.front() == '-')) {
    negative = number.front() == '-';
    number.remove_prefix(1);
  }
  double value = 0;
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
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return 0.0;
  if (!IsValidNumber(text)) return std::nullopt;
  return LeadingNumber(text);
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
