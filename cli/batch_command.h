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

// How the batch shows its progress on standard error: a line rewritten in
// place on a terminal that can clear a line, plain lines (at most one every
// few seconds) on a terminal with TERM=dumb or where standard error is not
// a terminal, none when the messages go elsewhere (a test's stream).
enum class ProgressStyle { None, Rewritten, Lines };
ProgressStyle ProgressStyleFor(bool isTerminal, const char* term);
// The progress text of `done` of `total` scenarios at `rate` per second.
std::string ProgressText(ProgressStyle style, std::size_t done, std::size_t total, double rate);

// The scenarios of a scenario file, each with its settings or the problem
// of its row; a problem of the file itself is a usage error (thrown).
std::vector<BatchScenario> ScenariosOfFile(const std::string& file);

}  // namespace ormid::cli
