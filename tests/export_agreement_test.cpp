// Every export written in the three formats from one run, read back and
// compared cell by cell: CSV against JSON against the workbook's cells, and
// the headroom exports against the table ormid-cli prints. A figure wrong in
// one format only (a cache keyed by where a text lived, a column shifted)
// shows here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "core/paths.h"
#include "tests/cli_runner.h"
#include "tests/installation_fixture.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;

using Table = std::vector<CsvRow>;

std::string XmlText(std::string s) {
  static const std::pair<const char*, const char*> kEntities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (auto [entity, c] : kEntities)
    for (std::size_t at; (at = s.find(entity)) != std::string::npos;)
      s.replace(at, std::string_view(entity).size(), c);
  return s;
}

// The cells of a workbook's sheet as texts, by row and column: a text cell's
// text, a number cell's value as written; "" where no cell is. Number cells
// are marked by a leading '#'.
Table SheetCells(const fs::path& xlsx, int sheet) {
  const std::string xml = ZipMember(xlsx, "xl/worksheets/sheet" + std::to_string(sheet) + ".xml");
  std::vector<std::string> shared;
  const std::string strings = ZipMember(xlsx, "xl/sharedStrings.xml");
  static const std::regex kShared("<si>(?:<t[^>]*>([^<]*)</t>)?</si>");
  for (std::sregex_iterator it(strings.begin(), strings.end(), kShared), end; it != end; ++it)
    shared.push_back(XmlText((*it)[1]));
  Table rows;
  static const std::regex kCell(
      R"re(<c r="([A-Z]+)(\d+)"([^>]*?)(?:/>|>(?:<is><t[^>]*>([^<]*)</t></is>|<v>([^<]*)</v>)?</c>))re");
  for (std::sregex_iterator it(xml.begin(), xml.end(), kCell), end; it != end; ++it) {
    const auto& m = *it;
    std::size_t column = 0;
    for (char c : m[1].str()) column = column * 26 + static_cast<std::size_t>(c - 'A' + 1);
    const std::size_t row = std::stoul(m[2]);
    if (rows.size() < row) rows.resize(row);
    CsvRow& r = rows[row - 1];
    if (r.size() < column) r.resize(column);
    const std::string attributes = m[3];
    if (m[4].matched)
      r[column - 1] = XmlText(m[4]);
    else if (attributes.find("t=\"s\"") != std::string::npos)
      r[column - 1] = shared.at(std::stoul(m[5]));
    else if (m[5].matched)
      r[column - 1] = "#" + m[5].str();
  }
  return rows;
}

float AsFloat(const std::string& text) {
  return std::strtof(text.c_str(), nullptr);
}

// One cell of the CSV against the same cell elsewhere: the same text, or,
// for a figure, the same single-precision value.
void ExpectCell(const std::string& csv, const std::string& other, const std::string& where) {
  if (!other.empty() && other[0] == '#') {
    ASSERT_FALSE(csv.empty()) << where;
    EXPECT_EQ(AsFloat(csv), AsFloat(other.substr(1))) << where << ": " << csv << " / " << other;
  } else {
    EXPECT_EQ(csv, other) << where;
  }
}

// The CSV's rows against the workbook's data sheet, cell by cell.
void ExpectWorkbookHolds(const Table& csv, const fs::path& xlsx, int sheet) {
  Table cells = SheetCells(xlsx, sheet);
  ASSERT_EQ(cells.size(), csv.size()) << xlsx;
  for (std::size_t r = 0; r < csv.size(); ++r) {
    cells[r].resize(std::max(cells[r].size(), csv[r].size()));
    ASSERT_EQ(cells[r].size(), csv[r].size()) << xlsx << " row " << r + 1;
    for (std::size_t c = 0; c < csv[r].size(); ++c)
      ExpectCell(csv[r][c], cells[r][c],
                 xlsx.filename().string() + " row " + std::to_string(r + 1) + " " + csv[0][c]);
  }
}

