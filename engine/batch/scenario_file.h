// The scenario file of a batch: a CSV table with one analysis per row (its
// id, residue file, command and the main window's settings), read with
// libcsv. Columns are named by the header row; see docs/batch.md.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ormid {

// One row of a scenario file, as text.
struct ScenarioRow {
  int line = 0;  // line of the file the row starts on
  std::string id;
  // Made absolute against the scenario file's folder; a cumulative
  // scenario's assessment group file.
  std::string residueFile;
  std::string command;  // lower case: "longterm", "commodity", "cumulative" or "aggregate"
  // The row's settings as the options of a single run's command line
  // (without the command and residue file), e.g. "--rfd=0.005".
  std::vector<std::string> arguments;
  // A value no option can take (e.g. "adj2" neither yes nor no); the row
  // fails with it.
  std::string problem;
};

// The columns a scenario file may have, in the order the documentation
// lists them; the first three are required.
const std::vector<std::string>& ScenarioColumns();

// Reads a scenario file. nullopt with error (naming the file, and the column
// when one is unknown or missing) when it cannot be used at all.
std::optional<std::vector<ScenarioRow>> ReadScenarioFile(const std::string& path,
                                                         std::string& error);
// The same of a scenario file's bytes: `name` names it in the messages, and
// its residue files are named from `folder` (a file's own folder).
std::optional<std::vector<ScenarioRow>> ReadScenarioText(const std::string& bytes,
                                                         const std::string& name,
                                                         const std::string& folder,
                                                         std::string& error);

// Whether an id can name files in the output folder: not empty, no path
// separators, no leading dot, and not the summary's name.
bool UsableScenarioId(const std::string& id);

}  // namespace ormid
