// The build table as an export file: CSV, JSON or Excel by the file's
// extension, one row per entry of each residue file built (its food or food
// form, the commodity sampled and every figure the build report lists),
// then the commodities sampled without a rule and the foods no rule names,
// with the manifest of the run in the JSON document and the workbook.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "export/table_writer.h"

namespace ormid {

class Platform;
struct ResidueBuild;

// The columns, their names carrying their units.
const std::vector<Column>& ResidueBuildColumns();

// Writes the table to path, replacing an existing file only whole. False
// with error when it cannot be written.
bool ExportResidueBuild(Platform& p, const std::string& path, const ResidueBuild& build,
                        const nlohmann::json& manifest, std::string& error);

}  // namespace ormid
