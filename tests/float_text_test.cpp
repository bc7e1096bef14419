#include "core/float_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <limits>

namespace ormid {
namespace {

TEST(FloatText, ShortestTexts) {
  EXPECT_EQ(ShortestText(0.1f), "0.1");
  EXPECT_EQ(ShortestText(1e-7f), "1e-07");
  EXPECT_EQ(ShortestText(0.0f), "0");
  EXPECT_EQ(ShortestText(-2.5f), "-2.5");
  EXPECT_EQ(ShortestText(std::numeric_limits<float>::infinity()), "inf");
  // A large whole number keeps only the digits that tell it apart.
  EXPECT_EQ(ShortestText(34519502848.0f), "3.4519503e+10");
  EXPECT_EQ(ShortestText(-34519502848.0f), "-3.4519503e+10");
  EXPECT_EQ(ShortestText(16777216.0f), "16777216");
  EXPECT_EQ(ShortestText(100000.0f), "1e+05");
  EXPECT_EQ(ShortestText(44790.496f), "44790.496");
  EXPECT_EQ(ShortestText(0.0025277848f), "0.0025277848");
}

// Every exponent, both signs and a spread of mantissas read back exactly.
TEST(FloatText, ReadsBackToTheSameBits) {
  for (std::uint32_t bits = 0; bits < 0x7f800000u; bits += 0x000fff01u) {
    for (std::uint32_t sign : {0u, 0x80000000u}) {
      float v = std::bit_cast<float>(bits | sign);
      const std::string text = ShortestText(v);
      // Never longer than the exponent form of the fewest digits.
      char scientific[32];
      const auto end = std::to_chars(scientific, scientific + sizeof scientific, v,
                                     std::chars_format::scientific)
                           .ptr;
      EXPECT_LE(text.size(), static_cast<std::size_t>(end - scientific)) << text;
      auto back = ReadFloatText(text);
      ASSERT_TRUE(back.has_value()) << ShortestText(v);
      EXPECT_EQ(std::bit_cast<std::uint32_t>(*back), bits | sign) << ShortestText(v);
    }
  }
}

// A table's column keeps one form: plain digits between 1e-7 and 1e7, the
// exponent outside and for lifetime risks; every text reads back exactly.
TEST(FloatText, TableTexts) {
  EXPECT_EQ(TableText(7187.4f), "7187.4");
  EXPECT_EQ(TableText(2.133285e-05f), "0.00002133285");
  EXPECT_EQ(TableText(0.00017985456f), "0.00017985456");
  EXPECT_EQ(TableText(1e6f), "1000000");
  EXPECT_EQ(TableText(0.0f), "0");
  EXPECT_EQ(TableText(34519502848.0f), "3.4519503e+10");
  EXPECT_EQ(TableText(5e-8f), "5e-08");
  EXPECT_EQ(TableText(1.2e-6f, true), "1.2e-06");
  EXPECT_EQ(TableText(0.1, false), "0.1");
  EXPECT_EQ(TableText(1234567.25, false), "1234567.25");
  for (std::uint32_t bits = 0; bits < 0x7f800000u; bits += 0x000fff01u) {
    const float v = std::bit_cast<float>(bits);
    for (bool scientific : {false, true}) {
      const std::string text = TableText(v, scientific);
      EXPECT_EQ(text.find('e') == std::string::npos,
                !scientific && (v == 0 || (v >= 1e-7f && v < 1e7f)))
          << text;
      auto back = ReadFloatText(text);
      ASSERT_TRUE(back.has_value()) << text;
      EXPECT_EQ(std::bit_cast<std::uint32_t>(*back), bits) << text;
    }
  }
}

TEST(FloatText, RefusesWhatIsNotANumber) {
  for (const char* bad : {"", "1,5", "abc", "1e", " 1", "1 "})
    EXPECT_FALSE(ReadFloatText(bad).has_value()) << bad;
  EXPECT_EQ(ReadFloatText("+2.5"), 2.5f);
}

}  // namespace
}  // namespace ormid
