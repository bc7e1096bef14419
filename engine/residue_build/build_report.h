// The build report: how every entry of the residue files built came to be
// (per food and food form: the commodity sampled, its samples by kind, the
// zeros for the crop not treated, the value the non-detects were given, the
// mean, the percent crop treated, the processing factor and what was
// written), the commodities sampled without a rule, the foods no rule
// names, and the options. Written beside the residue file as
// "OUT.R98.build.txt".
#pragma once

#include <string>

#include "core/platform.h"
#include "residue_build/residue_build.h"

namespace ormid {

struct ModOrmid;

std::string ResidueBuildReportText(const ModOrmid& m, const ResidueBuild& build,
                                   const DateTime& now);

// "1/2 LOD", "LOD + (LOQ - LOD)/2": an option as the report explains it.
std::string RuleWords(NonDetectRule rule);
std::string RuleWords(NotQuantifiedRule rule);

}  // namespace ormid
