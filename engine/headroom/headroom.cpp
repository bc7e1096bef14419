#include "headroom/headroom.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>

#include "commodity/commodity_run.h"
#include "commodity/crop_groups.h"
#include "core/mod_ormid.h"
#include "core/worst_subgroup.h"
#include "exposure/exposure_rows.h"
#include "exposure/exposure_terms.h"
#include "exposure/total_exposure.h"
#include "headroom/what_if.h"
#include "report/food_form_label.h"
#include "report/number_format.h"

namespace ormid {

namespace {

// Printed multipliers run from 1.000E-45 to 9.999E+41: below, every scaled
// residue is 0; above, every positive one is infinite.
constexpr int kLowestExponent = -48;
constexpr int kHighestExponent = 38;

// Rows whose own multiplier lies this far above the smallest one cannot be
// the one that limits: the single-precision sums differ from exact ones by
// far less.
constexpr double kNearFactor = 1.05;

// The number a report cell shows: blanks and thousands separators dropped.
double PrintedValue(std::string_view cell) {
  std::string digits;
  for (char c : cell)
    if (c != ' ' && c != ',') digits += c;
  double value = std::numeric_limits<double>::quiet_NaN();
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return value;
}

int ColumnOf(const ModOrmid& m, int row) {
  return m.gPopOrder[static_cast<std::size_t>(row)];
}

// The exposure at which row `row` reaches the target, before rounding.
double LimitExposure(const ModOrmid& m, const HeadroomTarget& target, int row) {
  switch (target.kind) {
    case TargetKind::PercentRef:
      return target.value * static_cast<double>(ReferenceDose(m, row)) / 100.0;
    case TargetKind::Moe:
      return static_cast<double>(m.gNOEL) / target.value;
    case TargetKind::Risk:
      break;
  }
  return target.value / static_cast<double>(m.gQStar);
}

// A commodity's residues scaled and the targets checked on the totals made
// again.
class ScaledRun {
 public:
  ScaledRun(const ModOrmid& m, const ExposureTerms& terms, const HeadroomTarget& target)
      : m_(m), totals_(m, terms), target_(target) {}

  void Select(const std::vector<std::size_t>& entries) { totals_.Select(entries); }
  float ExposureIn(int c) const { return totals_.ExposureIn(c); }

  // The first of `rows` that is past the target with the commodity's
  // residues scaled by `multiplier`; 0 when none is.
  int FirstPast(double multiplier, const std::vector<int>& rows) {
    totals_.Scale(multiplier);
    for (int row : rows)
      if (!WithinTarget(m_, target_, row, totals_.Total(ColumnOf(m_, row)))) return row;
    return 0;
  }