// The CSV's rows against the JSON document's rows under `key`: the same
// column names, then cell by cell.
void ExpectJsonHolds(const Table& csv, const fs::path& json, const std::string& key) {
  const auto doc = nlohmann::json::parse(ReadFileBytes(json));
  ASSERT_TRUE(doc.contains("manifest")) << json;
  ASSERT_EQ(doc.at("columns"), nlohmann::json(csv[0])) << json;
  const auto& rows = doc.at(key);
  ASSERT_EQ(rows.size() + 1, csv.size()) << json;
  for (std::size_t r = 1; r < csv.size(); ++r) {
    const auto& row = rows[r - 1];
    ASSERT_TRUE(row.is_array()) << json << " row " << r;
    ASSERT_EQ(row.size(), csv[0].size()) << json << " row " << r;
    for (std::size_t c = 0; c < csv[0].size(); ++c) {
      const auto& v = row.at(c);
      const std::string where =
          json.filename().string() + " row " + std::to_string(r) + " " + csv[0][c];
      if (v.is_null())
        EXPECT_EQ(csv[r][c], "") << where;
      else if (v.is_string())
        EXPECT_EQ(csv[r][c], v.get<std::string>()) << where;
      else if (v.is_number_integer())
        EXPECT_EQ(csv[r][c], std::to_string(v.get<long long>())) << where;
      else
        ExpectCell(csv[r][c], "#" + v.dump(), where);
    }
  }
}

// A table written as NAME.csv, NAME.json and NAME.xlsx: the three agree.
Table ExpectFormatsAgree(const fs::path& stem, const std::string& jsonKey) {
  const Table csv = ParseCsv(ReadFileBytes(stem.string() + ".csv"));
  EXPECT_GE(csv.size(), 2u) << stem;
  ExpectJsonHolds(csv, stem.string() + ".json", jsonKey);
  ExpectWorkbookHolds(csv, stem.string() + ".xlsx", 1);
  return csv;
}

std::vector<std::string> ExportsOf(const std::string& stem) {
  return {"--export", stem + ".csv", "--export", stem + ".json", "--export", stem + ".xlsx"};
}

class ExportAgreement : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
    for (const char* name : {"csfii", "nhanes-2005-2010"})
      CopySampleInstallation(name, dir_.path() / name);
    testdata::WriteInstallation(SmallInstallation(0), dir_.path() / "small0");
    testdata::WriteResidueFile(SmallResidueFile(0), dir_.path() / "small0/residues/test.R98");
  }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }

  CliResult Run(std::vector<std::string> args, const std::vector<std::string>& more = {}) {
    args.insert(args.end(), more.begin(), more.end());
    return RunCliIn(dir_.path(), args);
  }
  fs::path P(const std::string& rel) const { return dir_.path() / rel; }

  TempDir dir_;
  ScopedCurrentDir cwd_{fs::current_path()};
};

