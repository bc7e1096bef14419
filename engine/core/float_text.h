// Exact decimal text of single-precision figures, for data files rather than
// reports: the shortest text that reads back to the identical 32-bit value.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ormid {

// "0.1", "1e-07", "123456.79", "3.4519503e+10": the fewest significant
// digits that read back to the value, in the shorter of the fixed and the
// exponent form, and never a whole number's digits past those; "inf",
// "-inf" and "nan" for values that are not finite. Never depends on the
// locale.
std::string ShortestText(float value);
// The shortest text that reads back to the same double ("0.1", "1e+300").
std::string ShortestText(double value);

// The same text written at `first`; returns its end, or `first` when it
// does not fit (kLongestFloatText always does).
inline constexpr std::size_t kLongestFloatText = 32;
char* WriteShortestText(char* first, char* last, float value);

// A figure as a table on the screen shows it, every figure of a column in
// one form: the fewest digits that read back to the value, without an
// exponent ("0.00002133285", "7187.4", "1234567") from 1e-7 up to 1e7, where
// no digit is past those that tell the value apart; outside that range, and
// for every figure of a column of lifetime risks (`scientific`), the
// exponent form ("1.2e-06").
std::string TableText(float value, bool scientific = false);
std::string TableText(double value, bool scientific = false);

// Reads a text written by ShortestText (or any decimal number) back to the
// nearest single-precision value; nullopt when the whole text is not a number.
std::optional<float> ReadFloatText(std::string_view text);

}  // namespace ormid
