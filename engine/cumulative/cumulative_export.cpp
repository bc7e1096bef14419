#include "cumulative/cumulative_export.h"

#include <nlohmann/json.hpp>

#include <cmath>

#include "core/float_text.h"
#include "core/json_text.h"
#include "core/platform.h"
#include "export/results_export.h"

namespace ormid {

namespace {

using json = nlohmann::json;

json Double(const std::optional<double>& v) {
  if (!v || !std::isfinite(*v)) return nullptr;
  return *v;
}

Cell DoubleCell(const std::optional<double>& v) {
  return v ? Cell(*v) : Cell();
}

// "crop_group", "food", "food_form": a breakdown row's kind.
const char* KindName(HeadroomBy by) {
  return by == HeadroomBy::CropGroup ? "crop_group" : by == HeadroomBy::Food ? "food" : "food_form";
}

json HeadroomRows(const std::vector<CumulativeHeadroomRow>& rows, const char* kind) {
  json out = json::array();
  for (const CumulativeHeadroomRow& r : rows) {
    json row = kind ? json{{"code", r.code}, {"name", r.name}, {"kind", kind}}
                    : json{{"chemical", r.name}};
    row["share_percent"] = Double(r.share);
    row["outcome"] = r.outcome == HeadroomOutcome::Multiplier   ? "factor"
                     : r.outcome == HeadroomOutcome::PastTarget ? "past_target"
                                                                : "unlimited";
    row["factor"] = r.outcome == HeadroomOutcome::Multiplier ? json(r.multiplier.Value()) : json();
    row["limiting_row"] = r.limitingRow != 0 ? json(r.limitingRow) : json();
    out.push_back(std::move(row));
  }
  return out;
}

bool WriteJson(Platform& p, const std::string& path, const AssessmentGroup& group,
               const std::vector<CumulativeSubgroup>& subgroups,
               const std::optional<CommodityBreakdown>& breakdown, const json& manifest,
               std::string& error, const CumulativeHeadroom* headroom) {
  json rows = json::array();
  for (const CumulativeSubgroup& s : subgroups) {
    json chemicals = json::array();
    for (std::size_t j = 0; j < group.chemicals.size(); ++j)
      chemicals.push_back(
          {{"chemical", group.chemicals[j].chemical},
           {"exposure_mg_per_kg_bw_day", JsonSingle(s.exposure[j])},
           {"rpf", Double(group.chemicals[j].rpf)},
           {"index_equivalent_mg_per_kg_bw_day", Double(s.equivalent[j])},
           {"share_percent", Double(s.share[j])},
           {"pod_source",
            group.chemicals[j].podSource.empty() ? json() : json(group.chemicals[j].podSource)}});
    json row = {{"row", s.row},
                {"subgroup", s.subgroup},
                {"chemicals", std::move(chemicals)},
                {"cumulative",
                 {{"index_equivalent_mg_per_kg_bw_day", Double(s.indexEquivalent)},
                  {"percent_of_index_pad", Double(s.percentCpad)},
                  {"moet", Double(s.moet)},
                  {"hazard_index", Double(s.hazardIndex)},
                  {"cumulative_moe", Double(s.margin)},
                  {"target_moe", Double(s.targetMargin)}}}};
    if (breakdown) {
      const std::size_t r = static_cast<std::size_t>(&s - subgroups.data());
      json parts = json::array();
      for (const CommodityPart& part : breakdown->parts)
        parts.push_back(
            {{"code", part.code},
             {"name", part.name},
             {"kind", KindName(breakdown->by)},
             {"index_equivalent_mg_per_kg_bw_day", Double(part.equivalent[r])},
             {"share_percent",
              Double(s.indexEquivalent != 0
                         ? std::optional<double>(100.0 * part.equivalent[r] / s.indexEquivalent)
                         : std::nullopt)}});
      row["commodities"] = std::move(parts);
    }
    rows.push_back(std::move(row));
  }
  json doc = {{"manifest", manifest}, {"cumulative", std::move(rows)}};
  if (headroom)
    doc["headroom"] = {
        {"target_percent_of_index_pad", headroom->target},
        {"most_exposed_row",
         headroom->mostExposedRow != 0 ? json(headroom->mostExposedRow) : json()},
        {"chemicals", HeadroomRows(headroom->chemicals, nullptr)},
        {"commodities", HeadroomRows(headroom->commodities, KindName(headroom->by))}};
  return p.WriteFile(path, JsonText(doc, 1) + "\n", FileKind::WorkingFile, error);
}

}  // namespace

const std::vector<Column>& CumulativeColumns() {
  static const std::vector<Column> columns = {
      {"row", CellType::Integer, "0"},
      {"subgroup", CellType::Text, ""},
      {"row_kind", CellType::Text, ""},
      {"chemical", CellType::Text, ""},
      {"commodity_code", CellType::Text, ""},
      {"commodity_name", CellType::Text, ""},
      {"exposure_mg_per_kg_bw_day", CellType::Number, "0.0000000"},
      {"rpf", CellType::Number, "0.0000"},
      {"index_equivalent_mg_per_kg_bw_day", CellType::Number, "0.0000000"},
      {"share_percent", CellType::Number, "0.00"},
      {"percent_of_index_pad", CellType::Number, "#,##0.0"},
      {"moet", CellType::Number, "#,##0"},
      {"hazard_index", CellType::Number, "0.0000"},
      {"cumulative_moe", CellType::Number, "#,##0"},
      {"target_moe", CellType::Number, "#,##0.###"},
      {"pod_source", CellType::Text, ""},
  };
  return columns;
}

bool WriteCumulativeExport(Platform& p, const std::string& path, const AssessmentGroup& group,
                           const std::vector<CumulativeSubgroup>& subgroups,
                           const std::optional<CommodityBreakdown>& breakdown, const json& manifest,
                           std::string& error, const CumulativeHeadroom* headroom) {
  const auto format = ExportFormatOf(path);
  if (format == ExportFormat::Json)
    return WriteJson(p, path, group, subgroups, breakdown, manifest, error, headroom);
  // The workbook's creation date is the run's, so that a run repeated with
  // the same date (rerun, a batch's scenario) writes the same bytes.
  TableSpec spec{path, "Cumulative", "cumulative", CumulativeColumns(), -1, CreatedOf(manifest)};
  auto table = OpenTable(p, spec, manifest, error);
  if (!table) return false;
  std::vector<Cell> cells(CumulativeColumns().size());
  const char* kind = breakdown ? KindName(breakdown->by) : "";
  for (const CumulativeSubgroup& s : subgroups) {
    for (std::size_t j = 0; j < group.chemicals.size(); ++j) {
      std::fill(cells.begin(), cells.end(), Cell());
      cells[0] = static_cast<long long>(s.row);
      cells[1] = std::string_view(s.subgroup);
      cells[2] = std::string_view("chemical");
      cells[3] = std::string_view(group.chemicals[j].chemical);
      cells[6] = s.exposure[j];
      cells[7] = group.chemicals[j].rpf;
      cells[8] = s.equivalent[j];
      cells[9] = DoubleCell(s.share[j]);
      if (!group.chemicals[j].podSource.empty())
        cells[15] = std::string_view(group.chemicals[j].podSource);
      table->Row(cells, false);
    }
    std::fill(cells.begin(), cells.end(), Cell());
    cells[0] = static_cast<long long>(s.row);
    cells[1] = std::string_view(s.subgroup);
    cells[2] = std::string_view("cumulative");
    cells[8] = s.indexEquivalent;
    cells[10] = s.percentCpad;
    cells[11] = DoubleCell(s.moet);
    cells[12] = DoubleCell(s.hazardIndex);
    cells[13] = DoubleCell(s.margin);
    cells[14] = DoubleCell(s.targetMargin);
    table->Row(cells, false);
    if (breakdown) {
      const std::size_t r = static_cast<std::size_t>(&s - subgroups.data());
      for (const CommodityPart& part : breakdown->parts) {
        std::fill(cells.begin(), cells.end(), Cell());
        cells[0] = static_cast<long long>(s.row);
        cells[1] = std::string_view(s.subgroup);
        cells[2] = std::string_view(kind);
        cells[4] = std::string_view(part.code);
        cells[5] = std::string_view(part.name);
        cells[8] = part.equivalent[r];
        if (s.indexEquivalent != 0) cells[9] = 100.0 * part.equivalent[r] / s.indexEquivalent;
        table->Row(cells, false);
      }
    }
  }
  return table->Commit(error);
}

}  // namespace ormid
