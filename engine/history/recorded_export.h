// A recorded run's figures written again as the run's own export wrote them,
// with the manifest it carried then (without outputs): `history show ID
// --export` and the desktop Run window's Export... both write through here.
#pragma once

#include <string>
#include <vector>

#include "export/results_export.h"
#include "history/recorded_run.h"

namespace ormid {

class Platform;

// Writes `path` in the format its extension names (a CSV file's manifest
// beside it); the files that could not be written, with why.
std::vector<ExportFailure> ExportRecordedRun(Platform& p, const RecordedRun& run,
                                             const std::string& path);

}  // namespace ormid
