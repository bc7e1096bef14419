// The cumulative report ("tempcum.txt"): the assessment group's chemicals,
// each subgroup's exposure in index-chemical equivalents with its percent of
// the index chemical's PAD, total margin of exposure and hazard index, then
// each chemical's part of it.
#pragma once

#include <string>
#include <vector>

#include "core/platform.h"
#include "cumulative/cumulative_headroom.h"
#include "cumulative/cumulative_run.h"

namespace ormid {

struct ModOrmid;

// `whatIf` is the line that says what a what-if left out ("" for none);
// with a headroom, the report ends with it.
std::string CumulativeReportText(const ModOrmid& m, const AssessmentGroup& group,
                                 const ChemicalExposures& e,
                                 const std::vector<CumulativeSubgroup>& subgroups, bool adj2,
                                 const DateTime& now, const std::string& whatIf = "",
                                 const CumulativeHeadroom* headroom = nullptr);

// A headroom factor's cell: the printed factor, "past target" (a subgroup
// is past it even without those residues) or "unlimited".
std::string CumulativeFactorText(const CumulativeHeadroomRow& row);

}  // namespace ormid
