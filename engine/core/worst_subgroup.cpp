#include "core/worst_subgroup.h"

#include <cstddef>
#include <utility>

namespace ormid {

SubgroupStanding StandingOf(const LongTermResult& r) {
  return {r.exposure, r.percentReference, r.marginOfExposure, r.lifetimeRisk};
}

SubgroupStanding StandingOf(const CumulativeSubgroupFigures& c) {
  return {static_cast<float>(c.indexEquivalent), static_cast<float>(c.percentCpad), std::nullopt,
          std::nullopt};
}

SubgroupStanding StandingOf(const SubgroupFigures& s) {
  if (s.aggregate)
    return {static_cast<float>(s.aggregate->totalDose),
            static_cast<float>(s.aggregate->percentOfLimit), std::nullopt, std::nullopt};
  return s.cumulative ? StandingOf(*s.cumulative) : StandingOf(s.figures);
}

int WorstSubgroup(const std::vector<SubgroupFigures>& subgroups) {
  std::vector<SubgroupStanding> standings;
  standings.reserve(subgroups.size());
  for (const SubgroupFigures& s : subgroups) standings.push_back(StandingOf(s));
  return WorstSubgroup(standings);
}

int WorstSubgroup(const std::vector<SubgroupStanding>& rows) {
  using Field = std::optional<float> SubgroupStanding::*;
  // Each family in turn, the first one any row reports deciding; `lower`
  // where a smaller figure is the worse one.
  auto worstBy = [&](Field field, bool lower) {
    int worst = -1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const std::optional<float>& v = rows[i].*field;
      if (!v) continue;
      const float w = worst < 0 ? 0.0f : *(rows[static_cast<std::size_t>(worst)].*field);
      if (worst < 0 || (lower ? *v < w : *v > w)) worst = static_cast<int>(i);
    }
    return worst;
  };
  for (auto [field, lower] : {std::pair{&SubgroupStanding::percentReference, false},
                              std::pair{&SubgroupStanding::marginOfExposure, true},
                              std::pair{&SubgroupStanding::lifetimeRisk, false}})
    if (const int worst = worstBy(field, lower); worst >= 0) return worst;
  int worst = -1;
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (worst < 0 || rows[i].exposure > rows[static_cast<std::size_t>(worst)].exposure)
      worst = static_cast<int>(i);
  return worst;
}

}  // namespace ormid
