#include "residue_table/table_text.h"

#include <csv.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/float_text.h"
#include "core/paths.h"
#include "core/record_file.h"
#include "core/utf8.h"
#include "export/workbook.h"

namespace ormid {
namespace {

// The lines of a table as its bytes come: no more than the longest line a
// table may have is held, and a longer one is told as such.
class TableLines {
 public:
  explicit TableLines(const TableSource& source) : source_(source) {}
  enum class Next { Line, End, TooLong };
  // The next line with its end; the view holds until the next call.
  Next Get(std::string_view& line) {
    for (;;) {
      const std::size_t end = buffer_.find('\n', at_);
      if (end != std::string::npos) {
        if (end + 1 - at_ > kMaxTableLine) return TooLong(line);
        line = std::string_view(buffer_).substr(at_, end + 1 - at_);
        at_ = end + 1;
        return Next::Line;
      }
      if (buffer_.size() - at_ > kMaxTableLine) return TooLong(line);
      if (ended_) {
        if (at_ == buffer_.size()) return Next::End;
        line = std::string_view(buffer_).substr(at_);
        at_ = buffer_.size();
        return Next::Line;
      }
      buffer_.erase(0, at_);
      at_ = 0;
      const std::size_t had = buffer_.size();
      buffer_.resize(had + kPiece);
      const std::size_t got = source_(buffer_.data() + had, kPiece);
      buffer_.resize(had + got);
      ended_ = got == 0;
    }
  }