// The number format of each column of a workbook's data sheet, as Excel
// shows the cells of its first row of data: column name -> format code.
std::map<std::string, std::string> ColumnFormats(const fs::path& xlsx) {
  const std::string styles = ZipMember(xlsx, "xl/styles.xml");
  std::map<std::string, std::string> codes = {{"0", "General"}};
  static const std::regex kNumFmt(R"re(<numFmt numFmtId="(\d+)" formatCode="([^"]*)")re");
  for (std::sregex_iterator it(styles.begin(), styles.end(), kNumFmt), end; it != end; ++it)
    codes[(*it)[1]] = XmlText((*it)[2]);
  std::vector<std::string> xfs;
  const std::string cellXfs = styles.substr(styles.find("<cellXfs"));
  static const std::regex kXf(R"re(<xf numFmtId="(\d+)")re");
  for (std::sregex_iterator it(cellXfs.begin(), cellXfs.end(), kXf), end; it != end; ++it)
    xfs.push_back((*it)[1]);
  const std::string sheet = ZipMember(xlsx, "xl/worksheets/sheet1.xml");
  const Table cells = SheetCells(xlsx, 1);
  std::map<std::string, std::string> out;
  static const std::regex kCell(R"re(<c r="([A-Z]+)2" s="(\d+)")re");
  for (std::sregex_iterator it(sheet.begin(), sheet.end(), kCell), end; it != end; ++it) {
    std::size_t column = 0;
    for (char c : (*it)[1].str()) column = column * 26 + static_cast<std::size_t>(c - 'A' + 1);
    const std::string numFmt = xfs.at(std::stoul((*it)[2]));
    out[cells[0].at(column - 1)] = codes.count(numFmt) ? codes[numFmt] : "builtin " + numFmt;
  }
  return out;
}

// Each table's figures are formatted to its own report's precision.
TEST_F(ExportAgreement, WorkbookFormatsFollowTheirReport) {
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--noel=0.5", "--export",
                 "lt.xlsx"})
                .status,
            0);
  ASSERT_EQ(Run({"-C", "csfii", "commodity", "csfii/residues/DEMOFOS.R98", "--noel=0.5",
                 "--complete", "--subgroups", "1", "--export", "cc.xlsx"})
                .status,
            0);
  auto longTerm = ColumnFormats(P("lt.xlsx")), commodity = ColumnFormats(P("cc.xlsx"));
  EXPECT_EQ(longTerm["exposure_mg_per_kg_bw_day"], "0.000000");
  EXPECT_EQ(longTerm["percent_of_noel"], "#,##0.00");
  EXPECT_EQ(longTerm["margin_of_exposure"], "#,##0");
  EXPECT_EQ(commodity["exposure_mg_per_kg_bw_day"], "0.0000000");
  EXPECT_EQ(commodity["percent_of_noel"], "#,##0.0");
}

TEST_F(ExportAgreement, LongTermAndCommodityResults) {
  const std::vector<std::vector<std::string>> runs = {
      {"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--pad", "--pad-value",
       "17=0.0025"},
      {"-C", "csfii", "commodity", "csfii/residues/DEMOFOS.R98", "--rfd", "--complete",
       "--subgroups", "1,17,27"},
      {"-C", "nhanes-2005-2010", "longterm", "nhanes-2005-2010/residues/DEMOFOS.R10", "--noel=0.5"},
      {"-C", "nhanes-2005-2010", "commodity", "nhanes-2005-2010/residues/DEMOFOS.R10",
       "--qstar=0.05", "--critical", "--food-pct", "1", "--crop-pct", "5", "--subgroups", "1"},
      {"-C", "small0", "commodity", "small0/residues/test.R98", "--noel=0.5", "--rfd=0.005",
       "--complete", "--subgroups", "all"},
  };
  int n = 0;
  for (const auto& run : runs) {
    const std::string stem = "x" + std::to_string(n++);
    const CliResult r = Run(run, ExportsOf(stem));
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectFormatsAgree(P(stem), run[2]);
  }
}

// What docs/exports.md tells spreadsheet users: the code columns of a
// workbook are text cells, their leading zeros kept, where a CSV reader
// that guesses types would lose them.
TEST_F(ExportAgreement, CodesAreTextCellsInTheWorkbook) {
  ASSERT_EQ(Run({"-C", "csfii", "commodity", "csfii/residues/DEMOFOS.R98", "--rfd", "--complete",
                 "--subgroups", "1"},
                {"--export", "cc.csv", "--export", "cc.xlsx"})
                .status,
            0);
  const Table csv = ParseCsv(ReadFileBytes(P("cc.csv")));
  const Table cells = SheetCells(P("cc.xlsx"), 1);
  ASSERT_EQ(cells.size(), csv.size());
  int zeros = 0, codes = 0;
  for (const char* name : {"commodity_code", "crop_group_code"}) {
    const auto column = std::find(csv[0].begin(), csv[0].end(), name) - csv[0].begin();
    ASSERT_LT(static_cast<std::size_t>(column), csv[0].size()) << name;
    for (std::size_t r = 1; r < csv.size(); ++r) {
      const std::string& code = csv[r][static_cast<std::size_t>(column)];
      if (code.empty()) continue;
      ++codes;
      if (code[0] == '0') ++zeros;
      ASSERT_LT(static_cast<std::size_t>(column), cells[r].size());
      EXPECT_EQ(cells[r][static_cast<std::size_t>(column)], code) << name << " row " << r;
    }
  }
  EXPECT_GT(codes, 0);
  EXPECT_GT(zeros, 0);  // the case the workbook is for
}

