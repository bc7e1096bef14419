// ormid-cli batch: one analysis over many residue files, or one scenario per
// row of a scenario file, run in parallel into an output folder with a
// summary table.
#pragma once

#include <string>
#include <vector>

#include "batch/batch_run.h"

namespace ormid::cli {

class CommandLine;

void AddBatchCommands(CommandLine& cl);

// The scenarios of a scenario file, each with its settings or the problem
// of its row; a problem of the file itself is a usage error (thrown).
std::vector<BatchScenario> ScenariosOfFile(const std::string& file);

}  // namespace ormid::cli
