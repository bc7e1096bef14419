#include "report/number_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>

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
  std::array<char, kDoubleDigits> digits{'0'};
  int count = 1;
  int exponent = 0;

  std::string_view Digits() const { return {digits.data(), static_cast<size_t>(count)}; }
  bool IsZero() const { return count == 1 && digits[0] == '0'; }
};

// 10^k for k = kMinScale .. kMaxScale, the nearest doubles: enough to scale
// every float to seven whole digits.
constexpr int kMinScale = -33;
constexpr int kMaxScale = 52;
constexpr double kPowersOfTen[] = {
    1e-33, 1e-32, 1e-31, 1e-30, 1e-29, 1e-28, 1e-27, 1e-26, 1e-25, 1e-24, 1e-23, 1e-22, 1e-21,
    1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9,  1e-8,
    1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,   1e3,   1e4,   1e5,
    1e6,   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18,
    1e19,  1e20,  1e21,  1e22,  1e23,  1e24,  1e25,  1e26,  1e27,  1e28,  1e29,  1e30,  1e31,
    1e32,  1e33,  1e34,  1e35,  1e36,  1e37,  1e38,  1e39,  1e40,  1e41,  1e42,  1e43,  1e44,
    1e45,  1e46,  1e47,  1e48,  1e49,  1e50,  1e51,  1e52};
static_assert(std::size(kPowersOfTen) == kMaxScale - kMinScale + 1);

// The seven significant digits of a positive float's exact value `v`, in
// double arithmetic, as a whole number of seven digits and the decimal
// exponent of its first digit. Scaling to seven whole digits errs by a few units in the
// 16th digit at most, so the rounding is certain unless the scaled value lies
// within 1E-06 of a half; then false is returned and the exact conversion
// decides. (Checked against it for every float.) FastSingleDigits gives the
// same digits as text.
bool FastSingleSignificand(double v, std::uint32_t& significand, int& exponent) {
  // v = m * 2^binary with m in [0.5, 1); floor(log10(v)) is floor(binary *
  // log10(2)) or one less. 78913 / 2^18 is log10(2) closely enough for every
  // binary exponent of a double.
  const int binary = static_cast<int>((std::bit_cast<std::uint64_t>(v) >> 52) & 0x7FF) - 1022;
  exponent = (binary * 78913) >> 18;
  for (int attempt = 0; attempt < 2; ++attempt, --exponent) {
    const int scale = kSingleDigits - 1 - exponent;
    if (scale < kMinScale || scale > kMaxScale) return false;
    const double scaled = v * kPowersOfTen[scale - kMinScale];
    if (scaled < 1e6) continue;
    auto n = static_cast<std::uint32_t>(scaled);  // below 2^24: the whole part
    const double fraction = scaled - n;
    if (std::fabs(fraction - 0.5) < 1e-6) return false;
    if (fraction > 0.5) ++n;
    if (n >= 10000000u) {  // 9999999.5 and above: 1.000000 of the next decade
      n /= 10;
      ++exponent;
    }
    significand = n;
    return true;
  }
  return false;
}

bool FastSingleDigits(double v, Decimal& dec) {
  std::uint32_t n = 0;
  int exponent = 0;
  if (!FastSingleSignificand(v, n, exponent)) return false;
  for (int i = kSingleDigits - 1; i >= 0; --i, n /= 10)
    dec.digits[static_cast<size_t>(i)] = static_cast<char>('0' + n % 10);
  dec.count = kSingleDigits;
  dec.exponent = exponent;
  return true;
}

Decimal ToDecimal(double value, int significant) {
  Decimal dec;
  if (!std::isfinite(value)) {
    dec.finite = false;
    dec.nan = std::isnan(value);
    dec.negative = !dec.nan && value < 0;
    return dec;
  }
  if (value == 0) return dec;
  dec.negative = value < 0;
  const double magnitude = std::fabs(value);
  if (significant == kSingleDigits && FastSingleDigits(magnitude, dec)) return dec;
  // The exact binary value rounded to `significant` digits, as printf's "%e"
  // rounds it: buf reads d.ddd...e+xx.
  char buf[64];
  const auto end = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific,
                                 significant - 1)
                       .ptr;
  const char* e = std::find(buf, end, 'e');
  dec.count = 0;
  for (const char* c = buf; c < e; ++c) {
    if (*c != '.') dec.digits[static_cast<size_t>(dec.count++)] = *c;
  }
  int exponent = 0;
  for (const char* c = e + 2; c < end; ++c) exponent = exponent * 10 + (*c - '0');
  dec.exponent = e[1] == '-' ? -exponent : exponent;
  return dec;
}

