// File > Export Results...: the save dialog with the three export formats
// in its list of types, the extension of the picked type added to a name
// typed without one, and the overwrite question.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "export/table_writer.h"

namespace ormid {

class Platform;

// The types the dialog offers, in the order of its list (1 CSV, 2 JSON,
// 3 Excel).
inline constexpr const char* kExportTypes =
    "CSV table|*.csv|JSON document|*.json|Excel workbook|*.xlsx";

// The position of a format in that list, and the format at a position
// (CSV for one out of range).
int ExportTypeIndex(ExportFormat format);
ExportFormat ExportTypeAt(int index);

// The name the export is written as: a name ending in one of the three
// extensions keeps it (and that is its format, whatever type was picked);
// any other name gets the picked type's extension.
std::string WithExportExtension(const std::string& name, int typeIndex);

// The name proposed for an export of a run, from its manifest: the residue
// file's (or group file's) name without its extension, the command, and the
// type's extension ("DEMOFOS-longterm.csv").
std::string ProposedExportName(const nlohmann::json& manifest, int typeIndex);

// Asks for the export file until the user picks a new file or answers Yes
// to the overwrite question (No asks for another name, Cancel gives up).
// typeIndex is the type shown first and, on return, the type of the name.
// title: the dialog's title.
std::optional<std::string> ChooseExportFile(Platform& p, const std::string& initialDir,
                                            std::string proposal, int& typeIndex,
                                            const std::string& title = "Export Results");

}  // namespace ormid
