// The headroom table as an export file: CSV, JSON or Excel by the file's
// extension, one row per crop group, food or food form, with the manifest
// of the run in the JSON document and the Excel workbook.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "export/table_writer.h"

namespace ormid {

class Platform;
struct HeadroomTable;

// The columns, their names carrying their units. The multiplier is text:
// exactly the four significant digits the table prints.
const std::vector<Column>& HeadroomColumns();

// Writes the table to path, replacing an existing file only whole; the
// limiting subgroups are named from `subgroupNames` (by report row). False
// with error when it cannot be written.
bool ExportHeadroom(Platform& p, const std::string& path,
                    const std::vector<std::string>& subgroupNames, const HeadroomTable& table,
                    const nlohmann::json& manifest, std::string& error);

// The headroom settings for the manifest: grouping, target, subgroups.
nlohmann::json HeadroomSettings(const HeadroomTable& table);

}  // namespace ormid
