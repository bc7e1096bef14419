#include "run_record/finished_run.h"

#include "core/platform.h"
#include "export/table_writer.h"
#include "manifest/run_manifest.h"
#include "manifest/sha256.h"

namespace ormid {

using nlohmann::json;

std::string_view FinishedRun::Keep(std::string_view t) {
  if (t.empty()) return {};
  // The set's elements stay where they are as it grows.
  return *texts.emplace(t).first;
}

void FinishedRun::SendTo(const ModOrmid& m, ResultsSink& sink) const {
  for (const LongTermResult& r : longTerm) sink.LongTerm(m, r);
  for (const ContributionResult& r : contributions) sink.Contribution(m, r);
}

bool FinishedRun::IsReport(const std::string& path) const {
  if (!report.is_object() || !report.contains("sha256")) return false;
  auto d = DigestFile(path);
  return d && json(d->sha256) == report["sha256"] && json(d->size) == report["size"];
}

RunRecorder::RunRecorder(std::string command, std::function<json()> manifest)
    : manifest_(std::move(manifest)), run_(std::make_shared<FinishedRun>()) {
  run_->command = std::move(command);
}

void RunRecorder::Begin() {
  begun_ = true;
  run_->manifest = manifest_();
}

void RunRecorder::LongTerm(const ModOrmid&, const LongTermResult& r) {
  if (finished_) return;
  if (!begun_) Begin();
  // The row's views point into the run's state, which the next open or run
  // replaces: the kept row views texts of the run's own.
  LongTermResult& k = run_->longTerm.emplace_back(r);
  k.subgroup = run_->Keep(r.subgroup);
}

void RunRecorder::Contribution(const ModOrmid&, const ContributionResult& r) {
  if (finished_) return;
  if (!begun_) Begin();
  ContributionResult& k = run_->contributions.emplace_back(r);
  k.subgroup = run_->Keep(r.subgroup);
  k.cropGroupName = run_->Keep(r.cropGroupName);
  k.cropGroupCode = run_->Keep(r.cropGroupCode);
  k.commodityCode = run_->Keep(r.commodityCode);
  k.commodityName = run_->Keep(r.commodityName);
  k.formLabel = run_->Keep(r.formLabel);
}

std::shared_ptr<const FinishedRun> RunRecorder::Finish(const std::string& reportFile) {
  if (!finished_) {
    finished_ = true;
    if (!begun_) Begin();
    json listed = {{"outputs", json::array()}};
    if (AddOutput(listed, "report", reportFile)) run_->report = listed["outputs"][0];
  }
  return run_;
}

namespace {

// The run's manifest with the temporary report as its first output.
json WithReport(const FinishedRun& run) {
  json manifest = run.manifest;
  manifest["outputs"] = json::array();
  if (run.report.is_object()) manifest["outputs"].push_back(run.report);
  return manifest;
}

}  // namespace

bool WriteSavedReportManifest(Platform& p, const FinishedRun& run, const std::string& saved,
                              std::string& error) {
  json manifest = WithReport(run);
  RelativeToWorkingFolder(manifest);
  if (!AddOutput(manifest, "saved report", saved)) {
    error = "the report " + saved + " cannot be read back";
    return false;
  }
  return WriteManifest(p, ManifestPathFor(saved), manifest, error);
}

std::vector<ExportFailure> ExportFinishedRun(Platform& p, const ModOrmid& m, const FinishedRun& run,
                                             const std::string& path) {
  ResultsExport exports(p, {path}, [&run] { return run.manifest; });
  run.SendTo(m, exports);
  std::vector<ExportFailure> failures = exports.Commit();
  if (!failures.empty() || ExportFormatOf(path) != ExportFormat::Csv) return failures;
  // A CSV file cannot hold its manifest: it goes beside it.
  json manifest = WithReport(run);
  std::string error;
  if (!AddOutput(manifest, "export", path))
    failures.push_back({path, "it cannot be read back"});
  else if (!WriteManifest(p, ManifestPathFor(path), manifest, error))
    failures.push_back({ManifestPathFor(path), error});
  return failures;
}

}  // namespace ormid
