#include "cli/aggregate_command.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <memory>
#include <ostream>
#include <set>

#include "cli/analysis_options.h"
#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "cli/cumulative_command.h"
#include "cli/history_commands.h"
#include "cli/session_run.h"
#include "core/mod_ormid.h"
#include "core/record_file.h"
#include "headroom/what_if.h"
#include "residue/residue_reader.h"
#include "session/run_session.h"
#include "setup/startup.h"

namespace ormid::cli {

namespace {

struct AggregateArguments {
  std::string residue;
  AggregateOptionValues values;
  std::string waterFoods, scenario, durations, subgroups, cancerLimit;
  std::string save;
  std::vector<std::string> exports;
  bool yes = false, toStdout = false, noHistory = false;
};

// A number of the command line: finite, above 0 (or 0 when `zero`).
std::optional<double> NumberText(const std::string& text, bool zero) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || text.empty() || !std::isfinite(value)) return {};
  if (value < 0 || (!zero && value == 0) || value > 1e30) return {};
  return value;
}

// A list that names a row twice is refused, as every command's --subgroups.
void RefuseRowsTwice(const std::string& list) {
  const auto rows = ParseSubgroupRows(list, 99999);
  if (!rows || list == "all") return;
  std::set<int> seen;
  for (int row : *rows)
    if (!seen.insert(row).second)
      throw UsageError{"--subgroups names the row " + std::to_string(row) + " twice (\"" + list +
                       "\"): name each subgroup once"};
}

int AggregateCommand(const GlobalOptions& global, const CLI::App& sub, const AggregateArguments& a,
                     std::ostream& out, std::ostream& err) {
  AggregateOptionValues v = a.values;
  if (sub.count("--water-foods") > 0) v.waterFoods = a.waterFoods;
  if (sub.count("--scenario") > 0) v.scenario = a.scenario;
  if (sub.count("--durations") > 0) v.durations = a.durations;
  if (sub.count("--subgroups") > 0) v.subgroups = a.subgroups;
  if (sub.count("--cancer-limit") > 0) v.cancerLimit = a.cancerLimit;
  const std::string why = "a run records its name and digest in its manifest";
  RefuseStandardInput(a.residue, "the residue file", why);
  RefuseStandardInput(v.tox, "the toxicology file", why);
  RefuseStandardInput(v.residential, "the residential file", why);
  RunRequest request;
  request.kind = RunKind::Aggregate;
  AggregateSettingsFrom(v, request.aggregate);
  request.exports = CheckedExports(a.exports);
  if (!a.save.empty()) {
    request.settings.chkSaveRpt = true;
    request.settings.txtRptFile = a.save;
  }
  const std::string residue = AbsoluteFromStart(a.residue);
  if (!EnterWorkingFolder(global, err)) return kExitStopped;
  CliPlatform platform(err, a.yes);
  ModOrmid m;
  if (!StartUp(m, platform, false)) return kExitStopped;
  request.aggregate.rows = CumulativeRows(m, v.subgroups);
  if (!OpenNamedResidueFile(m, platform, residue)) return kExitStopped;
  if (!a.noHistory) {
    request.history = RunRequest::History::Record;
    request.historyBusyMilliseconds = HistoryBusyMilliseconds();
  }
  return ReportedStatus(RunThroughSession(platform, m, request, err), a.toStdout, out, err);
}

}  // namespace

void AggregateSettingsFrom(const AggregateOptionValues& v, AggregateSettings& s) {
  if (v.tox.empty()) throw UsageError{"aggregate needs the toxicology file: --tox FILE"};
  s.tox = AbsoluteFromStart(v.tox);
  s.toxShown = v.tox;
  if (!v.residential.empty()) {
    s.residential = AbsoluteFromStart(v.residential);
    s.residentialShown = v.residential;
  }
  for (const std::string& item : v.waterPpb) {
    const auto equals = item.find('=');
    const auto duration =
        equals == std::string::npos ? std::nullopt : DurationFromName(item.substr(0, equals));
    if (!duration)
      throw UsageError{
          "--water-ppb takes DURATION=VALUE (chronic, short-term, intermediate-term "
          "or cancer), not \"" +
          item + "\""};
    const auto value = NumberText(item.substr(equals + 1), true);
    if (!value)
      throw UsageError{"--water-ppb " + item +
                       ": the concentration is not a number from 0 to 1E+30 (ug/L)"};
    if (s.waterPpb[Index(*duration)])
      throw UsageError{std::string("--water-ppb gives ") + DurationName(*duration) + " twice"};
    s.waterPpb[Index(*duration)] = *value;
  }
  if (v.waterFoods) {
    s.waterFoods = SplitCodes(*v.waterFoods);
    if (s.waterFoods.empty()) throw UsageError{"--water-foods names no food code"};
  }
  if (v.scenario) {
    if (v.scenario->empty()) throw UsageError{"--scenario names no scenario"};
    s.scenario = *v.scenario;
  }
  if (v.durations) {
    for (const std::string& name : SplitCodes(*v.durations)) {
      const auto d = DurationFromName(name);
      if (!d)
        throw UsageError{
            "--durations takes chronic, short-term, intermediate-term and cancer, "
            "not \"" +
            name + "\""};
      for (Duration given : s.durations)
        if (given == *d) throw UsageError{"--durations names " + name + " twice"};
      s.durations.push_back(*d);
    }
    if (s.durations.empty()) throw UsageError{"--durations names no duration"};
    // In the report's order.
    std::vector<Duration> ordered;
    for (Duration d : kDurations)
      for (Duration given : s.durations)
        if (given == d) ordered.push_back(d);
    s.durations = ordered;
  }
  if (v.subgroups) {
    if (*v.subgroups != "all" && !ParseSubgroupRows(*v.subgroups, 99999))
      throw UsageError{"--subgroups takes subgroup rows from 1 or all, not \"" + *v.subgroups +
                       "\""};
    RefuseRowsTwice(*v.subgroups);
  }
  if (v.cancerLimit) {
    const auto limit = NumberText(*v.cancerLimit, false);
    if (!limit || *limit > 1 || *limit < 1e-30)
      throw UsageError{"--cancer-limit takes a lifetime risk above 0 and at most 1, not \"" +
                       *v.cancerLimit + "\""};
    s.cancerLimit = *limit;
  }
  s.adj2 = v.adj2;
}

