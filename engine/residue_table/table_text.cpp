#include "residue_table/table_text.h"

#include <csv.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/float_text.h"
#include "core/record_file.h"
#include "core/utf8.h"
#include "export/workbook.h"

namespace ormid {
namespace {

// What libcsv hands over, field by field and row by row; every row is given
// the line it starts on.
struct Collector {
  CsvTable* table = nullptr;
  std::vector<std::string> cells;
  int rowStart = 0;
  std::size_t kept = 0;  // cells kept in the table so far
};

void OnField(void* data, std::size_t size, void* context) {
  auto* c = static_cast<Collector*>(context);
  // Past the most a row, or the whole table, can hold, the cells are only
  // counted, so that a file that is not a table costs little memory.
  if (c->cells.size() <= kMaxTableCells && c->kept <= kMaxTableTotalCells) {
    c->cells.emplace_back(static_cast<const char*>(data), size);
    ++c->kept;
  }
}

void OnRow(int, void* context) {
  auto* c = static_cast<Collector*>(context);
  c->table->records.push_back({c->rowStart, std::move(c->cells)});
  c->cells.clear();
}

bool IsBlankLine(std::string_view line) {
  return line.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// Separators outside quotes in one line.
std::pair<int, int> CountSeparators(std::string_view line) {
  int commas = 0, semicolons = 0;
  bool quoted = false;
  for (char c : line) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == ',') ++commas;
    if (c == ';') ++semicolons;
  }
  return {commas, semicolons};
}

bool StartsWithHeading(std::string_view line) {
  const auto first = line.find_first_not_of(" \t\"");
  if (first == std::string_view::npos) return false;
  std::string start(line.substr(first, 14));
  for (char& c : start) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return start == "commodity code";
}

char DetectSeparator(const std::vector<std::string_view>& lines) {
  std::string_view sample;
  for (std::string_view line : lines) {
    if (StartsWithHeading(line)) {
      sample = line;
      break;
    }
    if (sample.empty() && !IsBlankLine(line)) sample = line;
  }
  auto [commas, semicolons] = CountSeparators(sample);
  return semicolons > commas ? ';' : ',';
}

bool NeedsQuotes(const std::string& text) {
  if (text.empty()) return false;
  return text.find_first_of(",;\"\r\n") != std::string::npos || text.front() == ' ' ||
         text.back() == ' ' || text.front() == '\t' || text.back() == '\t';
}

}  // namespace

bool ReadCsvTable(std::string_view bytes, CsvTable& table, TableProblem& problem) {
  table = CsvTable();
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    problem = {1, "the table is saved as UTF-16 text; save it as CSV (UTF-8 or comma-separated)"};
    return false;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);

  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t end = bytes.find('\n', at);
    end = end == std::string_view::npos ? bytes.size() : end + 1;
    lines.push_back(bytes.substr(at, end - at));
    at = end;
  }
  // Texts go on into residue files, workbooks and JSON: UTF-8 only, and in
  // lines of a length a table has.
  for (std::size_t n = 0; n < lines.size(); ++n) {
    if (lines[n].size() > kMaxTableLine) {
      problem = {static_cast<int>(n + 1), "the line is longer than " +
                                              std::to_string(kMaxTableLine) +
                                              " bytes, more than a row of a residue table"};
      return false;
    }
    if (const std::size_t valid = ValidUtf8Prefix(lines[n]); valid != lines[n].size()) {
      problem = {static_cast<int>(n + 1), "the text is not UTF-8 (byte " +
                                              std::to_string(valid + 1) +
                                              " of the line); save the table as CSV UTF-8"};
      return false;
    }
  }
  table.separator = DetectSeparator(lines);

  csv_parser parser;
  if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0) {
    problem = {0, "out of memory"};
    return false;
  }
  csv_set_delim(&parser, static_cast<unsigned char>(table.separator));
  Collector collector;
  collector.table = &table;
  // A row starts on the first line after the end of the one before that is
  // not blank (libcsv skips blank lines between rows).
  std::size_t rowsSeen = 0;
  bool lookingForStart = true;
  bool ok = true;
  for (std::size_t n = 0; n < lines.size() && ok; ++n) {
    const int line = static_cast<int>(n + 1);
    if (lookingForStart && !IsBlankLine(lines[n])) {
      collector.rowStart = line;
      lookingForStart = false;
    }
    if (csv_parse(&parser, lines[n].data(), lines[n].size(), OnField, OnRow, &collector) !=
        lines[n].size()) {
      problem = {line, "the quotes of this row do not pair up (" +
                           std::string(csv_strerror(csv_error(&parser))) + ")"};
      ok = false;
    }
    if (table.records.size() != rowsSeen) {
      rowsSeen = table.records.size();
      lookingForStart = true;
    }
  }
  if (ok && csv_fini(&parser, OnField, OnRow, &collector) != 0) {
    problem = {collector.rowStart, "a quote opened in this row is never closed"};
    ok = false;
  }
  csv_free(&parser);
  if (ok && collector.kept > kMaxTableTotalCells) {
    problem = {0, "the table has more than " + std::to_string(kMaxTableTotalCells) +
                      " cells, more than a residue table has"};
    ok = false;
  }
  for (const TableRecord& record : table.records)
    if (ok && record.cells.size() > kMaxTableCells) {
      problem = {record.line, "the row has more than " + std::to_string(kMaxTableCells) +
                                  " cells, more than a row of a residue table"};
      ok = false;
    }
  return ok;
}

