// The aggregate report ("tempagg.txt"): per duration, each subgroup's doses
// from food, drinking water and the residential scenario, its route margins
// of exposure, aggregate margin, aggregate risk index and percent of the
// cPAD (chronic) or lifetime risk (cancer), the scenario used and the
// drinking water level of comparison against the EDWC; then the inputs
// (toxicology, water, residential scenarios) so that the report stands on
// its own.
#pragma once

#include <string>

#include "aggregate/aggregate_figures.h"
#include "core/platform.h"

namespace ormid {

struct ModOrmid;

std::string AggregateReportText(const ModOrmid& m, const AggregateFigures& figures,
                                const std::string& residueFile, const DateTime& now);

// A figure's cell as the report and the Results window show it: the ARI,
// a margin of exposure, the level of comparison.
std::string AriText(const std::optional<double>& ari);
std::string MarginText(const std::optional<double>& moe);
std::string DwlocText(const AggregateSubgroup& s);

}  // namespace ormid