// The printed headroom table, its CSV, JSON and workbook: the same rows in
// the same order, with the same multiplier and limiting subgroup.
TEST_F(ExportAgreement, HeadroomTableAndExports) {
  const std::vector<std::vector<std::string>> runs = {
      {"-C", "csfii", "headroom", "csfii/residues/CYCLOFOS.R98", "--rfd"},
      {"-C", "csfii", "headroom", "csfii/residues/DEMOFOS.R98", "--rfd", "--by", "food",
       "--subgroups", "1,20,25"},
      {"-C", "nhanes-2005-2010", "headroom", "nhanes-2005-2010/residues/DEMOFOS.R10", "--noel=0.5",
       "--by", "form"},
      {"-C", "small0", "headroom", "small0/residues/test.R98", "--pad", "--pad-value", "20=0.001",
       "--by", "food"},
  };
  int n = 0, numbers = 0;
  for (const auto& run : runs) {
    const std::string stem = "h" + std::to_string(n++);
    const CliResult r = Run(run, ExportsOf(stem));
    ASSERT_EQ(r.status, 0) << r.err;
    const Table csv = ExpectFormatsAgree(P(stem), "headroom");
    // The table's rows follow its dashes, one per exported row.
    std::vector<std::string> lines = Lines(r.out);
    std::size_t first = 0;
    while (first < lines.size() && lines[first].rfind("----", 0) != 0) ++first;
    ASSERT_LT(first, lines.size()) << r.out;
    ASSERT_GE(lines.size() - first - 1, csv.size() - 1) << r.out;
    std::size_t multiplier = 0, limiting = 0, limitingRow = 0;
    for (std::size_t c = 0; c < csv[0].size(); ++c) {
      if (csv[0][c] == "residue_multiplier") multiplier = c;
      if (csv[0][c] == "limiting_subgroup") limiting = c;
      if (csv[0][c] == "limiting_subgroup_row") limitingRow = c;
    }
    int differing = 0;
    for (std::size_t i = 1; i < csv.size(); ++i) {
      const std::string& line = lines[first + i];
      EXPECT_EQ(line.rfind(csv[i][0], 0), 0u) << line;
      const bool same = line.find("  " + csv[i][multiplier] + "  ") != std::string::npos &&
                        line.find(csv[i][limiting]) != std::string::npos;
      if (!same) ++differing;
      // A limiting subgroup comes with its row, and only then.
      EXPECT_EQ(csv[i][limitingRow].empty(), csv[i][limiting].empty()) << line;
      EXPECT_TRUE(same) << stem << ": " << line << " / " << csv[i][multiplier] << " "
                        << csv[i][limiting];
    }
    EXPECT_EQ(differing, 0) << stem;
    // In the workbook the multiplier is a number cell, shown with the digits
    // the report prints ("1.420": 0.000), so that it sums and sorts.
    const Table cells = SheetCells(P(stem + ".xlsx"), 1);
    for (std::size_t i = 1; i < csv.size(); ++i) {
      const std::string& text = csv[i][multiplier];
      char* end = nullptr;
      std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0') continue;
      ASSERT_FALSE(cells[i][multiplier].empty()) << stem << " row " << i;
      EXPECT_EQ(cells[i][multiplier][0], '#') << stem << " row " << i << ": " << text;
      ++numbers;
    }
    const std::string shown = csv[1][multiplier];
    const auto point = shown.find('.');
    if (shown.find_first_of("eE") == std::string::npos && !shown.empty() &&
        cells[1][multiplier].starts_with("#")) {
      EXPECT_EQ(
          ColumnFormats(P(stem + ".xlsx"))["residue_multiplier"],
          point == std::string::npos ? "0" : "0." + std::string(shown.size() - point - 1, '0'))
          << stem << ": " << shown;
    }
  }
  EXPECT_GT(numbers, 0);
}

