#include "cli/batch_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>
#include <string_view>
#include <thread>

#include "aggregate/aggregate_figures.h"
#include "batch/batch_run.h"
#include "batch/batch_summary.h"
#include "batch/scenario_file.h"
#include "cli/aggregate_command.h"
#include "cli/analysis_options.h"
#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "cli/cumulative_command.h"
#include "cli/history_commands.h"
#include "core/mod_ormid.h"
#include "cumulative/cumulative_figures.h"
#include "manifest/run_manifest.h"
#include "setup/run_request.h"
#include "setup/startup.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace ormid::cli {

namespace fs = std::filesystem;

namespace {

struct BatchArguments {
  AnalysisArguments analysis;
  std::vector<std::string> files;
  std::string scenarios, out, command = "longterm";
  int jobs = 0;
  std::vector<std::string> exports;
};

// The options of a single run that the scenario file sets row by row.
const char* const kRowOptions[] = {
    "--noel",     "--rfd",      "--qstar",    "--pad",      "--pad-value", "--adj2",   "--comment",
    "--complete", "--critical", "--food-pct", "--crop-pct", "--subgroups", "--command"};

// Ctrl+C, or the system ending the program (SIGTERM, SIGHUP: a logout, a
// shutdown, a kill): the scenarios in progress finish, the rest are not
// started, and the summary is written.
std::atomic<bool> gInterrupted{false};
extern "C" void OnInterrupt(int) {
  gInterrupted.store(true);
}

class InterruptGuard {
 public:
  InterruptGuard() {
    gInterrupted.store(false);
    for (std::size_t i = 0; i < kSignals.size(); ++i)
      previous_[i] = std::signal(kSignals[i], OnInterrupt);
  }
  ~InterruptGuard() {
    for (std::size_t i = 0; i < kSignals.size(); ++i)
      std::signal(kSignals[i], previous_[i] == SIG_ERR ? SIG_DFL : previous_[i]);
  }

 private:
#ifdef _WIN32
  static constexpr std::array<int, 2> kSignals = {SIGINT, SIGTERM};
#else
  static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};
#endif
  std::array<void (*)(int), kSignals.size()> previous_{};
};

