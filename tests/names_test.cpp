// Names as a reader tells them apart: one name whatever the letter case or
// the composition of its letters, in every locale; text that is not UTF-8
// by its bytes; and the control characters no name may hold.
#include "core/names.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace ormid {
namespace {

TEST(Names, OneNameWhateverItsCaseOrComposition) {
  const std::pair<std::string_view, std::string_view> same[] = {
      {"Demofos", "DEMOFOS"},
      {"Caf\xC3\xA9", "Cafe\xCC\x81"},  // NFC and NFD
      {"\xC3\x89t", "\xC3\xA9T"},       // É and é
      {"Stra\xC3\x9F"
       "e",
       "STRASSE"},                                    // full folding
      {"\xC5\xBFummary", "summary"},                  // long s
      {"\xE1\xB8\x8A\xCC\xA3", "d\xCC\xA3\xCC\x87"},  // Ḍ̇: marks in canonical order
      {"lat\xE9n", "LAT\xE9N"},                       // not UTF-8: ASCII letters only
  };
  for (const auto& [a, b] : same) {
    EXPECT_TRUE(SameName(a, b)) << a << " " << b;
    EXPECT_EQ(FoldedName(a), FoldedName(b)) << a;
  }
  const std::pair<std::string_view, std::string_view> other[] = {
      {"Demofos", "Demofos "},  {"Caf\xC3\xA9", "Cafe"},      {"\xC3\xA9t", "et"},
      {"lat\xE9n", "lat\xC9n"}, {"lat\xE9n", "lat\xC3\xA9n"}, {"I", "\xC4\xB1"},
  };
  for (const auto& [a, b] : other) EXPECT_FALSE(SameName(a, b)) << a << " " << b;
}

// Plain ASCII takes a shorter way than a name with other characters: each
// character folds the same either way.
TEST(Names, AsciiFoldsAsInAnyOtherName) {
  const std::string accented = "\xC3\x89";  // E with an acute accent
  for (int c = 0; c < 0x80; ++c) {
    const std::string one(1, static_cast<char>(c));
    EXPECT_EQ(FoldedName(one) + FoldedName(accented), FoldedName(one + accented)) << c;
  }
  EXPECT_EQ(FoldedName("CARROTS, Baby-Food 2"), "carrots, baby-food 2");
}

TEST(Names, ControlCharacters) {
  for (std::string_view text :
       {std::string_view("a\nb"), std::string_view("a\0b", 3), std::string_view("\x1F"),
        std::string_view("\x7F"), std::string_view("a\xC2\x80"), std::string_view("\xC2\x9F")})
    EXPECT_TRUE(HoldsControlCharacter(text)) << text;
  for (std::string_view text : {"a b", "~", "\xC2\xA0", "\xC3\x80", "Caf\xC3\xA9", "lat\xE9n", ""})
    EXPECT_FALSE(HoldsControlCharacter(text)) << text;
}

}  // namespace
}  // namespace ormid
