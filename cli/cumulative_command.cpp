#include "cli/cumulative_command.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>
#include <ostream>

#include "cli/analysis_options.h"
#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/record_file.h"
#include "cumulative/cumulative_export.h"
#include "cumulative/cumulative_report.h"
#include "manifest/run_manifest.h"
#include "setup/startup.h"

namespace ormid::cli {

namespace {

namespace fs = std::filesystem;

struct CumulativeArguments {
  std::string group;
  bool adj2 = false;
  std::string subgroups;
  std::string save;
  std::vector<std::string> exports;
  bool yes = false, toStdout = false, noHistory = false;
};

// A saved copy's name: as given, with the cumulative report's extension
// when it has none.
std::string SavedName(const std::string& given) {
  return fs::path(given).has_extension() ? given : given + kCumulativeReportExtension;
}

int RunCumulative(const GlobalOptions& global, const CLI::App& sub, const CumulativeArguments& a,
                  std::ostream& out, std::ostream& err) {
  const std::string group = AbsoluteFromStart(a.group);
  const std::vector<std::string> exports = CheckedExports(a.exports);
  const std::string saved = a.save.empty() ? std::string() : AbsoluteFromStart(SavedName(a.save));
  if (!EnterWorkingFolder(global, err)) return kExitStopped;
  CliPlatform platform(err, a.yes);
  ModOrmid m;
  if (!StartUp(m, platform, false)) return kExitStopped;

  std::vector<int> rows;
  if (sub.count("--subgroups") > 0 && a.subgroups != "all") {
    const auto chosen = ParseSubgroupRows(a.subgroups, m.gPopCount);
    if (!chosen)
      throw UsageError{"--subgroups takes report rows from 1 to " + std::to_string(m.gPopCount) +
                       " or all, not \"" + a.subgroups + "\""};
    rows = *chosen;
  } else {
    for (int k = 1; k <= m.gPopCount; ++k) rows.push_back(k);
  }

  // Every problem of the group file, then of its residue files, listed.
  std::vector<std::string> problems;
  AssessmentGroup g;
  ChemicalExposures e;
  if (!ReadAssessmentGroup(group, a.group, g, problems) ||
      !ComputeChemicalExposures(m, g, a.adj2, a.group, e, problems)) {
    for (const std::string& p : problems) err << p << "\n";
    return kExitUsage;
  }
  for (const std::string& w : e.warnings) err << w << "\n";
  if (!MayReplaceExports(platform, exports)) return kExitStopped;
  if (!saved.empty() && platform.FileExists(saved) &&
      platform.MessageBox("File " + saved + " already exists. Do you want to write over this file?",
                          "KAVRI-FCID Ormid Module", MsgIcon::Question,
                          MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes)
    return kExitStopped;

  const DateTime now = platform.Now();
  const std::vector<CumulativeSubgroup> subgroups = CombineExposures(m, g, e, rows);
  const std::string text = CumulativeReportText(m, g, e, subgroups, a.adj2, now);
  std::string error;
  if (!platform.WriteFile(kCumulativeReportFile, text, FileKind::WorkingFile, error)) {
    platform.MessageBox("The report file " + std::string(kCumulativeReportFile) +
                            " could not be written in the working folder " + m.gWorkingDir + ": " +
                            error + ".",
                        "Cumulative Analysis", MsgIcon::Exclamation, MsgButtons::OK);
    return kExitStopped;
  }

  // The manifest: the installation, the group file and every residue file
  // with their digests, the settings, and the files written.
  std::vector<std::pair<std::string, std::string>> residues;
  for (std::size_t j = 0; j < g.chemicals.size(); ++j)
    residues.emplace_back(e.files[j].chemical, g.chemicals[j].residuePath);
  nlohmann::json arguments = {"cumulative", group};
  if (a.adj2) arguments.push_back("--adj2");
  if (sub.count("--subgroups") > 0) arguments.push_back("--subgroups=" + a.subgroups);
  nlohmann::json chosen = nlohmann::json::array();
  for (int row : rows) chosen.push_back(row);
  nlohmann::json manifest = BuildCumulativeManifest(
      m, now, platform.ClockIsUtc(), group, residues,
      {{"second_adjustment_factor", a.adj2}, {"subgroups", chosen}, {"arguments", arguments}});
  AddOutput(manifest, "report", (fs::path(m.gWorkingDir) / kCumulativeReportFile).string());

  bool written = true;
  auto failed = [&](const std::string& what, const std::string& path, const std::string& why) {
    platform.MessageBox(what + path + " could not be written: " + why + ". The report stands.",
                        "Cumulative Analysis", MsgIcon::Exclamation, MsgButtons::OK);
    written = false;
  };
  if (!saved.empty()) {
    if (!platform.WriteFile(saved, text, FileKind::SavedCopy, error)) {
      failed("The report copy ", saved, error);
    } else {
      nlohmann::json own = manifest;
      AddOutput(own, "saved report", saved);
      if (!WriteManifest(platform, ManifestPathFor(saved), own, error))
        failed("The manifest ", ManifestPathFor(saved), error);
    }
  }
  for (const std::string& path : exports) {
    if (!WriteCumulativeExport(platform, path, g, subgroups, manifest, error)) {
      failed("The export file ", path, error);
      continue;
    }
    if (ExportFormatOf(path) == ExportFormat::Csv) {
      nlohmann::json own = manifest;
      AddOutput(own, "export", path);
      if (!WriteManifest(platform, ManifestPathFor(path), own, error))
        failed("The manifest ", ManifestPathFor(path), error);
    }
  }
  if (a.toStdout) out << text << std::flush;
  return written ? kExitDone : kExitStopped;
}

}  // namespace

void AddCumulativeCommand(CommandLine& cl) {
  auto args = std::make_shared<CumulativeArguments>();
  auto sub = std::make_shared<CLI::App*>();
  *sub = &cl.Add("cumulative",
                 "cumulative long-term assessment of an assessment group file (tempcum.txt)",
                 [&cl, args, sub](std::ostream& out, std::ostream& err) {
                   return RunCumulative(cl.Global(), **sub, *args, out, err);
                 });
  CLI::App& c = **sub;
  c.add_option("GROUP_FILE", args->group,
               "the assessment group file (CSV: chemical, residue_file, pod_mg_per_kg_bw_day, "
               "uncertainty_factor, index, rpf)")
      ->required();
  c.add_flag("--adj2", args->adj2, "use the second adjustment factor");
  c.add_option("--subgroups", args->subgroups, "report rows (1,3,5) or all (the default)")
      ->type_name("LIST");
  c.add_option("--save", args->save, "also save the report as NAME (.CU10 when NAME has none)")
      ->type_name("NAME");
  c.add_option("--export", args->exports,
               "write the figures as FILE.csv, FILE.json or FILE.xlsx (repeatable)")
      ->type_name("FILE");
  c.add_flag("--yes", args->yes, "answer Yes to the overwrite questions");
  c.add_flag("--stdout", args->toStdout, "also print the report");
  c.add_flag("--no-history", args->noHistory,
             "accepted for scripts that pass it to every command; cumulative runs are not "
             "recorded in the run history yet");
}

}  // namespace ormid::cli
