// The run session: the one way every kind of run is made and finished, for
// every front end (the command line's commands, the batch's workers, the
// main window and its menus).
//
// Each kind contributes what is its own: its checks (the run request's, or
// the group file's), its computation, its report and its figures. The
// session does the rest once for all of them, in the same order: before the
// run, the outputs planned and checked (no two on one file, none over an
// input of the run) and the questions before existing files are replaced;
// after it, the saved copy of the report where every kind's saved copy goes
// (ReportFileNameFor), every export, the manifests (each listing every
// output of its run) and the run history's record. Finish hands back the
// finished run (session/finished_run.h) that every later use reads.
#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "aggregate/aggregate_figures.h"
#include "core/run_host.h"
#include "core/run_kind.h"
#include "core/window_settings.h"
#include "cumulative/cumulative_figures.h"
#include "headroom/headroom.h"
#include "history/run_history.h"
#include "manifest/output_digests.h"
#include "manifest/run_manifest.h"
#include "residue_build/residue_build.h"
#include "session/finished_run.h"
#include "setup/run_request.h"

namespace ormid {

struct ModOrmid;
class Platform;

// What the user asked for: the kind of run and its settings as the front
// end gathered them, and where the outputs go.
struct RunRequest {
  RunKind kind = RunKind::LongTerm;
  // The main window's settings: the endpoints and options of a long-term,
  // commodity, listing or headroom run. For every kind, chkSaveRpt and
  // txtRptFile ask for a saved copy of the report.
  WindowSettings settings;
  // The settings the manifest records when they differ from those run (a
  // run with commodities excluded records them as given, with the codes).
  std::optional<WindowSettings> recordedSettings;
  std::vector<std::string> excluded;
  HeadroomOptions headroom;       // a headroom run's
  CumulativeSettings cumulative;  // a cumulative run's
  // A residue build's: its inputs, the residue file named and the rules;
  // the report is the build report beside the residue file.
  ResidueBuildSettings residueBuild;
  AggregateSettings aggregate;  // an aggregate run's (on the open residue file)
  // The report goes to this file instead of the working folder's temporary
  // report (a batch scenario's); it then gets the run's manifest beside it.
  std::string report;
  std::vector<std::string> exports;  // absolute paths
  enum class History {
    None,      // not recorded
    Record,    // recorded in the working folder's run history at Finish
    HandBack,  // left to the caller to record (a batch, in its scenarios' order)
  } history = History::None;
  int historyBusyMilliseconds = kHistoryBusyMilliseconds;
  // Every row of the figures is kept even when no export or record needs
  // them (a window that shows them).
  bool keepFigures = false;
  // Digests taken as the run's files were written, and of the inputs when
  // known before (a batch's installation); read from the disk otherwise.
  const OutputDigests* outputDigests = nullptr;
  const InputDigests* inputDigests = nullptr;
  bool clockIsUtc = false;
};

// How Run ended. Refused: the notice is the refusal (none when the user
// answered a question with No or Cancel); `usage` marks a request that can
// never run as given (two outputs on one file, an output over an input,
// problems of its input files). Stopped: a message stopped the run, shown
// as it came. Done: the report was written; the front end shows it
// (showReport) or the closing notice.
struct RunOutcome {
  RunStatus status = RunStatus::Refused;
  std::optional<Notice> notice;
  Control focus = Control::None;
  bool showReport = false;
  bool usage = false;
  // Every problem of the run's input files, "FILE:LINE: problem" (a
  // cumulative run's group file and residue files, an aggregate run's
  // toxicology and residential files); Refused when any.
  std::vector<std::string> problems;
  // Messages an input's open gave without refusing it.
  std::vector<std::string> warnings;
};

// An output Finish could not put in place; the reports of the run stand.
struct OutputFailure {
  enum class Kind { Export, Manifest, SavedCopy } kind;
  std::string path;
  std::string reason;
};

class RunSession {
 public:
  RunSession(ModOrmid& m, Platform& p);
  ~RunSession();
  RunSession(const RunSession&) = delete;
  RunSession& operator=(const RunSession&) = delete;

  // Checks the request and makes the run; the host sees its progress and
  // keeps the terms of its totals.
  RunOutcome Run(const RunRequest& request, RunHost& host);
  // A copy of the report the front end saved between Run and Finish (the
  // destination dialog's Disk File): the run's manifest is written beside it
  // at once, and again by Finish with every output of the run. False with
  // error when the manifest cannot be written.
  bool AddSavedCopy(const std::string& path, std::string& error);
  // After a run that is Done: the saved copy, the exports and the
  // manifests put in place and the run recorded (messages about the history
  // through the platform). Each output that fails is told to `tell` as it
  // fails; the run stands. The finished run; nullptr when Run was not Done.
  std::shared_ptr<const FinishedRun> Finish(
      const std::function<void(const OutputFailure&)>& tell = {});

  // The report the run writes: the request's file of its own, else the
  // kind's temporary report in the working folder.
  std::string ReportFile() const;
  // The history record of a HandBack request (after Finish).
  std::shared_ptr<HistoryRecorder> TakeHistory() { return std::move(history_); }

 private:
  struct Planned;
  // The files the run will write, none twice and none over a file it reads;
  // false with a usage refusal.
  bool PlanOutputs(RunOutcome& outcome);
  bool CheckAgainstInputs(const std::vector<std::string>& read, const std::string& what,
                          RunOutcome& outcome);
  // The questions before existing exports and manifests are replaced;
  // false at the first No.
  bool AskBeforeReplacing(RunOutcome& outcome);
  // Each kind's own part: its checks, its computation, its report.
  RunOutcome RunAnalysis(RunHost& host);
  RunOutcome RunListing();
  RunOutcome RunHeadroom(RunHost& host);
  RunOutcome RunCumulative();
  RunOutcome RunResidueBuild();
  // A residue build's files: the residue files it writes among the outputs,
  // the samples and rules files among the inputs.
  void PlanResidueBuild(std::vector<Planned>& outputs, std::vector<Planned>& inputs) const;
  RunOutcome RunAggregate(RunHost& host);
  // The saved copy of the report file `report` (or of `text`, for a report
  // without a file of its own); false with the message when it cannot be
  // written.
  bool SaveCopy(const std::string& report, const std::string* text, RunOutcome& outcome);
  // The run's manifest listing the report and its saved copies; with the
  // paths of the manifests that go beside them.
  nlohmann::json ListedManifest(std::vector<std::string>& outputs,
                                std::vector<std::string>& manifests) const;

  ModOrmid& m_;
  Platform& p_;
  RunRequest request_;
  std::vector<Planned> planned_;
  DateTime date_;
  int lineCount_ = 0;
  std::string saved_;
  std::vector<std::string> laterCopies_;
  // Files the kind's part wrote besides its report, by role (a residue
  // build's residue files): listed in every manifest.
  std::vector<std::pair<std::string, std::string>> written_;
  nlohmann::json manifest_;  // without outputs, once the run's parameters are set
  std::shared_ptr<FinishedFigures> figures_;
  std::shared_ptr<HistoryRecorder> history_;
  bool done_ = false;
};

}  // namespace ormid
