// A run's figures written as export files while the run goes: the long-term
// table (one row per subgroup) or the commodity contributions (every food,
// food form, crop group subtotal and subgroup total of the selected
// subgroups), in CSV, JSON or Excel by each file's extension.
#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "core/run_results.h"
#include "export/table_writer.h"

namespace ormid {

class Platform;

// The columns of the two tables, their names carrying their units.
const std::vector<Column>& LongTermColumns();
const std::vector<Column>& ContributionColumns();
// A row's cells, into cells (whose room is kept from row to row).
void LongTermCells(const LongTermResult& r, std::vector<Cell>& cells);
void ContributionCells(const ContributionResult& r, std::vector<Cell>& cells);
// Whether a row's percent of its reference dose is above 100.
bool AboveReferenceDose(const std::optional<float>& percentReference);

// The run's date of a manifest, for the properties of a workbook: a run
// repeated with the same date writes the same bytes. 0 without one.
long long CreatedOf(const nlohmann::json& manifest);

// One export file that failed, and why.
struct ExportFailure {
  std::string path;
  std::string reason;
};

class ResultsExport : public ResultsSink {
 public:
  // The manifest is asked for when the first row arrives: by then the run
  // has set its parameters.
  ResultsExport(Platform& p, std::vector<std::string> paths,
                std::function<nlohmann::json()> manifest);
  ~ResultsExport() override;

  void LongTerm(const ModOrmid&, const LongTermResult& r) override;
  void Contribution(const ModOrmid&, const ContributionResult& r) override;

  // After a finished run: ends every file and puts it in place of the old
  // one. Files of a run that sent no rows get the long-term table's head.
  std::vector<ExportFailure> Commit();

 private:
  void Open(bool commodity);

  Platform& p_;
  std::vector<std::string> paths_;
  std::function<nlohmann::json()> manifest_;
  std::vector<TableSpec> specs_;
  std::vector<std::unique_ptr<TableWriter>> tables_;
  std::vector<ExportFailure> failures_;
  std::vector<Cell> cells_;
  bool opened_ = false;
};

}  // namespace ormid
