#include "cli/headroom_command.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <memory>
#include <ostream>

#include "cli/analysis_options.h"
#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "cli/session_run.h"
#include "core/mod_ormid.h"
#include "headroom/headroom.h"
#include "session/kind_figures.h"
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
  std::string save;
  bool yes = false;
};

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
  RunRequest request;
  request.kind = RunKind::Headroom;
  if (sub.count("--target") != 0) request.headroom.target = TargetValue(a.target);
  request.headroom.by = HeadroomByFrom(a.by).value_or(HeadroomBy::CropGroup);
  request.exports = CheckedExports(a.exports);

  const std::string residue = AbsoluteFromStart(o.residueFile);
  if (!EnterWorkingFolder(global, err)) return kExitStopped;
  CliPlatform platform(err, a.yes);
  ModOrmid m;
  if (!StartAndOpen(platform, o, residue, m, request.settings)) return kExitStopped;
  if (o.subgroups)
    request.headroom.subgroups =
        ParseSubgroupRows(*o.subgroups, m.gPopCount).value_or(std::vector<int>{});
  // Saved where a long-term run's saved report goes.
  if (!a.save.empty()) {
    request.settings.chkSaveRpt = true;
    request.settings.txtRptFile = a.save;
  }
  const CliRun run = RunThroughSession(platform, m, request, err);
  if (run.run)
    if (auto table = std::dynamic_pointer_cast<const HeadroomRunFigures>(run.run->figures))
      out << table->text << std::flush;
  return run.Status();
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
      ->add_option("--save", args->save,
                   "also save the table as NAME.HR10 (in the residue folder when NAME has no "
                   "folder, as every run's saved report)")
      ->type_name("NAME");
  (*sub)
      ->add_flag("--yes", args->yes, "answer Yes to the overwrite questions (default No)")
      ->disable_flag_override();
}

}  // namespace ormid::cli