 private:
  // A line too long to be held: its start is shown (a UTF-16 file reads as
  // one long line).
  Next TooLong(std::string_view& line) {
    line = std::string_view(buffer_).substr(at_, kMaxTableLine);
    return Next::TooLong;
  }
  static constexpr std::size_t kPiece = 64 * 1024;
  const TableSource& source_;
  std::string buffer_;
  std::size_t at_ = 0;
  bool ended_ = false;
};

// What libcsv hands over, field by field and row by row; every row is given
// the line it starts on.
struct Collector {
  const std::function<void(TableRecord&&)>* take = nullptr;
  std::vector<std::string> cells;
  std::size_t fields = 0;  // of the row being read, kept or not
  int rowStart = 0;
  int longRow = 0;  // the first row with more cells than a table has
  std::size_t rows = 0;
};

void OnField(void* data, std::size_t size, void* context) {
  auto* c = static_cast<Collector*>(context);
  // Past the most a row can hold, the cells are only counted.
  if (++c->fields <= kMaxTableCells) c->cells.emplace_back(static_cast<const char*>(data), size);
}

void OnRow(int, void* context) {
  auto* c = static_cast<Collector*>(context);
  if (c->fields > kMaxTableCells) {
    if (c->longRow == 0) c->longRow = c->rowStart;
  } else if (c->longRow == 0) {
    (*c->take)({c->rowStart, std::move(c->cells)});
  }
  c->cells.clear();
  c->fields = 0;
  ++c->rows;
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
  return ToLower(line.substr(first, 14)) == "commodity code";
}

// A byte-order mark is left out of the first line.
void DropByteOrderMark(int lineNumber, std::string_view& line) {
  if (lineNumber == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
}

bool IsUtf16(int lineNumber, std::string_view line) {
  return lineNumber == 1 && (line.starts_with("\xFF\xFE") || line.starts_with("\xFE\xFF"));
}

bool NeedsQuotes(const std::string& text) {
  if (text.empty()) return false;
  return text.find_first_of(",;\"\r\n") != std::string::npos || text.front() == ' ' ||
         text.back() == ' ' || text.front() == '\t' || text.back() == '\t';
}

}  // namespace

TableSource TextSource(std::string_view bytes) {
  return [bytes, at = std::size_t{0}](char* buf, std::size_t n) mutable {
    const std::size_t count = std::min(n, bytes.size() - at);
    std::copy_n(bytes.data() + at, count, buf);
    at += count;
    return count;
  };
}

char DetectTableSeparator(const TableSource& source) {
  TableLines lines(source);
  std::string_view line;
  std::pair<int, int> sample{0, 0};
  bool sampled = false;
  for (int n = 1; lines.Get(line) == TableLines::Next::Line; ++n) {
    DropByteOrderMark(n, line);
    if (StartsWithHeading(line)) {
      sample = CountSeparators(line);
      break;
    }
    if (!sampled && !IsBlankLine(line)) {
      sample = CountSeparators(line);
      sampled = true;
    }
  }
  return sample.second > sample.first ? ';' : ',';
}

bool ReadCsvRecords(const TableSource& source, char separator,
                    const std::function<void(TableRecord&&)>& take, TableProblem& problem) {
  csv_parser parser;
  if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0) {
    problem = {0, "out of memory"};
    return false;
  }
  csv_set_delim(&parser, static_cast<unsigned char>(separator));
  Collector collector;
  collector.take = &take;
  TableLines lines(source);
  std::string_view line;
  // A row starts on the first line after the end of the one before that is
  // not blank (libcsv skips blank lines between rows).
  std::size_t rowsSeen = 0;
  bool lookingForStart = true;
  bool ok = true;
  int n = 0;
  for (TableLines::Next next; ok && (next = lines.Get(line)) != TableLines::Next::End;) {
    ++n;
    if (IsUtf16(n, line)) {
      problem = {1, "the table is saved as UTF-16 text; save it as CSV (UTF-8 or comma-separated)"};
      ok = false;
      break;
    }
    if (next == TableLines::Next::TooLong) {
      problem = {n, "the line is longer than " + std::to_string(kMaxTableLine) +
                        " bytes, more than a row of a residue table"};
      ok = false;
      break;
    }
    DropByteOrderMark(n, line);
    // Texts go on into residue files, workbooks and JSON: UTF-8 only.
    if (const std::size_t valid = ValidUtf8Prefix(line); valid != line.size()) {
      problem = {n, "the text is not UTF-8 (byte " + std::to_string(valid + 1) +
                        " of the line); save the table as CSV UTF-8"};
      ok = false;
      break;
    }
    if (lookingForStart && !IsBlankLine(line)) {
      collector.rowStart = n;
      lookingForStart = false;
    }
    if (csv_parse(&parser, line.data(), line.size(), OnField, OnRow, &collector) != line.size()) {
      problem = {n, "the quotes of this row do not pair up (" +
                        std::string(csv_strerror(csv_error(&parser))) + ")"};
      ok = false;
    }
    if (collector.rows != rowsSeen) {
      rowsSeen = collector.rows;
      lookingForStart = true;
    }
    if (ok && collector.longRow != 0) break;
  }
  if (ok && collector.longRow == 0 && csv_fini(&parser, OnField, OnRow, &collector) != 0) {
    problem = {collector.rowStart, "a quote opened in this row is never closed"};
    ok = false;
  }
  csv_free(&parser);
  if (ok && collector.longRow != 0) {
    problem = {collector.longRow, "the row has more than " + std::to_string(kMaxTableCells) +
                                      " cells, more than a row of a residue table"};
    ok = false;
  }
  return ok;
}

bool ReadCsvTable(std::string_view bytes, CsvTable& table, TableProblem& problem) {
  table = CsvTable();
  table.separator = DetectTableSeparator(TextSource(bytes));
  return ReadCsvRecords(
      TextSource(bytes), table.separator,
      [&](TableRecord&& r) { table.records.push_back(std::move(r)); }, problem);
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

TableNumber ReadTableNumber(std::string_view cell, char separator, double& value) {
  if (cell.empty()) return TableNumber::Empty;
  std::string text(cell);
  if (separator == ';') std::replace(text.begin(), text.end(), ',', '.');
  const char* first = text.data() + (text[0] == '+' ? 1 : 0);
  const char* last = text.data() + text.size();
  const auto [end, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range || (ec == std::errc() && !std::isfinite(value)))
    return TableNumber::NotFinite;
  if (ec != std::errc() || end != last || first == last) return TableNumber::NotNumber;
  return TableNumber::Number;
}

}  // namespace ormid
