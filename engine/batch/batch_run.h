// A batch: many long-term, commodity or cumulative runs on one started
// installation, run by a pool of worker threads. Every worker starts each
// scenario from a copy of the started state, so nothing it changes is
// shared; the reports and manifests of a scenario go to the output folder as
// ID.OR10, ID.CC10, ID.CU10 or ID.AG10, and the outcomes are handed on in the
// scenarios' order, whatever the number of workers.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/run_kind.h"
#include "core/run_results.h"
#include "core/window_settings.h"
#include "export/table_writer.h"
#include "history/run_history.h"

namespace ormid {

struct ModOrmid;
struct CumulativeSettings;
struct AggregateSettings;

struct BatchScenario {
  std::string id;           // names its files in the output folder
  std::string origin;       // where it comes from: "FILE:LINE" or the residue file
  std::string residueFile;  // a cumulative scenario's assessment group file
  // Long-term, commodity or cumulative.
  RunKind kind = RunKind::LongTerm;
  // Fails the scenario before it runs (a bad value in its row).
  std::string problem;
  // Sets the window's controls after the residue file is open; false with
  // the message when a setting cannot be used with this installation.
  std::function<bool(ModOrmid&, WindowSettings&, std::string& message)> settings;
  // A cumulative assessment of the group file: cumulativeSettings sets the
  // run's second adjustment factor and report rows; false with the message
  // when a setting cannot be used with this installation.
  std::function<bool(const ModOrmid&, CumulativeSettings&, std::string& message)>
      cumulativeSettings;
  // An aggregate assessment of the residue file: aggregateSettings sets its
  // files, values and report rows as the single run's command line would;
  // false with the message when a setting cannot be used.
  std::function<bool(const ModOrmid&, AggregateSettings&, std::string& message)> aggregateSettings;
};

// The values a batch types for every residue file; a value not typed is
// each file's own, the one opening the file fills its box with.
struct TypedValues {
  std::optional<std::string> noel, rfd, qstar, comment;
};

// Fills the NOEL, RfD and Q* boxes and the run comment of s from the
// residue file open in m, then puts the typed values over them.
void TakeFileValues(const ModOrmid& m, const TypedValues& typed, WindowSettings& s);

// What a batch would run a residue file with: the base settings with the
// file's own values or the typed ones (TakeFileValues), and its chemical;
// problem holds the messages when the file cannot be opened.
struct FileValues {
  std::string chemical;
  WindowSettings settings;
  std::string problem;
};
FileValues ValuesOfResidueFile(const ModOrmid& started, const std::string& path,
                               const WindowSettings& base, const TypedValues& typed);

struct BatchOptions {
  std::string outDir;
  int workers = 1;
  std::vector<ExportFormat> exports;  // ID.csv, ID.json, ID.xlsx per scenario
  DateTime date;                      // every report's and manifest's date
  bool utc = false;
  bool yes = false;  // the answer to the runs' Yes/No questions
  // Set (by an interrupt or a Cancel button) to stop: the scenarios in
  // progress finish, the rest are not run.
  const std::atomic<bool>* stop = nullptr;
  // The run history every finished scenario is recorded in, in the
  // scenarios' order; none: the batch is not recorded.
  std::optional<RecordRequest> history;
};

enum class ScenarioStatus { Done, Failed, NotRun };

struct ScenarioOutcome {
  ScenarioStatus status = ScenarioStatus::NotRun;
  std::string message;  // "ORIGIN: TITLE: TEXT" of a failure
  std::vector<SubgroupFigures> subgroups;
  std::vector<std::string> outputs;  // files written, report first
  // A finished scenario's manifest and figures, kept only until the run
  // history has them (RunBatch drops them before the listener is called).
  struct Record {
    nlohmann::json manifest;
    std::shared_ptr<HistoryRecorder> figures;
  };
  std::shared_ptr<Record> record;
};

// The report file of a scenario: DIR/ID.OR10, DIR/ID.CC10 or DIR/ID.CU10.
std::string ScenarioReportPath(const std::string& outDir, const BatchScenario& s);
// Every file a scenario may write (report, manifest, exports).
std::vector<std::string> ScenarioOutputPaths(const std::string& outDir, const BatchScenario& s,
                                             const std::vector<ExportFormat>& exports);

// A scenario whose files (with every export format) would have the name of
// another scenario's file or of the summary's, compared without letter case
// as Windows and macOS compare them: "ORIGIN: ..." naming both; "" when
// every scenario's files are its own.
std::string ScenarioFilesProblem(const std::vector<BatchScenario>& scenarios);

// The files of an earlier batch in outDir that this one would replace: its
// summary files, then every scenario's outputs (of every export format), in
// order. The batch removes each scenario's before the scenario runs, and the
// summary's before the first one.
std::vector<std::string> ExistingBatchFiles(Platform& p, const std::string& outDir,
                                            const std::vector<BatchScenario>& scenarios);
// The question asked before they are replaced (Yes writes over them).
std::string OverwriteQuestion(const std::string& outDir, const std::vector<std::string>& existing);

// The subgroup a scenario's outcome is judged by: the highest percent of
// its reference dose (of a cumulative scenario, of the cPAD), or without a
// reference dose the highest exposure. nullptr when it has none.
const SubgroupFigures* WorstSubgroup(const ScenarioOutcome& o);

// Takes the outcomes one at a time, in the scenarios' order.
class BatchListener {
 public:
  virtual ~BatchListener() = default;
  virtual void Finished(std::size_t index, const BatchScenario& s, const ScenarioOutcome& o) = 0;
  // done of total scenarios finished (called after Finished, or less often).
  virtual void Progress(std::size_t /*done*/, std::size_t /*total*/) {}
};

struct BatchCounts {
  std::size_t done = 0, failed = 0, notRun = 0;
  // What the run history made of the batch, each told once: a damaged
  // history moved aside, and "Run history not recorded: ..." when a
  // recording failed (the scenarios after it are not recorded either).
  std::string historyNote, historyProblem;
};

// Runs every scenario on the started installation `started`, whose working
// folder is the current directory.
BatchCounts RunBatch(const ModOrmid& started, const std::vector<BatchScenario>& scenarios,
                     const BatchOptions& options, BatchListener& listener);

}  // namespace ormid
