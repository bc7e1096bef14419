// Headroom of a cumulative assessment: for each chemical of the group, and
// for each commodity across the chemicals, the factor on its residues that
// brings the most constrained chosen subgroup exactly to a target percent of
// the index chemical's PAD while everything else stays as it is.
//
// The factor is exact in the program's own arithmetic, as the long-term
// headroom's is: the scaled residues are single(r x m), every chemical's
// exposure is made again from its run's terms as the run adds them, the
// chemicals are added in the group file's row order in double precision,
// and the percent of the cPAD is compared with the target as the report
// prints it. Printed with four significant digits and rounded down: scaled
// by the printed factor every chosen subgroup stays at or within the
// target, scaled by the next four-digit value at least one goes past it.
#pragma once

#include <string>
#include <vector>

#include "cumulative/cumulative_run.h"
#include "headroom/headroom.h"

namespace ormid {

struct ModOrmid;

struct CumulativeHeadroomRow {
  std::string code;  // a commodity's code; "" for a chemical
  std::string name;  // the chemical, or the commodity's name
  // Percent of the most exposed subgroup's index-equivalent exposure.
  double share = 0;
  HeadroomOutcome outcome = HeadroomOutcome::Unlimited;
  Multiplier multiplier;
  // The subgroup that reaches the target first, or that is past it.
  int limitingRow = 0;
};

struct CumulativeHeadroom {
  double target = 100;  // percent of the cPAD
  HeadroomBy by = HeadroomBy::CropGroup;
  int mostExposedRow = 0;
  double mostExposedPercent = 0;
  std::vector<CumulativeHeadroomRow> chemicals;    // in the group file's order
  std::vector<CumulativeHeadroomRow> commodities;  // by decreasing share
};

// The headroom of every chemical and of every commodity of `runs` (kept by
// ComputeChemicalExposures for the same group and settings) over the
// subgroups of `subgroups`.
CumulativeHeadroom ComputeCumulativeHeadroom(const ModOrmid& m, const AssessmentGroup& group,
                                             const ChemicalExposures& e,
                                             const std::vector<CumulativeSubgroup>& subgroups,
                                             ChemicalRuns& runs, double target);

// The printed percent of the cPAD is at most the target (a subgroup without
// exposure always is).
bool WithinCpadTarget(double percentCpad, double target);

}  // namespace ormid
