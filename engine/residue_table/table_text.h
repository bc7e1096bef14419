// Residue tables as spreadsheet files: reading a CSV table as it comes out of
// a spreadsheet program (comma or semicolon separated, UTF-8 with or without
// a byte-order mark, quoted fields, CR LF or LF line ends), and writing a
// table as CSV or as an Excel workbook.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ormid {

// One cell of a table being written; number cells go into a workbook as
// numbers, the rest as text (so that a code keeps its leading zeros).
struct TableCell {
  std::string text;
  bool number = false;
};
using TableRow = std::vector<TableCell>;

// A row of a table read back, with the line of the file it starts on.
struct TableRecord {
  int line = 0;
  std::vector<std::string> cells;
};

struct TableProblem {
  int line = 0;  // 0: the table as a whole
  std::string text;
};

struct CsvTable {
  char separator = ',';
  std::vector<TableRecord> records;  // blank lines are left out
};

// Splits CSV bytes into rows. The separator is a semicolon when the column
// heading row (or, without one, the first row) holds more semicolons than
// commas outside quotes, else a comma. False with the problem (and its line)
// when the text cannot be split: a quote that is never closed, text after a
// closing quote, a UTF-16 file.
bool ReadCsvTable(std::string_view bytes, CsvTable& table, TableProblem& problem);

// What a table may hold, well past any residue table of the largest
// installation (a few MB, lines of a few hundred bytes, nine columns), so
// that a file that is not one costs little memory or time to refuse.
inline constexpr std::uintmax_t kMaxTableBytes = std::uintmax_t{64} << 20;
inline constexpr std::size_t kMaxTableLine = 64 * 1024;
inline constexpr std::size_t kMaxTableCells = 256;
inline constexpr std::size_t kMaxTableTotalCells = 2'000'000;

// The rows as CSV: comma separated, CR LF line ends, a field quoted when it
// holds a comma, a quote, a line break or blanks at either end.
std::string CsvTableText(const std::vector<TableRow>& rows);

// The rows as an .xlsx workbook of one sheet. False with error when the
// workbook could not be made.
bool XlsxTableBytes(const std::vector<TableRow>& rows, std::string& bytes, std::string& error);

}  // namespace ormid
