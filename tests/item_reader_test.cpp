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
  } cases[] = {{"a,b\r\nc\nd", {"a", "b", "c", "d"}},
               {"  a,   b  \r\n", {"a", "b"}},
               {"\"x, y\",z", {"x, y", "z"}},
               {"  \"q\"   ,r", {"q", "r"}},
               {"\"\",a,,b", {"", "a", "", "b"}},
               {"a\r\n\r\n", {"a", ""}},  // a blank last line is one more, empty, item
               {"last\r\n", {"last"}},
               {"\"two\r\nlines\",next", {"two\r\nlines", "next"}},
               {"\"open\r\nnext", {"open\r\nnext"}},
               {"", {}}};
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

// Numbers, 16-bit ones rounded half to even, and count lines ("name = n").
TEST(ItemReaderTest, ReadsNumbers) {
  const std::pair<std::string, std::string> ints[] = {
      {"12,", "12"}, {",5", "0"},      {" -7 ", "-7"},      {"2.5", "2"},
      {"3.5", "4"},  {"\"17\"", "17"}, {"-32768", "-32768"}};
  const std::pair<std::string, std::string> floats[] = {
      {"1.5E-3", "0.0015"}, {" -2 ", "-2"}, {",", "0"}, {"\"0.25\"", "0.25"}};
  const std::pair<std::string, std::string> counts[] = {{"x = 12.6", "13"}, {"SurveyBase=2", "2"},
                                                        {"x=-2.5", "-2"},   {"n=abc", "0"},
                                                        {"a=b=3", "0"},     {"7 foods = 3", "3"}};
  for (const auto& [data, expected] : ints)
    EXPECT_EQ(ReadOne(data, &ItemReader::ReadInt16), expected) << data;
  for (const auto& [data, expected] : floats)
    EXPECT_EQ(ReadOne(data, &ItemReader::ReadFloat), expected) << data;
  for (const auto& [data, expected] : counts)
    EXPECT_EQ(ReadOne(data + "\r\nnext", &ItemReader::ReadCountLine), expected) << data;

  const std::pair<std::string, std::string> intErrors[] = {
      {"32768", "\"32768\" is beyond the 16-bit range"},
      {"1e30", "\"1e30\" is beyond the 16-bit range"},
      {"1e999", "\"1e999\" is not a usable number"},
      {"12abc", "\"12abc\" where a number belongs"},
      {"", "the file ends here"}};
  for (const auto& [data, error] : intErrors)
    EXPECT_EQ(ReadOne(data, &ItemReader::ReadInt16), "line 1: " + error) << data;
  EXPECT_EQ(ReadOne(std::string("3.5e38"), &ItemReader::ReadFloat),
            "line 1: \"3.5e38\" is beyond the single precision range");
  EXPECT_EQ(ReadOne(std::string("x = 40000"), &ItemReader::ReadCountLine),
            "line 1: \"x = 40000\" holds a count beyond the 16-bit range");
}

// Lines and items in turn; errors name the line where the item starts, after
// the line breaks inside a quoted item (CR LF counts once, a lone CR too).
TEST(ItemReaderTest, MixesLinesAndItems) {
  ItemReader r("3,rest, of line\r\nnext line\n\"q\",4\r\n\r\n\"a\r\nb\rc\"\r\nzz,5\r\n");
  std::int16_t three = 0, four = 0, blank = 1;
  std::string line1, line2, q, abc;
  ASSERT_TRUE(r.ReadInt16(three) && r.ReadLine(line1) && r.ReadLine(line2) && r.ReadText(q) &&
              r.ReadInt16(four) && r.ReadInt16(blank) && r.ReadText(abc));
  EXPECT_EQ(std::vector<int>({three, four, blank}), std::vector<int>({3, 4, 0}));
  EXPECT_EQ(std::vector<std::string>({line1, line2, q, abc}),
            std::vector<std::string>({"rest, of line", "next line", "q", "a\r\nb\rc"}));
  EXPECT_FALSE(r.ReadInt16(four));
  EXPECT_EQ(r.error(), "line 8: \"zz\" where a number belongs");
  EXPECT_TRUE(r.ReadInt16(four) && r.AtEnd());
  EXPECT_FALSE(r.ReadLine(line1));
  EXPECT_EQ(r.error(), "line 9: the file ends here");
}

}  // namespace
}  // namespace ormid
