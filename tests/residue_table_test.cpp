// Residue tables: residue files exported as tables and imported back, on
// copies of the bundled sample installations and on generated ones; the
// spreadsheet dialects a table may come in; every check of a table, each
// naming its line; and the file left alone whenever a table is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string_view>

#include "core/paths.h"
#include "residue/residue_reader.h"
#include "residue_table/residue_table.h"
#include "residue_table/residue_table_command.h"
#include "setup/startup.h"
#include "tests/installation_fixture.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;
namespace td = testdata;

// A copy of a bundled sample installation, started up in its folder.
struct SampleInstallation {
  TempDir dir;
  std::unique_ptr<ScopedCurrentDir> cwd;
  FakePlatform platform;
  ModOrmid m;
  bool started = false;

  explicit SampleInstallation(const std::string& name) {
    CopySampleInstallation(name, dir.path());
    cwd = std::make_unique<ScopedCurrentDir>(dir.path());
    started = StartUp(m, platform, false);
  }
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

// Export, then import into `output`; the outcome of the import.
TableImportOutcome RoundTrip(ModOrmid& m, FakePlatform& p, const fs::path& residue,
                             const fs::path& table, const fs::path& output) {
  const TableExportOutcome exported =
      ExportResidueTable(m, p, residue.string(), "table.csv", table.string());
  EXPECT_TRUE(exported.written);
  EXPECT_EQ(Joined(exported.warnings), "");
  return ImportResidueTable(m, p, "table.csv", table.string(), output.string());
}

// Replaces the five XML entities by their characters; a "<" or an "&" that
// starts no entity is not XML.
std::string XmlText(std::string_view xml) {
  static const std::pair<std::string_view, char> entities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string text;
  for (std::size_t at = 0; at < xml.size();) {
    bool replaced = false;
    for (const auto& [entity, c] : entities)
      if (xml.substr(at).starts_with(entity)) {
        text += c;
        at += entity.size();
        replaced = true;
        break;
      }
    if (replaced) continue;
    EXPECT_TRUE(xml[at] != '<' && xml[at] != '&') << "not XML text: " << xml;
    text += xml[at++];
  }
  return text;
}

// The text of every <t> element in xml, joined.
std::string TextElements(std::string_view xml) {
  std::string text;
  for (std::size_t at = 0; (at = xml.find("<t", at)) != std::string_view::npos;) {
    if (xml[at + 2] != '>' && xml[at + 2] != ' ') {
      ++at;
      continue;
    }
    const std::size_t open = xml.find('>', at) + 1;
    const std::size_t close = xml.find("</t>", open);
    text += XmlText(xml.substr(open, close - open));
    at = close;
  }
  return text;
}

std::string Attribute(std::string_view element, const std::string& name) {
  const std::size_t at = element.find(" " + name + "=\"");
  if (at == std::string_view::npos) return std::string();
  const std::size_t from = at + name.size() + 3;
  return std::string(element.substr(from, element.find('"', from) - from));
}

// The sheet of a workbook as a spreadsheet program saves it as CSV with every
// digit of its numbers: each cell's value (a shared or an inline text, or a
// number) in the row and column its reference names, the rows it skips blank.
// numberCells, when given, receives the (row, column) of every number cell,
// both counted from 1.
using CellPlaces = std::set<std::pair<std::size_t, std::size_t>>;
std::string WorkbookAsCsv(const fs::path& book, CellPlaces* numberCells = nullptr) {
  std::vector<std::string> shared;
  const std::string sst = ZipMember(book, "xl/sharedStrings.xml");
  for (std::size_t at = 0; (at = sst.find("<si>", at)) != std::string::npos;) {
    const std::size_t end = sst.find("</si>", at);
    shared.push_back(TextElements(std::string_view(sst).substr(at, end - at)));
    at = end;
  }
  const std::string sheet = ZipMember(book, "xl/worksheets/sheet1.xml");
  EXPECT_NE(sheet.find("<sheetData>"), std::string::npos) << book;
  std::vector<std::vector<std::string>> rows;
  for (std::size_t at = 0; (at = sheet.find("<c ", at)) != std::string::npos;) {
    const std::size_t tagEnd = sheet.find('>', at);
    const std::string_view tag = std::string_view(sheet).substr(at, tagEnd + 1 - at);
    const bool empty = tag.ends_with("/>");
    const std::size_t end = empty ? tagEnd : sheet.find("</c>", tagEnd);
    const std::string_view content = std::string_view(sheet).substr(tagEnd + 1, end - tagEnd - 1);
    at = end;
    const std::string ref = Attribute(tag, "r");
    std::size_t col = 0, letters = 0;
    while (letters < ref.size() && std::isupper(static_cast<unsigned char>(ref[letters])))
      col = col * 26 + static_cast<std::size_t>(ref[letters++] - 'A' + 1);
    const std::size_t row = std::stoul(ref.substr(letters));
    std::string value;
    const std::string type = Attribute(tag, "t");
    const std::size_t v = content.find("<v>");
    const std::string number =
        v == std::string_view::npos
            ? std::string()
            : XmlText(content.substr(v + 3, content.find("</v>", v) - v - 3));
    if (type == "inlineStr")
      value = TextElements(content);
    else if (type == "s")
      value = shared.at(std::stoul(number));
    else
      value = number;
    if (empty) continue;
    if (rows.size() < row) rows.resize(row);
    if (rows[row - 1].size() < col) rows[row - 1].resize(col);
    rows[row - 1][col - 1] = value;
    if (numberCells && type.empty()) numberCells->insert({row, col});
  }
  std::string csv;
  for (const auto& cells : rows) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const std::string& cell = cells[i];
      if (i > 0) csv += ',';
      if (cell.find_first_of(",\"\r\n") == std::string::npos && cell == TrimBlanks(cell)) {
        csv += cell;
        continue;
      }
      csv += '"';
      for (char c : cell) csv += c == '"' ? std::string("\"\"") : std::string(1, c);
      csv += '"';
    }
    csv += "\r\n";
  }
  return csv;
}

