#include "history/recorded_export.h"

#include "core/mod_ormid.h"
#include "core/platform.h"
#include "cumulative/cumulative_export.h"
#include "cumulative/cumulative_session.h"
#include "manifest/run_manifest.h"

namespace ormid {

std::vector<ExportFailure> ExportRecordedRun(Platform& p, const RecordedRun& run,
                                             const std::string& path) {
  nlohmann::json manifest = run.manifest;
  manifest["outputs"] = nlohmann::json::array();
  std::string error;
  if (run.summary.command == "cumulative") {
    // The figures of every subgroup and chemical, as the run's own export
    // wrote them (a commodity breakdown is not kept in the history).
    AssessmentGroup group;
    std::vector<CumulativeSubgroup> subgroups;
    FiguresFrom(run.cumulative, group, subgroups);
    if (!WriteCumulativeExport(p, path, group, subgroups, std::nullopt, manifest, error))
      return {{path, error}};
  } else {
    ResultsExport exports(p, {path}, [&] { return manifest; });
    ModOrmid m;
    run.Replay(m, exports);
    if (auto failures = exports.Commit(); !failures.empty()) return failures;
  }
  if (ExportFormatOf(path) == ExportFormat::Csv) {
    AddOutput(manifest, "export", path);
    if (!WriteManifest(p, ManifestPathFor(path), manifest, error))
      return {{ManifestPathFor(path), error}};
  }
  return {};
}

}  // namespace ormid
