#include "core/background_results.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <bit>
#include <cstdint>
#include <random>
#include <thread>

#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "export/table_writer.h"
#include "test_support.h"

namespace ormid {
namespace {

// Keeps what it is handed, with the thread it was handed on.
struct Recorder : ResultsSink {
  void LongTerm(const ModOrmid&, const LongTermResult& r) override {
    rows.push_back(-r.row);
    threads.push_back(std::this_thread::get_id());
  }
  void Contribution(const ModOrmid&, const ContributionResult& r) override {
    rows.push_back(r.row);
    threads.push_back(std::this_thread::get_id());
  }
  std::vector<int> rows;
  std::vector<std::thread::id> threads;
};

ContributionResult Row(int n) {
  ContributionResult r;
  r.row = n;
  return r;
}

// Rows over several batches arrive whole and in order; the first on the
// run's thread (where the exports open their files), the others beside it;
// a long-term row after every row sent before it.
TEST(BackgroundResults, HandsEveryRowOnInOrder) {
  ModOrmid m;
  Recorder inner;
  constexpr int kRows = 10'000;
  {
    BackgroundResults background(inner);
    background.Contribution(m, Row(1));
    ASSERT_EQ(inner.rows.size(), 1u);
    EXPECT_EQ(inner.threads[0], std::this_thread::get_id());
    for (int n = 2; n <= kRows; ++n) background.Contribution(m, Row(n));
    LongTermResult lt;
    lt.row = 7;
    background.LongTerm(m, lt);
    ASSERT_EQ(inner.rows.size(), kRows + 1u);
    background.Contribution(m, Row(kRows + 1));
    background.Sent();
    ASSERT_EQ(inner.rows.size(), kRows + 2u);
  }
  for (int n = 1; n <= kRows; ++n) ASSERT_EQ(inner.rows[n - 1], n);
  EXPECT_EQ(inner.rows[kRows], -7);
  EXPECT_EQ(inner.rows[kRows + 1], kRows + 1);
  EXPECT_NE(inner.threads[kRows / 2], std::this_thread::get_id());
}

// Rows made behind (a commodity run's later subgroups) come on the sinks'
// thread in their turn: after every row sent before, before every row sent
// after. Before the first row has been handed on, the caller sends its rows
// itself, so that the sinks open their files on the run's thread.
TEST(BackgroundResults, RowsMadeBehindComeInTheirTurn) {
  ModOrmid m;
  Recorder inner;
  {
    BackgroundResults background(inner);
    EXPECT_FALSE(background.SendBehind([](ResultsSink&) { ADD_FAILURE() << "made too early"; }));
    for (int n = 1; n <= 3000; ++n) background.Contribution(m, Row(n));
    for (int block = 0; block < 20; ++block)
      ASSERT_TRUE(background.SendBehind([&m, block](ResultsSink& s) {
        for (int n = 1; n <= 500; ++n) s.Contribution(m, Row(3000 + block * 500 + n));
      }));
    background.Contribution(m, Row(13'001));
    background.Sent();
    ASSERT_EQ(inner.rows.size(), 13'001u);
  }
  for (int n = 1; n <= 13'001; ++n) ASSERT_EQ(inner.rows[static_cast<std::size_t>(n - 1)], n);
  EXPECT_NE(inner.threads[5000], std::this_thread::get_id());
}

// Rows still waiting when it goes are handed on, not lost.
TEST(BackgroundResults, HandsOnWhatIsLeftWhenItGoes) {
  ModOrmid m;
  Recorder inner;
  {
    BackgroundResults background(inner);
    for (int n = 1; n <= 5000; ++n) background.Contribution(m, Row(n));
  }
  ASSERT_EQ(inner.rows.size(), 5000u);
  EXPECT_EQ(inner.rows.back(), 5000);
}

// The CSV writer keeps number texts in a small cache: values that share a
// place in it, repeated ones and new ones, each written as the shortest
// text that reads back to the same 32-bit value.
TEST(CsvNumbers, EveryValueReadsBackExactly) {
  test::TempDir dir;
  test::FakePlatform p;
  const std::vector<Column> columns = {{"a", CellType::Number, "0"}, {"b", CellType::Number, "0"}};
  TableSpec spec{(dir.path() / "numbers.csv").string(), "Numbers", "numbers", columns, -1, 0};
  std::string error;
  auto table = OpenTable(p, spec, nlohmann::json::object(), error);
  ASSERT_TRUE(table) << error;
  std::mt19937 random(5);
  std::vector<float> values;
  for (int i = 0; i < 50'000; ++i) {
    // Half of them again and again, half anything finite.
    std::uint32_t bits = i % 2 ? random() % 64 * 0x01010101u : random();
    float v = std::bit_cast<float>(bits);
    if (!std::isfinite(v)) v = static_cast<float>(i);
    values.push_back(v);
  }
  std::vector<Cell> cells(2);
  for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
    cells[0] = values[i];
    cells[1] = values[i + 1];
    table->Row(cells, false);
  }
  ASSERT_TRUE(table->Commit(error)) << error;
  const auto rows = test::ParseCsv(test::ReadFileBytes(spec.path));
  ASSERT_EQ(rows.size(), values.size() / 2 + 1);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string& text = rows[i / 2 + 1][i % 2];
    auto back = ReadFloatText(text);
    ASSERT_TRUE(back) << text;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(*back), std::bit_cast<std::uint32_t>(values[i]))
        << text << " in row " << i / 2 + 1;
    ASSERT_EQ(text, ShortestText(values[i]));
  }
}

}  // namespace
}  // namespace ormid
