// The JSON text of manifests and exports: nlohmann::json's layout, with
// every figure in the shortest digits that read back to the same double.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>

#include "core/json_text.h"

namespace ormid {
namespace {

using nlohmann::json;

// The fewest significant digits that read back to `v`.
std::size_t ShortestDigits(double v) {
  char buffer[64];
  const auto r =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v), std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<std::size_t>(r.ptr - buffer));
  const std::string_view mantissa = text.substr(0, text.find('e'));
  return mantissa.size() - (mantissa.find('.') == std::string_view::npos ? 0 : 1);
}

std::size_t DigitsOf(const std::string& text) {
  std::string digits;
  for (char c : text.substr(0, text.find_first_of("eE")))
    if (c >= '0' && c <= '9') digits += c;
  const auto first = digits.find_first_not_of('0');
  if (first == std::string::npos) return 1;
  digits.erase(0, first);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  return digits.size();
}

TEST(JsonText, EveryFigureIsTheShortestTextThatReadsBack) {
  // The figure a cumulative export wrote with a digit too many, and
  // figures of every magnitude a run gives, at the layout's edges among
  // them.
  std::vector<double> values = {0.0026454146,
                                1e-4,
                                9.999e-5,
                                1e15,
                                9.99e14,
                                123456789012345.6,
                                1.0,
                                0.1,
                                -2.5,
                                5e-324,
                                1.7976931348623157e308,
                                1e21,
                                1e-30,
                                100.0,
                                0.3,
                                2.0 / 3};
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> exponent(-30, 30), mantissa(1, 10);
  for (int i = 0; i < 20000; ++i)
    values.push_back(mantissa(random) * std::pow(10.0, std::floor(exponent(random))));
  int longer = 0;
  for (double v : values) {
    const std::string text = JsonText(json(v));
    SCOPED_TRACE(text);
    // It reads back to the same double, as JSON parsers read it.
    const json back = json::parse(text);
    ASSERT_TRUE(back.is_number_float());
    EXPECT_EQ(back.get<double>(), v);
    EXPECT_EQ(DigitsOf(text), ShortestDigits(v));
    // Where dump() gives as many digits, the texts are laid out alike (the
    // last digit may differ where two texts read back alike: the nearer
    // one is taken here).
    const std::string dumped = json(v).dump();
    auto shape = [](std::string t) {
      for (char& c : t)
        if (c >= '0' && c <= '9') c = '#';
      return t;
    };
    if (DigitsOf(dumped) == DigitsOf(text))
      EXPECT_EQ(shape(text), shape(dumped));
    else
      ++longer;
  }
  // dump()'s Grisu2 gives a digit too many now and then, the case this is for.
  EXPECT_EQ(json(0.0026454146000000002).dump(), "0.0026454146000000002");
  EXPECT_EQ(JsonText(json(0.0026454146000000002)), "0.0026454146");
  EXPECT_GT(longer, 0);
}

TEST(JsonText, TheLayoutIsDumpsLayout) {
  json doc = {{"name", "caf\xc3\xa9 \"quoted\"\n\x01"},
              {"bad", std::string("a\xff"
                                  "b")},
              {"list", {1, -2, 3u, true, nullptr, json::array(), json::object()}},
              {"nested", {{"x", {{"y", "z"}}}, {"empty", ""}}},
              {"count", std::numeric_limits<std::int64_t>::min()},
              {"big", std::numeric_limits<std::uint64_t>::max()}};
  for (int indent : {-1, 0, 1, 2, 4})
    EXPECT_EQ(JsonText(doc, indent), doc.dump(indent, ' ', false, json::error_handler_t::replace))
        << indent;
  EXPECT_EQ(JsonText(json(std::nan(""))), "null");
  EXPECT_EQ(JsonText(json(-std::numeric_limits<double>::infinity())), "null");
  EXPECT_EQ(JsonText(json(-0.0)), "-0.0");
  EXPECT_EQ(JsonText(json(0.0)), "0.0");
}

}  // namespace
}  // namespace ormid
