#include "cumulative/cumulative_session.h"

#include <filesystem>

#include "core/mod_ormid.h"
#include "core/paths.h"
#include "cumulative/cumulative_export.h"
#include "cumulative/cumulative_figures.h"
#include "cumulative/cumulative_report.h"
#include "history/run_history.h"
#include "manifest/run_manifest.h"

namespace ormid {

namespace fs = std::filesystem;

std::vector<RecordedCumulative> RecordedFrom(const AssessmentGroup& group,
                                             const std::vector<CumulativeSubgroup>& subgroups) {
  std::vector<RecordedCumulative> out;
  for (const CumulativeSubgroup& s : subgroups) {
    RecordedCumulative r{s.row,         s.subgroup, s.indexEquivalent, s.percentCpad, s.moet,
                         s.hazardIndex, {}};
    for (std::size_t j = 0; j < group.chemicals.size(); ++j)
      r.chemicals.push_back({group.chemicals[j].chemical, group.chemicals[j].rpf, s.exposure[j],
                             s.equivalent[j], s.share[j]});
    out.push_back(std::move(r));
  }
  return out;
}

void FiguresFrom(const std::vector<RecordedCumulative>& recorded, AssessmentGroup& group,
                 std::vector<CumulativeSubgroup>& subgroups) {
  group = AssessmentGroup();
  subgroups.clear();
  for (const RecordedCumulative& r : recorded) {
    if (group.chemicals.empty())
      for (const RecordedCumulative::Chemical& c : r.chemicals) {
        GroupChemical g;
        g.chemical = c.chemical;
        g.rpf = c.rpf;
        group.chemicals.push_back(std::move(g));
      }
    CumulativeSubgroup s;
    s.row = r.row;
    s.subgroup = r.subgroup;
    s.indexEquivalent = r.indexEquivalent;
    s.percentCpad = r.percentCpad;
    s.moet = r.moet;
    s.hazardIndex = r.hazardIndex;
    for (const RecordedCumulative::Chemical& c : r.chemicals) {
      s.exposure.push_back(c.exposure);
      s.equivalent.push_back(c.equivalent);
      s.share.push_back(c.share);
    }
    subgroups.push_back(std::move(s));
  }
}

CumulativeOutcome RunCumulative(const ModOrmid& started, Platform& p, const CumulativeRequest& r) {
  using Status = CumulativeOutcome::Status;
  CumulativeOutcome out;
  AssessmentGroup group;
  ChemicalExposures e;
  ChemicalRuns runs;
  runs.by = r.by.value_or(HeadroomBy::CropGroup);
  if (!ReadAssessmentGroup(r.group, r.shownName, group, out.problems) ||
      !LeaveOutChemicals(group, r.excludedChemicals, r.shownName, out.problems) ||
      !ComputeChemicalExposures(
          started, group, r.adj2, r.shownName, e, out.problems, r.excludedCodes,
          r.by ? std::optional<CommodityBreakdown>(CommodityBreakdown{*r.by, r.rows, {}})
               : std::nullopt,
          r.target ? &runs : nullptr))
    return out;
  out.warnings = e.warnings;

  const DateTime now = p.Now();
  const std::vector<CumulativeSubgroup> subgroups = CombineExposures(started, group, e, r.rows);
  std::string whatIf;
  auto list = [](const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& i : items) text += (text.empty() ? "" : ", ") + i;
    return text;
  };
  if (!r.excludedChemicals.empty()) whatIf = "chemicals " + list(r.excludedChemicals);
  if (!r.excludedCodes.empty())
    whatIf += (whatIf.empty() ? "" : "; ") + std::string("residues of ") + list(r.excludedCodes) +
              " as 0";
  if (!whatIf.empty()) whatIf = "What-if, left out: " + whatIf;
  std::optional<CumulativeHeadroom> headroom;
  if (r.target) headroom = ComputeCumulativeHeadroom(started, group, e, subgroups, runs, *r.target);
  const std::string text = CumulativeReportText(started, group, e, subgroups, r.adj2, now, whatIf,
                                                headroom ? &*headroom : nullptr);
  out.report = r.report.empty() ? (fs::path(started.gWorkingDir) / kCumulativeReportFile).string()
                                : r.report;
  std::string error;
  if (!p.WriteFile(out.report, text, FileKind::WorkingFile, error)) {
    out.status = Status::Stopped;
    out.notice = r.report.empty()
                     ? "The report file " + std::string(kCumulativeReportFile) +
                           " could not be written in the working folder " + started.gWorkingDir +
                           ": " + error + "."
                     : "The report file " + r.report + " could not be written: " + error + ".";
    return out;
  }
  out.status = Status::Done;

