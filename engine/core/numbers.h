// Reading numbers from text: the value boxes' numeric test and the leading
// numeric prefix that the program takes from typed values and count lines.
#pragma once

#include <optional>
#include <string_view>

namespace ormid {

// The valid-number test of the value boxes: optional blanks, optional sign,
// digits with at most one decimal point (at least one digit in all), an
// optional exponent (E or e, optional sign, at least one digit), optional
// blanks. "1e-3", " 2.5 ", "-.5", "5." pass; "", "abc", "1,5", "1e" fail.
bool IsValidNumber(std::string_view text);

// The leading numeric prefix of a text: leading blanks skipped, then the
// longest prefix that reads as a number (sign, digits, point, exponent);
// 0 when there is none. "1,5" gives 1, "12abc" gives 12, "1e-3x" gives 0.001.
double LeadingNumber(std::string_view text);

// A whole item that must be a number (blanks around allowed). An empty or
// all-blank item reads as 0. Returns nullopt when the text is not a number.
std::optional<double> ParseNumberItem(std::string_view text);

// Rounds to the nearest 16-bit integer, halves to even, as the platform's
// integer conversion does. Returns nullopt outside -32768..32767.
std::optional<short> RoundToInt16(double value);

}  // namespace ormid
