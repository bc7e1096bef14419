#include "cli/headroom_command.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <memory>
#include <ostream>

#include "cli/analysis_options.h"
#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "core/mod_ormid.h"
#include "export/headroom_export.h"
#include "exposure/exposure_terms.h"
#include "exposure/total_exposure.h"
#include "headroom/headroom.h"
#include "headroom/headroom_text.h"
#include "manifest/run_manifest.h"
#include "residue/residue_reader.h"
#include "session/run_session.h"
#include "setup/startup.h"

namespace ormid::cli {

namespace {

struct HeadroomArguments {
  AnalysisArguments endpoint;
  std::string subgroups;
  std::string by = "cropgroup";
  std::string target;
  std::vector<std::string> exports;
  bool yes = false;
};

// The manifest of a headroom run: its inputs, its settings, and the
// arguments that repeat it.
nlohmann::json HeadroomManifest(const ModOrmid& m, CliPlatform& p, const WindowSettings& s,
                                const HeadroomArguments& a, const HeadroomTable& table) {
  nlohmann::json manifest = BuildManifest(m, {"headroom", s, p.Now(), p.ClockIsUtc()});
  nlohmann::json& settings = manifest["settings"];
  nlohmann::json arguments = nlohmann::json::array();
  // A headroom run has no comment of its own.
  for (const auto& argument : settings["arguments"])
    if (argument.get<std::string>().rfind("--comment=", 0) != 0) arguments.push_back(argument);
  arguments.push_back("--by=" + a.by);
  char target[32];
  const auto end = std::to_chars(target, target + sizeof target, table.target.value).ptr;
  arguments.push_back("--target=" + std::string(target, end));
  std::string rows;
  for (int row : table.subgroups) rows += (rows.empty() ? "" : ",") + std::to_string(row);
  arguments.push_back("--subgroups=" + rows);
  settings["arguments"] = arguments;
  settings["headroom"] = HeadroomSettings(table);
  return manifest;
}

// Writes every export of the table, and beside a CSV its manifest. A file
// that cannot be written gets a message.
int WriteExports(const ModOrmid& m, CliPlatform& p, const std::vector<std::string>& paths,
                 const HeadroomTable& table, nlohmann::json manifest) {
  int status = kExitDone;
  auto fail = [&](const std::string& text) {
    p.MessageBox(text + ".", "Export Results", MsgIcon::Exclamation, MsgButtons::OK);
    status = kExitStopped;
  };
  std::vector<std::string> written;
  for (const std::string& path : paths) {
    std::string error;
    if (ExportHeadroom(p, path, m, table, manifest, error))
      written.push_back(path);
    else
      fail("The export file " + path + " could not be written: " + error);
  }
  for (const std::string& path : written) AddOutput(manifest, "export", path);
  for (const std::string& path : written) {
    std::string error;
    if (ExportFormatOf(path) == ExportFormat::Csv &&
        !WriteManifest(p, ManifestPathFor(path), manifest, error))
      fail("The manifest " + ManifestPathFor(path) + " could not be written: " + error);
  }
  return status;
}

int RunHeadroom(const GlobalOptions& global, const CLI::App& sub, const HeadroomArguments& a,
                std::ostream& out, std::ostream& err) {
  AnalysisOptions o;
  o.command = "headroom";
  CheckEndpointOptions(a.endpoint, o);
  if (sub.count("--subgroups") != 0) {
    o.subgroups = a.subgroups;
    if (a.subgroups != "all" && !ParseSubgroupRows(a.subgroups, 99999))
      throw UsageError{"--subgroups takes subgroup rows from 1 or all, not \"" + a.subgroups +
                       "\""};
    RefuseRepeatedSubgroupRows(a.subgroups);
  }
  std::optional<double> target;
  if (sub.count("--target") != 0) target = TargetValue(a.target);
  const std::vector<std::string> exports = CheckedExports(a.exports);

  const std::string residue = AbsoluteFromStart(o.residueFile);
  if (!EnterWorkingFolder(global, err)) return kExitStopped;
  CliPlatform platform(err, a.yes);
  ModOrmid m;
  RunRequest run;
  if (!StartAndOpen(platform, o, residue, m, run.settings)) return kExitStopped;
  // The endpoints are checked as a long-term run checks them; no report is
  // written.
  RunSession session(m, platform);
  if (const RequestCheck check = session.Check(run); check.status != RunStatus::Done) {
    if (check.refusal) ShowNotice(platform, *check.refusal);
    return kExitStopped;
  }
  // An export replaces an existing file only when the user says so.
  if (!MayReplaceExports(platform, exports)) return kExitStopped;
  ExposureTerms terms;
  int failed = 0;
  ComputeTotalExposure(m, platform, failed, &terms);
  if (failed != 0) return kExitStopped;

  HeadroomRequest request;
  request.by = HeadroomByFrom(a.by).value_or(HeadroomBy::CropGroup);
  if (o.subgroups)
    request.subgroups = ParseSubgroupRows(*o.subgroups, m.gPopCount).value_or(std::vector<int>{});
  request.target.kind = TargetKindFor(m.gEndpoint);
  request.target.value = target.value_or(DefaultTargetValue(request.target.kind));
  const HeadroomTable table = ComputeHeadroom(m, terms, request);
  out << HeadroomText(m, table);
  out.flush();
  if (exports.empty()) return kExitDone;
  return WriteExports(m, platform, exports, table,
                      HeadroomManifest(m, platform, run.settings, a, table));
}

}  // namespace

void AddHeadroomCommand(CommandLine& cl) {
  auto args = std::make_shared<HeadroomArguments>();
  auto sub = std::make_shared<CLI::App*>();
  *sub = &cl.Add(
      "headroom",
      "share of the most exposed subgroup and residue multiplier up to the target, per crop "
      "group, food or food form",
      [&cl, args, sub](std::ostream& out, std::ostream& err) {
        return RunHeadroom(cl.Global(), **sub, *args, out, err);
      });
  BindEndpointOptions(**sub, args->endpoint);
  (*sub)
      ->add_option("--subgroups", args->subgroups,
                   "the subgroup rows that must stay within the target: 1,5,9 or all (default)")
      ->type_name("LIST");
  (*sub)
      ->add_option("--by", args->by, "one line per crop group (default), food or food form")
      ->check(CLI::IsMember({"cropgroup", "food", "form"}))
      ->type_name("KIND");
  (*sub)
      ->add_option("--target", args->target,
                   "the target: percent of the RfD or PAD (default 100), margin of exposure for "
                   "--noel alone (default 100), lifetime risk for --qstar (default 1E-06)")
      ->type_name("T");
  (*sub)
      ->add_option("--export", args->exports,
                   "write the table to FILE (.csv, .json or .xlsx; repeatable)")
      ->allow_extra_args(false)
      ->type_size(1)
      ->type_name("FILE");
  (*sub)
      ->add_flag("--yes", args->yes, "answer Yes to the overwrite questions (default No)")
      ->disable_flag_override();
}

}  // namespace ormid::cli
