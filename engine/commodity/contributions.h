// A subgroup's commodity contribution breakdown as data, from the same
// figures the complete and critical reports print.
#pragma once

namespace ormid {

struct CommodityRun;
class ResultsSink;

// Sends report row `row`'s breakdown: for every crop group with members, its
// foods and food forms in report order and its subtotal; then the subgroup's
// total.
void SendContributions(CommodityRun& run, int row, ResultsSink& sink);

}  // namespace ormid
