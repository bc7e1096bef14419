#include "report/report_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mod_ormid.h"
#include "report/food_form_label.h"

namespace ormid {
namespace {

TEST(ReportWriterTest, ColumnMovesAndNumbers) {
  ReportWriter w;
  w.Text("ab").Col(5).Text("x").Col(6).Num(0.5f).Num(-2).Num(2.0).End();
  w.Text("abcdef").Col(3).Text("z").End().End();  // past the column: a new line
  w.Text(std::string(78, 'x')).Col(82);           // pads the open line
  EXPECT_EQ(w.str(), "ab  x .5 -2  2 \r\nabcdef\r\n  z\r\n\r\n" + std::string(78, 'x') + "   ");
  EXPECT_EQ(w.column(), 82);
  // A text with its own line breaks (a comment) restarts the count after the
  // last of them.
  w.clear();
  w.Text("ab\r\nc\nde").Col(5).Text("|").Text("xyz\n").Col(2).Text("|");
  EXPECT_EQ(w.str(), "ab\r\nc\nde  |xyz\n |");
  // A text taken from the writer itself survives the writer's growing.
  w.clear();
  std::string doubled = "ab\r\n";
  w.Text(doubled);
  for (int i = 0; i < 12; ++i, doubled += doubled) w.Text(w.str());
  EXPECT_EQ(w.str(), doubled);
}

// A writer that hands its lines over in chunks gives the same text, in
// pieces of whole lines, as one that keeps it all.
TEST(ReportWriterTest, ChunksAreWholeLinesOfTheSameText) {
  struct Pieces : ReportSink {
    std::vector<std::string> taken;
    void Take(std::string_view lines) override { taken.emplace_back(lines); }
  } sink;
  ReportWriter whole, chunked;
  chunked.SendTo(&sink, 40);
  for (ReportWriter* w : {&whole, &chunked}) {
    for (int i = 0; i < 30; ++i) {
      w->Text("row").Num(i).Col(12).Text(i % 7 == 0 ? "x\ny" : "xy").Col(20).Num(0.5f * i);
      if (i % 3 != 0) w->End();
    }
    w->Flush();
  }
  std::string joined;
  for (const std::string& piece : sink.taken) {
    EXPECT_TRUE(piece.ends_with("\r\n") || &piece == &sink.taken.back()) << piece;
    joined += piece;
  }
  EXPECT_GT(sink.taken.size(), 5u);
  EXPECT_EQ(joined, whole.str());
  EXPECT_EQ(chunked.str(), "");
}

TEST(FoodFormLabelTest, CodesAndDescriptions) {
  ModOrmid m;
  m.gFormDesc1 = {"Raw", "Cooked", "Baked", "", "", "", "", "", "", ""};
  m.gFormDesc2 = {"Fresh", "Frozen", "Canned"};
  m.gFormDesc3 = {"Peeled", "Juice", "Dried"};
  // Code 5 and 379 name digits past the end of a list: empty descriptions. Only
  // the first three digits of a longer code are described.
  const std::pair<const char*, const char*> cases[] = {{"12", "012-Raw Frozen Dried"},
                                                       {"2", "002-Raw Fresh Dried"},
                                                       {"100", "100-Cooked Fresh Peeled"},
                                                       {"1201", "1201-Cooked Canned Peeled"},
                                                       {"5", "005-Raw Fresh "},
                                                       {"379", "379-  "}};
  for (const auto& [input, expected] : cases) {
    std::string code = input, label;
    FoodFormLabel(m, code, label);
    EXPECT_EQ(label, expected);
    EXPECT_EQ(label.substr(0, label.find('-')), code);
  }
}

}  // namespace
}  // namespace ormid