// The cells of two CSV tables are the same: the same texts, or numbers of the
// same value however written; empty cells at the ends of rows do not count.
void ExpectSameCells(const std::string& expected, const std::string& actual) {
  auto cells = [](const std::string& text) {
    std::vector<CsvRow> rows = ParseCsv(text);
    for (CsvRow& row : rows)
      while (!row.empty() && row.back().empty()) row.pop_back();
    return rows;
  };
  const std::vector<CsvRow> want = cells(expected), got = cells(actual);
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t r = 0; r < want.size(); ++r) {
    ASSERT_EQ(got[r].size(), want[r].size()) << "row " << r + 1;
    for (std::size_t c = 0; c < want[r].size(); ++c) {
      if (got[r][c] == want[r][c]) continue;
      char* wantEnd = nullptr;
      char* gotEnd = nullptr;
      const double a = std::strtod(want[r][c].c_str(), &wantEnd);
      const double b = std::strtod(got[r][c].c_str(), &gotEnd);
      EXPECT_TRUE(*wantEnd == 0 && *gotEnd == 0 && !want[r][c].empty() && a == b)
          << "row " << r + 1 << ", column " << c + 1 << ": " << got[r][c] << " instead of "
          << want[r][c];
    }
  }
}

// Every residue file of both samples, exported as CSV and as a workbook and
// imported back, is the file byte for byte; the files whose export is refused
// are the documented ones, each with its message. A new sample file is
// covered as soon as it is in residues/.
TEST(ResidueTableTest, EverySampleFileComesBackByteForByte) {
  struct Refusal {
    std::string title, text;  // the message and the start of its text
  };
  const std::string multiChemical = " cannot be exported as a table: it is a multi-chemical file";
  const std::map<std::string, Refusal> refused = {
      {"DEMOGRP.R98", {"Export Residue Table", multiChemical}},
      {"DEMOGRP.R10", {"Export Residue Table", multiChemical}},
      // Saved with an earlier data version: refused as the open refuses it.
      {"CYCLOFOS.R10",
       {"Reading Residue File",
        "This residue file was saved with the set of RAC and Foodforms at version 05-10-a."}},
  };
  std::set<std::string> seen;
  for (const char* installation : {"csfii", "nhanes-2005-2010"}) {
    SampleInstallation s(installation);
    ASSERT_TRUE(s.started);
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(s.dir.path() / "residues"))
      files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& original : files) {
      const std::string file = original.filename().string();
      seen.insert(file);
      const auto refusal = refused.find(file);
      for (const std::string format : {"csv", "xlsx"}) {
        SCOPED_TRACE(std::string(installation) + "/" + file + " as " + format);
        const fs::path table = s.dir.path() / ("table." + format);
        fs::remove(table);
        s.platform.messages.clear();
        const TableExportOutcome exported = ExportResidueTable(
            s.m, s.platform, original.string(), table.filename().string(), table.string());
        if (refusal != refused.end()) {
          EXPECT_FALSE(exported.written);
          ASSERT_FALSE(s.platform.messages.empty());
          EXPECT_EQ(s.platform.messages.back().title, refusal->second.title);
          const std::string& text = s.platform.messages.back().text;
          if (refusal->second.title == "Export Residue Table") {
            EXPECT_EQ(text.substr(0, text.find(" cannot")), "Residue file " + original.string());
          }
          EXPECT_NE(text.find(refusal->second.text), std::string::npos) << text;
          EXPECT_FALSE(fs::exists(table));
          continue;
        }
        ASSERT_TRUE(exported.written);
        EXPECT_EQ(Joined(exported.warnings), "");
        const fs::path csv = s.dir.path() / "back.csv";
        CellPlaces numbers;
        WriteFileBytes(csv,
                       format == "csv" ? ReadFileBytes(table) : WorkbookAsCsv(table, &numbers));
        const fs::path again = s.dir.path() / ("again" + original.extension().string());
        fs::remove(again);
        const TableImportOutcome imported =
            ImportResidueTable(s.m, s.platform, "back.csv", csv.string(), again.string());
        EXPECT_EQ(Joined(imported.problems) + Joined(imported.warnings), "");
        ASSERT_TRUE(imported.written);
        EXPECT_EQ(ReadFileBytes(again), ReadFileBytes(original));
        // The example table of the sample is the export of its Demofos file.
        if (format == "csv" && file.starts_with("DEMOFOS.")) {
          EXPECT_EQ(ReadFileBytes(table), ReadFileBytes(SourceDir() / "samples" / installation /
                                                        "tables" / "DEMOFOS.csv"));
        }
        // The workbook's cells are the CSV table's.
        if (format == "xlsx") {
          const fs::path plain = s.dir.path() / "table.csv";
          ASSERT_TRUE(
              ExportResidueTable(s.m, s.platform, original.string(), "table.csv", plain.string())
                  .written);
          ExpectSameCells(ReadFileBytes(plain), ReadFileBytes(csv));
          // Below the column headings the commodity codes are texts (keeping
          // their leading zeros); food-form codes, residues and factors numbers.
          const std::vector<CsvRow> rows = ParseCsv(ReadFileBytes(plain));
          std::size_t below = 0;
          for (std::size_t r = 0; r < rows.size(); ++r) {
            if (below == 0) {
              if (!rows[r].empty() && rows[r][0] == "Commodity code") below = r + 2;
              continue;
            }
            for (std::size_t c = 0; c < rows[r].size(); ++c) {
              const bool number = c == 2 || (c >= 4 && c <= 6);
              if (!rows[r][c].empty()) {
                EXPECT_EQ(numbers.count({r + 1, c + 1}), number ? 1u : 0u)
                    << "row " << r + 1 << ", column " << c + 1;
              }
            }
          }
          EXPECT_GT(below, 0u);
        }
      }
    }
  }
  EXPECT_GE(seen.size(), 6u);
  for (const auto& [file, refusal] : refused) EXPECT_EQ(seen.count(file), 1u) << file;
}

