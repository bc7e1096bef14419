#include "aggregate/aggregate_figures.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "core/collecting_platform.h"
#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "core/names.h"
#include "core/paths.h"
#include "core/utf8.h"
#include "exposure/total_exposure.h"
#include "headroom/what_if.h"
#include "residue/residue_file_writer.h"
#include "residue/residue_reader.h"
#include "residue_table/residue_table.h"

namespace ormid {

namespace {

// The master food number of a code as the user gives it: the master code,
// or one whose leading zeros a spreadsheet dropped; 0 for none.
int MasterFood(const ModOrmid& m, const MasterFoods& foods, const std::string& given) {
  const std::size_t width = m.gSurveyBase == 0 ? 8 : 10;
  std::string code = TrimBlanks(given);
  if (!code.empty() && code.size() < width &&
      code.find_first_not_of("0123456789") == std::string::npos)
    code.insert(0, width - code.size(), '0');
  for (std::size_t f = 1; f < foods.code.size(); ++f)
    if (!foods.code[f].empty() && foods.code[f] == code) return static_cast<int>(f);
  return 0;
}

// The residue file of the water foods alone, every one with the residue
// `ppm` on the food and on each of its master food forms and both
// adjustment factors 1: what a residue file written for the water holds.
ResidueFile WaterResidueFile(const ModOrmid& m, const MasterFoods& foods,
                             const std::vector<int>& water, float ppm) {
  ResidueFile file;
  file.chemical = "Drinking water";
  file.tag = InstallationTag(m);
  for (int f : water) {
    const auto fi = static_cast<std::size_t>(f);
    ResidueFood& food = file.foods.emplace_back();
    food.number = static_cast<std::int16_t>(f);
    food.code = foods.code[fi];
    food.text = fi < m.gFoodCropGroup.size() ? m.gFoodCropGroup[fi] : std::string();
    food.name = foods.name[fi];
    food.residue = ppm;
    const int first = m.gFoodFormCode2[fi];
    for (int k = first; k < first + m.gFoodFormCode1[fi]; ++k) {
      if (k < 1 || k > m.gRacCount) continue;
      ResidueForm& form = food.forms.emplace_back();
      form.code = m.gRacValue[static_cast<std::size_t>(k)];
      form.residue = ppm;
    }
  }
  return file;
}

// The long-term exposure of every report row of the residue table in `m`;
// false with the messages when the run stops.
bool LongTermExposure(ModOrmid& m, std::vector<float>& byRow, std::vector<std::string>& messages,
                      ExposureTerms* terms = nullptr) {
  CollectingPlatform p;
  int failed = 0;
  ComputeTotalExposure(m, p, failed, terms);
  if (failed != 0) {
    messages.insert(messages.end(), p.messages.begin(), p.messages.end());
    if (p.messages.empty()) messages.push_back("the long-term exposure could not be computed");
    return false;
  }
  byRow.assign(static_cast<std::size_t>(m.gPopCount) + 1, 0.0f);
  for (int k = 1; k <= m.gPopCount; ++k)
    byRow[static_cast<std::size_t>(k)] =
        m.gPopExposure[static_cast<std::size_t>(m.gPopOrder[static_cast<std::size_t>(k)])];
  return true;
}

// The water-only residue table of `ppm` on a copy of the installation.
bool WaterRun(const ModOrmid& started, const MasterFoods& foods, const std::vector<int>& water,
              float ppm, bool adj2, std::vector<float>& byRow, std::vector<std::string>& messages,
              ExposureTerms* terms = nullptr) {
  ModOrmid m = started;
  CollectingPlatform p;
  int failed = 0;
  m.gResidueFileName = "drinking water";
  ReadResidueText(m, p, ResidueFileText(WaterResidueFile(started, foods, water, ppm)), failed);
  if (failed != 0) {
    messages.insert(messages.end(), p.messages.begin(), p.messages.end());
    return false;
  }
  m.gUseAdj2 = adj2 ? 1 : 0;
  return LongTermExposure(m, byRow, messages, terms);
}

// The residential exposure of a scenario for a subgroup and duration, by
// route: the subgroup's own rows, else the scenario's rows for all.
struct ScenarioExposure {
  std::array<double, 3> exposure{};
  bool applies = false;
};
ScenarioExposure ExposureOf(const std::vector<const ResidentialRow*>& rows, Duration d, int row) {
  ScenarioExposure out;
  std::array<bool, 3> own{};
  for (const ResidentialRow* p : rows) {
    const ResidentialRow& r = *p;
    if (r.duration != d || (r.row != row && r.row != 0)) continue;
    out.applies = true;
    const std::size_t i = Index(r.route);
    if (r.row == row) {
      out.exposure[i] = r.exposure;
      own[i] = true;
    } else if (!own[i]) {
      out.exposure[i] = r.exposure;
    }
  }
  return out;
}

// The figures of one subgroup with its doses in place: margins, risk
// index, hazard index, %cPAD, risk, shares.
void Figures(const ToxTable& tox, Duration d, bool sameLoc, double cancerLimit,
             AggregateSubgroup& s) {
  const double parts[5] = {static_cast<double>(s.food), static_cast<double>(s.water),
                           s.residential[0], s.dose[1], s.dose[2]};
  s.moe = {};
  s.aggregateMoe.reset();
  s.ari.reset();
  s.hazardIndex = 0;
  s.percentCpad.reset();
  s.risk.reset();
  s.share = {};
  s.ofLimit = {};
  std::array<double, 5> part{};
  if (d == Duration::Cancer) {
    const double q = tox.Find(d, Route::Oral)->qStar;
    const double risk = q * (s.dose[0] + s.dose[1] + s.dose[2]);
    s.risk = risk;
    s.ofConcern = risk > cancerLimit;
    for (std::size_t i = 0; i < 5; ++i) part[i] = q * parts[i];
    for (std::size_t i = 0; i < 5; ++i) s.ofLimit[i] = 100.0 * part[i] / cancerLimit;
    if (risk > 0)
      for (std::size_t i = 0; i < 5; ++i) s.share[i] = 100.0 * part[i] / risk;
    return;
  }
  double perMoe = 0, inverse = 0;
  for (Route r : kRoutes) {
    const std::size_t i = Index(r);
    const ToxRow* t = tox.Find(d, r);
    if (!t || s.dose[i] == 0) continue;
    const double moe = t->pod / s.dose[i];
    s.moe[i] = moe;
    perMoe += 1.0 / moe;
    inverse += 1.0 / (moe / t->loc);
  }
  s.hazardIndex = inverse;
  if (inverse > 0) {
    s.ari = 1.0 / inverse;
    if (sameLoc) s.aggregateMoe = 1.0 / perMoe;
  }
  s.ofConcern = s.ari && *s.ari < 1.0;
  const ToxRow& oral = *tox.Find(d, Route::Oral);
  if (d == Duration::Chronic) {
    // The routes' doses in oral equivalents: as toxic by their own point of
    // departure as that much by mouth.
    double total = s.dose[0];
    for (Route r : {Route::Dermal, Route::Inhalation})
      if (const ToxRow* t = tox.Find(d, r); t && s.dose[Index(r)] != 0)
        total += s.dose[Index(r)] * oral.pod / t->pod;
    s.percentCpad = 100.0 * total / (oral.pod / oral.loc);
  }
  for (std::size_t i = 0; i < 3; ++i) part[i] = parts[i] * oral.loc / oral.pod;
  for (Route r : {Route::Dermal, Route::Inhalation})
    if (const ToxRow* t = tox.Find(d, r))
      part[Index(r) + 2] = parts[Index(r) + 2] * t->loc / t->pod;
  for (std::size_t i = 0; i < 5; ++i) s.ofLimit[i] = 100.0 * part[i];
  double sum = 0;
  for (double x : part) sum += x;
  if (sum > 0)
    for (std::size_t i = 0; i < 5; ++i) s.share[i] = 100.0 * part[i] / sum;
}

// Whether a subgroup stays within its limit.
bool WithinLimit(const AggregateSubgroup& s, Duration d, double cancerLimit) {
  if (d == Duration::Cancer) return !(*s.risk > cancerLimit);
  return !s.ari || *s.ari >= 1.0;
}

// The drinking water level of comparison: the largest water residue (in
// single precision, as a residue file holds it) at which the subgroup
// stays within its limit with food and residential held, times 1000 (µg/L).
void Dwloc(const AggregateExposures& e, const ToxTable& tox, Duration d, bool sameLoc,
           double cancerLimit, AggregateSubgroup s, AggregateSubgroup& out) {
  auto within = [&](std::uint32_t bits) {
    s.water = e.WaterAt(s.row, std::bit_cast<float>(bits));
    s.dose[0] = static_cast<double>(s.food) + static_cast<double>(s.water) + s.residential[0];
    Figures(tox, d, sameLoc, cancerLimit, s);
    return WithinLimit(s, d, cancerLimit);
  };
  const std::uint32_t most = std::bit_cast<std::uint32_t>(FLT_MAX);
  if (!within(0)) {
    out.dwlocKind = DwlocKind::None;
    return;
  }
  if (within(most)) {
    out.dwlocKind = DwlocKind::Unlimited;
    return;
  }
  // Within at lo, past the limit at hi; the water exposure grows with the
  // residue, so the last residue within lies between.
  std::uint32_t lo = 0, hi = most;
  while (hi - lo > 1) {
    const std::uint32_t mid = lo + (hi - lo) / 2;
    (within(mid) ? lo : hi) = mid;
  }
  out.dwlocKind = DwlocKind::Value;
  out.dwloc = 1000.0 * static_cast<double>(std::bit_cast<float>(lo));
}

std::vector<Duration> DurationsOf(const AggregateSettings& s, const ToxTable& tox) {
  if (!s.durations.empty()) return s.durations;
  std::vector<Duration> out;
  for (Duration d : kDurations)
    if (tox.Has(d)) out.push_back(d);
  return out;
}

std::vector<AggregateDurationFigures> Combine(const AggregateFigures& run,
                                              const AggregateWhatIf& whatIf) {
  const AggregateSettings& settings = run.settings;
  const AggregateExposures& e = run.exposures;
  // The rows of each scenario (by its place in the file), the what-if's
  // left out.
  const std::vector<std::string>& scenarios = run.residential.scenarios;
  auto leftOut = [&](const std::string& scenario) {
    return std::any_of(whatIf.scenarios.begin(), whatIf.scenarios.end(),
                       [&](const std::string& s) { return SameName(s, scenario); });
  };
  std::vector<std::vector<const ResidentialRow*>> rows(scenarios.size());
  for (const ResidentialRow& r : run.residential.rows) {
    if (whatIf.routes[Index(r.route)]) continue;
    if (leftOut(r.scenario)) continue;
    const auto at = std::find(scenarios.begin(), scenarios.end(), r.scenario);
    rows[static_cast<std::size_t>(at - scenarios.begin())].push_back(&r);
  }
  // The scenario asked for, else every one: the one of the highest
  // aggregate risk is used.
  std::vector<std::size_t> candidates;
  for (std::size_t i = 0; i < scenarios.size(); ++i)
    // A scenario the what-if leaves out is not used, even the one asked for.
    if ((!settings.scenario || scenarios[i] == *settings.scenario) && !leftOut(scenarios[i]))
      candidates.push_back(i);
  std::vector<AggregateDurationFigures> out;
  for (Duration d : DurationsOf(settings, run.tox)) {
    AggregateDurationFigures figures;
    figures.duration = d;
    figures.sameLoc = run.tox.SameLoc(d);
    if (!whatIf.water) figures.edwc = settings.waterPpb[Index(d)];
    const std::vector<float>& water = e.water[Index(d)];
    for (int row : settings.rows) {
      const auto k = static_cast<std::size_t>(row);
      AggregateSubgroup s;
      s.row = row;
      s.subgroup = k < e.names.size() ? e.names[k] : std::string();
      s.column = k < e.columns.size() ? e.columns[k] : 0;
      s.food = e.food[k];
      s.water = figures.edwc && !water.empty() ? water[k] : 0.0f;
      bool chosen = false;
      AggregateSubgroup best = s;
      for (std::size_t c : candidates) {
        const ScenarioExposure x = ExposureOf(rows[c], d, row);
        if (!x.applies && !settings.scenario) continue;
        AggregateSubgroup t = s;
        t.scenario = scenarios[c];
        t.residential = x.exposure;
        for (Route r : kRoutes) {
          const ToxRow* tox = run.tox.Find(d, r);
          const std::size_t i = Index(r);
          t.dose[i] = r == Route::Oral ? x.exposure[i]
                                       : x.exposure[i] * (tox ? tox->absorptionPercent : 100) / 100;
        }
        t.dose[0] = static_cast<double>(t.food) + static_cast<double>(t.water) + t.residential[0];
        Figures(run.tox, d, figures.sameLoc, settings.cancerLimit, t);
        const bool worse = !chosen || (d == Duration::Cancer ? *t.risk > *best.risk
                                                             : t.hazardIndex > best.hazardIndex);
        if (worse) best = t;
        chosen = true;
      }
      if (!chosen) {
        best.dose[0] = static_cast<double>(s.food) + static_cast<double>(s.water);
        Figures(run.tox, d, figures.sameLoc, settings.cancerLimit, best);
      }
      if (!e.waterCodes.empty())
        Dwloc(e, run.tox, d, figures.sameLoc, settings.cancerLimit, best, best);
      if (figures.edwc) {
        if (best.dwlocKind == DwlocKind::Value) best.edwcBelow = *figures.edwc < best.dwloc;
        if (best.dwlocKind == DwlocKind::None) best.edwcBelow = false;
        if (best.dwlocKind == DwlocKind::Unlimited) best.edwcBelow = true;
      }
      figures.subgroups.push_back(std::move(best));
    }
    out.push_back(std::move(figures));
  }
  return out;
}

}  // namespace

bool AggregateWhatIf::Empty() const {
  return !water && scenarios.empty() && !routes[0] && !routes[1] && !routes[2];
}

float AggregateExposures::WaterAt(int row, float ppm) const {
  const int c = columns[static_cast<std::size_t>(row)];
  float sum = 0;
  for (std::size_t e = 0; e < waterTerms.size(); ++e)
    sum = AddTerm(sum, ExposureTerm(waterTerms.Consumption(e, c), ppm, 1.0f, 1.0f, useAdj2));
  return sum;
}

std::vector<std::string> AggregateArguments(const ModOrmid& m, const AggregateSettings& s,
                                            const std::string& residueFile) {
  std::vector<std::string> args = {"aggregate", residueFile, "--tox=" + s.tox};
  if (!s.residential.empty()) args.push_back("--residential=" + s.residential);
  for (Duration d : kDurations)
    if (s.waterPpb[Index(d)])
      args.push_back(std::string("--water-ppb=") + DurationName(d) + "=" +
                     ShortestText(*s.waterPpb[Index(d)]));
  if (!s.waterFoods.empty()) {
    std::string codes;
    for (const std::string& c : s.waterFoods) codes += (codes.empty() ? "" : ",") + c;
    args.push_back("--water-foods=" + codes);
  }
  if (s.scenario) args.push_back("--scenario=" + *s.scenario);
  if (!s.durations.empty()) {
    std::string list;
    for (Duration d : s.durations) list += (list.empty() ? "" : ",") + std::string(DurationName(d));
    args.push_back("--durations=" + list);
  }
  bool all = s.rows.empty() || static_cast<int>(s.rows.size()) == m.gPopCount;
  for (std::size_t i = 0; all && i < s.rows.size(); ++i) all = s.rows[i] == static_cast<int>(i) + 1;
  if (!all) {
    std::string rows;
    for (int r : s.rows) rows += (rows.empty() ? "" : ",") + std::to_string(r);
    args.push_back("--subgroups=" + rows);
  }
  if (s.adj2) args.push_back("--adj2");
  if (s.cancerLimit != kDefaultCancerLimit)
    args.push_back("--cancer-limit=" + ShortestText(s.cancerLimit));
  return args;
}

bool ComputeAggregateFigures(const ModOrmid& m, const AggregateSettings& settings,
                             AggregateFigures& out, std::vector<std::string>& problems) {
  out = AggregateFigures();
  out.settings = settings;
  const std::size_t before = problems.size();
  if (!ReadToxTable(settings.tox, settings.toxShown, out.tox, problems)) return false;
  if (!settings.residential.empty() &&
      !ReadResidentialTable(m, out.tox, settings.residential, settings.residentialShown,
                            out.residential, problems))
    return false;
  // The settings against the files.
  for (Duration d : settings.durations)
    if (!out.tox.Has(d))
      problems.push_back(std::string("--durations: ") + settings.toxShown + " has no " +
                         DurationName(d) + " rows");
  for (Duration d : kDurations)
    if (settings.waterPpb[Index(d)] && !out.tox.Has(d))
      problems.push_back(std::string("--water-ppb: ") + settings.toxShown + " has no " +
                         DurationName(d) + " oral row for the drinking water");
  if (settings.scenario) {
    const auto& names = out.residential.scenarios;
    const auto it = std::find_if(names.begin(), names.end(), [&](const std::string& s) {
      return SameName(s, *settings.scenario);
    });
    if (it == names.end())
      problems.push_back("--scenario: " + QuotedText(*settings.scenario) + " is not a scenario" +
                         (settings.residential.empty()
                              ? std::string(" (the run has no residential file)")
                              : " of " + settings.residentialShown));
    else
      out.settings.scenario = *it;
  }
  MasterFoods foods;
  std::vector<int> water;
  if (!settings.waterFoods.empty()) {
    std::string error;
    if (!LoadMasterFoods(m, foods, error)) {
      problems.push_back("--water-foods: " + error);
    } else {
      for (const std::string& code : settings.waterFoods) {
        const int f = MasterFood(m, foods, code);
        if (f == 0) {
          problems.push_back("--water-foods: " + code +
                             " is not a food of the installation's master food list");
          continue;
        }
        if (std::find(water.begin(), water.end(), f) != water.end()) {
          problems.push_back("--water-foods: " + code + " is named twice");
          continue;
        }
        water.push_back(f);
      }
    }
  } else {
    for (Duration d : kDurations)
      if (settings.waterPpb[Index(d)]) {
        problems.push_back(
            "--water-ppb: a drinking water concentration needs the installation's drinking water "
            "foods (--water-foods CODES)");
        break;
      }
  }
  if (problems.size() != before) return false;
  if (out.settings.rows.empty())
    for (int k = 1; k <= m.gPopCount; ++k) out.settings.rows.push_back(k);
  out.settings.durations = DurationsOf(settings, out.tox);

  // Food: the residue file as a long-term run gives it, without the water
  // foods' residues.
  AggregateExposures& e = out.exposures;
  e.useAdj2 = settings.adj2;
  e.chemical = m.gChemicalName;
  e.residueDate = m.gResidueFileDate;
  for (int f : water) {
    e.waterCodes.push_back(foods.code[static_cast<std::size_t>(f)]);
    e.waterNames.push_back(foods.name[static_cast<std::size_t>(f)]);
  }
  e.columns.assign(static_cast<std::size_t>(m.gPopCount) + 1, 0);
  e.names.assign(static_cast<std::size_t>(m.gPopCount) + 1, std::string());
  for (int k = 1; k <= m.gPopCount; ++k) {
    const auto row = static_cast<std::size_t>(k);
    e.columns[row] = m.gPopOrder[row];
    if (row < m.gPopNames2.size()) e.names[row] = m.gPopNames2[row];
  }
  std::vector<std::string> messages;
  {
    ModOrmid food = m;
    food.gUseAdj2 = settings.adj2 ? 1 : 0;
    Exclusion leftOut;
    leftOut.foods.assign(static_cast<std::size_t>(std::max<int>(food.gResFoodCount, 0)) + 1, false);
    for (int f = 1; f <= food.gResFoodCount; ++f)
      if (std::find(water.begin(), water.end(), food.gFoodConsRec[static_cast<std::size_t>(f)]) !=
          water.end())
        leftOut.foods[static_cast<std::size_t>(f)] = true;
    leftOut.codes = e.waterCodes;
    ClearExcludedResidues(food, leftOut);
    if (!LongTermExposure(food, e.food, messages)) {
      for (const std::string& text : messages) problems.push_back(text);
      return false;
    }
  }
  // Drinking water: a long-term run of the water foods alone at EDWC/1000
  // ppm, per duration; once at 1 ppm for the terms the level of comparison
  // is found on.
  if (!water.empty()) {
    std::vector<float> unused;
    if (!WaterRun(m, foods, water, 1.0f, settings.adj2, unused, messages, &e.waterTerms)) {
      for (const std::string& text : messages) problems.push_back(text);
      return false;
    }
    for (Duration d : out.settings.durations) {
      const auto& ppb = settings.waterPpb[Index(d)];
      if (!ppb) continue;
      const auto ppm = static_cast<float>(*ppb / 1000.0);
      if (!WaterRun(m, foods, water, ppm, settings.adj2, e.water[Index(d)], messages)) {
        for (const std::string& text : messages) problems.push_back(text);
        return false;
      }
    }
  }
  out.durations = Combine(out, {});
  return true;
}

std::vector<AggregateDurationFigures> CombineAggregate(const AggregateFigures& run,
                                                       const AggregateWhatIf& whatIf) {
  return Combine(run, whatIf);
}

int MostExposedAggregate(const AggregateDurationFigures& d) {
  int worst = -1;
  for (std::size_t i = 0; i < d.subgroups.size(); ++i) {
    const AggregateSubgroup& s = d.subgroups[i];
    if (worst < 0) {
      worst = static_cast<int>(i);
      continue;
    }
    const AggregateSubgroup& w = d.subgroups[static_cast<std::size_t>(worst)];
    const bool worse = d.duration == Duration::Cancer ? s.risk.value_or(0) > w.risk.value_or(0)
                                                      : s.hazardIndex > w.hazardIndex;
    if (worse) worst = static_cast<int>(i);
  }
  return worst;
}

}  // namespace ormid
