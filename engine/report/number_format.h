// Number texts of the reports: digit patterns, the scientific form, column
// alignment, short number text and the plain text of a value.
//
// Every decimal conversion of the program goes through this module. A 32-bit
// float is taken at 7 significant decimal digits, a 64-bit float at 15, and
// all further rounding works on those digits, halves away from zero.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ormid {

// Formats a value with a digit pattern such as "###.######" or "#,###,###",
// or with the named pattern "scientific" (any case).
std::string FormatPattern(float value, std::string_view pattern);
std::string FormatPattern(double value, std::string_view pattern);

// Widens a FormatPattern text to its pattern's column: decimal points line up
// and decimals are filled with zeros; integer texts are right-aligned.
// `formatted` may be changed (a lone "." becomes ".0", "" becomes "0").
void AlignNumber(std::string_view pattern, std::string& formatted, std::string& result);

// FormatPattern followed by AlignNumber with the same pattern.
std::string AlignedCell(float value, std::string_view pattern);
// A digit pattern taken apart once, for a cell that is formatted row after
// row.
struct CellPattern {
  std::string_view text;
  bool scientific = false;  // the named pattern "scientific", any case
  bool hasPoint = false;
  bool grouped = false;   // thousands separators before the point
  int places = 0;         // "#" after the point
  std::size_t point = 0;  // 1-based position of the point; 0 for none

  constexpr explicit CellPattern(std::string_view pattern) : text(pattern) {
    constexpr std::string_view kName = "scientific";
    scientific = pattern.size() == kName.size();
    for (std::size_t i = 0; scientific && i < kName.size(); ++i) {
      const char c = pattern[i];
      scientific = (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == kName[i];
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
      const char c = pattern[i];
      if (hasPoint) {
        places += c == '#' ? 1 : 0;
      } else {
        hasPoint = c == '.';
        grouped = grouped || c == ',';
        if (hasPoint) point = i + 1;
      }
    }
  }
};
// The longest cell WriteAlignedCell writes, for patterns of up to 64
// characters.
inline constexpr std::size_t kMaxCellLength = 128;
// AlignedCell with a pattern taken apart, written to out (room for
// kMaxCellLength characters); returns its length.
std::size_t WriteAlignedCell(char* out, float value, const CellPattern& pattern);
// A value in the "scientific" form aligned against "###.######".
std::string AlignedScientific(float value);

// The text the line writer prints for a numeric item, without its trailing
// blank: a blank (or "-"), then at most 7 (float) or 15 (double) significant
// digits, trailing zeros and point dropped, no 0 before the point of a value
// below 1 (" .0025"), exponent form below 1E-04 or at 1E+07 and above for a
// float (" 1.5E-05", " 1.234568E+07").
std::string ShortNumberText(float value);
std::string ShortNumberText(double value);
std::string ShortNumberText(int value);

// The plain text of a 32-bit float as a text box shows it: like the short
// number text but without the leading blank and with a "0" before the point
// of a value below 1 ("0.05", "-0.05", "1E-05", "1.5E+07").
std::string DefaultNumberText(float value);

}  // namespace ormid