 private:
  const ModOrmid& m_;
  ScaledTotals totals_;
  const HeadroomTarget& target_;
};

// The largest printed multiplier that keeps every one of `rows` within the
// target, searched from `start` (the predicate only ever turns from true to
// false as the multiplier grows). False when even the smallest one does not.
bool LargestWithin(ScaledRun& run, const std::vector<int>& rows, Multiplier start,
                   Multiplier& found, int& limitingRow) {
  std::int64_t lo = 0;
  const bool limited = LargestIndexWithin(
      Multiplier{1000, kLowestExponent}.Index(), Multiplier{9999, kHighestExponent}.Index(),
      start.Index(),
      [&](std::int64_t index) {
        return run.FirstPast(Multiplier::FromIndex(index).Value(), rows) == 0;
      },
      lo);
  if (!limited) return false;
  found = Multiplier::FromIndex(lo);
  limitingRow = run.FirstPast(Multiplier::FromIndex(lo + 1).Value(), rows);
  return true;
}

std::string FormCodeText(const ModOrmid& m, int j) {
  std::string code = std::to_string(m.gFormCode[static_cast<std::size_t>(j)]);
  std::string label;
  FoodFormLabel(m, code, label);
  return code;
}

std::string FormDescription(const ModOrmid& m, int j) {
  std::string code = std::to_string(m.gFormCode[static_cast<std::size_t>(j)]);
  std::string label;
  FoodFormLabel(m, code, label);
  const std::size_t dash = label.find('-');
  return dash == std::string::npos ? label : label.substr(dash + 1);
}

}  // namespace

ScaledTotals::ScaledTotals(const ModOrmid& m, const ExposureTerms& terms)
    : terms_(terms), useAdj2_(m.gUseAdj2 != 0), inSelection_(terms.size(), 0) {
  residue_.reserve(terms.size());
  adj1_.reserve(terms.size());
  adj2_.reserve(terms.size());
  for (std::size_t e = 0; e < terms.size(); ++e) {
    const ExposureTerms::Entry& entry = terms.entry(e);
    const auto j = static_cast<std::size_t>(entry.form);
    const auto f = static_cast<std::size_t>(entry.food);
    residue_.push_back(entry.form > 0 ? m.gFormResidue[j] : m.gFoodResidue[f]);
    adj1_.push_back(entry.form > 0 ? m.gFormAdj1[j] : m.gFoodAdj1[f]);
    adj2_.push_back(entry.form > 0 ? m.gFormAdj2[j] : m.gFoodAdj2[f]);
  }
  Select({});
}

void ScaledTotals::Select(const std::vector<std::size_t>& entries) {
  for (std::size_t e : selection_) inSelection_[e] = 0;
  selection_ = entries;
  for (std::size_t e : selection_) inSelection_[e] = 1;
  first_ = selection_.empty() ? terms_.size() : selection_.front();
  prefix_.assign(static_cast<std::size_t>(terms_.columns()) + 1, kUnknown);
  prefixAll_.clear();
  scaled_.clear();
}

float ScaledTotals::ExposureIn(int c) const {
  float sum = 0.0f;
  for (std::size_t e : selection_) sum = AddTerm(sum, terms_.Term(e, c));
  return sum;
}

void ScaledTotals::Scale(double multiplier) {
  scaled_.resize(selection_.size());
  for (std::size_t i = 0; i < selection_.size(); ++i)
    scaled_[i] = ScaledResidue(residue_[selection_[i]], multiplier);
}

float ScaledTotals::Prefix(int c) {
  const auto ci = static_cast<std::size_t>(c);
  if (ci >= prefix_.size()) return 0.0f;
  if (prefix_[ci] == kUnknown) {
    float sum = 0.0f;
    for (std::size_t e = 0; e < first_; ++e) sum = AddTerm(sum, terms_.Term(e, c));
    prefix_[ci] = sum;
  }
  return prefix_[ci];
}

float ScaledTotals::Total(int c) {
  float sum = Prefix(c);
  std::size_t next = 0;
  for (std::size_t e = first_; e < terms_.size(); ++e) {
    if (!inSelection_[e]) {
      sum = AddTerm(sum, terms_.Term(e, c));
      continue;
    }
    const float residue = next < scaled_.size() ? scaled_[next] : residue_[e];
    ++next;
    const float consumption = terms_.Consumption(e, c);
    // A food form adds only to the columns that consumed it; a food
    // without forms to every column.
    if (terms_.entry(e).form > 0 && consumption == 0) continue;
    sum = AddTerm(sum, ExposureTerm(consumption, residue, adj1_[e], adj2_[e], useAdj2_));
  }
  return sum;
}

void ScaledTotals::Totals(std::vector<float>& out) {
  const int columns = terms_.columns();
  const auto n = static_cast<std::size_t>(columns) + 1;
  if (prefixAll_.empty()) {
    prefixAll_.assign(n, 0.0f);
    for (std::size_t e = 0; e < first_; ++e)
      for (int c = 1; c <= columns; ++c)
        prefixAll_[static_cast<std::size_t>(c)] =
            AddTerm(prefixAll_[static_cast<std::size_t>(c)], terms_.Term(e, c));
  }
  out = prefixAll_;
  std::size_t next = 0;
  for (std::size_t e = first_; e < terms_.size(); ++e) {
    if (!inSelection_[e]) {
      for (int c = 1; c <= columns; ++c)
        out[static_cast<std::size_t>(c)] =
            AddTerm(out[static_cast<std::size_t>(c)], terms_.Term(e, c));
      continue;
    }
    const float residue = next < scaled_.size() ? scaled_[next] : residue_[e];
    ++next;
    const bool form = terms_.entry(e).form > 0;
    for (int c = 1; c <= columns; ++c) {
      const float consumption = terms_.Consumption(e, c);
      if (form && consumption == 0) continue;
      out[static_cast<std::size_t>(c)] =
          AddTerm(out[static_cast<std::size_t>(c)],
                  ExposureTerm(consumption, residue, adj1_[e], adj2_[e], useAdj2_));
    }
  }
}

std::vector<Commodity> Commodities(ModOrmid& m, const ExposureTerms& terms, HeadroomBy by) {
  std::vector<Commodity> list;
  auto entriesOf = [&](auto&& belongs) {
    std::vector<std::size_t> entries;
    for (std::size_t e = 0; e < terms.size(); ++e)
      if (belongs(terms.entry(e))) entries.push_back(e);
    return entries;
  };
  switch (by) {
    case HeadroomBy::CropGroup: {
      ClassifyCropGroups(m);
      for (int k = 1; k <= m.gCropGroupCount; ++k) {
        if (m.gGroupFoods[static_cast<std::size_t>(k)][1] == 0) continue;
        const std::vector<bool> foods = FoodsOfGroup(m, k);
        auto entries = entriesOf([&](const ExposureTerms::Entry& entry) {
          return foods[static_cast<std::size_t>(entry.food)];
        });
        if (entries.empty()) continue;
        list.push_back({CropGroupCode(m, k), GroupName(m, k), k, 0, 0, std::move(entries)});
      }
      break;
    }
    case HeadroomBy::Food:
      for (int f = 1; f <= m.gResFoodCount; ++f) {
        auto entries =
            entriesOf([&](const ExposureTerms::Entry& entry) { return entry.food == f; });
        if (entries.empty()) continue;
        const auto fi = static_cast<std::size_t>(f);
        list.push_back({m.gFoodCode[fi], m.gFoodName[fi], 0, f, 0, std::move(entries)});
      }
      break;
    case HeadroomBy::Form:
      for (std::size_t e = 0; e < terms.size(); ++e) {
        const ExposureTerms::Entry entry = terms.entry(e);
        const auto fi = static_cast<std::size_t>(entry.food);
        Commodity c{m.gFoodCode[fi], m.gFoodName[fi], 0, entry.food, entry.form, {e}};
        if (entry.form > 0) {
          c.code += " " + FormCodeText(m, entry.form);
          c.name += ", " + FormDescription(m, entry.form);
        }
        list.push_back(std::move(c));
      }
      break;
  }
  return list;
}

float CommodityExposure(const ExposureTerms& terms, const Commodity& c, int column) {
  float sum = 0.0f;
  for (std::size_t e : c.entries) sum = AddTerm(sum, terms.Term(e, column));
  return sum;
}

const char* HeadroomByName(HeadroomBy by) {
  switch (by) {
    case HeadroomBy::CropGroup:
      return "cropgroup";
    case HeadroomBy::Food:
      return "food";
    case HeadroomBy::Form:
      break;
  }
  return "form";
}

std::optional<HeadroomBy> HeadroomByFrom(std::string_view name) {
  for (HeadroomBy by : {HeadroomBy::CropGroup, HeadroomBy::Food, HeadroomBy::Form})
    if (name == HeadroomByName(by)) return by;
  return std::nullopt;
}

TargetKind TargetKindFor(Endpoint endpoint) {
  if (endpoint == Endpoint::Noel) return TargetKind::Moe;
  if (endpoint == Endpoint::QStar) return TargetKind::Risk;
  return TargetKind::PercentRef;
}

double DefaultTargetValue(TargetKind kind) {
  return kind == TargetKind::Risk ? 1e-6 : 100.0;
}

double Multiplier::Value() const {
  const std::string text = std::to_string(digits) + "e" + std::to_string(exponent);
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

std::string Multiplier::Text() const {
  const std::string d = std::to_string(digits);
  if (exponent >= 0 && exponent <= 3)
    return d + std::string(static_cast<std::size_t>(exponent), '0');
  if (exponent < 0 && exponent >= -3) {
    const auto whole = static_cast<std::size_t>(4 + exponent);
    return d.substr(0, whole) + "." + d.substr(whole);
  }
  if (exponent < 0 && exponent >= -7)
    return "0." + std::string(static_cast<std::size_t>(-exponent - 4), '0') + d;
  const int power = exponent + 3;
  std::string text = d.substr(0, 1) + "." + d.substr(1) + "E" + (power < 0 ? "-" : "+");
  const std::string p = std::to_string(power < 0 ? -power : power);
  return text + (p.size() < 2 ? "0" : "") + p;
}

Multiplier Multiplier::Next() const {
  return FromIndex(Index() + 1);
}

std::int64_t Multiplier::Index() const {
  return (static_cast<std::int64_t>(exponent) + 1000) * 9000 + (digits - 1000);
}

Multiplier Multiplier::FromIndex(std::int64_t index) {
  return {static_cast<int>(index % 9000) + 1000, static_cast<int>(index / 9000) - 1000};
}

Multiplier Multiplier::FloorOf(double v) {
  if (!(v > 0)) return {1000, kLowestExponent};
  if (!std::isfinite(v)) return {9999, kHighestExponent};
  const int exponent = std::clamp(static_cast<int>(std::floor(std::log10(v))) - 3, kLowestExponent,
                                  kHighestExponent);
  const double scaled = std::floor(v / std::pow(10.0, exponent));
  Multiplier x{static_cast<int>(std::clamp(scaled, 1000.0, 9999.0)), exponent};
  // log10 and pow may be one step off either way.
  while (x.Value() > v && x.Index() > Multiplier{1000, kLowestExponent}.Index())
    x = FromIndex(x.Index() - 1);
  while (x.Next().Value() <= v && x.exponent < kHighestExponent) x = x.Next();
  return x;
}

float ScaledResidue(float residue, double multiplier) {
  return static_cast<float>(static_cast<double>(residue) * multiplier);
}

bool WithinTarget(const ModOrmid& m, const HeadroomTarget& target, int row, float e) {
  if (!std::isfinite(e)) return false;
  if (e == 0) return true;
  switch (target.kind) {
    case TargetKind::PercentRef: {
      const float percent = FiguresFor(m, row, e).pctRef;
      return std::isfinite(percent) &&
             PrintedValue(AlignedCell(percent, "###,###.#")) <= target.value;
    }
    case TargetKind::Moe: {
      const float moe = MarginOfExposure(m, e);
      if (!std::isfinite(moe)) return false;
      // A capped margin reads ">1,000,000".
      if (moe >= kMoeCap) return target.value <= kMoeCap;
      return PrintedValue(AlignedCell(moe, "#,###,###")) >= target.value;
    }
    case TargetKind::Risk:
      break;
  }
  const float risk = LifetimeRisk(m, e);
  return std::isfinite(risk) && PrintedValue(FormatPattern(risk, "scientific")) <= target.value;
}

HeadroomTable ComputeHeadroom(ModOrmid& m, const ExposureTerms& terms,
                              const HeadroomRequest& request) {
  HeadroomTable table;
  table.by = request.by;
  table.target = request.target;
  table.subgroups = request.subgroups;
  if (table.subgroups.empty())
    for (int row = 1; row <= m.gPopCount; ++row) table.subgroups.push_back(row);
  const std::vector<int>& rows = table.subgroups;

  // The run as it stands, and its most exposed chosen subgroup.
  const std::vector<float> totals = TotalsWithout(m, terms, {});
  auto totalOf = [&](int row) { return totals[static_cast<std::size_t>(ColumnOf(m, row))]; };
  std::vector<SubgroupStanding> standings;
  for (int row : rows) {
    const float e = totalOf(row);
    const ReportedFigures f = ReportedOf(m.gEndpoint, FiguresFor(m, row, e));
    standings.push_back({e, f.percentReference, f.marginOfExposure, f.lifetimeRisk});
  }
  if (const int worst = WorstSubgroup(standings); worst >= 0) {
    table.mostExposedRow = rows[static_cast<std::size_t>(worst)];
    table.mostExposedExposure = standings[static_cast<std::size_t>(worst)].exposure;
  }
  std::vector<int> pastAsItStands;
  for (int row : rows)
    if (!WithinTarget(m, request.target, row, totalOf(row))) pastAsItStands.push_back(row);

  ScaledRun run(m, terms, request.target);
  for (Commodity& commodity : Commodities(m, terms, request.by)) {
    run.Select(commodity.entries);
    HeadroomRow out;
    out.code = commodity.code;
    out.name = commodity.name;
    out.group = commodity.group;
    out.food = commodity.food;
    out.form = commodity.form;
    if (table.mostExposedRow != 0) {
      const int column = ColumnOf(m, table.mostExposedRow);
      out.exposure = run.ExposureIn(column);
      out.share =
          table.mostExposedExposure != 0 ? Percent(out.exposure, table.mostExposedExposure) : 0.0f;
    }

    // The multiplier of every subgroup the commodity reaches, before rounding.
    std::vector<std::pair<int, double>> reached;
    double smallest = std::numeric_limits<double>::infinity();
    for (int row : rows) {
      const float x = run.ExposureIn(ColumnOf(m, row));
      if (x == 0) continue;
      const double rest = static_cast<double>(totalOf(row)) - static_cast<double>(x);
      const double own = (LimitExposure(m, request.target, row) - rest) / static_cast<double>(x);
      reached.emplace_back(row, own);
      if (own < smallest || std::isnan(own)) smallest = std::isnan(own) ? 0 : own;
    }
    // No exposure in the chosen subgroups: any residue leaves them as they are.
    if (reached.empty()) {
      out.outcome = HeadroomOutcome::Unlimited;
      table.rows.push_back(std::move(out));
      continue;
    }
    // Past the target without the commodity: only a subgroup past it as the
    // run stands can be.
    if (int row = run.FirstPast(0.0, pastAsItStands); row != 0) {
      out.outcome = HeadroomOutcome::PastTarget;
      out.limitingRow = row;
      table.rows.push_back(std::move(out));
      continue;
    }
    std::vector<int> near;
    std::vector<int> all;
    for (const auto& [row, own] : reached) {
      all.push_back(row);
      if (!(own > smallest * kNearFactor)) near.push_back(row);
    }
    Multiplier found;
    int limiting = 0;
    const Multiplier start = Multiplier::FloorOf(smallest);
    bool limited = LargestWithin(run, near, start, found, limiting);
    // The rows left out of the search must be within the target too.
    if (limited && near.size() != all.size() && run.FirstPast(found.Value(), all) != 0)
      limited = LargestWithin(run, all, start, found, limiting);
    if (!limited) {
      // Within at the highest printed value (the scaled residues overflow
      // before that), or past it at the smallest one.
      const bool past = run.FirstPast(Multiplier{1000, kLowestExponent}.Value(), all) != 0;
      out.outcome = past ? HeadroomOutcome::PastTarget : HeadroomOutcome::Unlimited;
      out.limitingRow = past ? run.FirstPast(Multiplier{1000, kLowestExponent}.Value(), all) : 0;
      table.rows.push_back(std::move(out));
      continue;
    }
    out.outcome = HeadroomOutcome::Multiplier;
    out.multiplier = found;
    out.limitingRow = limiting;
    // The residue a food (its own line of the residue file) or a food form
    // may carry.
    if (commodity.food != 0) {
      out.hasMaxResidue = true;
      const float residue = commodity.form > 0
                                ? m.gFormResidue[static_cast<std::size_t>(commodity.form)]
                                : m.gFoodResidue[static_cast<std::size_t>(commodity.food)];
      out.maxResidue = ScaledResidue(residue, found.Value());
    }
    table.rows.push_back(std::move(out));
  }
  std::stable_sort(table.rows.begin(), table.rows.end(),
                   [](const HeadroomRow& a, const HeadroomRow& b) { return a.share > b.share; });
  return table;
}

bool LargestIndexWithin(std::int64_t lowest, std::int64_t highest, std::int64_t start,
                        const std::function<bool(std::int64_t)>& within, std::int64_t& found) {
  std::int64_t lo = 0;
  std::int64_t hi = 0;
  const std::int64_t first = std::clamp(start, lowest, highest);
  std::int64_t step = 1;
  if (within(first)) {
    // Up in doubling steps until a step passes the target.
    lo = first;
    for (;;) {
      hi = std::min(lo + step, highest);
      if (hi == lo) return false;  // within even at the highest value: no limit found
      if (!within(hi)) break;
      lo = hi;
      step *= 2;
    }
  } else {
    // Down in doubling steps until a step is within it.
    hi = first;
    for (;;) {
      if (hi == lowest) return false;
      lo = std::max(hi - step, lowest);
      if (within(lo)) break;
      hi = lo;
      step *= 2;
    }
  }
  while (hi - lo > 1) {
    const std::int64_t mid = lo + (hi - lo) / 2;
    (within(mid) ? lo : hi) = mid;
  }
  found = lo;
  return true;
}

}  // namespace ormid
