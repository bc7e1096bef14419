#include "export/headroom_export.h"

#include <nlohmann/json.hpp>

#include "core/mod_ormid.h"
#include "export/results_export.h"
#include "headroom/headroom.h"
#include "headroom/headroom_text.h"

namespace ormid {

namespace {

const char* OutcomeText(HeadroomOutcome outcome) {
  switch (outcome) {
    case HeadroomOutcome::Multiplier:
      return "multiplier";
    case HeadroomOutcome::PastTarget:
      return "past_target_without_it";
    case HeadroomOutcome::Unlimited:
      break;
  }
  return "unlimited";
}

const char* TargetKindText(TargetKind kind) {
  switch (kind) {
    case TargetKind::PercentRef:
      return "percent_of_reference_dose_at_most";
    case TargetKind::Moe:
      return "margin_of_exposure_at_least";
    case TargetKind::Risk:
      break;
  }
  return "lifetime_cancer_risk_at_most";
}

}  // namespace

const std::vector<Column>& HeadroomColumns() {
  static const std::vector<Column> columns = {
      {"code", CellType::Text, ""},
      {"name", CellType::Text, ""},
      {"exposure_in_most_exposed_subgroup_mg_per_kg_bw_day", CellType::Number, "0.0000000"},
      {"share_of_most_exposed_subgroup_percent", CellType::Number, "0.00"},
      {"outcome", CellType::Text, ""},
      {"residue_multiplier", CellType::PrintedNumber, ""},
      {"residue_at_multiplier_ppm", CellType::Number, "General"},
      {"limiting_subgroup_row", CellType::Integer, ""},
      {"limiting_subgroup", CellType::Text, ""},
  };
  return columns;
}

nlohmann::json HeadroomSettings(const HeadroomTable& table) {
  return {{"by", HeadroomByName(table.by)},
          {"target", TargetKindText(table.target.kind)},
          {"target_value", table.target.value},
          {"subgroups", table.subgroups}};
}

bool ExportHeadroom(Platform& p, const std::string& path,
                    const std::vector<std::string>& subgroupNames, const HeadroomTable& table,
                    const nlohmann::json& manifest, std::string& error) {
  const TableSpec layout{path, "Headroom", "headroom", HeadroomColumns(), -1, CreatedOf(manifest)};
  auto writer = OpenTable(p, layout, manifest, error);
  if (!writer) return false;
  for (const HeadroomRow& row : table.rows) {
    const bool multiplier = row.outcome == HeadroomOutcome::Multiplier;
    const std::string factor = multiplier ? row.multiplier.Text() : std::string();
    const auto limiting = static_cast<std::size_t>(row.limitingRow);
    const std::string subgroup = row.limitingRow > 0 && limiting < subgroupNames.size()
                                     ? subgroupNames[limiting]
                                     : std::string();
    writer->Row(
        {Cell(std::string_view(row.code)), Cell(std::string_view(row.name)), Cell(row.exposure),
         Cell(row.share), Cell(std::string_view(OutcomeText(row.outcome))),
         multiplier ? Cell(std::string_view(factor)) : Cell(),
         multiplier && row.hasMaxResidue ? Cell(row.maxResidue) : Cell(),
         row.limitingRow != 0 ? Cell(static_cast<long long>(row.limitingRow)) : Cell(),
         subgroup.empty() ? Cell() : Cell(std::string_view(subgroup))},
        false);
  }
  return writer->Commit(error);
}

}  // namespace ormid
