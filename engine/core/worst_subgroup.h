// The worst subgroup of a run: the one rule the Results windows, the
// Headroom tab, the headrooms, the run history and the batch summary name it
// by, whatever the kind of run.
//
// The highest percent of the reference dose (RfD or PAD) where the run
// reports one; else the lowest margin of exposure; else the highest
// lifetime cancer risk; else the highest exposure. Of equals, the first.
// Rows without a figure of the family chosen (a subgroup without exposure)
// are passed over.
#pragma once

#include <optional>
#include <vector>

#include "core/run_results.h"

namespace ormid {

struct SubgroupStanding {
  float exposure = 0;
  std::optional<float> percentReference, marginOfExposure, lifetimeRisk;
};

SubgroupStanding StandingOf(const LongTermResult& r);
// A cumulative run's subgroup, ranked by its percent of the index
// chemical's PAD as percents of a reference dose are.
SubgroupStanding StandingOf(const CumulativeSubgroupFigures& c);
// A subgroup of any kind of run.
SubgroupStanding StandingOf(const SubgroupFigures& s);

// The index of the worst row; -1 when there are no rows.
int WorstSubgroup(const std::vector<SubgroupStanding>& rows);
// The index of the worst subgroup; -1 when there are none.
int WorstSubgroup(const std::vector<SubgroupFigures>& subgroups);

}  // namespace ormid