// A residue file may list food forms that are not among their commodities'
// master food forms (Ormid reads them; nothing of them is consumed). The
// export names their rows and the import refuses them there. Without those two
// rows the table is the example table of the sample (tables/DEMOFOS.csv).
TEST(ResidueTableTest, FoodFormsNotAmongTheMasterFormsAreNamedAndRefused) {
  for (auto [installation, file] :
       {std::pair{"csfii", "DEMOFOS.R98"}, {"nhanes-2005-2010", "DEMOFOS.R10"}}) {
    SCOPED_TRACE(file);
    SampleInstallation s(installation);
    const fs::path original = s.dir.path() / "residues" / file;
    const std::string sample = ReadFileBytes(original);
    WriteFileBytes(original, WithStrayFoodForms(sample));
    const fs::path table = s.dir.path() / "table.csv";
    const TableExportOutcome exported =
        ExportResidueTable(s.m, s.platform, original.string(), "table.csv", table.string());
    ASSERT_TRUE(exported.written);
    ASSERT_EQ(exported.warnings.size(), 2u);
    EXPECT_TRUE(exported.warnings[0].starts_with(
        "table.csv:183: warning: food form 100 is not a food form of commodity "));
    EXPECT_TRUE(exported.warnings[1].ends_with(
        "(its food forms: 200, 500, 700, 240, 250); an import of the table refuses it"));

    const fs::path again = s.dir.path() / ("again" + original.extension().string());
    const TableImportOutcome imported =
        ImportResidueTable(s.m, s.platform, "table.csv", table.string(), again.string());
    ASSERT_EQ(imported.problems.size(), 2u);
    EXPECT_TRUE(imported.problems[0].starts_with("table.csv:183: food form 100 is not"));
    EXPECT_TRUE(imported.problems[1].starts_with("table.csv:306: food form 600 is not"));
    EXPECT_FALSE(fs::exists(again));

    std::string csv = ReadFileBytes(table);
    for (int line : {306, 183}) {
      std::size_t at = 0;
      for (int n = 1; n < line; ++n) at = csv.find("\r\n", at) + 2;
      csv.erase(at, csv.find("\r\n", at) + 2 - at);
    }
    EXPECT_EQ(csv,
              ReadFileBytes(SourceDir() / "samples" / installation / "tables" / "DEMOFOS.csv"));

    // Ormid reads the file with them: its items, written again, are the file.
    ResidueFile items;
    int failed = 0;
    ReadResidueFile(s.m, s.platform, failed, &items);
    ASSERT_EQ(failed, 0);
    EXPECT_EQ(ResidueFileText(items), ReadFileBytes(original));
    EXPECT_NE(ReadFileBytes(original), sample);
  }
}

TEST(ResidueTableTest, MultiChemicalExportNamesTheReason) {
  SampleInstallation s("csfii");
  const fs::path original = s.dir.path() / "residues" / "DEMOGRP.R98";
  EXPECT_FALSE(ExportResidueTable(s.m, s.platform, original.string(), "t.csv", "t.csv").written);
  ASSERT_EQ(s.platform.messages.size(), 1u);
  EXPECT_EQ(s.platform.messages[0].text,
            "Residue file " + original.string() +
                " cannot be exported as a table: it is a multi-chemical file, whose entries carry "
                "values of 3 chemicals that a residue table has no columns for.");
}

// Generated files of both kinds with what a file can hold at its edges.
TEST(ResidueTableTest, GeneratedFilesComeBackByteForByte) {
  struct Variant {
    std::string name;
    void (*change)(td::ResidueFile&, int base);
  } variants[] = {
      {"as generated", [](td::ResidueFile&, int) {}},
      {"no comment", [](td::ResidueFile& f, int) { f.comment.reset(); }},
      {"empty comment", [](td::ResidueFile& f, int) { f.comment = ""; }},
      {"multi-chemical tag without chemicals",
       [](td::ResidueFile& f, int base) { f.tag = base == 0 ? "FCIDMC1" : "05-10-cMCNH2"; }},
      {"texts with separators, blanks and accents",
       [](td::ResidueFile& f, int) {
         f.chemical = "Testazole; 2,4-D salt";
         f.comment = "  leading blanks, commas; and semicolons  ";
         f.item5 = "Acute RfD 0,05 mg/kg";
         f.foods[0].name = "Apple, crème";
         f.foods[0].comment = "PDP 2019; FDA, 2020 <LOQ & >0.01";
         f.foods[1].forms[1].comment = "  ";
       }},
      {"numbers at the edges",
       [](td::ResidueFile& f, int) {
         f.rfd = 1e-9f;
         f.noel = 3.4e38f;
         f.qStar = 0.1f;
         f.item4 = -2.5f;
         f.item7 = 123456.79f;
         f.foods[0].residue = 1.17549435e-38f;
         f.foods[0].adj1 = 0.3333333f;
         f.foods[1].residue = 7.25f;  // a food-level residue beside its food forms
         f.foods[1].forms[0].adj2 = 0;
         f.foods[3].residue = 9999.999f;
       }},
      {"nine-character code",
       [](td::ResidueFile& f, int base) {
         if (base != 0) f.foods[1].code = f.foods[1].code.substr(1);
       }},
      {"one food", [](td::ResidueFile& f, int) { f.foods.resize(1); }},
      {"value pairs named without chemicals", [](td::ResidueFile& f, int) { f.pairCount = 3; }},
      {"a negative count of value pairs", [](td::ResidueFile& f, int) { f.pairCount = -2; }},
  };
  for (int base : {0, 2}) {
    StartedInstallation s(SmallInstallation(base));
    ASSERT_TRUE(s.started);
    const std::string ext = base == 0 ? ".R98" : ".R10";
    for (const Variant& v : variants) {
      SCOPED_TRACE("base " + std::to_string(base) + ": " + v.name);
      td::ResidueFile file = SmallResidueFile(base);
      v.change(file, base);
      const fs::path original = s.dir.path() / "residues" / ("orig" + ext);
      td::WriteResidueFile(file, original);
      const fs::path again = s.dir.path() / ("again" + ext);
      fs::remove(again);
      const TableImportOutcome outcome =
          RoundTrip(s.m, s.platform, original, s.dir.path() / "t.csv", again);
      EXPECT_EQ(Joined(outcome.problems) + Joined(outcome.warnings), "");
      ASSERT_TRUE(outcome.written);
      EXPECT_EQ(ReadFileBytes(again), ReadFileBytes(original));

      // The same through a workbook saved as CSV.
      const fs::path book = s.dir.path() / "t.xlsx";
      ASSERT_TRUE(
          ExportResidueTable(s.m, s.platform, original.string(), "t.xlsx", book.string()).written);
      WriteFileBytes(s.dir.path() / "book.csv", WorkbookAsCsv(book));
      ExpectSameCells(ReadFileBytes(s.dir.path() / "t.csv"),
                      ReadFileBytes(s.dir.path() / "book.csv"));
      fs::remove(again);
      const TableImportOutcome fromBook =
          ImportResidueTable(s.m, s.platform, "book.csv", "book.csv", again.string());
      EXPECT_EQ(Joined(fromBook.problems) + Joined(fromBook.warnings), "");
      ASSERT_TRUE(fromBook.written);
      EXPECT_EQ(ReadFileBytes(again), ReadFileBytes(original));
    }
  }
}

