// Numbers of the data files read in one pass: the short path for common
// numbers must give the very double from_chars gives, for every kind of
// text the files hold.
#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <random>
#include <string>

#include "core/numbers.h"

namespace ormid {
namespace {

double FromChars(const std::string& text) {
  std::string t = text;
  while (!t.empty() && t.front() == ' ') t.erase(0, 1);
  while (!t.empty() && t.back() == ' ') t.pop_back();
  bool negative = !t.empty() && t[0] == '-';
  if (!t.empty() && (t[0] == '-' || t[0] == '+')) t.erase(0, 1);
  double v = 0;
  std::from_chars(t.data(), t.data() + t.size(), v);
  return negative ? -v : v;
}

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(NumberParse, EveryKindOfTextGivesFromCharsDouble) {
  const char* texts[] = {"0",
                         "0.0",
                         "-0",
                         "1",
                         "12.5",
                         " 0.3 ",
                         "0.1",
                         "-0.0001",
                         "+7.25",
                         "123456789012345",
                         "1234567890123456",
                         "0.000000000000000000001",
                         "9007199254740993",
                         "1e22",
                         "1e23",
                         "1.5E-5",
                         "2.5e+3",
                         ".5",
                         "5.",
                         "0.30000000000000004",
                         "3.4028235e38",
                         "1e-400",
                         "000000012.50000",
                         "99999999999999999999"};
  for (const char* t : texts) {
    auto v = ParseNumberItem(t);
    ASSERT_TRUE(v.has_value()) << t;
    EXPECT_TRUE(SameBits(*v, FromChars(t))) << t;
    EXPECT_TRUE(SameBits(LeadingNumber(t), FromChars(t))) << t;
  }
  // Random decimals of the files' shapes: up to 17 digits, points anywhere,
  // exponents around the fast path's edge.
  std::mt19937_64 random(20240305);
  for (int i = 0; i < 200000; ++i) {
    std::string t;
    if (random() % 4 == 0) t += '-';
    const int digits = 1 + static_cast<int>(random() % 17);
    const int point = static_cast<int>(random() % (digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == point) t += '.';
      t += static_cast<char>('0' + random() % 10);
    }
    if (random() % 3 == 0) t += "e" + std::to_string(static_cast<int>(random() % 60) - 30);
    auto v = ParseNumberItem(t);
    ASSERT_TRUE(v.has_value()) << t;
    ASSERT_TRUE(SameBits(*v, FromChars(t))) << t;
  }
}

TEST(NumberParse, WhatIsNotANumberIsRefused) {
  for (const char* t : {"abc", "1.2.3", "1e", "--1", "1 2", ".", "1x"})
    EXPECT_FALSE(ParseNumberItem(t).has_value()) << t;
  EXPECT_EQ(ParseNumberItem("   "), 0.0);
}

}  // namespace
}  // namespace ormid
