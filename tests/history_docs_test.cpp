// docs/history.md against a run history of every kind of run the history
// keeps: the tables and columns it documents are the file's, and the
// values it lists for the columns of kinds are the ones runs write.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tests/cli_runner.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;

struct Documented {
  std::map<std::string, std::set<std::string>> columns;  // table -> columns
  std::map<std::string, std::string> holds;              // "table.column" -> its text
};

// The "Every column" table of docs/history.md: | `table` | `a`, `b` | holds |,
// an empty first cell for the table of the row before.
Documented ReadEveryColumn() {
  const std::string page = ReadFileBytes(fs::path(ORMID_SOURCE_DIR) / "docs/history.md");
  const std::size_t start = page.find("### Every column");
  EXPECT_NE(start, std::string::npos);
  const std::size_t end = page.find("\n#", start + 1);
  std::istringstream lines(page.substr(start, end - start));
  static const std::regex kRow(R"(^\| *(`([a-z_]+)`)? *\| *([^|]+?) *\| *(.*?) *\|$)");
  static const std::regex kName("`([a-z_]+)`");
  Documented d;
  std::string line, table;
  while (std::getline(lines, line)) {
    std::smatch m;
    if (!std::regex_match(line, m, kRow) || line.starts_with("| Table") || line.starts_with("|---"))
      continue;
    if (m[2].matched) table = m[2];
    const std::string names = m[3];
    for (std::sregex_iterator it(names.begin(), names.end(), kName), e; it != e; ++it) {
      d.columns[table].insert((*it)[1]);
      d.holds[table + "." + (*it)[1].str()] = m[4];
    }
  }
  return d;
}

// The backticked values a column's text lists: `longterm`, `% RfD`.
std::set<std::string> Listed(const std::string& holds) {
  std::set<std::string> values;
  static const std::regex kValue("`([^`]+)`");
  for (std::sregex_iterator it(holds.begin(), holds.end(), kValue), e; it != e; ++it)
    values.insert((*it)[1]);
  return values;
}

class HistoryDocs : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
    CopySampleInstallation("csfii", dir_.path() / "csfii");
  }
  void TearDown() override {
    if (db_) sqlite3_close(db_);
    ::unsetenv("SOURCE_DATE_EPOCH");
  }
  std::vector<std::vector<std::string>> Query(const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
    while (sqlite3_step(st) == SQLITE_ROW) {
      rows.emplace_back();
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const unsigned char* t = sqlite3_column_text(st, i);
        rows.back().emplace_back(t ? reinterpret_cast<const char*>(t) : "");
      }
    }
    sqlite3_finalize(st);
    return rows;
  }
  TempDir dir_;
  // The commands leave the current directory in dir_: back before it goes.
  ScopedCurrentDir cwd_{fs::current_path()};
  sqlite3* db_ = nullptr;
};

TEST_F(HistoryDocs, TheDocumentedColumnsAndValuesAreTheFilesOwn) {
  const std::string residue = "csfii/residues/DEMOFOS.R98";
  // Every kind the history keeps, with each endpoint's headline figure.
  for (const std::vector<std::string>& run : std::vector<std::vector<std::string>>{
           {"longterm", residue, "--rfd"},
           {"longterm", residue, "--noel=0.5"},
           {"longterm", residue, "--qstar=0.05"},
           {"longterm", residue, "--rfd", "--pad", "--pad-value", "17=0.0001"},
           {"longterm", residue, "--noel", "--pad", "--pad-value", "17=0.0001"},
           {"commodity", residue, "--rfd", "--complete", "--subgroups", "1,5"},
           {"cumulative", "csfii/op-group.csv"}}) {
    std::vector<std::string> args = {"-C", "csfii"};
    args.insert(args.end(), run.begin(), run.end());
    const CliResult r = RunCliIn(dir_.path(), args);
    ASSERT_EQ(r.status, 0) << run.front() << "\n" << r.err;
  }
  ASSERT_EQ(sqlite3_open_v2((dir_.path() / "csfii/ormid-history.sqlite").c_str(), &db_,
                            SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
  const Documented d = ReadEveryColumn();
  ASSERT_GE(d.columns.size(), 4u);

  // The tables and their columns, both ways.
  std::set<std::string> tables;
  for (const auto& row : Query("SELECT name FROM sqlite_master WHERE type = 'table' AND "
                               "name NOT LIKE 'sqlite_%'"))
    tables.insert(row[0]);
  std::set<std::string> documentedTables;
  for (const auto& [table, columns] : d.columns) documentedTables.insert(table);
  EXPECT_EQ(tables, documentedTables);
  for (const std::string& table : tables) {
    std::set<std::string> columns;
    for (const auto& row : Query("SELECT name FROM pragma_table_info('" + table + "')"))
      columns.insert(row[0]);
    EXPECT_EQ(columns, d.columns.at(table)) << table;
  }

  // The values of the columns of kinds are among the documented ones.
  const struct {
    const char* column;
    const char* sql;
  } kinds[] = {{"runs.command", "SELECT DISTINCT command FROM runs"},
               {"runs.endpoint", "SELECT DISTINCT endpoint FROM runs"},
               {"runs.worst_figure", "SELECT DISTINCT worst_figure FROM runs"}};
  for (const auto& k : kinds) {
    const std::set<std::string> listed = Listed(d.holds.at(k.column));
    std::set<std::string> seen;
    for (const auto& row : Query(k.sql)) {
      seen.insert(row[0]);
      EXPECT_TRUE(listed.count(row[0]))
          << k.column << " holds " << row[0] << ", not in " << d.holds.at(k.column);
    }
    EXPECT_GE(seen.size(), 3u) << k.column;
  }
  // Where a sequence starts.
  for (const char* table : {"commodity_subgroups", "cumulative_chemicals"}) {
    const std::string holds = d.holds.at(std::string(table) + ".seq");
    std::smatch from;
    ASSERT_TRUE(std::regex_search(holds, from, std::regex(R"(\(from ([0-9]+)\))"))) << holds;
    const auto first = Query(std::string("SELECT MIN(seq) FROM ") + table);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0][0], from[1].str()) << table;
  }
}

}  // namespace
}  // namespace ormid::test
