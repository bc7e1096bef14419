// A cumulative run's figures as data. CSV and Excel: one row per chemical
// of every subgroup, then the subgroup's cumulative row. JSON: per subgroup
// its chemicals and its cumulative figures. Each figure is the shortest
// text that reads back to the same value: single precision for a
// chemical's exposure, double precision for every sum and ratio.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "cumulative/cumulative_headroom.h"
#include "cumulative/cumulative_run.h"
#include "export/table_writer.h"

namespace ormid {

class Platform;

// The CSV and Excel columns.
const std::vector<Column>& CumulativeColumns();

// Writes the export `path` in the format its extension names, with the
// manifest inside (JSON, Excel); false with error when it cannot be
// written. A CSV file's manifest goes beside it (the caller writes it).
// With a breakdown, each subgroup's rows are followed by a row per commodity
// (`row_kind` crop_group, food or food_form). A headroom goes to the JSON
// only (`headroom`): its factors are not figures of a subgroup.
bool WriteCumulativeExport(Platform& p, const std::string& path, const AssessmentGroup& group,
                           const std::vector<CumulativeSubgroup>& subgroups,
                           const std::optional<CommodityBreakdown>& breakdown,
                           const nlohmann::json& manifest, std::string& error,
                           const CumulativeHeadroom* headroom = nullptr);

}  // namespace ormid
