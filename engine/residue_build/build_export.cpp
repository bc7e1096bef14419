#include "residue_build/build_export.h"

#include <nlohmann/json.hpp>

#include "export/results_export.h"
#include "residue_build/residue_build.h"

namespace ormid {

const std::vector<Column>& ResidueBuildColumns() {
  static const std::vector<Column> columns = {
      {"row_kind", CellType::Text, ""},
      {"bound", CellType::Text, ""},
      {"food_code", CellType::Text, ""},
      {"food_name", CellType::Text, ""},
      {"food_form", CellType::Integer, "0"},
      {"food_form_label", CellType::Text, ""},
      {"commodity", CellType::Text, ""},
      {"rule_line", CellType::Integer, "0"},
      {"samples", CellType::Integer, "0"},
      {"detected", CellType::Integer, "0"},
      {"not_quantified", CellType::Integer, "0"},
      {"non_detects", CellType::Integer, "0"},
      {"zeros_crop_not_treated", CellType::Integer, "0"},
      {"non_detect_value_low_ppm", CellType::Number, "General"},
      {"non_detect_value_high_ppm", CellType::Number, "General"},
      {"mean_ppm", CellType::Number, "General"},
      {"percent_crop_treated", CellType::Number, "General"},
      {"processing_factor", CellType::Number, "General"},
      {"residue_ppm", CellType::Number, "General"},
      {"adjustment_factor_1", CellType::Number, "General"},
      {"adjustment_factor_2", CellType::Number, "General"},
      {"note", CellType::Text, ""},
  };
  return columns;
}

bool ExportResidueBuild(Platform& p, const std::string& path, const ResidueBuild& build,
                        const nlohmann::json& manifest, std::string& error) {
  const TableSpec layout{path, "Residue build",    "residue_build", ResidueBuildColumns(),
                         -1,   CreatedOf(manifest)};
  auto writer = OpenTable(p, layout, manifest, error);
  if (!writer) return false;
  const std::size_t n = ResidueBuildColumns().size();
  std::vector<Cell> cells(n);
  auto count = [](int v) { return Cell(static_cast<long long>(v)); };
  for (const BuildRow& r : build.rows) {
    std::fill(cells.begin(), cells.end(), Cell());
    cells[0] = std::string_view(r.form ? "food_form" : "food");
    cells[1] = std::string_view(OptionText(r.bound));
    cells[2] = std::string_view(r.foodCode);
    cells[3] = std::string_view(r.foodName);
    if (r.form) {
      cells[4] = static_cast<long long>(*r.form);
      cells[5] = std::string_view(r.formLabel);
    }
    if (r.rule) {
      cells[6] = std::string_view(r.commodity);
      cells[7] = static_cast<long long>(r.ruleLine);
      cells[8] = count(r.samples);
      cells[9] = count(r.detected);
      cells[10] = count(r.notQuantified);
      cells[11] = count(r.nonDetects);
      cells[12] = count(r.zeros);
      if (r.nonDetectLow) cells[13] = *r.nonDetectLow;
      if (r.nonDetectHigh) cells[14] = *r.nonDetectHigh;
      cells[15] = r.mean;
      cells[16] = r.percentCropTreated;
      cells[17] = r.processingFactor;
    }
    cells[18] = r.residue;
    cells[19] = r.adj1;
    cells[20] = r.adj2;
    cells[21] = std::string_view(r.note);
    writer->Row(cells, false);
  }
  for (const ResidueBuild::Unruled& u : build.unruled) {
    std::fill(cells.begin(), cells.end(), Cell());
    cells[0] = std::string_view("commodity_without_rule");
    cells[6] = std::string_view(u.commodity);
    cells[8] = count(u.samples);
    writer->Row(cells, false);
  }
  for (const ResidueBuild::Food& f : build.noData) {
    std::fill(cells.begin(), cells.end(), Cell());
    cells[0] = std::string_view("food_without_rule");
    cells[2] = std::string_view(f.code);
    cells[3] = std::string_view(f.name);
    writer->Row(cells, false);
  }
  return writer->Commit(error);
}

}  // namespace ormid
