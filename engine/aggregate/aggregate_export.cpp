#include "aggregate/aggregate_export.h"

#include <cmath>

#include "core/float_text.h"
#include "core/json_text.h"
#include "core/platform.h"
#include "export/results_export.h"

namespace ormid {

namespace {

using json = nlohmann::json;

const char* const kShareNames[] = {"food", "water", "residential_oral", "residential_dermal",
                                   "residential_inhalation"};

json Double(const std::optional<double>& v) {
  if (!v || !std::isfinite(*v)) return nullptr;
  return *v;
}

Cell DoubleCell(const std::optional<double>& v) {
  return v && std::isfinite(*v) ? Cell(*v) : Cell();
}

const char* DwlocKindName(DwlocKind k) {
  switch (k) {
    case DwlocKind::Value:
      return "value";
    case DwlocKind::None:
      return "none";
    case DwlocKind::Unlimited:
      return "unlimited";
    case DwlocKind::NoWaterFoods:
      break;
  }
  return "no_water_foods";
}

std::optional<DwlocKind> DwlocKindFrom(const std::string& name) {
  for (DwlocKind k :
       {DwlocKind::Value, DwlocKind::None, DwlocKind::Unlimited, DwlocKind::NoWaterFoods})
    if (name == DwlocKindName(k)) return k;
  return std::nullopt;
}

std::optional<double> DwlocOf(const AggregateSubgroup& s) {
  return s.dwlocKind == DwlocKind::Value ? std::optional<double>(s.dwloc) : std::nullopt;
}

json Routes(const std::array<double, 3>& v) {
  return {{"oral", v[0]}, {"dermal", v[1]}, {"inhalation", v[2]}};
}
json Routes(const std::array<std::optional<double>, 3>& v) {
  return {{"oral", Double(v[0])}, {"dermal", Double(v[1])}, {"inhalation", Double(v[2])}};
}

json SubgroupJson(const AggregateSubgroup& s) {
  json share, limit;
  for (std::size_t i = 0; i < 5; ++i) {
    share[kShareNames[i]] = Double(s.share[i]);
    limit[kShareNames[i]] = Double(s.ofLimit[i]);
  }
  return {{"row", s.row},
          {"subgroup", s.subgroup},
          {"consumption_column", s.column},
          {"scenario", s.scenario.empty() ? json() : json(s.scenario)},
          {"food_mg_per_kg_bw_day", JsonSingle(s.food)},
          {"water_mg_per_kg_bw_day", JsonSingle(s.water)},
          {"residential_mg_per_kg_bw_day", Routes(s.residential)},
          {"dose_mg_per_kg_bw_day", Routes(s.dose)},
          {"moe", Routes(s.moe)},
          {"aggregate_moe", Double(s.aggregateMoe)},
          {"aggregate_risk_index", Double(s.ari)},
          {"hazard_index", Double(s.hazardIndex)},
          {"percent_of_cpad", Double(s.percentCpad)},
          {"lifetime_cancer_risk", Double(s.risk)},
          {"of_concern", s.ofConcern},
          {"dwloc", DwlocKindName(s.dwlocKind)},
          {"dwloc_ug_per_l", Double(DwlocOf(s))},
          {"edwc_below_dwloc", s.edwcBelow ? json(*s.edwcBelow) : json()},
          {"share_percent", std::move(share)},
          {"percent_of_limit", std::move(limit)}};
}

std::optional<double> OptionalDouble(const json& j) {
  if (j.is_null()) return std::nullopt;
  return j.get<double>();
}

void ReadRoutes(const json& j, std::array<double, 3>& v) {
  for (Route r : kRoutes) v[Index(r)] = j.at(RouteName(r)).get<double>();
}
void ReadRoutes(const json& j, std::array<std::optional<double>, 3>& v) {
  for (Route r : kRoutes) v[Index(r)] = OptionalDouble(j.at(RouteName(r)));
}

AggregateSubgroup SubgroupFrom(const json& j) {
  AggregateSubgroup s;
  s.row = j.at("row").get<int>();
  s.subgroup = j.at("subgroup").get<std::string>();
  s.column = j.at("consumption_column").get<int>();
  if (!j.at("scenario").is_null()) s.scenario = j.at("scenario").get<std::string>();
  s.food = static_cast<float>(j.at("food_mg_per_kg_bw_day").get<double>());
  s.water = static_cast<float>(j.at("water_mg_per_kg_bw_day").get<double>());
  ReadRoutes(j.at("residential_mg_per_kg_bw_day"), s.residential);
  ReadRoutes(j.at("dose_mg_per_kg_bw_day"), s.dose);
  ReadRoutes(j.at("moe"), s.moe);
  s.aggregateMoe = OptionalDouble(j.at("aggregate_moe"));
  s.ari = OptionalDouble(j.at("aggregate_risk_index"));
  s.hazardIndex = j.at("hazard_index").get<double>();
  s.percentCpad = OptionalDouble(j.at("percent_of_cpad"));
  s.risk = OptionalDouble(j.at("lifetime_cancer_risk"));
  s.ofConcern = j.at("of_concern").get<bool>();
  const auto kind = DwlocKindFrom(j.at("dwloc").get<std::string>());
  if (!kind) throw std::invalid_argument("dwloc");
  s.dwlocKind = *kind;
  s.dwloc = OptionalDouble(j.at("dwloc_ug_per_l")).value_or(0);
  if (!j.at("edwc_below_dwloc").is_null()) s.edwcBelow = j.at("edwc_below_dwloc").get<bool>();
  for (std::size_t i = 0; i < 5; ++i) {
    s.share[i] = OptionalDouble(j.at("share_percent").at(kShareNames[i]));
    s.ofLimit[i] = j.at("percent_of_limit").at(kShareNames[i]).get<double>();
  }
  return s;
}

bool WriteJson(Platform& p, const std::string& path, const AggregateFigures& f,
               const json& manifest, std::string& error) {
  json doc = {{"manifest", manifest}, {"aggregate", AggregateJson(f)}};
  return p.WriteFile(path, doc.dump(1, ' ', false, json::error_handler_t::replace) + "\n",
                     FileKind::WorkingFile, error);
}

}  // namespace

json AggregateJson(const AggregateFigures& f) {
  json tox = json::array();
  for (const ToxRow& t : f.tox.rows) {
    const bool cancer = t.duration == Duration::Cancer;
    tox.push_back({{"line", t.line},
                   {"duration", DurationName(t.duration)},
                   {"route", RouteName(t.route)},
                   {"pod_mg_per_kg_bw_day", cancer ? json() : json(t.pod)},
                   {"level_of_concern", cancer ? json() : json(t.loc)},
                   {"absorption_percent", t.absorptionPercent},
                   {"q_star", cancer && t.route == Route::Oral ? json(t.qStar) : json()}});
  }
  json water = json::array();
  for (std::size_t i = 0; i < f.exposures.waterCodes.size(); ++i)
    water.push_back({{"code", f.exposures.waterCodes[i]}, {"name", f.exposures.waterNames[i]}});
  json durations = json::array();
  for (const AggregateDurationFigures& d : f.durations) {
    json subgroups = json::array();
    for (const AggregateSubgroup& s : d.subgroups) subgroups.push_back(SubgroupJson(s));
    durations.push_back({{"duration", DurationName(d.duration)},
                         {"same_level_of_concern", d.sameLoc},
                         {"edwc_ug_per_l", Double(d.edwc)},
                         {"subgroups", std::move(subgroups)}});
  }
  return {{"chemical", f.exposures.chemical},
          {"second_adjustment_factor", f.settings.adj2},
          {"cancer_risk_limit", f.settings.cancerLimit},
          {"scenario", f.settings.scenario ? json(*f.settings.scenario) : json()},
          {"toxicology", std::move(tox)},
          {"water_foods", std::move(water)},
          {"durations", std::move(durations)}};
}

bool AggregateFromJson(const json& j, AggregateFigures& f) {
  f = AggregateFigures();
  try {
    f.exposures.chemical = j.at("chemical").get<std::string>();
    f.settings.adj2 = j.at("second_adjustment_factor").get<bool>();
    f.settings.cancerLimit = j.at("cancer_risk_limit").get<double>();
    if (!j.at("scenario").is_null()) f.settings.scenario = j.at("scenario").get<std::string>();
    for (const json& t : j.at("toxicology")) {
      ToxRow row;
      row.line = t.at("line").get<int>();
      const auto d = DurationFromName(t.at("duration").get<std::string>());
      const auto r = RouteFromName(t.at("route").get<std::string>());
      if (!d || !r) return false;
      row.duration = *d;
      row.route = *r;
      row.pod = OptionalDouble(t.at("pod_mg_per_kg_bw_day")).value_or(0);
      row.loc = OptionalDouble(t.at("level_of_concern")).value_or(0);
      row.absorptionPercent = t.at("absorption_percent").get<double>();
      row.qStar = OptionalDouble(t.at("q_star")).value_or(0);
      f.tox.rows.push_back(row);
    }
    for (const json& w : j.at("water_foods")) {
      f.exposures.waterCodes.push_back(w.at("code").get<std::string>());
      f.exposures.waterNames.push_back(w.at("name").get<std::string>());
    }
    for (const json& d : j.at("durations")) {
      AggregateDurationFigures figures;
      const auto duration = DurationFromName(d.at("duration").get<std::string>());
      if (!duration) return false;
      figures.duration = *duration;
      figures.sameLoc = d.at("same_level_of_concern").get<bool>();
      figures.edwc = OptionalDouble(d.at("edwc_ug_per_l"));
      f.settings.waterPpb[Index(*duration)] = figures.edwc;
      f.settings.durations.push_back(*duration);
      for (const json& s : d.at("subgroups")) figures.subgroups.push_back(SubgroupFrom(s));
      f.durations.push_back(std::move(figures));
    }
    if (!f.durations.empty())
      for (const AggregateSubgroup& s : f.durations.front().subgroups)
        f.settings.rows.push_back(s.row);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

const std::vector<Column>& AggregateColumns() {
  static const std::vector<Column> columns = {
      {"duration", CellType::Text, ""},
      {"row", CellType::Integer, "0"},
      {"subgroup", CellType::Text, ""},
      {"scenario", CellType::Text, ""},
      {"food_mg_per_kg_bw_day", CellType::Number, "0.0000000"},
      {"water_mg_per_kg_bw_day", CellType::Number, "0.0000000"},
      {"residential_oral_mg_per_kg_bw_day", CellType::Number, "0.0000000"},
      {"residential_dermal_mg_per_kg_bw_day", CellType::Number, "0.0000000"},
      {"residential_inhalation_mg_per_kg_bw_day", CellType::Number, "0.0000000"},
      {"dose_oral_mg_per_kg_bw_day", CellType::Number, "0.0000000"},
      {"dose_dermal_mg_per_kg_bw_day", CellType::Number, "0.0000000"},
      {"dose_inhalation_mg_per_kg_bw_day", CellType::Number, "0.0000000"},
      {"moe_oral", CellType::Number, "#,##0"},
      {"moe_dermal", CellType::Number, "#,##0"},
      {"moe_inhalation", CellType::Number, "#,##0"},
      {"aggregate_moe", CellType::Number, "#,##0"},
      {"aggregate_risk_index", CellType::Number, "#,##0.00"},
      {"hazard_index", CellType::Number, "0.0000"},
      {"percent_of_cpad", CellType::Number, "#,##0.0"},
      {"lifetime_cancer_risk", CellType::Number, "0.00E+00"},
      {"of_concern", CellType::Text, ""},
      {"edwc_ug_per_l", CellType::Number, ""},
      {"dwloc", CellType::Text, ""},
      {"dwloc_ug_per_l", CellType::Number, "#,##0.00"},
      {"edwc_below_dwloc", CellType::Text, ""},
      {"share_food_percent", CellType::Number, "0.00"},
      {"share_water_percent", CellType::Number, "0.00"},
      {"share_residential_oral_percent", CellType::Number, "0.00"},
      {"share_residential_dermal_percent", CellType::Number, "0.00"},
      {"share_residential_inhalation_percent", CellType::Number, "0.00"},
  };
  return columns;
}

bool WriteAggregateExport(Platform& p, const std::string& path, const AggregateFigures& f,
                          const json& manifest, std::string& error) {
  if (ExportFormatOf(path) == ExportFormat::Json) return WriteJson(p, path, f, manifest, error);
  TableSpec spec{path, "Aggregate", "aggregate", AggregateColumns(), -1, CreatedOf(manifest)};
  auto table = OpenTable(p, spec, manifest, error);
  if (!table) return false;
  std::vector<Cell> cells(AggregateColumns().size());
  for (const AggregateDurationFigures& d : f.durations)
    for (const AggregateSubgroup& s : d.subgroups) {
      std::fill(cells.begin(), cells.end(), Cell());
      cells[0] = std::string_view(DurationName(d.duration));
      cells[1] = static_cast<long long>(s.row);
      cells[2] = std::string_view(s.subgroup);
      if (!s.scenario.empty()) cells[3] = std::string_view(s.scenario);
      cells[4] = s.food;
      cells[5] = s.water;
      for (std::size_t r = 0; r < 3; ++r) {
        cells[6 + r] = s.residential[r];
        cells[9 + r] = s.dose[r];
        cells[12 + r] = DoubleCell(s.moe[r]);
      }
      cells[15] = DoubleCell(s.aggregateMoe);
      cells[16] = DoubleCell(s.ari);
      cells[17] = s.hazardIndex;
      cells[18] = DoubleCell(s.percentCpad);
      cells[19] = DoubleCell(s.risk);
      cells[20] = std::string_view(s.ofConcern ? "yes" : "no");
      cells[21] = DoubleCell(d.edwc);
      cells[22] = std::string_view(DwlocKindName(s.dwlocKind));
      cells[23] = DoubleCell(DwlocOf(s));
      if (s.edwcBelow) cells[24] = std::string_view(*s.edwcBelow ? "yes" : "no");
      for (std::size_t i = 0; i < 5; ++i) cells[25 + i] = DoubleCell(s.share[i]);
      table->Row(cells, false);
    }
  return table->Commit(error);
}

}  // namespace ormid
