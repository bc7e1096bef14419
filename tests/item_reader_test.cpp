#include "core/item_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace ormid {
namespace {

std::vector<std::string> AllTextItems(const std::string& data) {
  ItemReader r(data);
  std::vector<std::string> items;
  std::string item;
  while (!r.AtEnd() && r.ReadText(item)) items.push_back(item);
  return items;
}

TEST(ItemReaderTest, SplitsTextItems) {
  struct Case {
    std::string data;
    std::vector<std::string> items;
  } cases[] = {
      {"a,b\r\nc\nd", {"a", "b", "c", "d"}},
      {"  a,   b  \r\n", {"a", "b"}},
      {"\"x, y\",z", {"x, y", "z"}},
      {"  \"q\"   ,r", {"q", "r"}},
      {"\"\",a,,b", {"", "a", "", "b"}},
      {"a\r\n\r\n", {"a", ""}},  // a blank last line is one more, empty, item
      {"last\r\n", {"last"}},
      {"\"two\r\nlines\",next", {"two\r\nlines", "next"}},
      {"\"open\r\nnext", {"open\r\nnext"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(AllTextItems(c.data), c.items) << c.data;
}

// Reads one item with read: its value as text, or the error.
template <typename T>
std::string ReadOne(const std::string& data, bool (ItemReader::*read)(T&)) {
  ItemReader r(data);
  T v{};
  if (!(r.*read)(v)) return r.error();
  std::ostringstream out;
  out << +v;
  return out.str();
}

TEST(ItemReaderTest, ReadsNumbers) {
  const std::pair<std::string, std::string> ints[] = {
      {"12,", "12"},
      {",5", "0"},
      {"\r\n5", "0"},
      {" -7 ", "-7"},
      {"2.5", "2"},
      {"3.5", "4"},
      {"\"17\"", "17"},
      {"-32768", "-32768"},
      {"32768", "line 1: \"32768\" is beyond the 16-bit range"},
      {"1e30", "line 1: \"1e30\" is beyond the 16-bit range"},
      {"99999999999999999999999", "line 1: \"99999999999999999999999\" is beyond the 16-bit range"},
      {"1e999", "line 1: \"1e999\" is not a usable number"},
      {"12abc", "line 1: \"12abc\" where a number belongs"},
      {"", "line 1: the file ends here"}};
  for (const auto& [data, expected] : ints)
    EXPECT_EQ(ReadOne(data, &ItemReader::ReadInt16), expected) << data;
  const std::pair<std::string, std::string> floats[] = {
      {"1.5E-3", "0.0015"},
      {" -2 ", "-2"},
      {",", "0"},
      {"\"0.25\"", "0.25"},
      {"3e39", "line 1: \"3e39\" is beyond the single precision range"}};
  for (const auto& [data, expected] : floats)
    EXPECT_EQ(ReadOne(data, &ItemReader::ReadFloat), expected) << data;
}

TEST(ItemReaderTest, MixesLinesAndItems) {
  ItemReader r("3,rest, of line\r\nnext line\n\"q\",4\r\n");
  std::int16_t n = 0;
  std::string line, text;
  ASSERT_TRUE(r.ReadInt16(n));
  EXPECT_EQ(n, 3);
  ASSERT_TRUE(r.ReadLine(line));
  EXPECT_EQ(line, "rest, of line");
  ASSERT_TRUE(r.ReadLine(line));
  EXPECT_EQ(line, "next line");
  ASSERT_TRUE(r.ReadText(text) && r.ReadInt16(n));
  EXPECT_EQ(text, "q");
  EXPECT_EQ(n, 4);
  EXPECT_TRUE(r.AtEnd());
  EXPECT_FALSE(r.ReadLine(line));
  EXPECT_EQ(r.error(), "line 4: the file ends here");
}

TEST(ItemReaderTest, ErrorsNameTheLineOfTheItem) {
  ItemReader r("1\r\n2\n\r\n\"a\r\nb\rc\"\r\nzz,4");
  std::int16_t v;
  std::string text;
  EXPECT_TRUE(r.ReadInt16(v) && r.ReadInt16(v) && r.ReadInt16(v) && r.ReadText(text));
  EXPECT_FALSE(r.ReadInt16(v));
  EXPECT_EQ(r.error(), "line 7: \"zz\" where a number belongs");
}

TEST(ItemReaderTest, CountLines) {
  const std::pair<std::string, std::string> cases[] = {
      {"x = 12.6", "13"},
      {"SurveyBase=2", "2"},
      {"12.5", "12"},
      {"13.5", "14"},
      {"x=-2.5", "-2"},
      {"n=abc", "0"},
      {"a=b=3", "0"},
      {"7 foods = 3", "3"},
      {"", "0"},
      {"x = 40000", "line 1: \"x = 40000\" holds a count beyond the 16-bit range"}};
  for (const auto& [data, expected] : cases)
    EXPECT_EQ(ReadOne(data + "\r\nnext", &ItemReader::ReadCountLine), expected) << data;
}

}  // namespace
}  // namespace ormid