TEST_F(ExportAgreement, HistoryShowAndCompare) {
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd"}).status, 0);
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/CYCLOFOS.R98", "--qstar=0.05"}).status,
            0);
  ASSERT_EQ(Run({"-C", "csfii", "commodity", "csfii/residues/DEMOFOS.R98", "--pad", "--pad-value",
                 "17=0.0025", "--complete", "--subgroups", "17"})
                .status,
            0);
  for (const char* id : {"1", "3"}) {
    for (const char* ext : {".csv", ".json", ".xlsx"}) {
      const CliResult r =
          Run({"-C", "csfii", "history", "show", id, "--export", "show" + std::string(id) + ext});
      ASSERT_EQ(r.status, 0) << r.err;
    }
    ExpectFormatsAgree(P(std::string("show") + id),
                       std::string(id) == "1" ? "longterm" : "commodity");
  }
  for (const char* ext : {".csv", ".json", ".xlsx"}) {
    const CliResult r =
        Run({"-C", "csfii", "compare", "1", "2", "--export", "cmp" + std::string(ext)});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  const Table csv = ParseCsv(ReadFileBytes(P("cmp.csv")));
  ASSERT_GE(csv.size(), 2u);
  const auto doc = nlohmann::json::parse(ReadFileBytes(P("cmp.json")));
  std::string key;
  for (auto it = doc.begin(); it != doc.end(); ++it)
    if (it.value().is_array()) key = it.key();
  ASSERT_FALSE(key.empty()) << doc.dump().substr(0, 300);
  ExpectJsonHolds(csv, P("cmp.json"), key);
  ExpectWorkbookHolds(csv, P("cmp.xlsx"), 1);
}

TEST_F(ExportAgreement, BatchSummaryAndScenarioExports) {
  const CliResult r = Run({"-C", "csfii", "batch", "--scenarios", "csfii/scenarios.csv", "--out",
                           "out", "--export", "csv", "--export", "json", "--export", "xlsx"});
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  const Table summary = ParseCsv(ReadFileBytes(P("out/summary.csv")));
  ASSERT_GE(summary.size(), 2u);
  ExpectWorkbookHolds(summary, P("out/summary.xlsx"), 1);
  int scenarios = 0;
  for (const auto& entry : fs::directory_iterator(P("out"))) {
    const fs::path path = entry.path();
    if (path.extension() != ".csv" || path.filename() == "summary.csv") continue;
    fs::path stem = path;
    stem.replace_extension();
    const auto doc = nlohmann::json::parse(ReadFileBytes(stem.string() + ".json"));
    ExpectFormatsAgree(stem, doc.contains("longterm") ? "longterm" : "commodity");
    ++scenarios;
  }
  EXPECT_EQ(scenarios, 5);
}

// A residue table written as CSV and as a workbook: the same cells.
// The fewest significant digits that read back to the same double.
std::size_t ShortestDigits(double v) {
  char buffer[64];
  const auto r =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v), std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<std::size_t>(r.ptr - buffer));
  const std::string_view mantissa = text.substr(0, text.find('e'));
  return mantissa.size() - (mantissa.find('.') == std::string_view::npos ? 0 : 1);
}

// The significant digits a number's text has.
std::size_t DigitsOf(std::string_view text) {
  std::string digits;
  for (char c : text.substr(0, text.find_first_of("eE")))
    if (c >= '0' && c <= '9') digits += c;
  const auto first = digits.find_first_not_of('0');
  if (first == std::string::npos) return 1;
  digits.erase(0, first);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  return digits.size();
}