const char* NonFiniteText(const Decimal& dec) {
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
void ScaledRounded(const Decimal& dec, int places, std::string& out) {
  out.clear();
  const int count = dec.count;
  const int keep = dec.exponent + places + 1;  // digits left of the rounding point
  if (dec.IsZero() || keep < 0) {
    out += '0';
  } else if (keep >= count) {
    out.append(dec.Digits());
    out.append(static_cast<size_t>(keep - count), '0');
  } else {
    out.append(dec.Digits().substr(0, static_cast<size_t>(keep)));
    if (dec.digits[static_cast<size_t>(keep)] >= '5') {
      Increment(out);
    } else if (out.empty()) {
      out += '0';
    }
  }
}

void AppendGrouped(std::string& out, std::string_view digits) {
  const size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ',';
    out += digits[i];
  }
}

void AppendExponent(std::string& out, int exponent) {
  out += exponent < 0 ? '-' : '+';
  const int magnitude = std::abs(exponent);
  if (magnitude < 10) out += '0';
  char buf[16];
  out.append(buf, std::to_chars(buf, buf + sizeof buf, magnitude).ptr);
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
  std::string mantissa(dec.Digits().substr(0, 3));
  mantissa.resize(3, '0');
  int exponent = dec.exponent;
  if (dec.count > 3 && dec.digits[3] >= '5') {
    Increment(mantissa);
    if (mantissa.size() > 3) {  // 9.995 became 10.00
      mantissa.resize(3);
      ++exponent;
    }
  }
  std::string text;
  if (dec.negative) text += '-';
  text += mantissa[0];
  text += '.';
  text.append(mantissa, 1);
  text += 'E';
  AppendExponent(text, exponent);
  return text;
}

