// An aggregate run's figures as data. CSV and Excel: one row per duration
// and subgroup. JSON: the durations with their subgroups, the toxicology
// rows and the drinking water foods. Each figure is the shortest text that
// reads back to the same value: single precision for the food and water
// exposures, double precision for every dose, margin and ratio.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "aggregate/aggregate_figures.h"
#include "export/table_writer.h"

namespace ormid {

class Platform;

// The CSV and Excel columns.
const std::vector<Column>& AggregateColumns();

// Writes the export `path` in the format its extension names, with the
// manifest inside (JSON, Excel); false with error when it cannot be
// written. A CSV file's manifest goes beside it (the caller writes it).
bool WriteAggregateExport(Platform& p, const std::string& path, const AggregateFigures& figures,
                          const nlohmann::json& manifest, std::string& error);

// The figures as the JSON export's "aggregate" member holds them (what the
// run history keeps), and back: the figures read give the same exports.
// False when the value is not one this program wrote.
nlohmann::json AggregateJson(const AggregateFigures& figures);
bool AggregateFromJson(const nlohmann::json& j, AggregateFigures& figures);

}  // namespace ormid
