#include "core/numbers.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ormid {
namespace {

TEST(NumbersTest, ValidNumberSyntax) {
  for (const char* text : {"1e-3", " 2.5 ", "-.5", "5.", "+7", "1E+05", "\t3\t"}) {
    EXPECT_TRUE(IsValidNumber(text)) << '"' << text << '"';
  }
  for (const char* text : {"", "   ", "abc", "1,5", "1e", "1e+", ".", "-", "1.2.3", "1 2", "5x"}) {
    EXPECT_FALSE(IsValidNumber(text)) << '"' << text << '"';
  }
}

TEST(NumbersTest, LeadingNumberTakesTheNumericPrefix) {
  const std::pair<const char*, double> cases[] = {
      {"1,5", 1},     {"12abc", 12}, {"1e-3x", 0.001},    {"  -2.5", -2.5}, {"+.25", 0.25},
      {"3e+", 3},     {"4E2", 400},  {"abc", 0},          {"", 0},          {"-", 0},
      {"1.5.2", 1.5}, {"1 000", 1},  {"1e999", HUGE_VAL}, {"1e-999", 0}};
  for (const auto& [text, value] : cases) EXPECT_EQ(LeadingNumber(text), value) << text;
}

TEST(NumbersTest, ParseNumberItem) {
  EXPECT_EQ(ParseNumberItem("   "), 0.0);
  EXPECT_EQ(ParseNumberItem(" -3E2 "), -300.0);
  EXPECT_EQ(ParseNumberItem("12abc"), std::nullopt);
}

TEST(NumbersTest, RoundToInt16HalvesToEven) {
  const std::pair<double, std::optional<short>> cases[] = {{0.5, 0},
                                                           {1.5, 2},
                                                           {2.5, 2},
                                                           {-2.5, -2},
                                                           {2.5001, 3},
                                                           {32767.4, 32767},
                                                           {32767.5, std::nullopt},
                                                           {-32768.5, -32768},
                                                           {-32768.6, std::nullopt},
                                                           {NAN, std::nullopt}};
  for (const auto& [value, expected] : cases) EXPECT_EQ(RoundToInt16(value), expected) << value;
}

}  // namespace
}  // namespace ormid