// 10^0 .. 10^19, every power of ten that fits 64 bits.
constexpr std::array<std::uint64_t, 20> kTenTo = [] {
  std::array<std::uint64_t, 20> powers{};
  powers[0] = 1;
  for (size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
  return powers;
}();

// ScaledRounded as a number, when it fits 64 bits (places at most 19).
std::optional<std::uint64_t> ScaledInteger(const Decimal& dec, int places) {
  std::uint64_t digits = 0;
  for (int i = 0; i < dec.count; ++i)
    digits = digits * 10 + static_cast<std::uint64_t>(dec.digits[static_cast<size_t>(i)] - '0');
  // The value is digits * 10^shift once scaled.
  const int shift = dec.exponent - (dec.count - 1) + places;
  if (shift >= 0) {
    const auto up = static_cast<size_t>(shift);
    if (up >= kTenTo.size() || digits > UINT64_MAX / kTenTo[up]) return std::nullopt;
    return digits * kTenTo[up];
  }
  const auto cut = static_cast<size_t>(-shift);  // digits dropped, the first of them rounds
  if (cut > static_cast<size_t>(dec.count)) return 0;
  return (digits + 5 * kTenTo[cut - 1]) / kTenTo[cut];
}

// DigitPatternText for a scaled value that fits 64 bits, written to out (at
// most 28 characters); returns its length.
std::size_t ScaledIntegerChars(bool negative, std::uint64_t scaled, int places, bool hasPoint,
                               bool grouped, char* out) {
  char* const begin = out;
  // A value that rounds to nothing carries no sign.
  if (negative && scaled != 0) *out++ = '-';
  const std::uint64_t unit = kTenTo[static_cast<size_t>(places)];
  const std::uint64_t whole = scaled / unit;
  if (whole != 0) {
    char digits[20];
    const char* end = std::to_chars(digits, digits + sizeof digits, whole).ptr;
    const auto n = static_cast<size_t>(end - digits);
    for (size_t i = 0; i < n; ++i) {
      if (grouped && i > 0 && (n - i) % 3 == 0) *out++ = ',';
      *out++ = digits[i];
    }
  }
  if (hasPoint) {
    *out++ = '.';
    std::uint64_t decimals = scaled % unit;
    int shown = places;
    while (shown > 0 && decimals % 10 == 0) {
      decimals /= 10;
      --shown;
    }
    for (int i = shown - 1; i >= 0; --i, decimals /= 10)
      out[i] = static_cast<char>('0' + decimals % 10);
    out += shown;
  }
  return static_cast<std::size_t>(out - begin);
}

std::string ScaledIntegerText(bool negative, std::uint64_t scaled, int places, bool hasPoint,
                              bool grouped) {
  char buf[64];
  return std::string(buf, ScaledIntegerChars(negative, scaled, places, hasPoint, grouped, buf));
}

std::string DigitPatternText(const Decimal& dec, std::string_view pattern) {
  // The point, thousands separators before it, and the decimal places: the
  // "#" after it.
  bool hasPoint = false;
  bool grouped = false;
  int places = 0;
  for (const char c : pattern) {
    if (hasPoint) {
      places += c == '#' ? 1 : 0;
    } else {
      hasPoint = c == '.';
      grouped = grouped || c == ',';
    }
  }

  if (places < static_cast<int>(kTenTo.size())) {
    if (const auto scaled = ScaledInteger(dec, places))
      return ScaledIntegerText(dec.negative, *scaled, places, hasPoint, grouped);
  }
  // Beyond 64 bits: on the digit text itself.
  std::string scaled;
  ScaledRounded(dec, places, scaled);
  if (static_cast<int>(scaled.size()) <= places) {
    scaled.insert(0, static_cast<size_t>(places) + 1 - scaled.size(), '0');
  }
  const std::string_view digits = scaled;
  const std::string_view whole = digits.substr(0, digits.size() - static_cast<size_t>(places));
  std::string_view decimals = digits.substr(whole.size());

  std::string text;
  // A value that rounds to nothing carries no sign.
  if (dec.negative && digits.find_first_not_of('0') != std::string_view::npos) text += '-';
  if (whole != "0") {
    if (grouped) {
      AppendGrouped(text, whole);
    } else {
      text.append(whole);
    }
  }
  if (hasPoint) {
    const size_t last = decimals.find_last_not_of('0');
    decimals = decimals.substr(0, last == std::string_view::npos ? 0 : last + 1);
    text += '.';
    text.append(decimals);
  }
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
  std::string_view digits = dec.Digits();
  digits = digits.substr(0, digits.find_last_not_of('0') + 1);
  const int exponent = dec.exponent;

  std::string text;
  if (exponent < kSmallestFixedExponent || exponent > fixedLimit) {
    text += digits[0];
    if (digits.size() > 1) {
      text += '.';
      text.append(digits.substr(1));
    }
    text += 'E';
    AppendExponent(text, exponent);
  } else if (exponent < 0) {
    text += '.';
    text.append(static_cast<size_t>(-exponent - 1), '0');
    text.append(digits);
  } else {
    const size_t wholeCount = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= wholeCount) {
      text.append(digits);
      text.append(wholeCount - digits.size(), '0');
    } else {
      text.append(digits.substr(0, wholeCount));
      text += '.';
      text.append(digits.substr(wholeCount));
    }
  }
  return text;
}

std::string ShortText(const Decimal& dec, int fixedLimit) {
  if (!dec.finite) return (dec.negative ? "" : " ") + std::string(NonFiniteText(dec));
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
    if (formatted == ".") formatted = ".0";
    const size_t textPoint = formatted.find('.');
    const size_t q = textPoint == std::string::npos ? 0 : textPoint + 1;
    if (p < q) {
      result = formatted;
      return;
    }
    // The column: blanks, "0" and the point where the pattern has its point,
    // zeros for the decimals ("   0.000000"; ".0000" without whole digits).
    result.resize(length);
    char* column = result.data();
    for (size_t i = 0; i < length; ++i) column[i] = i + 2 < p ? ' ' : '0';
    column[p - 1] = '.';
    // The text's point goes onto the column's point.
    const size_t start = p - q;
    for (size_t i = 0; i < formatted.size() && start + i < length; ++i)
      column[start + i] = formatted[i];
    return;
  }

  if (formatted.empty()) formatted = "0";
  if (formatted.size() > length) {
    result = formatted;
    return;
  }
  result.assign(length - formatted.size(), ' ');
  result += formatted;
}