// Rewrites a table in another spreadsheet program's dialect.
std::string Rewritten(const std::string& csv, char separator, bool decimalComma, bool quoteAll,
                      bool dropLeadingZeros, const std::string& lineEnd) {
  CsvTable table;
  TableProblem problem;
  EXPECT_TRUE(ReadCsvTable(csv, table, problem)) << problem.text;
  std::string out;
  bool rows = false;
  for (const TableRecord& r : table.records) {
    for (std::size_t i = 0; i < r.cells.size(); ++i) {
      std::string cell = r.cells[i];
      const bool number = !cell.empty() && cell.find_first_not_of("0123456789.e-+") == cell.npos;
      if (decimalComma && number) std::replace(cell.begin(), cell.end(), '.', ',');
      if (dropLeadingZeros && rows && i == 0) cell.erase(0, cell.find_first_not_of('0'));
      const bool quote = quoteAll ||
                         cell.find_first_of(std::string(1, separator) + "\"") != cell.npos ||
                         cell != TrimBlanks(cell);
      if (i > 0) out += separator;
      if (!quote) {
        out += cell;
        continue;
      }
      out += '"';
      for (char c : cell) out += c == '"' ? std::string("\"\"") : std::string(1, c);
      out += '"';
    }
    out += lineEnd;
    rows = rows || (!r.cells.empty() && r.cells[0] == "Commodity code");
  }
  return out;
}

TEST(ResidueTableTest, SpreadsheetDialectsMakeTheSameFile) {
  for (int base : {0, 2}) {
    StartedInstallation s(SmallInstallation(base));
    td::ResidueFile file = SmallResidueFile(base);
    file.chemical = "Testazole; 2,4-D";
    file.comment = "Tolerance, 2024; PDP";
    file.foods[0].residue = 0.125f;
    file.foods[0].comment = "mean; max";
    const std::string ext = base == 0 ? ".R98" : ".R10";
    const fs::path original = s.dir.path() / "residues" / ("orig" + ext);
    td::WriteResidueFile(file, original);
    const fs::path exported = s.dir.path() / "t.csv";
    ASSERT_TRUE(
        ExportResidueTable(s.m, s.platform, original.string(), "t.csv", exported.string()).written);
    const std::string csv = ReadFileBytes(exported);

    struct Dialect {
      std::string name, text;
    } dialects[] = {
        {"LF line ends", Rewritten(csv, ',', false, false, false, "\n")},
        {"byte-order mark", "\xEF\xBB\xBF" + csv},
        {"semicolons and decimal commas", Rewritten(csv, ';', true, false, false, "\r\n")},
        {"semicolons, every field quoted", Rewritten(csv, ';', true, true, false, "\n")},
        {"every field quoted", Rewritten(csv, ',', false, true, false, "\r\n")},
        {"codes without leading zeros", Rewritten(csv, ',', false, false, true, "\r\n")},
        {"blank rows and trailing empty cells",
         "\r\n" + Rewritten(csv, ',', false, false, false, ",,\r\n\r\n")},
    };
    for (const Dialect& d : dialects) {
      SCOPED_TRACE("base " + std::to_string(base) + ": " + d.name);
      const fs::path table = s.dir.path() / "dialect.csv";
      WriteFileBytes(table, d.text);
      const fs::path again = s.dir.path() / ("again" + ext);
      fs::remove(again);
      const TableImportOutcome outcome =
          ImportResidueTable(s.m, s.platform, "dialect.csv", table.string(), again.string());
      EXPECT_EQ(Joined(outcome.problems), "");
      ASSERT_TRUE(outcome.written);
      // A ten-digit code that lost its leading zero is kept at nine digits,
      // which Ormid reads as the ten-digit code.
      td::ResidueFile expected = file;
      if (base != 0 && d.name == "codes without leading zeros")
        for (auto& food : expected.foods) food.code = food.code.substr(1);
      EXPECT_EQ(ReadFileBytes(again), td::ResidueFileText(expected));
    }
  }
}

// A table written by hand: header lines 1-7, column headings on line 8,
// rows on lines 9 to 12.
const char* const kTable =
    "Chemical name,Testazole\r\n"
    "Format tag,FCID1\r\n"
    "File date,03-15-2024\r\n"
    "NOEL,0.5\r\n"
    "RfD,0.005\r\n"
    "Q*,0.05\r\n"
    "Comment,Tolerance residues\r\n"
    "Commodity code,Commodity name,Food form code,Food form,Residue (ppm),Adjustment factor 1,"
    "Adjustment factor 2,Comment\r\n"
    "01010000,Apple,,,1.5,1,1,\r\n"
    "02020000,Carrot,110,,0.2,1,0.5,\r\n"
    "02020000,Carrot,120,,0.3,2,1,\r\n"
    "04040000,Beef,,,0.02,1,1,\r\n";

