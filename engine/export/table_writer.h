// Tables of exact figures in the three export formats: CSV (RFC 4180,
// UTF-8), JSON (one document holding the run manifest and the rows) and
// Excel (.xlsx: the sheet of rows, first and active, then a "Run" sheet with
// the manifest).
// Every file replaces an existing one only whole.
#pragma once

#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ormid {

class Platform;

enum class ExportFormat { Csv, Json, Xlsx };

// The format a file name asks for by its extension (case-insensitive).
std::optional<ExportFormat> ExportFormatOf(const std::string& path);
// ".csv", ".json" or ".xlsx".
const char* ExportExtension(ExportFormat format);
inline constexpr const char* kExportExtensions = ".csv, .json or .xlsx";

// PrintedNumber: a figure as its report prints it ("1.420"), given as that
// text: the text in CSV and JSON, a number cell in a workbook, shown with
// the printed digits.
enum class CellType { Text, Integer, Number, PrintedNumber };

struct Column {
  const char* name;  // with its unit: "exposure_mg_per_kg_bw_day"
  CellType type;
  const char* excelFormat;  // the report's precision in Excel's terms; "" = General
};

// A cell: empty, text, a whole number, a single-precision figure, or a
// double-precision one (a sum or ratio formed in double precision).
using Cell = std::variant<std::monostate, std::string_view, long long, float, double>;

class TableWriter {
 public:
  virtual ~TableWriter() = default;
  // Appends a row; `highlight` marks the cells of column `highlightColumn`
  // (the figure above 100% of its reference dose).
  virtual void Row(const std::vector<Cell>& cells, bool highlight) = 0;
  // Writes the end and puts the file in place of the old one.
  virtual bool Commit(std::string& error) = 0;
};

struct TableSpec {
  std::string path;
  std::string sheet;    // Excel sheet name: "Subgroups", "Contributions"
  std::string jsonKey;  // JSON member of the rows: "longterm", "commodity"
  std::vector<Column> columns;
  int highlightColumn = -1;
  // The workbook's creation date (its properties), so that a run repeated
  // with the same date writes the same bytes; 0 = now.
  long long created = 0;
};

// Opens an export file and writes its head (the manifest, the header row).
// nullptr with error when the file cannot be created.
std::unique_ptr<TableWriter> OpenTable(Platform& p, const TableSpec& spec,
                                       const nlohmann::json& manifest, std::string& error);

// A field of a CSV record: quoted when it holds a comma, quote or line end.
void AppendCsvField(std::string& out, std::string_view field);

}  // namespace ormid
