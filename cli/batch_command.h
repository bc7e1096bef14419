// ormid-cli batch: one analysis over many residue files, or one scenario per
// row of a scenario file, run in parallel into an output folder with a
// summary table.
#pragma once

namespace ormid::cli {

class CommandLine;

void AddBatchCommands(CommandLine& cl);

}  // namespace ormid::cli
