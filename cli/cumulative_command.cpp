#include "cli/cumulative_command.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>
#include <ostream>

#include "cli/analysis_options.h"
#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "cli/history_commands.h"
#include "cli/session_run.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/record_file.h"
#include "headroom/what_if.h"
#include "session/run_session.h"
#include "setup/startup.h"

namespace ormid::cli {

namespace {

struct CumulativeArguments {
  std::string group;
  bool adj2 = false;
  std::string subgroups;
  std::string save;
  std::string exclude;
  std::string by;
  std::string target;
  std::vector<std::string> exports;
  bool yes = false, toStdout = false, noHistory = false;
};

int CumulativeCommand(const GlobalOptions& global, const CLI::App& sub,
                      const CumulativeArguments& a, std::ostream& out, std::ostream& err) {
  // A row named twice is refused before anything is read.
  if (sub.count("--subgroups") > 0) RefuseRepeatedSubgroupRows(a.subgroups);
  RefuseStandardInput(a.group, "the assessment group file",
                      "it names its residue files from its own folder, and a run records its "
                      "name and digest in its manifest");
  RunRequest request;
  request.kind = RunKind::Cumulative;
  CumulativeSettings& c = request.cumulative;
  c.group = AbsoluteFromStart(a.group);
  c.shownName = a.group;
  c.adj2 = a.adj2;
  request.exports = CheckedExports(a.exports);
  // Saved where a long-term run's saved report goes.
  if (!a.save.empty()) {
    request.settings.chkSaveRpt = true;
    request.settings.txtRptFile = a.save;
  }
  // chemical:NAME leaves a chemical out; any other item is a crop group or
  // commodity code.
  if (sub.count("--exclude") > 0) {
    for (const std::string& item : SplitCodes(a.exclude)) {
      if (item.size() > 9 &&
          (item.compare(0, 9, "chemical:") == 0 || item.compare(0, 9, "Chemical:") == 0))
        c.whatIf.chemicals.push_back(item.substr(9));
      else
        c.whatIf.codes.push_back(item);
    }
  }
  // Each chemical's part is always reported; --by chemical asks for no more.
  if (sub.count("--by") > 0 && a.by != "chemical") {
    c.by = HeadroomByFrom(a.by);
    if (!c.by)
      throw UsageError{"--by takes chemical, cropgroup, food or form, not \"" + a.by + "\""};
  }
  if (sub.count("--target") > 0) c.target = TargetValue(a.target);
  if (!EnterWorkingFolder(global, err)) return kExitStopped;
  CliPlatform platform(err, a.yes);
  ModOrmid m;
  if (!StartUp(m, platform, false)) return kExitStopped;
  c.rows =
      CumulativeRows(m, sub.count("--subgroups") > 0 ? std::optional(a.subgroups) : std::nullopt);
  if (!a.noHistory) {
    request.history = RunRequest::History::Record;
    request.historyBusyMilliseconds = HistoryBusyMilliseconds();
  }
  return ReportedStatus(RunThroughSession(platform, m, request, err), a.toStdout, out, err);
}

}  // namespace

std::vector<int> CumulativeRows(const ModOrmid& m, const std::optional<std::string>& subgroups) {
  std::vector<int> rows;
  if (subgroups && *subgroups != "all") {
    const auto chosen = ParseSubgroupRows(*subgroups, m.gPopCount);
    if (!chosen)
      throw UsageError{"--subgroups takes report rows from 1 to " + std::to_string(m.gPopCount) +
                       " or all, not \"" + *subgroups + "\""};
    RefuseRepeatedSubgroupRows(*subgroups);
    rows = *chosen;
  } else {
    for (int k = 1; k <= m.gPopCount; ++k) rows.push_back(k);
  }
  return rows;
}

void AddCumulativeCommand(CommandLine& cl) {
  auto args = std::make_shared<CumulativeArguments>();
  auto sub = std::make_shared<CLI::App*>();
  *sub = &cl.Add("cumulative",
                 "cumulative long-term assessment of an assessment group file (tempcum.txt)",
                 [&cl, args, sub](std::ostream& out, std::ostream& err) {
                   return CumulativeCommand(cl.Global(), **sub, *args, out, err);
                 });
  CLI::App& c = **sub;
  c.add_option("GROUP_FILE", args->group,
               "the assessment group file (CSV: chemical, residue_file, pod_mg_per_kg_bw_day, "
               "uncertainty_factor, index, rpf)")
      ->required();
  c.add_flag("--adj2", args->adj2, "use the second adjustment factor");
  c.add_option("--subgroups", args->subgroups, "report rows (1,3,5) or all (the default)")
      ->type_name("LIST");
  c.add_option("--save", args->save,
               "also save the report as NAME.CU10 (in the residue folder when NAME has no folder, "
               "as every run's saved report)")
      ->type_name("NAME");
  c.add_option("--export", args->exports,
               "write the figures as FILE.csv, FILE.json or FILE.xlsx (repeatable)")
      ->type_name("FILE");
  c.add_option("--exclude", args->exclude,
               "what-if: chemical:NAME leaves a chemical out, crop group codes (10, 1A) or "
               "commodity codes count as carrying no residue; comma-separated")
      ->type_name("ITEM[,ITEM...]");
  c.add_option("--by", args->by,
               "also break each subgroup's exposure down by crop group, food or food form "
               "(summed over the chemicals); chemical: by chemical only, as always reported")
      ->type_name("chemical|cropgroup|food|form");
  c.add_option("--target", args->target,
               "headroom: the factor on each chemical's residues and on each commodity's (by "
               "--by, crop group by default) that brings the most constrained subgroup to "
               "PERCENT of the cPAD")
      ->type_name("PERCENT");
  c.add_flag("--yes", args->yes, "answer Yes to the overwrite questions");
  c.add_flag("--stdout", args->toStdout, "also print the report");
  c.add_flag("--no-history", args->noHistory, "do not record the run in the run history");
}

}  // namespace ormid::cli