std::string CsvTableText(const std::vector<TableRow>& rows) {
  std::string out;
  for (const TableRow& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i > 0) out += ',';
      const std::string& text = row[i].text;
      if (!NeedsQuotes(text)) {
        out += text;
        continue;
      }
      out += '"';
      for (char c : text) {
        if (c == '"') out += '"';
        out += c;
      }
      out += '"';
    }
    out += "\r\n";
  }
  return out;
}

bool XlsxTableBytes(const std::vector<TableRow>& rows, std::string& bytes, std::string& error) {
  // Read back whole, so that the caller can put the table in place as any
  // other file.
  const std::string name = NewWorkbookFile();
  if (name.empty()) {
    error = "no temporary file for the workbook";
    return false;
  }
  // Rows go to the file as they are written, with their texts in place (no
  // shared string table): several times faster for a table of every food form.
  lxw_workbook_options options = {};
  options.constant_memory = LXW_TRUE;
  lxw_workbook* book = workbook_new_opt(name.c_str(), &options);
  lxw_worksheet* sheet = book ? workbook_add_worksheet(book, "Residues") : nullptr;
  if (!sheet) {
    if (book) CloseWorkbook(book);
    std::remove(name.c_str());
    error = "the workbook could not be made";
    return false;
  }
  // Columns as wide as their longest text (within reason), so that the sheet
  // reads without widening them by hand.
  std::vector<std::size_t> widths;
  for (const TableRow& row : rows) {
    if (row.size() < 3) continue;  // the header block's long values
    widths.resize(std::max(widths.size(), row.size()), 8);
    for (std::size_t c = 0; c < row.size(); ++c)
      widths[c] = std::clamp(row[c].text.size() + 2, widths[c], std::size_t{40});
  }
  lxw_error status = LXW_NO_ERROR;
  for (std::size_t c = 0; c < widths.size() && status == LXW_NO_ERROR; ++c)
    status = worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                  static_cast<double>(widths[c]), nullptr);
  for (std::size_t r = 0; r < rows.size() && status == LXW_NO_ERROR; ++r) {
    for (std::size_t c = 0; c < rows[r].size() && status == LXW_NO_ERROR; ++c) {
      const TableCell& cell = rows[r][c];
      if (cell.text.empty()) continue;
      const auto row = static_cast<lxw_row_t>(r);
      const auto col = static_cast<lxw_col_t>(c);
      // A number cell holds the double nearest to the shortest text of the
      // 32-bit figure, so the sheet shows 0.1 and not 0.100000001490116.
      if (cell.number && ReadFloatText(cell.text))
        status = worksheet_write_number(sheet, row, col, std::strtod(cell.text.c_str(), nullptr),
                                        nullptr);
      else
        status = worksheet_write_string(sheet, row, col, ValidUtf8(cell.text).c_str(), nullptr);
    }
  }
  const lxw_error closed = CloseWorkbook(book);
  if (status == LXW_NO_ERROR) status = closed;
  auto written = TakeWorkbookFile(name);
  if (status != LXW_NO_ERROR || !written) {
    error = status != LXW_NO_ERROR ? lxw_strerror(status) : "the workbook could not be read back";
    return false;
  }
  bytes = std::move(*written);
  return true;
}

}  // namespace ormid