std::string Capitalised(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

// A row's settings read by the single run's own options, so that a bad
// value gets the message the single run gives.
std::optional<AnalysisOptions> RowOptions(const ScenarioRow& row, std::string& problem) {
  CLI::App app("", row.command);
  AnalysisArguments a;
  BindAnalysisOptions(app, a);
  app.add_option("--exclude", a.exclude)->group("");
  std::vector<std::string> args = {row.residueFile};
  args.insert(args.end(), row.arguments.begin(), row.arguments.end());
  MarkEmptyEndpointTexts(args);
  std::reverse(args.begin(), args.end());
  try {
    app.parse(args);
    return CheckAnalysisOptions(app, row.command, a);
  } catch (const CLI::ParseError& e) {
    problem = e.what();
  } catch (const UsageError& e) {
    problem = e.text;
  }
  return std::nullopt;
}

// Sets a scenario's window controls as the single run would.
std::function<bool(ModOrmid&, WindowSettings&, std::string&)> SettingsFrom(AnalysisOptions o) {
  return [o](ModOrmid& m, WindowSettings& s, std::string& problem) {
    try {
      CheckRowsAgainst(m, o);
    } catch (const UsageError& e) {
      problem = e.text;
      return false;
    }
    BuildSettings(o, m, s);
    return true;
  };
}

// Sets a cumulative scenario's request as the single run's command line
// would: the same report rows (and message for rows the installation does
// not have) and the same arguments, so that its manifest repeats it.
std::function<bool(const ModOrmid&, CumulativeSettings&, std::string&)> CumulativeSettingsFrom(
    const ScenarioRow& row) {
  bool adj2 = false;
  std::optional<std::string> subgroups;
  for (const std::string& a : row.arguments) {
    if (a == "--adj2") adj2 = true;
    if (a.rfind("--subgroups=", 0) == 0) subgroups = a.substr(12);
  }
  return [adj2, subgroups](const ModOrmid& m, CumulativeSettings& c, std::string& problem) {
    try {
      c.rows = CumulativeRows(m, subgroups);
    } catch (const UsageError& e) {
      problem = e.text;
      return false;
    }
    c.adj2 = adj2;
    return true;
  };
}

// Sets an aggregate scenario's request as the single run's command line
// would, from the row's options.
std::function<bool(const ModOrmid&, AggregateSettings&, std::string&)> AggregateSettingsOf(
    const ScenarioRow& row) {
  const AggregateOptionValues values = AggregateValuesOf(row.arguments);
  return [values](const ModOrmid& m, AggregateSettings& a, std::string& problem) {
    try {
      AggregateSettingsFrom(values, a);
      a.rows = CumulativeRows(m, values.subgroups);
    } catch (const UsageError& e) {
      problem = e.text;
      return false;
    }
    return true;
  };
}

// The summary, and the progress on standard error.
class CommandSummary : public BatchSummary {
 public:
  using BatchSummary::BatchSummary;
  void Progress(std::size_t done, std::size_t total) override {
    if (style == ProgressStyle::None) return;
    const auto now = std::chrono::steady_clock::now();
    // Plain lines are kept: one every few seconds, and none at the end,
    // where the batch's counts follow on standard output.
    const auto every = style == ProgressStyle::Lines ? std::chrono::milliseconds(5000)
                                                     : std::chrono::milliseconds(200);
    if (style == ProgressStyle::Lines && (done == total || now - start_ < every)) return;
    if (done < total && now - shown_ < every) return;
    shown_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    std::cerr << ProgressText(style, done, total, rate);
    std::cerr.flush();
  }
  ProgressStyle style = ProgressStyle::None;

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point shown_{};
};

std::vector<BatchScenario> ScenariosOfFiles(const std::vector<std::string>& files,
                                            const AnalysisOptions& common, RunKind report) {
  std::vector<BatchScenario> scenarios;
  std::map<std::string, std::string> ids;
  for (const std::string& file : files) {
    RefuseStandardInput(file, "a residue file of a batch",
                        "each scenario records its residue file's name and digest");
    BatchScenario s;
    s.id = fs::path(file).stem().string();
    s.origin = file;
    s.residueFile = AbsoluteFromStart(file);
    s.kind = report;
    if (!UsableScenarioId(s.id))
      throw UsageError{"the residue file " + file + " cannot name a scenario"};
    if (auto [it, added] = ids.emplace(s.id, file); !added)
      throw UsageError{"the residue files " + it->second + " and " + file +
                       " give the same scenario id " + s.id};
    s.settings = SettingsFrom(common);
    scenarios.push_back(std::move(s));
  }
  return scenarios;
}

int RunBatchCommand(const GlobalOptions& global, const CLI::App& sub, const BatchArguments& a,
                    std::ostream& out, std::ostream& err) {
  if (a.files.empty() == a.scenarios.empty())
    throw UsageError{"batch takes residue files or --scenarios FILE (one of the two)"};
  for (const char* option : {"--save", "--stdout"})
    if (sub.count(option) > 0)
      throw UsageError{std::string(option) +
                       " is not for a batch: every scenario's report goes to the --out folder"};
  if (sub.count("--exclude") > 0) throw UsageError{"--exclude (what-if) is not for a batch"};
  if (!a.scenarios.empty())
    for (const char* option : kRowOptions)
      if (sub.count(option) > 0)
        throw UsageError{std::string(option) + " is set by the scenario file's columns"};
  std::vector<ExportFormat> exports;
  for (const std::string& e : a.exports) {
    auto f = ExportFormatOf("x." + e);
    if (!f) throw UsageError{"--export takes csv, json or xlsx, not \"" + e + "\""};
    if (std::find(exports.begin(), exports.end(), *f) == exports.end()) exports.push_back(*f);
  }
  std::optional<AnalysisOptions> common;
  std::vector<BatchScenario> scenarios;
  if (!a.files.empty()) {
    common = CheckAnalysisOptions(sub, a.command, a.analysis);
    scenarios = ScenariosOfFiles(a.files, *common,
                                 RunKindFromCommand(a.command).value_or(RunKind::LongTerm));
  } else {
    scenarios = ScenariosOfFile(a.scenarios);
  }
  if (const std::string problem = ScenarioFilesProblem(scenarios); !problem.empty())
    throw UsageError{problem};
  const std::string outDir = AbsoluteFromStart(a.out);
  if (!EnterWorkingFolder(global, err)) return kExitStopped;

  CliPlatform platform(err, a.analysis.yes);
  ModOrmid m;
  if (!StartUp(m, platform, false)) return kExitStopped;
  if (common) CheckRowsAgainst(m, *common);

  std::error_code ec;
  fs::create_directories(fs::path(outDir), ec);
  if (ec || !fs::is_directory(fs::path(outDir))) {
    platform.MessageBox("The output folder " + outDir + " cannot be made: " + ec.message() + ".",
                        "Batch Run", MsgIcon::Exclamation, MsgButtons::OK);
    return kExitStopped;
  }
  // Files of an earlier batch are replaced only when the user says so.
  if (const auto existing = ExistingBatchFiles(platform, outDir, scenarios);
      !existing.empty() &&
      platform.MessageBox(OverwriteQuestion(outDir, existing), "KAVRI-FCID Ormid Module",
                          MsgIcon::Question, MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes)
    return kExitStopped;

  BatchOptions options;
  options.outDir = outDir;
  options.workers = a.jobs > 0 ? a.jobs : static_cast<int>(std::thread::hardware_concurrency());
  options.exports = exports;
  options.date = platform.Now();
  options.utc = platform.ClockIsUtc();
  options.yes = a.analysis.yes;
  options.stop = &gInterrupted;
  // Every finished scenario goes into the working folder's run history, as
  // its single run would.
  if (!a.analysis.noHistory) {
    RecordRequest history;
    history.busyMilliseconds = HistoryBusyMilliseconds();
    history.now = options.date;
    options.history = history;
  }

  nlohmann::json head = {
      {"program",
       {{"name", "Ormid"}, {"version", m.gProgramVersion}, {"revision", SourceRevision()}}},
      {"batch",
       {{"date", IsoDateTime(options.date, options.utc)},
        {"working_folder", m.gWorkingDir},
        {"output_folder", outDir},
        {"scenarios", scenarios.size()}}},
  };
  if (!a.scenarios.empty()) head["batch"]["scenario_file"] = AbsoluteFromStart(a.scenarios);
  // The workbook's creation date is the batch's date, read as UTC as the
  // exports do, so that a repeated batch writes the same bytes.
  std::tm tm{};
  tm.tm_year = options.date.year - 1900;
  tm.tm_mon = options.date.month - 1;
  tm.tm_mday = options.date.day;
  tm.tm_hour = options.date.hour;
  tm.tm_min = options.date.minute;
  tm.tm_sec = options.date.second;
  const long long created = static_cast<long long>(timegm(&tm));
  CommandSummary summary(platform, outDir, scenarios, head, created, &out);
  if (&err == &std::cerr) {
#ifndef _WIN32
    summary.style = ProgressStyleFor(isatty(STDERR_FILENO) != 0, std::getenv("TERM"));
#else
    summary.style = ProgressStyle::Lines;
#endif
  }
  std::string error;
  if (!summary.Open(error)) {
    platform.MessageBox(Capitalised(error) + ".", "Batch Run", MsgIcon::Exclamation,
                        MsgButtons::OK);
    return kExitStopped;
  }
  BatchCounts counts;
  {
    InterruptGuard interrupt;
    counts = RunBatch(m, scenarios, options, summary);
  }
  if (!counts.historyNote.empty())
    platform.MessageBox(counts.historyNote, "Run History", MsgIcon::Information, MsgButtons::OK);
  if (!counts.historyProblem.empty())
    platform.MessageBox(counts.historyProblem, "Run History", MsgIcon::Exclamation, MsgButtons::OK);
  out << scenarios.size() << " scenarios: " << counts.done << " done, " << counts.failed
      << " failed, " << counts.notRun << " not run; " << summary.over
      << " over 100% of their reference dose.\n";
  out.flush();
  if (!summary.Commit(error)) {
    platform.MessageBox(Capitalised(error) + ".", "Batch Run", MsgIcon::Exclamation,
                        MsgButtons::OK);
    return kExitStopped;
  }
  return counts.failed == 0 && counts.notRun == 0 ? kExitDone : kExitStopped;
}

}  // namespace

std::vector<BatchScenario> ScenariosOfFile(const std::string& file) {
  std::string error;
  std::optional<std::vector<ScenarioRow>> rows;
  if (IsStandardInput(file)) {
    // Read once; its residue files are named from the folder the command
    // was started in.
    const auto bytes = ReadStandardInput(std::size_t{64} << 20, error);
    if (!bytes) throw UsageError{"the scenario file on standard input " + error};
    rows = ReadScenarioText(*bytes, "on standard input", AbsoluteFromStart("."), error);
  } else {
    rows = ReadScenarioFile(AbsoluteFromStart(file), error);
  }
  if (!rows) throw UsageError{error};
  std::vector<BatchScenario> scenarios;
  std::map<std::string, int> ids;
  for (const ScenarioRow& row : *rows) {
    BatchScenario s;
    s.id = row.id;
    s.origin = file + ":" + std::to_string(row.line);
    s.residueFile = row.residueFile;
    s.kind = RunKindFromCommand(row.command).value_or(RunKind::LongTerm);
    if (!UsableScenarioId(s.id))
      throw UsageError{s.origin + ": the id \"" + s.id + "\" cannot name the scenario's files"};
    if (auto [it, added] = ids.emplace(s.id, row.line); !added)
      throw UsageError{s.origin + ": the id " + s.id + " is taken by line " +
                       std::to_string(it->second)};
    s.problem = row.problem;
    if (s.kind == RunKind::Cumulative)
      s.cumulativeSettings = CumulativeSettingsFrom(row);
    else if (s.kind == RunKind::Aggregate)
      s.aggregateSettings = AggregateSettingsOf(row);
    else if (s.problem.empty())
      if (auto o = RowOptions(row, s.problem)) s.settings = SettingsFrom(*o);
    scenarios.push_back(std::move(s));
  }
  return scenarios;
}

ProgressStyle ProgressStyleFor(bool isTerminal, const char* term) {
  const bool clears = term && *term && std::string_view(term) != "dumb";
  return isTerminal && clears ? ProgressStyle::Rewritten : ProgressStyle::Lines;
}

std::string ProgressText(ProgressStyle style, std::size_t done, std::size_t total, double rate) {
  if (style == ProgressStyle::None) return "";
  std::string text = "batch: " + std::to_string(done) + "/" + std::to_string(total) +
                     " scenarios, " + std::to_string(static_cast<long long>(rate + 0.5)) +
                     " per second";
  if (rate > 0 && done < total)
    text += ", " +
            std::to_string(static_cast<long long>(static_cast<double>(total - done) / rate + 0.5)) +
            " s left";
  if (style == ProgressStyle::Lines) return text + "\n";
  // On the terminal the line is cleared once the batch is done.
  return "\r\033[K" + text + (done == total ? "\r\033[K" : "");
}

void AddBatchCommands(CommandLine& cl) {
  auto args = std::make_shared<BatchArguments>();
  auto sub = std::make_shared<CLI::App*>();
  *sub = &cl.Add("batch",
                 "many residue files (same settings) or the scenarios of a CSV file, in parallel, "
                 "into an output folder with a summary",
                 [&cl, args, sub](std::ostream& out, std::ostream& err) {
                   return RunBatchCommand(cl.Global(), **sub, *args, out, err);
                 });
  CLI::App& app = **sub;
  BindAnalysisOptions(app, args->analysis);
  // A batch names its files by scenario: no single residue file, export
  // file, saved report or standard output.
  for (const char* single : {"RESIDUE_FILE", "--export"}) {
    std::vector<CLI::Option*> bound =
        app.get_options([single](const CLI::Option* o) { return o->check_name(single); });
    for (CLI::Option* o : bound) app.remove_option(o);
  }
  for (const char* single : {"--save", "--stdout"}) app.get_option(single)->group("");
  app.add_option("--exclude", args->analysis.exclude)->group("");
  app.add_option("RESIDUE_FILE", args->files, "residue files, each run with the same settings")
      ->type_name("");
  app.add_option("--scenarios", args->scenarios,
                 "CSV file with one scenario per row (see " ORMID_DOC_DIR
                 "/docs/batch.md); - reads it from standard input")
      ->type_name("FILE");
  app.add_option("--out", args->out, "output folder of the reports, manifests and summary")
      ->required()
      ->type_name("DIR");
  app.add_option("--command", args->command, "longterm (default) or commodity, for residue files")
      ->check(CLI::IsMember({"longterm", "commodity"}))
      ->type_name("NAME");
  app.add_option("-j,--jobs", args->jobs, "worker threads (default: the number of processors)")
      ->check(CLI::PositiveNumber)
      ->type_name("N");
  app.add_option("--export", args->exports,
                 "also write each scenario's figures as ID.csv, ID.json or ID.xlsx (repeatable)")
      ->allow_extra_args(false)
      ->type_size(1)
      ->type_name("FORMAT");
}

}  // namespace ormid::cli
