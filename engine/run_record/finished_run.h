// The desktop program's record of a finished run: its figures row by row,
// its manifest (inputs, settings, date) and the digest of the report it
// wrote. The window keeps the last one of each kind, so that File > Export
// Results... writes the figures of that run and a report saved later gets
// that run's manifest, whatever the window's settings have become since.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/run_results.h"
#include "export/results_export.h"

namespace ormid {

class Platform;

struct FinishedRun {
  FinishedRun() = default;
  // The rows' texts live in the run itself.
  FinishedRun(const FinishedRun&) = delete;
  FinishedRun& operator=(const FinishedRun&) = delete;

  std::string command;  // "longterm" or "commodity"
  // The manifest as the run's exports carry it: inputs, settings and date,
  // no outputs.
  nlohmann::json manifest;
  // The temporary report as the manifest lists it (role, path, size,
  // sha256), as it stood when the run finished.
  nlohmann::json report;
  // The rows as the run sent them, their texts viewing `texts`: each
  // subgroup, crop group, commodity and food form name is kept once, however
  // many rows name it.
  std::vector<LongTermResult> longTerm;
  std::vector<ContributionResult> contributions;
  std::unordered_set<std::string> texts;

  // A text of the run's own, equal to t.
  std::string_view Keep(std::string_view t);

  // Sends the rows, in the order the run sent them, to a sink.
  void SendTo(const ModOrmid& m, ResultsSink& sink) const;
  // Whether the file holds the very report of this run (the same bytes).
  bool IsReport(const std::string& path) const;
};

// Keeps the rows of a run under way. The manifest is asked for when the
// first row arrives, as an export asks for it: by then the run request has
// set the run's parameters.
class RunRecorder : public ResultsSink {
 public:
  RunRecorder(std::string command, std::function<nlohmann::json()> manifest);

  void LongTerm(const ModOrmid&, const LongTermResult& r) override;
  void Contribution(const ModOrmid&, const ContributionResult& r) override;

  // After the run has written its report `reportFile`: the finished run,
  // with the report's digest. Later calls return the same run.
  std::shared_ptr<const FinishedRun> Finish(const std::string& reportFile);

 private:
  void Begin();
  std::function<nlohmann::json()> manifest_;
  std::shared_ptr<FinishedRun> run_;
  bool begun_ = false;
  bool finished_ = false;
};

// The manifest of a report of the run saved as `saved`: the run's manifest
// with the temporary report and the saved copy as its outputs, written
// beside it as SAVED.manifest.json. False with error when it cannot be
// written.
bool WriteSavedReportManifest(Platform& p, const FinishedRun& run, const std::string& saved,
                              std::string& error);

// Writes the run's figures as `path` (CSV, JSON or Excel by its extension),
// byte for byte as the command line's --export writes them; a CSV file gets
// its manifest beside it. The failures name the file and the reason.
std::vector<ExportFailure> ExportFinishedRun(Platform& p, const ModOrmid& m, const FinishedRun& run,
                                             const std::string& path);

}  // namespace ormid
