#include "cumulative/cumulative_export.h"

#include <cmath>

#include "core/float_text.h"
#include "core/platform.h"

namespace ormid {

namespace {

using json = nlohmann::json;

// A single-precision figure as JSON writes its shortest text: the double
// nearest that text (whose own shortest text it is).
json Single(float v) {
  if (!std::isfinite(v)) return nullptr;
  return std::stod(ShortestText(v));
}

json Double(const std::optional<double>& v) {
  if (!v || !std::isfinite(*v)) return nullptr;
  return *v;
}

Cell DoubleCell(const std::optional<double>& v) {
  return v ? Cell(*v) : Cell();
}

bool WriteJson(Platform& p, const std::string& path, const AssessmentGroup& group,
               const std::vector<CumulativeSubgroup>& subgroups, const json& manifest,
               std::string& error) {
  json rows = json::array();
  for (const CumulativeSubgroup& s : subgroups) {
    json chemicals = json::array();
    for (std::size_t j = 0; j < group.chemicals.size(); ++j)
      chemicals.push_back({{"chemical", group.chemicals[j].chemical},
                           {"exposure_mg_per_kg_bw_day", Single(s.exposure[j])},
                           {"rpf", Double(group.chemicals[j].rpf)},
                           {"index_equivalent_mg_per_kg_bw_day", Double(s.equivalent[j])},
                           {"share_percent", Double(s.share[j])}});
    rows.push_back({{"row", s.row},
                    {"subgroup", s.subgroup},
                    {"chemicals", std::move(chemicals)},
                    {"cumulative",
                     {{"index_equivalent_mg_per_kg_bw_day", Double(s.indexEquivalent)},
                      {"percent_of_index_pad", Double(s.percentCpad)},
                      {"moet", Double(s.moet)},
                      {"hazard_index", Double(s.hazardIndex)}}}});
  }
  const json doc = {{"manifest", manifest}, {"cumulative", std::move(rows)}};
  return p.WriteFile(path, doc.dump(1, ' ', false, json::error_handler_t::replace) + "\n",
                     FileKind::WorkingFile, error);
}

}  // namespace

const std::vector<Column>& CumulativeColumns() {
  static const std::vector<Column> columns = {
      {"row", CellType::Integer, "0"},
      {"subgroup", CellType::Text, ""},
      {"row_kind", CellType::Text, ""},
      {"chemical", CellType::Text, ""},
      {"exposure_mg_per_kg_bw_day", CellType::Number, "0.0000000"},
      {"rpf", CellType::Number, "0.0000"},
      {"index_equivalent_mg_per_kg_bw_day", CellType::Number, "0.0000000"},
      {"share_percent", CellType::Number, "0.00"},
      {"percent_of_index_pad", CellType::Number, "#,##0.0"},
      {"moet", CellType::Number, "#,##0"},
      {"hazard_index", CellType::Number, "0.0000"},
  };
  return columns;
}

bool WriteCumulativeExport(Platform& p, const std::string& path, const AssessmentGroup& group,
                           const std::vector<CumulativeSubgroup>& subgroups, const json& manifest,
                           std::string& error) {
  const auto format = ExportFormatOf(path);
  if (format == ExportFormat::Json) return WriteJson(p, path, group, subgroups, manifest, error);
  TableSpec spec{path, "Cumulative", "cumulative", CumulativeColumns(), -1, 0};
  auto table = OpenTable(p, spec, manifest, error);
  if (!table) return false;
  std::vector<Cell> cells(CumulativeColumns().size());
  for (const CumulativeSubgroup& s : subgroups) {
    for (std::size_t j = 0; j < group.chemicals.size(); ++j) {
      std::fill(cells.begin(), cells.end(), Cell());
      cells[0] = static_cast<long long>(s.row);
      cells[1] = std::string_view(s.subgroup);
      cells[2] = std::string_view("chemical");
      cells[3] = std::string_view(group.chemicals[j].chemical);
      cells[4] = s.exposure[j];
      cells[5] = group.chemicals[j].rpf;
      cells[6] = s.equivalent[j];
      cells[7] = DoubleCell(s.share[j]);
      table->Row(cells, false);
    }
    std::fill(cells.begin(), cells.end(), Cell());
    cells[0] = static_cast<long long>(s.row);
    cells[1] = std::string_view(s.subgroup);
    cells[2] = std::string_view("cumulative");
    cells[6] = s.indexEquivalent;
    cells[8] = s.percentCpad;
    cells[9] = DoubleCell(s.moet);
    cells[10] = DoubleCell(s.hazardIndex);
    table->Row(cells, false);
  }
  return table->Commit(error);
}

}  // namespace ormid
