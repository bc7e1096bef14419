#include "cumulative/cumulative_headroom.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/mod_ormid.h"
#include "cumulative/cumulative_figures.h"
#include "report/number_format.h"

namespace ormid {

namespace {

// Printed factors run over the same range as the long-term headroom's.
const Multiplier kLowest{1000, -48};
const Multiplier kHighest{9999, 38};

// Rows whose own factor lies this far above the smallest one are left out of
// the search: the estimates, from the run's figures in double precision,
// are that close to the factors found. The rows left out are checked once
// at the factor found (and searched with the others when one is past it),
// so that the factor does not depend on this bound, only the time does.
constexpr double kNearFactor = 1.001;

// The group's figures with some entries of each chemical's run scaled: the
// chemicals' exposures made again and added as CombineExposures adds them.
class ScaledGroup {
 public:
  ScaledGroup(const ModOrmid& m, const AssessmentGroup& group, const ChemicalExposures& e,
              ChemicalRuns& runs)
      : m_(m), group_(group), e_(e), runs_(runs), selected_(group.chemicals.size(), 0) {}

  // Scales chemical j's residues in `entries` (empty: it stays as it is).
  void Select(std::size_t j, const std::vector<std::size_t>& entries) {
    runs_.runs[j]->totals->Select(entries);
    selected_[j] = entries.empty() ? 0 : 1;
  }
  void ClearSelection() {
    for (std::size_t j = 0; j < selected_.size(); ++j)
      if (selected_[j]) Select(j, {});
  }

  // The selected entries' index-equivalent exposure in report row `row`,
  // as it stands.
  double SelectedEquivalent(int row) const {
    double sum = 0;
    for (std::size_t j = 0; j < selected_.size(); ++j)
      if (selected_[j])
        sum += group_.chemicals[j].rpf *
               static_cast<double>(runs_.runs[j]->totals->ExposureIn(Column(row)));
    return sum;
  }

  // The first of `rows` past the target with the selection scaled by
  // `multiplier`; 0 when none is.
  int FirstPast(double multiplier, const std::vector<int>& rows, double target) {
    for (std::size_t j = 0; j < selected_.size(); ++j)
      if (selected_[j]) runs_.runs[j]->totals->Scale(multiplier);
    const double cpad = group_.Cpad();
    // Many rows: each chemical's columns made again in one pass over its
    // entries (the same sums, added in the same order, as one column's).
    const bool together = rows.size() > 2;
    if (together) {
      totals_.resize(selected_.size());
      for (std::size_t j = 0; j < selected_.size(); ++j)
        if (selected_[j]) runs_.runs[j]->totals->Totals(totals_[j]);
    }
    for (int row : rows) {
      double equivalent = 0;
      for (std::size_t j = 0; j < selected_.size(); ++j) {
        const float x = !selected_[j] ? e_.exposure[j][static_cast<std::size_t>(row)]
                        : together    ? totals_[j][static_cast<std::size_t>(Column(row))]
                                      : runs_.runs[j]->totals->Total(Column(row));
        if (!std::isfinite(x)) return row;
        equivalent += group_.chemicals[j].rpf * static_cast<double>(x);
      }
      if (!WithinCpadTarget(100.0 * equivalent / cpad, target)) return row;
    }
    return 0;
  }

 private:
  int Column(int row) const { return m_.gPopOrder[static_cast<std::size_t>(row)]; }