// kTable with line n (1-based) replaced; past the end, the line is added.
std::string WithLine(int n, const std::string& text) {
  std::vector<std::string> lines;
  const std::string all = kTable;
  for (std::size_t at = 0; at < all.size();) {
    const std::size_t end = all.find("\r\n", at);
    lines.push_back(all.substr(at, end - at));
    at = end + 2;
  }
  if (n > static_cast<int>(lines.size()))
    lines.push_back(text);
  else
    lines[static_cast<std::size_t>(n - 1)] = text;
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

struct Imported {
  TableImportOutcome outcome;
  bool fileExists;
};

Imported ImportText(StartedInstallation& s, const std::string& text,
                    const std::string& output = "out.R98") {
  WriteFileBytes(s.dir.path() / "table.csv", text);
  fs::remove(s.dir.path() / output);
  s.platform.messages.clear();
  Imported r{ImportResidueTable(s.m, s.platform, "table.csv", "table.csv", output), false};
  r.fileExists = fs::exists(s.dir.path() / output);
  return r;
}

TEST(ResidueTableTest, AHandWrittenTableMakesTheFileItDescribes) {
  StartedInstallation s(SmallInstallation(0));
  const Imported r = ImportText(s, kTable);
  EXPECT_EQ(Joined(r.outcome.problems) + Joined(r.outcome.warnings), "");
  ASSERT_TRUE(r.outcome.written);
  td::ResidueFile expected;
  expected.chemical = "Testazole";
  expected.rfd = 0.005f;
  expected.noel = 0.5f;
  expected.qStar = 0.05f;
  expected.date = "03-15-2024";
  expected.comment = "Tolerance residues";
  expected.foods = {{1, "01010000", "11", 1.5f, {}, 1, 1, "Apple", "", {}},
                    {2,
                     "02020000",
                     "1A",
                     0,
                     {},
                     1,
                     1,
                     "Carrot",
                     "",
                     {{110, "", 0.2f, 1, 0.5f, {}, ""}, {120, "", 0.3f, 2, 1, {}, ""}}},
                    {4, "04040000", "M", 0.02f, {}, 1, 1, "Beef", "", {}}};
  EXPECT_EQ(ReadFileBytes(s.dir.path() / "out.R98"), td::ResidueFileText(expected));

  // And Ormid reads it: the food forms found among the master entries.
  ASSERT_TRUE(s.Open(expected, "check.R98"));
  EXPECT_EQ(s.m.gResFoodCount, 3);
  EXPECT_EQ(s.m.gFormConsRec[1], 1);
  EXPECT_EQ(s.m.gFormConsRec[2], 2);
}

TEST(ResidueTableTest, WhatATableMayLeaveOut) {
  for (int base : {0, 2}) {
    StartedInstallation s(SmallInstallation(base));
    const std::string output = base == 0 ? "out.R98" : "out.R10";
    const std::string code = base == 0 ? "02020000" : "0202000000";
    std::string table =
        "Chemical name,Testazole\nNOEL,0.5\nRfD,0.005\nQ*,0\nFormat tag,FCID9\n"
        "Commodity code,Residue (ppm),Adjustment factor 1,Adjustment factor 2,Food form code\n"
        // A food form without its commodity's row, the code as a spreadsheet shows it.
        + code.substr(1) + ",0.2,1,0.5,130\n";
    const Imported r = ImportText(s, table, output);
    EXPECT_EQ(Joined(r.outcome.problems), "");
    ASSERT_EQ(r.outcome.warnings.size(), 1u);
    EXPECT_EQ(r.outcome.warnings[0],
              "table.csv:5: warning: this installation does not read residue files tagged "
              "\"FCID9\"; the file is tagged \"" +
                  TagFor(base) + "\"");
    td::ResidueFile expected;
    expected.chemical = "Testazole";
    expected.rfd = 0.005f;
    expected.noel = 0.5f;
    expected.tag = TagFor(base);
    expected.date = "12-05-2026";  // the platform's today
    // No commodity row: the master food's name, no residue, factors 1.
    expected.foods = {
        {2, code, "1A", 0, {}, 1, 1, "Carrot", "", {{130, "", 0.2f, 1, 0.5f, {}, ""}}}};
    if (base != 0) expected.foods[0].code = code.substr(1);  // nine characters: kept as given
    EXPECT_EQ(ReadFileBytes(s.dir.path() / output), td::ResidueFileText(expected));
  }
}

TEST(ResidueTableTest, EveryProblemNamesItsLine) {
  const std::string headings =
      "Commodity code,Commodity name,Food form code,Food form,Residue (ppm),Adjustment factor 1,"
      "Adjustment factor 2,Comment";
  struct Case {
    int line;
    std::string text;
    std::string problem;  // the first problem reported
  } cases[] = {
      {9, "09090000,Pear,,,1,1,1,", "9: commodity code 09090000 is not in the master food list"},
      {9, ",Apple,,,1,1,1,", "9: the commodity code is empty"},
      {10, "02020000,Carrot,200,,0.2,1,0.5,",
       "10: food form 200 is not a food form of commodity 02020000 (its food forms: 110, 120, "
       "130)"},
      {9, "01010000,Apple,100,,1.5,1,1,",
       "9: food form 100 is not a food form of commodity 01010000 (it has none)"},
      {10, "02020000,Carrot,1x0,,0.2,1,0.5,", "10: food form code \"1x0\" is not a food-form code"},
      {10, "02020000,Carrot,11.5,,0.2,1,0.5,",
       "10: food form code \"11.5\" is not a food-form code"},
      {9, "01010000,Apple,,,x,1,1,", "9: the residue \"x\" is not a number"},
      {9, "01010000,Apple,,,,1,1,", "9: the residue is empty"},
      {9, "01010000,Apple,,,-0.5,1,1,", "9: the residue -0.5 is negative"},
      {9, "01010000,Apple,,,inf,1,1,", "9: the residue \"inf\" is not a finite number"},
      {9, "01010000,Apple,,,nan,1,1,", "9: the residue \"nan\" is not a finite number"},
      {9, "01010000,Apple,,,1e39,1,1,",
       "9: the residue 1e39 is beyond the range of a residue file's numbers"},
      {9, "01010000,Apple,,,1" + std::string(100, '0') + ",1,1,",
       "9: the residue \"1" + std::string(59, '0') +
           "...\" (101 bytes) is beyond the range of a residue file's numbers"},
      // The largest float: its shortest text reads back as a little more.
      {9, "01010000,Apple,,,3.4028235e38,1,1,",
       "9: the residue 3.4028235e38 is beyond the range of a residue file's numbers"},
      {9, "01010000,Apple,,,1.5,1..2,1,", "9: adjustment factor 1 \"1..2\" is not a number"},
      {9, "01010000,Apple,,,1.5,1,-1,", "9: adjustment factor 2 -1 is negative"},
      {9, "01010000,Apple,,,\"1,5\",1,1,", "9: the residue \"1,5\" is not a number"},
      {13, "01010000,Apple,,,2,1,1,", "13: commodity 01010000 is already on line 9"},
      {13, "1010000,Apple,,,2,1,1,", "13: commodity 01010000 is already on line 9"},
      {13, "02020000,Carrot,110,,0.2,1,0.5,",
       "13: food form 110 of commodity 02020000 is already on line 10"},
      {9, "01010000," + std::string(40, 'a') + ",,,1.5,1,1,",
       "9: the commodity name is 40 characters long; a residue file takes 39"},
      {9, "01010000,Apple,,,1.5,1,1," + std::string(256, 'c'),
       "9: the comment is 256 characters long; a residue file takes 255"},
      {9, "01010000,Apple,,,1.5,1,1,\"say \"\"no\"\"\"",
       "9: the comment holds a double quote, which a residue file cannot hold"},
      {9, "01010000,\"Apple\tpie\",,,1.5,1,1,",
       "9: the commodity name holds a control character, which a residue file cannot hold"},
      {9, "01010000,Apple,,,1.5,1,1,\"two\r\nlines\"",
       "9: the comment holds a line break, which a residue file cannot hold"},
      {9, "01010000,Apple,,,1.5,1,1,,extra", "9: a value in column 9, which has no heading"},
      {9, "01010000,\"Apple,,,1.5,1,1,", "9: a quote opened in this row is never closed"},
      {9, "01010000,\"Apple\"x,,,1.5,1,1,", "9: the quotes of this row do not pair up"},
      {1, "", "8: the header has no Chemical name row"},
      {1, "Chemical name,", "1: Chemical name has no value"},
      {1, "Chemical name," + std::string(51, 'n'),
       "1: Chemical name is 51 characters long; a residue file takes 50"},
      {1, "Chemical name,\"Testa\"\"zole\"",
       "1: Chemical name holds a double quote, which a residue file cannot hold"},
      {4, "NOEL,abc", "4: NOEL \"abc\" is not a number"},
      {5, "RfD,0.005,0.006", "5: RfD has more than one value"},
      {6, "", "8: the header has no Q* row"},
      {7, "NOEL,1", "7: NOEL is given twice (first on line 4)"},
      {7, "Colour,red", "7: unknown header item \"Colour\""},
      {7, "Value pairs per entry,1.5",
       "7: Value pairs per entry \"1.5\" is not a whole number from -32768 to 32767"},
      {7, "Value pairs per entry,40000",
       "7: Value pairs per entry \"40000\" is not a whole number from -32768 to 32767"},
      {8, headings + ",Colour", "8: unknown column \"Colour\""},
      {8, headings + ",Comment", "8: the column Comment is there twice"},
      {8,
       "Commodity code,Commodity name,Food form code,Food form,Residue (ppm),Adjustment factor "
       "1,,Comment",
       "8: the column Adjustment factor 2 is missing"},
      {8,
       "Code,Commodity name,Food form code,Food form,Residue (ppm),Adjustment factor 1,"
       "Adjustment factor 2,Comment",
       "8: unknown header item \"Code\""},
  };
  StartedInstallation s(SmallInstallation(0));
  ASSERT_TRUE(ImportText(s, kTable).outcome.written);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFileBytes(s.dir.path() / "out.R98", "earlier file");
    WriteFileBytes(s.dir.path() / "table.csv", WithLine(c.line, c.text));
    const TableImportOutcome outcome =
        ImportResidueTable(s.m, s.platform, "table.csv", "table.csv", "out.R98");
    ASSERT_FALSE(outcome.problems.empty());
    EXPECT_TRUE(outcome.problems[0].starts_with("table.csv:" + c.problem)) << outcome.problems[0];
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(ReadFileBytes(s.dir.path() / "out.R98"), "earlier file");
  }
}

