// The critical commodity contribution report of one population subgroup: only
// the foods and food forms whose share of the subgroup's total exposure
// reaches the critical percent for foods, and the crop groups holding such a
// food or whose own share reaches the critical percent for crop groups; then
// the total of the numbered crop groups listed.
#pragma once

#include <string>

#include "core/mod_ormid.h"

namespace ormid {

class ReportWriter;
struct CommodityRun;

// Writes report row i's critical report and ends its last page. The line
// count continues from what the page already holds.
void WriteCriticalReport(CommodityRun& run, int row);

// An empty line, the three heading lines of the crop table for the endpoint,
// the rule line and another empty line. An unknown code writes no heading
// lines and keeps (and writes) the old rule. Adds 6 to lineCount in all cases.
void WriteCropTableHeading(const ModOrmid& m, ReportWriter& w, Endpoint endpoint, std::string& rule,
                           float qStar, Int16& lineCount, int row);

// A share of the subgroup's total exposure, in percent, as the threshold
// tests and the share column take it.
float ShareOfTotal(float e, float total);

}  // namespace ormid