// Every JSON file of every kind of run (exports and manifests): each
// number with a fraction or an exponent is the shortest text of its value,
// as docs/exports.md says.
TEST_F(ExportAgreement, EveryJsonNumberIsTheShortestText) {
  const std::vector<std::vector<std::string>> runs = {
      {"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd", "--save", "lt"},
      {"-C", "csfii", "commodity", "csfii/residues/DEMOFOS.R98", "--rfd", "--complete",
       "--subgroups", "all"},
      {"-C", "csfii", "headroom", "csfii/residues/DEMOFOS.R98", "--rfd"},
      {"-C", "csfii", "cumulative", "csfii/op-group.csv", "--target", "100", "--save", "cu"},
  };
  int n = 0;
  for (const auto& run : runs) {
    const std::string stem = "j" + std::to_string(n++);
    const CliResult r = Run(run, {"--export", stem + ".json", "--export", stem + ".csv"});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  std::size_t files = 0, numbers = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
    if (entry.path().extension() != ".json") continue;
    ++files;
    const std::string text = ReadFileBytes(entry.path());
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '"') {  // a string, with its escapes
        for (++i; i < text.size() && text[i] != '"'; ++i)
          if (text[i] == '\\') ++i;
        continue;
      }
      if (text[i] != '-' && (text[i] < '0' || text[i] > '9')) continue;
      const std::size_t start = i;
      while (i < text.size() &&
             std::string_view("+-.eE0123456789").find(text[i]) != std::string_view::npos)
        ++i;
      const std::string token = text.substr(start, i - start);
      if (token.find_first_of(".eE") == std::string::npos) continue;
      ++numbers;
      const double value = std::strtod(token.c_str(), nullptr);
      EXPECT_EQ(DigitsOf(token), ShortestDigits(value)) << entry.path().filename() << ": " << token;
    }
  }
  EXPECT_GE(files, 8u);
  EXPECT_GT(numbers, 1000u);
}

TEST_F(ExportAgreement, ResidueTable) {
  for (const auto& [folder, file] : std::vector<std::pair<std::string, std::string>>{
           {"csfii", "DEMOFOS.R98"}, {"nhanes-2005-2010", "DEMOFOS.R10"}, {"small0", "test.R98"}}) {
    const std::string residue = folder + "/residues/" + file;
    ASSERT_EQ(Run({"-C", folder, "residue", "export", residue, "t-" + folder + ".csv"}).status, 0);
    ASSERT_EQ(Run({"-C", folder, "residue", "export", residue, "t-" + folder + ".xlsx"}).status, 0);
    const Table csv = ParseCsv(ReadFileBytes(P("t-" + folder + ".csv")));
    ASSERT_GE(csv.size(), 10u);
    Table cells = SheetCells(P("t-" + folder + ".xlsx"), 1);
    ASSERT_EQ(cells.size(), csv.size()) << folder;
    for (std::size_t r = 0; r < csv.size(); ++r) {
      cells[r].resize(std::max(cells[r].size(), csv[r].size()));
      CsvRow row = csv[r];
      row.resize(cells[r].size());
      for (std::size_t c = 0; c < row.size(); ++c)
        ExpectCell(row[c], cells[r][c], folder + " row " + std::to_string(r + 1));
    }
  }
}