TEST(ResidueTableTest, ATableWithoutRowsOrHeadings) {
  StartedInstallation s(SmallInstallation(0));
  const std::string header = "Chemical name,X\nNOEL,1\nRfD,1\nQ*,0\n";
  struct Case {
    std::string text, problem;
  } cases[] = {
      {header,
       "table.csv:4: the table has no column heading row (a row that starts with "
       "\"Commodity code\")"},
      {header + "Commodity code,Food form code,Residue (ppm),Adjustment factor 1,Adjustment "
                "factor 2\n\n",
       "table.csv:5: the table has no rows below its column headings"},
      {"", "table.csv:1: the header has no Chemical name row"},
      {std::string("\xFF\xFE") + "C",
       "table.csv:1: the table is saved as UTF-16 text; save it as "
       "CSV (UTF-8 or comma-separated)"},
  };
  for (const Case& c : cases) {
    const Imported r = ImportText(s, c.text);
    ASSERT_FALSE(r.outcome.problems.empty()) << c.text;
    EXPECT_EQ(r.outcome.problems[0], c.problem);
    EXPECT_FALSE(r.fileExists);
  }
}

TEST(ResidueTableTest, AResidueAboveTenThousandPpmIsAWarningOnly) {
  StartedInstallation s(SmallInstallation(0));
  const Imported r = ImportText(s, WithLine(12, "04040000,Beef,,,20000,1,1,"));
  EXPECT_TRUE(r.outcome.problems.empty());
  ASSERT_EQ(r.outcome.warnings.size(), 1u);
  EXPECT_EQ(r.outcome.warnings[0],
            "table.csv:12: warning: residue 20000 ppm is above 10,000 ppm; is it in ppm and not "
            "in ppb?");
  EXPECT_TRUE(r.fileExists);
  EXPECT_TRUE(ImportText(s, WithLine(12, "04040000,Beef,,,10000,1,1,")).outcome.warnings.empty());
}

