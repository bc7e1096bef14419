// The summary of a batch: summary.csv and summary.xlsx in the output folder
// (one row per scenario and subgroup, with the exact figures), and one
// printed line per scenario with its status and its worst subgroup.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "batch/batch_run.h"
#include "export/table_writer.h"

namespace ormid {

class Platform;

// The summary table's columns: the scenario's, then the long-term table's,
// then the failure message.
const std::vector<Column>& SummaryColumns();

// The rows of one scenario's outcome (one per subgroup; one without
// figures for a scenario that failed or did not run).
void SummaryRows(const BatchScenario& s, const ScenarioOutcome& o,
                 const std::function<void(const std::vector<Cell>&, bool above)>& row);

const char* StatusText(ScenarioStatus s);

// "ID  STATUS  worst subgroup: figure", marked when over 100% of the
// reference dose; idWidth pads the id.
std::string SummaryLine(const BatchScenario& s, const ScenarioOutcome& o, std::size_t idWidth);

// Whether a finished scenario has a subgroup over 100% of its reference dose.
bool OverReferenceDose(const ScenarioOutcome& o);

// Writes the summary files as the outcomes arrive, and the printed lines to
// `printed` (when given).
class BatchSummary : public BatchListener {
 public:
  BatchSummary(Platform& p, std::string outDir, std::vector<BatchScenario> const& scenarios,
               nlohmann::json head, long long created, std::ostream* printed);
  ~BatchSummary() override;

  // Opens summary.csv and summary.xlsx (their temporary files).
  bool Open(std::string& error);
  void Finished(std::size_t index, const BatchScenario& s, const ScenarioOutcome& o) override;
  // Puts both files in place.
  bool Commit(std::string& error);

  std::size_t over = 0;  // scenarios over 100% of their reference dose
  std::vector<std::string> Paths() const;

 private:
  Platform& p_;
  std::string outDir_;
  nlohmann::json head_;
  long long created_;
  std::ostream* printed_;
  std::size_t idWidth_ = 0;
  std::vector<TableSpec> specs_;  // the writers keep them
  std::vector<std::unique_ptr<TableWriter>> tables_;
};

}  // namespace ormid
