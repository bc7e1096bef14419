#include "report/number_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace ormid {

namespace {

constexpr int kSingleDigits = 7;
constexpr int kDoubleDigits = 15;
// Largest decimal exponent the short number text still writes without the
// exponent form.
constexpr int kSingleFixedLimit = 6;
constexpr int kDoubleFixedLimit = 14;
constexpr int kSmallestFixedExponent = -4;

// A value as the platform's number conversion gives it: a fixed count of
// significant decimal digits and the decimal exponent of the first of them
// (value = 0.d1d2d3... * 10^(exponent + 1)). Zero has the digit "0" and
// exponent 0. Every rounding below works on these digits.
struct Decimal {
  bool negative = false;
  bool finite = true;
  bool nan = false;
  std::string digits;
  int exponent = 0;

  bool IsZero() const { return digits == "0"; }
};

Decimal ToDecimal(double value, int significant) {
  Decimal dec;
  if (!std::isfinite(value)) {
    dec.finite = false;
    dec.nan = std::isnan(value);
    dec.negative = !dec.nan && value < 0;
    dec.digits = "0";
    return dec;
  }
  dec.negative = value < 0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", significant - 1, std::fabs(value));
  // buf reads d.ddd...e+xx
  std::string text(buf);
  size_t e = text.find('e');
  for (size_t i = 0; i < e; ++i) {
    if (text[i] != '.') dec.digits += text[i];
  }
  dec.exponent = std::atoi(text.c_str() + e + 1);
  if (dec.digits.find_first_not_of('0') == std::string::npos) {
    dec.digits = "0";
    dec.exponent = 0;
    dec.negative = false;
  }
  return dec;
}

std::string NonFiniteText(const Decimal& dec) {
  if (dec.nan) return "NaN";
  return dec.negative ? "-Inf" : "Inf";
}

// Adds one unit in the last place of a digit string.
void Increment(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
}

// The digits of the magnitude times 10^places rounded to a whole number,
// halves away from zero; no leading zeros, "0" for zero.
std::string ScaledRounded(const Decimal& dec, int places) {
  if (dec.IsZero()) return "0";
  const int count = static_cast<int>(dec.digits.size());
  const int keep = dec.exponent + places + 1;  // digits left of the rounding point
  if (keep >= count) return dec.digits + std::string(keep - count, '0');
  if (keep < 0) return "0";
  std::string kept = dec.digits.substr(0, keep);
  if (dec.digits[keep] >= '5') {
    Increment(kept);
  } else if (kept.empty()) {
    return "0";
  }
  return kept;
}

std::string GroupThousands(const std::string& digits) {
  std::string out;
  const size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string ExponentText(int exponent) {
  std::string text = exponent < 0 ? "-" : "+";
  std::string magnitude = std::to_string(std::abs(exponent));
  if (magnitude.size() < 2) magnitude.insert(0, 2 - magnitude.size(), '0');
  return text + magnitude;
}

bool IsScientificName(std::string_view pattern) {
  constexpr std::string_view kName = "scientific";
  if (pattern.size() != kName.size()) return false;
  for (size_t i = 0; i < kName.size(); ++i) {
    char c = pattern[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kName[i]) return false;
  }
  return true;
}

// One digit, point, two digits, then the exponent.
std::string ScientificText(const Decimal& dec) {
  if (dec.IsZero()) return "0.00E+00";
  std::string mantissa = dec.digits.substr(0, 3);
  mantissa.resize(3, '0');
  int exponent = dec.exponent;
  if (dec.digits.size() > 3 && dec.digits[3] >= '5') {
    Increment(mantissa);
    if (mantissa.size() > 3) {  // 9.995 became 10.00
      mantissa.resize(3);
      ++exponent;
    }
  }
  std::string text = dec.negative ? "-" : "";
  text += mantissa[0];
  text += '.';
  text += mantissa.substr(1);
  text += 'E';
  return text + ExponentText(exponent);
}

std::string DigitPatternText(const Decimal& dec, std::string_view pattern) {
  const size_t point = pattern.find('.');
  const bool hasPoint = point != std::string_view::npos;
  const std::string_view integerPart = pattern.substr(0, point);
  const bool grouped = integerPart.find(',') != std::string_view::npos;
  int places = 0;
  if (hasPoint) {
    for (char c : pattern.substr(point + 1)) {
      if (c == '#') ++places;
    }
  }

  std::string scaled = ScaledRounded(dec, places);
  if (static_cast<int>(scaled.size()) <= places) {
    scaled.insert(0, places + 1 - scaled.size(), '0');
  }
  std::string whole = scaled.substr(0, scaled.size() - places);
  std::string decimals = scaled.substr(scaled.size() - places);

  std::string text;
  if (whole != "0") text = grouped ? GroupThousands(whole) : whole;
  if (hasPoint) {
    size_t last = decimals.find_last_not_of('0');
    decimals.resize(last == std::string::npos ? 0 : last + 1);
    text += '.';
    text += decimals;
  }
  // A value that rounds to nothing carries no sign.
  const bool roundsToZero = scaled.find_first_not_of('0') == std::string::npos;
  if (dec.negative && !roundsToZero) text.insert(0, "-");
  return text;
}

std::string FormatDecimal(const Decimal& dec, std::string_view pattern) {
  if (!dec.finite) return NonFiniteText(dec);
  if (IsScientificName(pattern)) return ScientificText(dec);
  return DigitPatternText(dec, pattern);
}

// The magnitude's text of the short number form: all significant digits with
// trailing zeros dropped, no 0 before the point, exponent form outside
// 1E-04 .. 10^(fixedLimit + 1).
std::string ShortMagnitude(const Decimal& dec, int fixedLimit) {
  if (dec.IsZero()) return "0";
  std::string digits = dec.digits;
  digits.resize(digits.find_last_not_of('0') + 1);
  const int exponent = dec.exponent;

  if (exponent < kSmallestFixedExponent || exponent > fixedLimit) {
    std::string text(1, digits[0]);
    if (digits.size() > 1) text += "." + digits.substr(1);
    return text + "E" + ExponentText(exponent);
  }
  if (exponent < 0) return "." + std::string(-exponent - 1, '0') + digits;
  const size_t wholeCount = static_cast<size_t>(exponent) + 1;
  if (digits.size() <= wholeCount) return digits + std::string(wholeCount - digits.size(), '0');
  return digits.substr(0, wholeCount) + "." + digits.substr(wholeCount);
}

std::string ShortText(const Decimal& dec, int fixedLimit) {
  if (!dec.finite) return (dec.negative ? "" : " ") + NonFiniteText(dec);
  return (dec.negative ? "-" : " ") + ShortMagnitude(dec, fixedLimit);
}

}  // namespace

std::string FormatPattern(float value, std::string_view pattern) {
  return FormatDecimal(ToDecimal(value, kSingleDigits), pattern);
}

std::string FormatPattern(double value, std::string_view pattern) {
  return FormatDecimal(ToDecimal(value, kDoubleDigits), pattern);
}

void AlignNumber(std::string_view pattern, std::string& formatted, std::string& result) {
  // Positions are 1-based; 0 means "no point".
  const size_t patternPoint = pattern.find('.');
  const size_t p = patternPoint == std::string_view::npos ? 0 : patternPoint + 1;
  const size_t length = pattern.size();

  if (p > 0) {
    std::string column;
    if (p >= 2) {
      column = std::string(p - 2, ' ') + "0." + std::string(length - p, '0');
    } else {
      column = "." + std::string(length - 1, '0');
    }
    if (formatted == ".") formatted = ".0";
    const size_t textPoint = formatted.find('.');
    const size_t q = textPoint == std::string::npos ? 0 : textPoint + 1;
    if (p < q) {
      result = formatted;
      return;
    }
    // The text's point goes onto the column's point.
    const size_t start = p - q;
    for (size_t i = 0; i < formatted.size() && start + i < column.size(); ++i) {
      column[start + i] = formatted[i];
    }
    result = column;
    return;
  }

  if (formatted.empty()) formatted = "0";
  if (formatted.size() > length) {
    result = formatted;
    return;
  }
  result = std::string(length - formatted.size(), ' ') + formatted;
}

std::string AlignedCell(float value, std::string_view pattern) {
  std::string text = FormatPattern(value, pattern);
  std::string cell;
  AlignNumber(pattern, text, cell);
  return cell;
}

std::string AlignedScientific(float value) {
  std::string text = FormatPattern(value, "scientific");
  std::string cell;
  AlignNumber("###.######", text, cell);
  return cell;
}

std::string ShortNumberText(float value) {
  return ShortText(ToDecimal(value, kSingleDigits), kSingleFixedLimit);
}

std::string ShortNumberText(double value) {
  return ShortText(ToDecimal(value, kDoubleDigits), kDoubleFixedLimit);
}

std::string ShortNumberText(int value) {
  return (value < 0 ? "" : " ") + std::to_string(value);
}

std::string DefaultNumberText(float value) {
  const Decimal dec = ToDecimal(value, kSingleDigits);
  if (!dec.finite) return NonFiniteText(dec);
  std::string text = ShortMagnitude(dec, kSingleFixedLimit);
  if (text.front() == '.') text.insert(0, "0");
  return dec.negative ? "-" + text : text;
}

}  // namespace ormid