  // The manifest: the installation, the group file and every residue file
  // with their digests, the settings, and the files written.
  std::vector<std::pair<std::string, std::string>> residues;
  for (std::size_t j = 0; j < group.chemicals.size(); ++j)
    residues.emplace_back(e.files[j].chemical, group.chemicals[j].residuePath);
  nlohmann::json rows = nlohmann::json::array();
  for (int row : r.rows) rows.push_back(row);
  nlohmann::json manifest = BuildCumulativeManifest(
      started, now, r.clockIsUtc, r.group, residues,
      {{"second_adjustment_factor", r.adj2},
       {"subgroups", rows},
       {"excluded_chemicals", r.excludedChemicals},
       {"excluded", r.excludedCodes},
       {"by", r.by ? nlohmann::json(HeadroomByName(*r.by)) : nlohmann::json(nullptr)},
       {"arguments", r.arguments}});
  if (r.target) manifest["settings"]["target_percent_of_index_pad"] = *r.target;
  // Exports carry the manifest as it stood before anything was written
  // (their own outputs list is empty, as a long-term run's); the manifests
  // of files of their own list the report and the file.
  const nlohmann::json before = manifest;
  AddOutput(manifest, "report", out.report);

  auto failed = [&](const std::string& what, const std::string& path, const std::string& why) {
    out.failures.push_back(what + path + " could not be written: " + why);
  };
  if (!r.saved.empty()) {
    if (!p.WriteFile(r.saved, text, FileKind::SavedCopy, error)) {
      failed("The report copy ", r.saved, error);
    } else {
      nlohmann::json own = manifest;
      AddOutput(own, "saved report", r.saved);
      if (!WriteManifest(p, ManifestPathFor(r.saved), own, error))
        failed("The manifest ", ManifestPathFor(r.saved), error);
    }
  }
  nlohmann::json recorded = manifest;
  if (!r.saved.empty() && out.failures.empty()) AddOutput(recorded, "saved report", r.saved);
  for (const std::string& path : r.exports) {
    if (!WriteCumulativeExport(p, path, group, subgroups, e.breakdown, before, error,
                               headroom ? &*headroom : nullptr)) {
      failed("The export file ", path, error);
      continue;
    }
    AddOutput(recorded, "export", path);
    if (ExportFormatOf(path) == ExportFormat::Csv) {
      nlohmann::json own = manifest;
      AddOutput(own, "export", path);
      if (!WriteManifest(p, ManifestPathFor(path), own, error))
        failed("The manifest ", ManifestPathFor(path), error);
    }
  }
  // A report of its own has the run's manifest beside it, listing the
  // report and every export.
  if (!r.report.empty() && !WriteManifest(p, ManifestPathFor(r.report), recorded, error))
    failed("The manifest ", ManifestPathFor(r.report), error);
  if (r.history) {
    HistoryRecorder figures;
    figures.Cumulative(RecordedFrom(group, subgroups));
    RecordFinishedRun(p, recorded, figures, r.historyBusyMilliseconds);
  }
  out.group = std::move(group);
  out.subgroups = subgroups;
  out.manifest = std::move(recorded);
  return out;
}

}  // namespace ormid
