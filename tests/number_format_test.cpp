#include "report/number_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

namespace ormid {
namespace {

struct PatternCase {
  float value;
  const char* pattern;
  const char* text;
};

// Rounding works on the 7-digit decimal form, halves away from zero: 1.0005f
// lies just below the half in binary and 9.995f just below 9.995. A value that
// rounds to nothing carries no sign.
TEST(NumberFormatTest, FormatPattern) {
  const PatternCase cases[] = {{0.0123456f, "###.######", ".012346"},
                               {0.0f, "###.######", "."},
                               {2.0f, "###.######", "2."},
                               {1234.5f, "###.######", "1234.5"},
                               {1234567.4f, "#,###,###", "1,234,567"},
                               {0.3f, "#,###,###", ""},
                               {999999.6f, "###,###", "1,000,000"},
                               {0.04f, "###,###.#", "."},
                               {1234.567f, "#,###.##", "1,234.57"},
                               {0.1f, "##.#######", ".1"},
                               {2.5f, "#,###,###", "3"},
                               {0.125f, "###.##", ".13"},
                               {1.0005f, "####.###", "1.001"},
                               {99999.96f, "##,###.#", "100,000."},
                               {1e15f, "#,###,###", "1,000,000,000,000,000"},
                               {1234567890.0f, "###.##", "1234568000."},
                               {-1234.5f, "#,###.##", "-1,234.5"},
                               {-0.001f, "###.##", "."},
                               {0.0f, "scientific", "0.00E+00"},
                               {0.000123456f, "scientific", "1.23E-04"},
                               {1234.5f, "Scientific", "1.23E+03"},
                               {1.235f, "SCIENTIFIC", "1.24E+00"},
                               {9.995f, "scientific", "1.00E+01"},
                               {-2.5e-7f, "scientific", "-2.50E-07"}};
  for (const PatternCase& c : cases) {
    EXPECT_EQ(FormatPattern(c.value, c.pattern), c.text) << c.value << " " << c.pattern;
  }
  // A 64-bit value rounds on its 15-digit form.
  EXPECT_EQ(FormatPattern(2.675, "###.##"), "2.68");
  EXPECT_EQ(FormatPattern(1e300, "scientific"), "1.00E+300");
}

TEST(NumberFormatTest, AlignNumber) {
  struct Case {
    const char* pattern;
    const char* formatted;
    const char* result;
  };
  const Case cases[] = {{"###.######", ".05", "  0.050000"},
                        {"###.######", ".", "  0.000000"},
                        {"###.######", "123.456", "123.456000"},
                        {"###.######", "1234.5", "1234.5"},
                        {"###.######", "1.23E-05", "  1.23E-05"},
                        {"###.######", "12.3456789", " 12.345678"},
                        {"##.###", "1.", " 1.000"},
                        {".###", ".5", ".500"},
                        {"#,###,###", "12,345", "   12,345"},
                        {"#,###,###", "", "        0"},
                        {"###,###", "1,000,000", "1,000,000"}};
  for (const Case& c : cases) {
    std::string formatted = c.formatted;
    std::string result;
    AlignNumber(c.pattern, formatted, result);
    EXPECT_EQ(result, c.result) << c.pattern << " " << c.formatted;
  }
  std::string point = ".", empty, result;
  AlignNumber("##.###", point, result);
  AlignNumber("###", empty, result);
  EXPECT_EQ(point, ".0");
  EXPECT_EQ(empty, "0");
}

TEST(NumberFormatTest, AlignedCells) {
  EXPECT_EQ(AlignedCell(0.0f, "###.######"), "  0.000000");
  EXPECT_EQ(AlignedCell(0.3f, "#,###,###"), "        0");
  EXPECT_EQ(AlignedScientific(1.23e-5f), "  1.23E-05");
}

// The report writers' direct cells read exactly as the general formatting and
// alignment: for every pattern of the reports, over a sweep of bit patterns
// that covers both signs, every exponent, zero, the infinities and NaN.
TEST(NumberFormatTest, DirectCellsReadAsAlignedCells) {
  constexpr CellPattern kPatterns[] = {
      CellPattern("###.######"),   CellPattern("##.###"),    CellPattern("###.#######"),
      CellPattern("####.#######"), CellPattern("###,###.#"), CellPattern("####.#"),
      CellPattern("###,###"),      CellPattern("#,###,###"), CellPattern("###.##"),
      CellPattern("##,###.##"),    CellPattern("##,###.#"),  CellPattern("#,###.##"),
      CellPattern(".###"),         CellPattern("###"),       CellPattern("Scientific")};
  static_assert(kPatterns[4].grouped && kPatterns[4].places == 1 && kPatterns[4].point == 8);
  static_assert(kPatterns[14].scientific && !kPatterns[13].hasPoint);
  for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 0x10001) {
    const float value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
    for (const CellPattern& pattern : kPatterns) {
      char cell[kMaxCellLength];
      ASSERT_EQ(std::string(cell, WriteAlignedCell(cell, value, pattern)),
                AlignedCell(value, pattern.text))
          << value << " " << pattern.text;
    }
  }
}

TEST(NumberFormatTest, ShortAndDefaultNumberText) {
  struct Case {
    float value;
    const char* shortText;
    const char* defaultText;
  };
  const Case cases[] = {{0.5f, " .5", "0.5"},
                        {2.0f, " 2", "2"},
                        {0.0025f, " .0025", "0.0025"},
                        {0.0f, " 0", "0"},
                        {0.0001f, " .0001", "0.0001"},
                        {1.5e-5f, " 1.5E-05", "1.5E-05"},
                        {1e-5f, " 1E-05", "1E-05"},
                        {9999999.0f, " 9999999", "9999999"},
                        {12345678.0f, " 1.234568E+07", "1.234568E+07"},
                        {1e7f, " 1E+07", "1E+07"},
                        {-0.05f, "-.05", "-0.05"},
                        // An exact half of the seventh digit goes to the even
                        // neighbour; just below one stays below.
                        {1234567.5f, " 1234568", "1234568"},
                        {1234568.5f, " 1234568", "1234568"},
                        {12345.625f, " 12345.62", "12345.62"},
                        {0.99999994f, " .9999999", "0.9999999"}};
  for (const Case& c : cases) {
    EXPECT_EQ(ShortNumberText(c.value), c.shortText) << c.value;
    EXPECT_EQ(DefaultNumberText(c.value), c.defaultText) << c.value;
  }
  EXPECT_EQ(ShortNumberText(0.1 + 0.2), " .3");
  EXPECT_EQ(ShortNumberText(123456789012345.0), " 123456789012345");
  EXPECT_EQ(ShortNumberText(1e15), " 1E+15");
  EXPECT_EQ(ShortNumberText(-5), "-5");
  EXPECT_EQ(ShortNumberText(5), " 5");
}

}  // namespace
}  // namespace ormid
