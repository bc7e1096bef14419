// A finished run, of whichever kind: its figures and its manifest, the one
// value that every later use of the run reads: the exports written after the
// run (File > Export Results..., `history show --export`, the Run window's
// Export...), the manifest of a report saved later, the run history's record,
// the batch summary and the Results windows.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/run_kind.h"
#include "core/run_results.h"
#include "export/results_export.h"

namespace ormid {

class Platform;
class HistoryRecorder;
struct RecordedRun;

// A finished run's figures, as its kind makes them (session/kind_figures.h).
class FinishedFigures {
 public:
  virtual ~FinishedFigures() = default;
  // Writes the figures as each export file of `paths` (CSV, JSON or Excel by
  // its extension), the JSON documents and the workbooks carrying
  // `manifest`. The failures name the file and the reason.
  virtual std::vector<ExportFailure> Export(Platform& p, const std::vector<std::string>& paths,
                                            const nlohmann::json& manifest) const = 0;
  // Puts the figures into a run history record; false when the run history
  // does not keep runs of the kind.
  virtual bool Record(HistoryRecorder& record) const = 0;
  // Each subgroup's headline figures, in report order: the batch summary's
  // rows and the most exposed subgroup.
  virtual std::vector<SubgroupFigures> Subgroups() const = 0;
};

struct FinishedRun {
  RunKind kind = RunKind::LongTerm;
  // Inputs, settings and date, and every output of the run.
  nlohmann::json manifest;
  // The report the run wrote ("" for a run that wrote none) and its saved
  // copy ("" when it has none).
  std::string report, savedReport;
  // Every file the run wrote: the report, the saved copy, the exports and
  // the manifests.
  std::vector<std::string> outputs;
  // None for a run without figures (the residue file listing).
  std::shared_ptr<const FinishedFigures> figures;

  // The manifest the run's exports carry: the manifest without outputs.
  nlohmann::json ExportManifest() const;
  // Whether the file holds the very report of this run: the bytes its
  // manifest lists.
  bool IsReport(const std::string& path) const;
};

// Writes the run's figures as `path` (CSV, JSON or Excel by its extension),
// byte for byte as the run's own --export wrote them; a CSV file gets the
// run's manifest beside it, listing every output of the run and this one.
// The failures name the file and the reason.
std::vector<ExportFailure> ExportFinishedRun(Platform& p, const FinishedRun& run,
                                             const std::string& path);

// A report of the run saved after the run (Disk File, the viewer's Save a
// Copy) gets the run's manifest beside it, with the copy among its outputs.
// False with error when the manifest cannot be written.
bool WriteSavedReportManifest(Platform& p, const FinishedRun& run, const std::string& saved,
                              std::string& error);

// The run history's record of the run's figures; nullptr when the history
// keeps no runs of its kind.
std::shared_ptr<HistoryRecorder> HistoryFiguresOf(const FinishedRun& run);

// A run read back from the run history, as a finished run: its manifest and
// its figures as they were recorded. Figures: none when the history holds
// none of the kind.
FinishedRun FinishedRunOf(const RecordedRun& recorded);

}  // namespace ormid