// An aggregate run's CSV against its workbook cell by cell, and against its
// report: each duration's subgroups in the report's order, with the total
// dose, the ARI (or the lifetime risk) and the DWLOC the report prints.
TEST_F(ExportAgreement, AggregateExportsAndReport) {
  const std::string nh = "nhanes-2005-2010";
  const CliResult r =
      Run({"-C", nh, "aggregate", nh + "/residues/DEMOFOS.R10", "--tox", nh + "/tox.csv",
           "--residential", nh + "/residential.csv", "--water-ppb", "chronic=2", "--water-ppb",
           "short-term=30", "--water-foods", "8600078001,8600079001", "--no-history"},
          {"--export", "ag.csv", "--export", "ag.xlsx"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Table csv = ParseCsv(ReadFileBytes(P("ag.csv")));
  // The workbook holds a figure in double to the 16 significant digits its
  // number cells are written with.
  const Table cells = SheetCells(P("ag.xlsx"), 1);
  ASSERT_EQ(cells.size(), csv.size());
  for (std::size_t i = 0; i < csv.size(); ++i)
    for (std::size_t c = 0; c < csv[i].size(); ++c) {
      const std::string cell = c < cells[i].size() ? cells[i][c] : std::string();
      const std::string where = "row " + std::to_string(i + 1) + " " + csv[0][c];
      if (cell.empty() || cell[0] != '#') {
        EXPECT_EQ(csv[i][c], cell) << where;
        continue;
      }
      const double a = std::stod(csv[i][c]), b = std::stod(cell.substr(1));
      EXPECT_LE(std::abs(a - b), 1e-15 * std::abs(a))
          << where << ": " << csv[i][c] << " / " << cell;
    }
  std::map<std::string, std::size_t> col;
  for (std::size_t c = 0; c < csv[0].size(); ++c) col[csv[0][c]] = c;
  const std::vector<std::string> report = Lines(ReadFileBytes(P(nh + "/tempagg.txt")));
  // The line after the first line from `from` on that starts with `dashes`.
  auto after = [&](std::size_t from, const std::string& dashes) {
    while (from < report.size() && report[from].rfind(dashes, 0) != 0) ++from;
    return from + 1;
  };
  auto number = [](std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ','), text.end());
    return std::stod(text);
  };
  std::size_t row = 1, at = 0, durations = 0;
  while (row < csv.size()) {
    const std::string duration = csv[row][col["duration"]];
    std::size_t n = 0;
    while (row + n < csv.size() && csv[row + n][col["duration"]] == duration) ++n;
    std::string title = duration;
    title[0] = static_cast<char>(std::toupper(title[0]));
    while (at < report.size() &&
           report[at].find(title + " aggregate exposure") == std::string::npos)
      ++at;
    ASSERT_LT(at, report.size()) << duration;
    const std::size_t doses = after(at, "------------------------------  ----------");
    const std::size_t figures = after(doses, "------------------------ --------");
    const std::size_t risks = after(doses, "------------------------------  --------------");
    const std::size_t levels =
        after(doses, "----------------------------  ------------------------");
    for (std::size_t i = 0; i < n; ++i) {
      const CsvRow& c = csv[row + i];
      SCOPED_TRACE(duration + " " + c[col["subgroup"]]);
      const std::string& dose = report[doses + i];
      EXPECT_EQ(dose.rfind(c[col["subgroup"]].substr(0, 30), 0), 0u) << dose;
      double total = 0;
      for (const char* route : {"oral", "dermal", "inhalation"})
        total += std::stod(c[col[std::string("dose_") + route + "_mg_per_kg_bw_day"]]);
      EXPECT_NEAR(number(dose.substr(66)), total, 5e-8) << dose;
      if (duration == "cancer") {
        EXPECT_NEAR(
            number(report[risks + i].substr(32, 14)) / std::stod(c[col["lifetime_cancer_risk"]]), 1,
            0.01)
            << report[risks + i];
      } else {
        const std::string& line = report[figures + i];
        EXPECT_NEAR(number(line.substr(62, 7)), std::stod(c[col["aggregate_risk_index"]]), 0.005)
            << line;
        EXPECT_EQ(line.find(" *") != std::string::npos, c[col["of_concern"]] == "yes") << line;
      }
      const std::string level = TrimBlanks(report[levels + i].substr(56, 11));
      if (c[col["dwloc"]] == "value")
        EXPECT_NEAR(number(level), std::stod(c[col["dwloc_ug_per_l"]]), 0.005) << level;
      else
        EXPECT_EQ(level, c[col["dwloc"]]);
      EXPECT_EQ(report[levels + i].substr(30, 24).find(c[col["scenario"]].substr(0, 24)), 0u)
          << report[levels + i];
    }
    row += n;
    at = levels;
    ++durations;
  }
  EXPECT_EQ(durations, 4u);
}

}  // namespace
}  // namespace ormid::test
