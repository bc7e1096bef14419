// A recorded run's facts in words for the Run and Compare windows: its
// command, its settings' names with their units, and their values.
#pragma once

#include <QString>
#include <nlohmann/json_fwd.hpp>
#include <string>

namespace ormid {

// The endpoint's name for its code: "NOEL and RfD" for the code the run
// history keeps; the code itself when it names none.
QString EndpointName(const std::string& code);

// A recorded run's date and time as a person writes them:
// "2026-12-05 14:03:09" for "2026-12-05T14:03:09".
QString DateText(const std::string& recorded);

// "Long-term analysis" for "longterm".
QString CommandInWords(const std::string& command);

// A setting's name as the manifest writes it, in words with its unit:
// "rfd_mg_per_kg_bw_day" gives "RfD (mg/kg bw/day)"; a path into the
// settings ("settings.pad[0].pad_mg_per_kg_bw_day") gives each step in
// words ("PAD 1, PAD (mg/kg bw/day)").
QString SettingInWords(const std::string& path);

// A setting's value in words: none, yes or no, the endpoint's name with its
// code, a list joined by commas.
QString SettingValueInWords(const std::string& path, const nlohmann::json& value);

// The same for a value written as JSON text ("" when the run has none).
QString SettingTextInWords(const std::string& path, const std::string& jsonText);

}  // namespace ormid
