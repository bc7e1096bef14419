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

}  // namespace
}  // namespace ormid