std::string AlignedCell(float value, std::string_view pattern) {
  std::string text = FormatPattern(value, pattern);
  std::string cell;
  AlignNumber(pattern, text, cell);
  return cell;
}

namespace {

// The magnitude of a float times 10^places, rounded on its seven-digit form
// like ScaledInteger; false where the quick conversion is unsure or the
// result passes 64 bits.
bool FastScaled(float value, int places, std::uint64_t& scaled) {
  if (value == 0) {
    scaled = 0;
    return true;
  }
  std::uint32_t n = 0;
  int exponent = 0;
  if (!std::isfinite(value) ||
      !FastSingleSignificand(std::fabs(static_cast<double>(value)), n, exponent))
    return false;
  const int shift = exponent - (kSingleDigits - 1) + places;
  if (shift >= 0) {
    const auto up = static_cast<size_t>(shift);
    if (up >= kTenTo.size() || n > UINT64_MAX / kTenTo[up]) return false;
    scaled = n * kTenTo[up];
    return true;
  }
  const auto cut = static_cast<size_t>(-shift);  // digits dropped, the first of them rounds
  scaled = cut > kSingleDigits ? 0 : (n + 5 * kTenTo[cut - 1]) / kTenTo[cut];
  return true;
}

// The whole part of a cell: the sign of a value that does not round to
// nothing, then the whole digits (none for 0), grouped by thousands when the
// pattern is. Returns its length (at most 27).
std::size_t WholeChars(bool negative, std::uint64_t scaled, std::uint64_t whole, bool grouped,
                       char* out) {
  char* const begin = out;
  if (negative && scaled != 0) *out++ = '-';
  if (whole != 0) {
    char digits[20];
    const char* end = std::to_chars(digits, digits + sizeof digits, whole).ptr;
    const auto n = static_cast<size_t>(end - digits);
    for (size_t i = 0; i < n; ++i) {
      if (grouped && i > 0 && (n - i) % 3 == 0) *out++ = ',';
      *out++ = digits[i];
    }
  }
  return static_cast<std::size_t>(out - begin);
}

}  // namespace

std::size_t WriteAlignedCell(char* out, float value, const CellPattern& pattern) {
  // The general way: the exponent form, "Inf" and the like, a value beyond
  // 64 bits, or an unusually long pattern.
  const auto general = [&] {
    const std::string cell = AlignedCell(value, pattern.text);
    const std::size_t n = std::min(cell.size(), kMaxCellLength);
    std::copy_n(cell.data(), n, out);
    return n;
  };
  const std::size_t length = pattern.text.size();
  std::uint64_t scaled = 0;
  if (pattern.scientific || pattern.places >= static_cast<int>(kTenTo.size()) || length > 64 ||
      !FastScaled(value, pattern.places, scaled))
    return general();
  const std::uint64_t unit = kTenTo[static_cast<size_t>(pattern.places)];
  char whole[32];
  const std::size_t w = WholeChars(value < 0, scaled, scaled / unit, pattern.grouped, whole);
  const std::size_t p = pattern.point;

  if (p == 0) {  // right-aligned; nothing at all reads "0"
    if (w == 0) {
      const std::size_t blanks = length > 0 ? length - 1 : 0;
      std::fill_n(out, blanks, ' ');
      out[blanks] = '0';
      return blanks + 1;
    }
    const std::size_t blanks = w < length ? length - w : 0;
    std::fill_n(out, blanks, ' ');
    std::copy_n(whole, w, out + blanks);
    return blanks + w;
  }
  if (p < w + 1) {  // the whole part passes the point's column: as it is
    return ScaledIntegerChars(value < 0, scaled, pattern.places, true, pattern.grouped, out);
  }
  // The whole part ends right before the column's point (a lone "0" when it
  // is empty); the decimals follow, every place written.
  std::fill_n(out, p - 1, ' ');
  if (p >= 2) out[p - 2] = '0';
  std::copy_n(whole, w, out + (p - 1 - w));
  out[p - 1] = '.';
  std::uint64_t decimals = scaled % unit;
  char places[20];
  for (int i = pattern.places - 1; i >= 0; --i, decimals /= 10)
    places[i] = static_cast<char>('0' + decimals % 10);
  for (std::size_t i = p; i < length; ++i) {
    const std::size_t d = i - p;
    out[i] = d < static_cast<std::size_t>(pattern.places) ? places[d] : '0';
  }
  return length;
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
