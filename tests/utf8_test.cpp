// UTF-8: outside text checked, made valid for the workbooks' XML, and made
// harmless for a terminal.
#include "core/utf8.h"

#include <gtest/gtest.h>

namespace ormid {
namespace {

TEST(Utf8, ValidSequencesAndTheirLimits) {
  EXPECT_TRUE(IsValidUtf8("Demofos, Kümmel, 丁香, \xF0\x9F\x8D\x8E"));
  // A Latin-1 byte, an overlong form, a surrogate, past U+10FFFF, cut short.
  for (std::string_view bad :
       {"K\xFCmmel", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "ab\xE4\xB8"}) {
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
    EXPECT_TRUE(IsValidUtf8(ValidUtf8(bad))) << bad;
  }
  EXPECT_EQ(ValidUtf8Prefix("K\xFCmmel"), 1u);
  EXPECT_EQ(ValidUtf8("K\xFCmmel"), "K\xEF\xBF\xBDmmel");
}

TEST(Utf8, ControlCharactersAreShownNotObeyed) {
  EXPECT_EQ(PrintableText("Demofos\x1B[2J\n"), "Demofos\\x1B[2J\n");
  EXPECT_EQ(PrintableText(std::string("a\0b", 3)), "a\\x00b");
  EXPECT_EQ(PrintableText("\xC2\x9B"
                          "31m"),
            "\\u009B31m");
  EXPECT_EQ(PrintableText("Kümmel\x7F"), "Kümmel\\x7F");
}

// Terminal columns: a wide letter takes two, a combining mark none, an
// escaped control character its escape's.
TEST(Utf8, DisplayWidthAndFittingByColumns) {
  EXPECT_EQ(DisplayWidth("abc"), 3u);
  EXPECT_EQ(DisplayWidth("caf\xc3\xa9"), 4u);               // é, 2 bytes
  EXPECT_EQ(DisplayWidth("cafe\xcc\x81"), 4u);              // e and a combining acute
  EXPECT_EQ(DisplayWidth("\xe8\xbe\xb2\xe8\x96\xac"), 4u);  // two wide letters
  EXPECT_EQ(DisplayWidth("a\x1b"), 5u);                     // a\x1B
  EXPECT_EQ(DisplayWidth("\xff"), 1u);                      // U+FFFD
  EXPECT_EQ(FitToWidth("caf\xc3\xa9", 6), "caf\xc3\xa9  ");
  EXPECT_EQ(FitToWidth("abcdef", 4), "abc~");
  // Cut at a whole letter: a wide one that would cross the edge is left
  // out and a blank keeps the width.
  EXPECT_EQ(FitToWidth("a\xe8\xbe\xb2\xe8\x96\xac", 4), "a\xe8\xbe\xb2~");
  EXPECT_EQ(FitToWidth("\xe8\xbe\xb2\xe8\x96\xac\xe8\xbe\xb2", 4), "\xe8\xbe\xb2~ ");
  EXPECT_EQ(DisplayWidth(FitToWidth("\xe8\xbe\xb2\xe8\x96\xac\xe8\xbe\xb2", 4)), 4u);
  EXPECT_EQ(FitToWidth("x", 0), "");
}

}  // namespace
}  // namespace ormid