TEST(ResidueTableTest, FiftyProblemsThenACount) {
  StartedInstallation s(SmallInstallation(0));
  std::string table = kTable;
  for (int i = 0; i < 60; ++i) table += "9" + std::to_string(1000000 + i) + ",Pear,,,1,1,1,\r\n";
  const Imported r = ImportText(s, table);
  ASSERT_EQ(r.outcome.problems.size(), 60u);
  const std::vector<std::string> shown = ProblemsToShow(r.outcome.problems, r.outcome.problemCount);
  ASSERT_EQ(shown.size(), 51u);
  EXPECT_EQ(shown[0], "table.csv:13: commodity code 91000000 is not in the master food list");
  EXPECT_EQ(shown[49], "table.csv:62: commodity code 91000049 is not in the master food list");
  EXPECT_EQ(shown[50], "... and 10 more problems");
  EXPECT_FALSE(r.fileExists);
}

// A table of many bad rows keeps its first problems and counts the rest, so
// that its memory does not grow with it; the count is still told whole.
TEST(ResidueTableTest, ProblemsPastTheKeptOnesAreCounted) {
  StartedInstallation s(SmallInstallation(0));
  std::string table = kTable;
  const std::size_t bad = kProblemsKept + 500;
  for (std::size_t i = 0; i < bad; ++i)
    table += "9" + std::to_string(1000000 + i) + ",Pear,,,1,1,1,\r\n";
  const Imported r = ImportText(s, table);
  EXPECT_EQ(r.outcome.problems.size(), kProblemsKept);
  EXPECT_EQ(r.outcome.problemCount, bad);
  const std::vector<std::string> shown = ProblemsToShow(r.outcome.problems, r.outcome.problemCount);
  ASSERT_EQ(shown.size(), kProblemsShown + 1);
  EXPECT_EQ(shown.back(), "... and " + std::to_string(bad - kProblemsShown) + " more problems");
  EXPECT_FALSE(r.fileExists);
}

TEST(ResidueTableTest, AnExistingFileIsReplacedOnlyAfterTheQuestion) {
  StartedInstallation s(SmallInstallation(0));
  const fs::path out = s.dir.path() / "out.R98";
  for (MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
    WriteFileBytes(out, "earlier file");
    WriteFileBytes(s.dir.path() / "table.csv", kTable);
    s.platform.messages.clear();
    s.platform.answers = {answer};
    const TableImportOutcome outcome =
        ImportResidueTable(s.m, s.platform, "table.csv", "table.csv", out.string());
    ASSERT_EQ(s.platform.messages.size(), 1u);
    EXPECT_EQ(s.platform.messages[0].text,
              "File " + out.string() + " already exists. Do you want to write over this file?");
    EXPECT_EQ(s.platform.messages[0].buttons, MsgButtons::YesNoDefaultNo);
    EXPECT_EQ(outcome.written, answer == MsgAnswer::Yes);
    EXPECT_EQ(ReadFileBytes(out) == "earlier file", answer == MsgAnswer::No);
  }
  // A file that cannot be written leaves nothing behind.
  s.platform.messages.clear();
  const fs::path nowhere = s.dir.path() / "missing" / "out.R98";
  EXPECT_FALSE(
      ImportResidueTable(s.m, s.platform, "table.csv", "table.csv", nowhere.string()).written);
  ASSERT_EQ(s.platform.messages.size(), 1u);
  EXPECT_EQ(s.platform.messages[0].title, "Import Residue Table");
  EXPECT_FALSE(fs::exists(s.dir.path() / "missing"));
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(s.dir.path()))
    left.push_back(e.path().filename().string());
  EXPECT_EQ(std::count_if(left.begin(), left.end(),
                          [](const std::string& n) { return n.ends_with(".ormid-tmp"); }),
            0);
}

class HalfFullPlatform : public FakePlatform {
 public:
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path,
                                               std::string& error) override {
    return std::make_unique<HalfFullDisk>(Platform::CreateOutputFile(path, error));
  }
};

// Neither direction leaves a half-written file behind, nor touches the old one.
TEST(ResidueTableTest, AFullDiskLeavesTheOldFilesAsTheyWere) {
  StartedInstallation s(SmallInstallation(0));
  const fs::path original = s.dir.path() / "residues" / "small.R98";
  td::WriteResidueFile(SmallResidueFile(0), original);
  WriteFileBytes(s.dir.path() / "table.csv", kTable);
  WriteFileBytes(s.dir.path() / "old.R98", "earlier file");
  WriteFileBytes(s.dir.path() / "old.csv", "earlier table");
  WriteFileBytes(s.dir.path() / "old.xlsx", "earlier workbook");
  HalfFullPlatform p;
  EXPECT_FALSE(ImportResidueTable(s.m, p, "table.csv", "table.csv", "old.R98").written);
  EXPECT_FALSE(ExportResidueTable(s.m, p, original.string(), "old.csv", "old.csv").written);
  EXPECT_FALSE(ExportResidueTable(s.m, p, original.string(), "old.xlsx", "old.xlsx").written);
  ASSERT_EQ(p.messages.size(), 6u);  // each: the overwrite question, then the failure
  EXPECT_EQ(p.messages[1].text, "File old.R98 could not be written: No space left on device.");
  EXPECT_EQ(p.messages[3].title, "Export Residue Table");
  EXPECT_EQ(ReadFileBytes(s.dir.path() / "old.R98"), "earlier file");
  EXPECT_EQ(ReadFileBytes(s.dir.path() / "old.csv"), "earlier table");
  EXPECT_EQ(ReadFileBytes(s.dir.path() / "old.xlsx"), "earlier workbook");
  for (const auto& e : fs::directory_iterator(s.dir.path()))
    EXPECT_FALSE(e.path().string().ends_with(".ormid-tmp")) << e.path();
}

