#include "cli/cumulative_command.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>
#include <ostream>

#include "cli/analysis_options.h"
#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "cli/history_commands.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/record_file.h"
#include "cumulative/cumulative_report.h"
#include "cumulative/cumulative_session.h"
#include "headroom/what_if.h"
#include "setup/startup.h"

namespace ormid::cli {

namespace {

namespace fs = std::filesystem;

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

// A saved copy's name: as given, with the cumulative report's extension
// when it has none.
std::string SavedName(const std::string& given) {
  return fs::path(given).has_extension() ? given : given + kCumulativeReportExtension;
}

int CumulativeCommand(const GlobalOptions& global, const CLI::App& sub,
                      const CumulativeArguments& a, std::ostream& out, std::ostream& err) {
  const std::string group = AbsoluteFromStart(a.group);
  const std::vector<std::string> exports = CheckedExports(a.exports);
  // A row named twice is refused before anything is read.
  if (sub.count("--subgroups") > 0) RefuseRepeatedSubgroupRows(a.subgroups);
  const std::string saved = a.save.empty() ? std::string() : AbsoluteFromStart(SavedName(a.save));
  if (!EnterWorkingFolder(global, err)) return kExitStopped;
  CliPlatform platform(err, a.yes);
  ModOrmid m;
  if (!StartUp(m, platform, false)) return kExitStopped;

  const std::vector<int> rows =
      CumulativeRows(m, sub.count("--subgroups") > 0 ? std::optional(a.subgroups) : std::nullopt);

  // An existing file is replaced only when the user says so, asked before
  // the run.
  if (!MayReplaceExports(platform, exports)) return kExitStopped;
  if (!saved.empty() && platform.FileExists(saved) &&
      platform.MessageBox("File " + saved + " already exists. Do you want to write over this file?",
                          "KAVRI-FCID Ormid Module", MsgIcon::Question,
                          MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes)
    return kExitStopped;

  CumulativeRequest request;
  request.group = group;
  request.shownName = a.group;
  request.adj2 = a.adj2;
  request.rows = rows;
  request.saved = saved;
  // chemical:NAME leaves a chemical out; any other item is a crop group or
  // commodity code.
  if (sub.count("--exclude") > 0) {
    for (const std::string& item : SplitCodes(a.exclude)) {
      if (item.size() > 9 &&
          (item.compare(0, 9, "chemical:") == 0 || item.compare(0, 9, "Chemical:") == 0))
        request.excludedChemicals.push_back(item.substr(9));
      else
        request.excludedCodes.push_back(item);
    }
  }
  request.exports = exports;
  // Each chemical's part is always reported; --by chemical asks for no more.
  if (sub.count("--by") > 0 && a.by != "chemical") {
    request.by = HeadroomByFrom(a.by);
    if (!request.by)
      throw UsageError{"--by takes chemical, cropgroup, food or form, not \"" + a.by + "\""};
  }
  if (sub.count("--target") > 0) request.target = TargetValue(a.target);
  request.arguments = {"cumulative", group};
  if (a.adj2) request.arguments.push_back("--adj2");
  if (sub.count("--subgroups") > 0) request.arguments.push_back("--subgroups=" + a.subgroups);
  if (sub.count("--exclude") > 0) request.arguments.push_back("--exclude=" + a.exclude);
  if (sub.count("--by") > 0)
    request.arguments.push_back(std::string("--by=") +
                                (request.by ? HeadroomByName(*request.by) : "chemical"));
  if (request.target) request.arguments.push_back("--target=" + a.target);
  request.clockIsUtc = platform.ClockIsUtc();
  request.history = !a.noHistory;
  request.historyBusyMilliseconds = HistoryBusyMilliseconds();
  const CumulativeOutcome run = RunCumulative(m, platform, request);
  // Every problem of the group file, then of its residue files, listed.
  // They name the group file's chemicals and paths and the --exclude
  // items: shown, never obeyed.
  for (const std::string& p : run.problems) err << TerminalMessage(p) << "\n";
  for (const std::string& w : run.warnings) err << TerminalMessage(w) << "\n";
  using Status = CumulativeOutcome::Status;
  if (run.status == Status::Refused) return kExitUsage;
  if (run.status == Status::Stopped) {
    platform.MessageBox(run.notice, "Cumulative Analysis", MsgIcon::Exclamation, MsgButtons::OK);
    return kExitStopped;
  }
  for (const std::string& f : run.failures)
    platform.MessageBox(f + ". The report stands.", "Cumulative Analysis", MsgIcon::Exclamation,
                        MsgButtons::OK);
  if (a.toStdout) {
    const auto text = ReadWholeFile(run.report);
    if (!text) {
      err << "ormid-cli: cannot read " << run.report << "\n";
      return kExitStopped;
    }
    out << *text << std::flush;
  }
  return run.failures.empty() ? kExitDone : kExitStopped;
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
  c.add_option("--save", args->save, "also save the report as NAME (.CU10 when NAME has none)")
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
