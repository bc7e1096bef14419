// The complete commodity contribution report of one population subgroup:
// every crop group with members, every member food and food form with its
// residue, adjustment factors, exposure and the endpoint's figures, a
// subtotal per crop group and the subgroup's total exposure.
#pragma once

#include <string>
#include <string_view>

#include "core/mod_ormid.h"

namespace ormid {

class ReportWriter;
struct CommodityRun;

// Writes report row i's complete report and ends its last page. Starts a
// fresh line count; page numbers continue.
void WriteCompleteReport(CommodityRun& run, int row);

// An empty line and "Crop Group = " + name + suffix, then the food table's
// column headings.
void WriteCropGroupHeading(CommodityRun& run, int row, int group, std::string_view suffix);

// The five column-heading lines of the food table for the endpoint (none for
// an unknown code, which also keeps the old rule); rule receives the line that
// closes the table's columns. Adds 5 to lineCount in every case.
void WriteFoodTableHeading(const ModOrmid& m, ReportWriter& w, Endpoint endpoint, std::string& rule,
                           Int16& lineCount, int row);

}  // namespace ormid