AggregateOptionValues AggregateValuesOf(const std::vector<std::string>& arguments) {
  AggregateOptionValues v;
  auto value = [](const std::string& a, const char* option) -> std::optional<std::string> {
    const std::string o = std::string(option) + "=";
    if (a.rfind(o, 0) != 0) return std::nullopt;
    return a.substr(o.size());
  };
  for (const std::string& a : arguments) {
    if (a == "--adj2") v.adj2 = true;
    if (auto x = value(a, "--tox")) v.tox = *x;
    if (auto x = value(a, "--residential")) v.residential = *x;
    if (auto x = value(a, "--water-ppb")) v.waterPpb.push_back(*x);
    if (auto x = value(a, "--water-foods")) v.waterFoods = *x;
    if (auto x = value(a, "--scenario")) v.scenario = *x;
    if (auto x = value(a, "--durations")) v.durations = *x;
    if (auto x = value(a, "--subgroups")) v.subgroups = *x;
    if (auto x = value(a, "--cancer-limit")) v.cancerLimit = *x;
  }
  return v;
}

void AddAggregateCommand(CommandLine& cl) {
  auto args = std::make_shared<AggregateArguments>();
  auto sub = std::make_shared<CLI::App*>();
  *sub = &cl.Add("aggregate",
                 "aggregate assessment of food, drinking water and residential exposure by route "
                 "and duration (tempagg.txt)",
                 [&cl, args, sub](std::ostream& out, std::ostream& err) {
                   return AggregateCommand(cl.Global(), **sub, *args, out, err);
                 });
  CLI::App& c = **sub;
  c.add_option("RESIDUE_FILE", args->residue, "the residue file (food)")->required();
  c.add_option("--tox", args->values.tox,
               "the toxicology file (CSV: duration, route, pod_mg_per_kg_bw_day, "
               "level_of_concern, absorption_percent, q_star)")
      ->required()
      ->type_name("TOX.csv");
  c.add_option("--residential", args->values.residential,
               "the residential file (CSV: scenario, route, duration, subgroup, "
               "exposure_mg_per_kg_bw_day)")
      ->type_name("RES.csv");
  c.add_option("--water-ppb", args->values.waterPpb,
               "the estimated drinking water concentration of a duration, ug/L (repeatable)")
      ->type_name("DURATION=VALUE");
  c.add_option("--water-foods", args->waterFoods,
               "the installation's drinking water food codes, comma-separated")
      ->type_name("CODES");
  c.add_option("--scenario", args->scenario,
               "use this residential scenario for every subgroup (default: the one of the "
               "highest aggregate risk)")
      ->type_name("NAME");
  c.add_option("--durations", args->durations,
               "chronic, short-term, intermediate-term, cancer (default: every one of TOX.csv)")
      ->type_name("LIST");
  c.add_option("--subgroups", args->subgroups, "report rows (1,3,5) or all (the default)")
      ->type_name("LIST");
  c.add_flag("--adj2", args->values.adj2, "use the second adjustment factor");
  c.add_option("--cancer-limit", args->cancerLimit,
               "the lifetime cancer risk taken as the limit (default 1E-06)")
      ->type_name("X");
  c.add_option("--save", args->save,
               "also save the report as NAME.AG10 (in the residue folder when NAME has no "
               "folder, as every run's saved report)")
      ->type_name("NAME");
  c.add_option("--export", args->exports,
               "write the figures as FILE.csv, FILE.json or FILE.xlsx (repeatable)")
      ->type_name("FILE");
  c.add_flag("--yes", args->yes, "answer Yes to the overwrite questions");
  c.add_flag("--stdout", args->toStdout, "also print the report");
  c.add_flag("--no-history", args->noHistory, "do not record the run in the run history");
}

}  // namespace ormid::cli