TEST(ResidueTableTest, UsageProblemsOfTheNames) {
  StartedInstallation csfii(SmallInstallation(0));
  StartedInstallation nhanes(SmallInstallation(2));
  StartedInstallation oneDay(SmallInstallation(1));
  struct Case {
    const ModOrmid* m;
    std::string table, output, problem;
  } cases[] = {
      {&csfii.m, "t.csv", "x.R98", ""},
      {&csfii.m, "t.CSV", "x.r98", ""},
      {&nhanes.m, "t.csv", "x.R10", ""},
      {&csfii.m, "t.xlsx", "x.R98",
       "the table t.xlsx must be a .csv file (save a workbook as CSV first)"},
      {&csfii.m, "t.csv", "x.R10",
       "the installation's survey base is CSFII 1994-96, 1998: its residue files end in .R98, "
       "not .R10"},
      {&nhanes.m, "t.csv", "x.R98",
       "the installation's survey base is NHANES 2005-2010, 2-day: its residue files end in "
       ".R10, not .R98"},
      {&nhanes.m, "t.csv", "x",
       "the installation's survey base is NHANES 2005-2010, 2-day: its residue files end in "
       ".R10, not \"\""},
      {&oneDay.m, "t.csv", "x.R1D",
       "the installation's survey base is NHANES 1999-2006, 1-day, whose residue files Ormid "
       "cannot read"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ImportUsageProblem(*c.m, c.table, c.output), c.problem) << c.output;
  EXPECT_EQ(ExportUsageProblem("a.csv"), "");
  EXPECT_EQ(ExportUsageProblem("a.XLSX"), "");
  EXPECT_EQ(ExportUsageProblem("a.txt"), "the table a.txt must end in .csv or .xlsx");
}

// The rows come out the same however the bytes are cut into pieces: a line
// or a quoted text split between two reads, a line end between its CR and LF.
TEST(ResidueTableTest, RowsDoNotDependOnHowTheBytesArrive) {
  const std::string text =
      "\xEF\xBB\xBF"
      "Chemical name;\"A;\r\nB\"\r\n\r\nCommodity code;Residue\r\n1;0,5\n\n  "
      "\n\"x\"\"y\";2\r\nlast;3";
  CsvTable whole;
  TableProblem problem;
  ASSERT_TRUE(ReadCsvTable(text, whole, problem)) << problem.text;
  ASSERT_EQ(whole.separator, ';');
  ASSERT_EQ(whole.records.size(), 5u);
  const std::vector<int> lines = {1, 4, 5, 8, 9};
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(whole.records[i].line, lines[i]);
  EXPECT_EQ(whole.records[0].cells, (std::vector<std::string>{"Chemical name", "A;\r\nB"}));
  for (std::size_t piece : {1, 2, 3, 7}) {
    auto pieces = [&text, piece, at = std::size_t{0}](char* buf, std::size_t n) mutable {
      const std::size_t count = std::min({n, piece, text.size() - at});
      std::copy_n(text.data() + at, count, buf);
      at += count;
      return count;
    };
    EXPECT_EQ(DetectTableSeparator(pieces), ';') << piece;
    std::vector<TableRecord> rows;
    ASSERT_TRUE(ReadCsvRecords(
        TableSource(pieces), ';', [&](TableRecord&& r) { rows.push_back(std::move(r)); }, problem))
        << problem.text;
    ASSERT_EQ(rows.size(), whole.records.size()) << piece;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].line, whole.records[i].line) << piece;
      EXPECT_EQ(rows[i].cells, whole.records[i].cells) << piece;
    }
  }
  // The longest line a table may have, and one byte more.
  const std::string longest = std::string(kMaxTableLine - 1, 'x') + "\n";
  EXPECT_TRUE(ReadCsvTable("a\n" + longest + "b\n", whole, problem)) << problem.text;
  EXPECT_FALSE(ReadCsvTable("a\n" + std::string(kMaxTableLine, 'x') + "\nb\n", whole, problem));
  EXPECT_EQ(problem.line, 2);
}

TEST(ResidueTableTest, RowsStartOnTheirLines) {
  CsvTable table;
  TableProblem problem;
  ASSERT_TRUE(ReadCsvTable("a,b\r\n\r\n  \r\n\"c\r\nd\",e\r\nf;g,h\nlast", table, problem));
  ASSERT_EQ(table.records.size(), 4u);
  EXPECT_EQ(table.separator, ',');
  const std::vector<int> lines = {1, 4, 6, 7};
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(table.records[i].line, lines[i]);
  EXPECT_EQ(table.records[1].cells, (std::vector<std::string>{"c\r\nd", "e"}));
  EXPECT_EQ(table.records[2].cells, (std::vector<std::string>{"f;g", "h"}));

  // The separator is read off the column heading row.
  ASSERT_TRUE(
      ReadCsvTable("Chemical name;A, B, C\nCommodity code;Residue (ppm)\n1;0,5", table, problem));
  EXPECT_EQ(table.separator, ';');
  EXPECT_EQ(table.records[0].cells, (std::vector<std::string>{"Chemical name", "A, B, C"}));
  EXPECT_EQ(table.records[2].cells, (std::vector<std::string>{"1", "0,5"}));
}

}  // namespace
}  // namespace ormid::test
