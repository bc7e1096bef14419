// Residue tables as spreadsheet files: reading a CSV table as it comes out of
// a spreadsheet program (comma or semicolon separated, UTF-8 with or without
// a byte-order mark, quoted fields, CR LF or LF line ends), and writing a
// table as CSV or as an Excel workbook.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Where a table's bytes come from, a piece at a time: fills at most n bytes
// of buf and returns how many, 0 at the end (or when it cannot read on).
using TableSource = std::function<std::size_t(char* buf, std::size_t n)>;
// The bytes of a text in memory, as a source.
TableSource TextSource(std::string_view bytes);

// The separator of a table: a semicolon when the column heading row (or,
// without one, the first row) holds more semicolons than commas outside
// quotes, else a comma. Reads the source up to that row.
char DetectTableSeparator(const TableSource& source);

// Splits a table into rows as its bytes come, handing each row to `take`
// (blank lines are left out; a row has the line it starts on), and holds no
// more than one line and one row at a time. False with the problem (and
// its line) when the text cannot be split: a quote that is never closed,
// text after a closing quote, a UTF-16 file, text that is not UTF-8, a line
// or a row longer than a residue table has.
bool ReadCsvRecords(const TableSource& source, char separator,
                    const std::function<void(TableRecord&&)>& take, TableProblem& problem);

// The whole table in memory, for tables that are small: the separator
// detected, then every row.
bool ReadCsvTable(std::string_view bytes, CsvTable& table, TableProblem& problem);

// A number cell of a small table of figures (an assessment group file, a
// toxicology or residential file), its blanks already trimmed: a leading
// "+" allowed, and in a table separated by semicolons a decimal comma.
enum class TableNumber { Number, Empty, NotNumber, NotFinite };
TableNumber ReadTableNumber(std::string_view cell, char separator, double& value);

// What a table may hold, well past any residue table of the largest
// installation (a few MB, lines of a few hundred bytes, nine columns), so
// that a file that is not one costs little time to refuse; its memory is one
// line and one row whatever its size.
inline constexpr std::uintmax_t kMaxTableBytes = std::uintmax_t{64} << 20;
inline constexpr std::size_t kMaxTableLine = 64 * 1024;
inline constexpr std::size_t kMaxTableCells = 256;

// The rows as CSV: comma separated, CR LF line ends, a field quoted when it
// holds a comma, a quote, a line break or blanks at either end.
std::string CsvTableText(const std::vector<TableRow>& rows);

// The rows as an .xlsx workbook of one sheet. False with error when the
// workbook could not be made.
bool XlsxTableBytes(const std::vector<TableRow>& rows, std::string& bytes, std::string& error);

}  // namespace ormid
