#include "export/results_export.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <string_view>

#include "core/platform.h"

namespace ormid {

namespace {

constexpr const char* kExposureFormat = "0.0000000";
constexpr const char* kPercentFormat = "#,##0.0";
constexpr const char* kMoeFormat = "#,##0";
constexpr const char* kRiskFormat = "0.00E+00";
constexpr const char* kDoseFormat = "General";

// Columns of the endpoint figures, the same in both tables.
const Column kFigureColumns[] = {
    {"exposure_mg_per_kg_bw_day", CellType::Number, kExposureFormat},
    {"reference_dose_kind", CellType::Text, ""},
    {"reference_dose_mg_per_kg_bw_day", CellType::Number, kDoseFormat},
    {"percent_of_reference_dose", CellType::Number, kPercentFormat},
    {"percent_of_noel", CellType::Number, kPercentFormat},
    {"margin_of_exposure", CellType::Number, kMoeFormat},
    {"lifetime_cancer_risk", CellType::Number, kRiskFormat},
};

std::string_view ReferenceText(ReferenceKind k) {
  switch (k) {
    case ReferenceKind::RfD:
      return "RfD";
    case ReferenceKind::PAD:
      return "PAD";
    case ReferenceKind::None:
      break;
  }
  return "none";
}

Cell Optional(const std::optional<float>& v) {
  return v ? Cell(*v) : Cell();
}

// The endpoint figures from cells[at] on.
template <class Result>
void SetFigures(Cell* cells, const Result& r) {
  cells[0] = r.reference == ReferenceKind::None ? Cell() : Cell(ReferenceText(r.reference));
  cells[1] = Optional(r.referenceDose);
  cells[2] = Optional(r.percentReference);
  cells[3] = Optional(r.percentNoel);
  cells[4] = Optional(r.marginOfExposure);
  cells[5] = Optional(r.lifetimeRisk);
}
constexpr std::size_t kFigureCells = 6;

std::string_view KindText(ContributionKind k) {
  switch (k) {
    case ContributionKind::Food:
      return "food";
    case ContributionKind::FoodForm:
      return "food_form";
    case ContributionKind::CropGroupSubtotal:
      return "crop_group_subtotal";
    case ContributionKind::SubgroupTotal:
      return "subgroup_total";
  }
  return "";
}

Cell TextOrEmpty(std::string_view t) {
  return t.empty() ? Cell() : Cell(t);
}

// The run's date of a manifest as seconds read as UTC, for the workbook's
// properties; 0 when it has none.
#ifdef _WIN32
#define timegm _mkgmtime
#endif
int IndexOf(const std::vector<Column>& columns, std::string_view name) {
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (columns[i].name == name) return static_cast<int>(i);
  return -1;
}

}  // namespace

long long CreatedOf(const nlohmann::json& manifest) {
  const auto run = manifest.find("run");
  if (run == manifest.end() || !run->contains("date") || !(*run)["date"].is_string()) return 0;
  std::tm tm{};
  if (std::sscanf((*run)["date"].get<std::string>().c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &tm.tm_year,
                  &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min, &tm.tm_sec) != 6)
    return 0;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return static_cast<long long>(timegm(&tm));
}

const std::vector<Column>& LongTermColumns() {
  static const std::vector<Column> columns = [] {
    std::vector<Column> c = {
        {"row", CellType::Integer, "0"},
        {"subgroup", CellType::Text, ""},
        {"consumption_column", CellType::Integer, "0"},
    };
    c.insert(c.end(), std::begin(kFigureColumns), std::end(kFigureColumns));
    // The long-term report's own precision: exposure to 6 decimals, percent
    // of the NOEL to 2 (the commodity reports print 7 and 1).
    for (Column& column : c) {
      if (std::string_view(column.name) == "exposure_mg_per_kg_bw_day")
        column.excelFormat = "0.000000";
      if (std::string_view(column.name) == "percent_of_noel") column.excelFormat = "#,##0.00";
    }
    return c;
  }();
  return columns;
}

const std::vector<Column>& ContributionColumns() {
  static const std::vector<Column> columns = [] {
    std::vector<Column> c = {
        {"row_kind", CellType::Text, ""},
        {"subgroup_row", CellType::Integer, "0"},
        {"subgroup", CellType::Text, ""},
        {"crop_group_index", CellType::Integer, "0"},
        {"crop_group_code", CellType::Text, ""},
        {"crop_group", CellType::Text, ""},
        {"commodity_code", CellType::Text, ""},
        {"commodity_name", CellType::Text, ""},
        {"food_form_code", CellType::Integer, "0"},
        {"food_form", CellType::Text, ""},
        {"residue_ppm", CellType::Number, "0.000000"},
        {"adjustment_factor_1", CellType::Number, "0.000"},
        {"adjustment_factor_2", CellType::Number, "0.000"},
        {"exposure_mg_per_kg_bw_day", CellType::Number, kExposureFormat},
        {"share_of_subgroup_exposure_percent", CellType::Number, "0.00"},
    };
    c.insert(c.end(), std::begin(kFigureColumns) + 1, std::end(kFigureColumns));
    return c;
  }();
  return columns;
}

void LongTermCells(const LongTermResult& r, std::vector<Cell>& cells) {
  cells.resize(4 + kFigureCells);
  cells[0] = static_cast<long long>(r.row);
  cells[1] = r.subgroup;
  cells[2] = static_cast<long long>(r.column);
  cells[3] = r.exposure;
  SetFigures(&cells[4], r);
}

void ContributionCells(const ContributionResult& r, std::vector<Cell>& cells) {
  // Filled in place: a table of every food and food form of every subgroup
  // has hundreds of thousands of rows.
  const bool entry = r.kind == ContributionKind::Food || r.kind == ContributionKind::FoodForm;
  const bool form = r.kind == ContributionKind::FoodForm;
  cells.resize(15 + kFigureCells);
  Cell* c = cells.data();
  c[0] = KindText(r.kind);
  c[1] = static_cast<long long>(r.row);
  c[2] = r.subgroup;
  c[3] = r.cropGroup ? Cell(static_cast<long long>(r.cropGroup)) : Cell();
  c[4] = TextOrEmpty(r.cropGroupCode);
  c[5] = TextOrEmpty(r.cropGroupName);
  c[6] = entry ? Cell(r.commodityCode) : Cell();
  c[7] = entry ? Cell(r.commodityName) : Cell();
  c[8] = form ? Cell(static_cast<long long>(r.formCode)) : Cell();
  c[9] = form ? Cell(r.formLabel) : Cell();
  c[10] = Optional(r.residue);
  c[11] = Optional(r.adj1);
  c[12] = Optional(r.adj2);
  c[13] = r.exposure;
  c[14] = Optional(r.sharePercent);
  SetFigures(&c[15], r);
}

bool AboveReferenceDose(const std::optional<float>& percentReference) {
  return percentReference && *percentReference > 100.0f;
}

ResultsExport::ResultsExport(Platform& p, std::vector<std::string> paths,
                             std::function<nlohmann::json()> manifest)
    : p_(p), paths_(std::move(paths)), manifest_(std::move(manifest)) {}

ResultsExport::~ResultsExport() = default;

void ResultsExport::Open(bool commodity) {
  opened_ = true;
  const nlohmann::json manifest = manifest_();
  const auto& columns = commodity ? ContributionColumns() : LongTermColumns();
  specs_.reserve(paths_.size());
  for (const std::string& path : paths_) {
    specs_.push_back({path, commodity ? "Contributions" : "Subgroups",
                      commodity ? "commodity" : "longterm", columns,
                      IndexOf(columns, "percent_of_reference_dose"), CreatedOf(manifest)});
    std::string error;
    auto table = OpenTable(p_, specs_.back(), manifest, error);
    if (!table) failures_.push_back({path, error});
    tables_.push_back(std::move(table));
  }
}

void ResultsExport::LongTerm(const ModOrmid&, const LongTermResult& r) {
  if (!opened_) Open(false);
  LongTermCells(r, cells_);
  const bool above = AboveReferenceDose(r.percentReference);
  for (auto& t : tables_)
    if (t) t->Row(cells_, above);
}

void ResultsExport::Contribution(const ModOrmid&, const ContributionResult& r) {
  if (!opened_) Open(true);
  ContributionCells(r, cells_);
  const bool above = AboveReferenceDose(r.percentReference);
  for (auto& t : tables_)
    if (t) t->Row(cells_, above);
}

std::vector<ExportFailure> ResultsExport::Commit() {
  if (!opened_) Open(false);
  for (std::size_t i = 0; i < tables_.size(); ++i) {
    if (!tables_[i]) continue;
    std::string error;
    if (!tables_[i]->Commit(error)) failures_.push_back({paths_[i], error});
    tables_[i].reset();
  }
  return failures_;
}

}  // namespace ormid
