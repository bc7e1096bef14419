#include "session/finished_run.h"

#include "aggregate/aggregate_export.h"
#include "core/mod_ormid.h"
#include "core/platform.h"
#include "history/recorded_run.h"
#include "manifest/run_manifest.h"
#include "manifest/sha256.h"
#include "session/kind_figures.h"

namespace ormid {

using nlohmann::json;

json FinishedRun::ExportManifest() const {
  json without = manifest;
  if (without.is_object()) without["outputs"] = json::array();
  return without;
}

bool FinishedRun::IsReport(const std::string& path) const {
  if (!manifest.is_object() || !manifest.contains("outputs") || !manifest["outputs"].is_array())
    return false;
  for (const json& o : manifest["outputs"]) {
    if (!o.is_object() || o.value("role", std::string()) != "report" || !o.contains("sha256"))
      continue;
    auto d = DigestFile(path);
    return d && json(d->sha256) == o["sha256"] && json(d->size) == o["size"];
  }
  return false;
}

namespace {

// The run's manifest with one more output, written beside that output.
bool WriteManifestWith(Platform& p, const FinishedRun& run, const std::string& role,
                       const std::string& path, std::string& error) {
  json manifest = run.manifest;
  if (!AddOutput(manifest, role, path)) {
    error = "the file " + path + " cannot be read back";
    return false;
  }
  return WriteManifest(p, ManifestPathFor(path), manifest, error);
}

}  // namespace

std::vector<ExportFailure> ExportFinishedRun(Platform& p, const FinishedRun& run,
                                             const std::string& path) {
  if (!run.figures) return {{path, "the run has no figures to export"}};
  std::vector<ExportFailure> failures = run.figures->Export(p, {path}, run.ExportManifest());
  if (!failures.empty() || ExportFormatOf(path) != ExportFormat::Csv) return failures;
  // A CSV file cannot hold its manifest: it goes beside it.
  std::string error;
  if (!WriteManifestWith(p, run, "export", path, error))
    failures.push_back({ManifestPathFor(path), error});
  return failures;
}

bool WriteSavedReportManifest(Platform& p, const FinishedRun& run, const std::string& saved,
                              std::string& error) {
  return WriteManifestWith(p, run, "saved report", saved, error);
}

std::shared_ptr<HistoryRecorder> HistoryFiguresOf(const FinishedRun& run) {
  auto record = std::make_shared<HistoryRecorder>();
  if (!run.figures || !run.figures->Record(*record)) return nullptr;
  return record;
}

FinishedRun FinishedRunOf(const RecordedRun& recorded) {
  FinishedRun run;
  run.kind = RunKindFromCommand(recorded.summary.command).value_or(RunKind::LongTerm);
  run.manifest = recorded.manifest;
  if (run.kind == RunKind::Cumulative) {
    // A commodity breakdown is not kept in the history.
    auto figures = std::make_shared<CumulativeRunFigures>();
    FiguresFrom(recorded.cumulative, figures->run.group, figures->run.subgroups);
    figures->read = figures->run.group;
    run.figures = std::move(figures);
  } else if (run.kind == RunKind::Aggregate) {
    // The figures as the run's JSON export holds them; none from a history
    // that lost them.
    auto figures = std::make_shared<AggregateRunFigures>();
    if (AggregateFromJson(recorded.aggregate, figures->run)) run.figures = std::move(figures);
  } else if (run.kind == RunKind::LongTerm || run.kind == RunKind::Commodity) {
    auto figures = std::make_shared<RowFigures>();
    recorded.Replay(ModOrmid(), *figures);
    run.figures = std::move(figures);
  }
  return run;
}

}  // namespace ormid