  const ModOrmid& m_;
  const AssessmentGroup& group_;
  const ChemicalExposures& e_;
  ChemicalRuns& runs_;
  std::vector<char> selected_;
  std::vector<std::vector<float>> totals_;  // by chemical, every column
};

// The factor of the selection: the largest printed value that keeps every
// subgroup within the target, or why there is none.
void Search(ScaledGroup& scaled, const std::vector<CumulativeSubgroup>& subgroups, double target,
            double cpad, CumulativeHeadroomRow& out) {
  std::vector<int> rows;
  std::vector<std::pair<int, double>> reached;
  double smallest = std::numeric_limits<double>::infinity();
  for (const CumulativeSubgroup& s : subgroups) {
    rows.push_back(s.row);
    const double x = scaled.SelectedEquivalent(s.row);
    if (x == 0) continue;
    const double own = (target * cpad / 100.0 - (s.indexEquivalent - x)) / x;
    reached.emplace_back(s.row, own);
    if (own < smallest || std::isnan(own)) smallest = std::isnan(own) ? 0 : own;
  }
  // No exposure in the chosen subgroups: any residue leaves them as they are.
  if (reached.empty()) {
    out.outcome = HeadroomOutcome::Unlimited;
    return;
  }
  // Past the target without the selection's residues: only a subgroup past
  // it as the run stands can be.
  std::vector<int> pastAsItStands;
  for (const CumulativeSubgroup& s : subgroups)
    if (!WithinCpadTarget(s.percentCpad, target)) pastAsItStands.push_back(s.row);
  if (const int row = scaled.FirstPast(0.0, pastAsItStands, target); row != 0) {
    out.outcome = HeadroomOutcome::PastTarget;
    out.limitingRow = row;
    return;
  }
  std::vector<int> near;
  for (const auto& [row, own] : reached)
    if (!(own > smallest * kNearFactor)) near.push_back(row);
  auto largest = [&](const std::vector<int>& checked, std::int64_t& found) {
    return LargestIndexWithin(
        kLowest.Index(), kHighest.Index(), Multiplier::FloorOf(smallest).Index(),
        [&](std::int64_t index) {
          return scaled.FirstPast(Multiplier::FromIndex(index).Value(), checked, target) == 0;
        },
        found);
  };
  std::int64_t found = 0;
  bool limited = largest(near, found);
  // The rows left out of the search must be within the target too.
  if (limited && near.size() != rows.size() &&
      scaled.FirstPast(Multiplier::FromIndex(found).Value(), rows, target) != 0)
    limited = largest(rows, found);
  if (!limited) {
    // Within even at the highest printed value, or past it at the lowest.
    out.limitingRow = scaled.FirstPast(kLowest.Value(), rows, target);
    out.outcome = out.limitingRow != 0 ? HeadroomOutcome::PastTarget : HeadroomOutcome::Unlimited;
    return;
  }
  out.outcome = HeadroomOutcome::Multiplier;
  out.multiplier = Multiplier::FromIndex(found);
  out.limitingRow = scaled.FirstPast(Multiplier::FromIndex(found + 1).Value(), rows, target);
}

}  // namespace

bool WithinCpadTarget(double percentCpad, double target) {
  if (percentCpad == 0) return true;
  if (!std::isfinite(percentCpad)) return false;
  std::string digits;
  for (char c : FormatPattern(percentCpad, "###,###.#"))
    if (c != ' ' && c != ',') digits += c;
  double printed = std::numeric_limits<double>::quiet_NaN();
  std::from_chars(digits.data(), digits.data() + digits.size(), printed);
  return printed <= target;
}

CumulativeHeadroom ComputeCumulativeHeadroom(const ModOrmid& m, const AssessmentGroup& group,
                                             const ChemicalExposures& e,
                                             const std::vector<CumulativeSubgroup>& subgroups,
                                             ChemicalRuns& runs, double target) {
  CumulativeHeadroom out;
  out.target = target;
  out.by = runs.by;
  const CumulativeSubgroup* worst = nullptr;
  if (const int i = MostExposedSubgroup(subgroups); i >= 0) {
    worst = &subgroups[static_cast<std::size_t>(i)];
    out.mostExposedRow = worst->row;
    out.mostExposedPercent = worst->percentCpad;
  }
  auto shareOf = [&](double equivalent) {
    return worst && worst->indexEquivalent != 0 ? 100.0 * equivalent / worst->indexEquivalent : 0.0;
  };
  const double cpad = group.Cpad();
  ScaledGroup scaled(m, group, e, runs);
  const std::size_t n = group.chemicals.size();
  for (std::size_t j = 0; j < n; ++j) {
    CumulativeHeadroomRow row;
    row.name = group.chemicals[j].chemical;
    if (worst) row.share = shareOf(worst->equivalent[j]);
    std::vector<std::size_t> every(runs.runs[j]->terms.size());
    for (std::size_t k = 0; k < every.size(); ++k) every[k] = k;
    scaled.Select(j, every);
    Search(scaled, subgroups, target, cpad, row);
    scaled.ClearSelection();
    out.chemicals.push_back(std::move(row));
  }
  for (std::size_t c = 0; c < runs.commodities.size(); ++c) {
    CumulativeHeadroomRow row;
    row.code = runs.commodities[c].first;
    row.name = runs.commodities[c].second;
    for (std::size_t j = 0; j < n; ++j)
      if (c < runs.runs[j]->entries.size()) scaled.Select(j, runs.runs[j]->entries[c]);
    if (worst) row.share = shareOf(scaled.SelectedEquivalent(worst->row));
    Search(scaled, subgroups, target, cpad, row);
    scaled.ClearSelection();
    out.commodities.push_back(std::move(row));
  }
  std::stable_sort(out.commodities.begin(), out.commodities.end(),
                   [](const CumulativeHeadroomRow& a, const CumulativeHeadroomRow& b) {
                     return a.share > b.share;
                   });
  return out;
}

}  // namespace ormid
