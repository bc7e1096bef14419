// One run of an analysis, as every front end starts it: the command line's
// commands, the batch's workers, the main window, headroom and what-if. The
// session checks the run request, runs the long-term or commodity analysis
// and returns how it ended; the front end then shows the report or the
// closing message; the session's Finish puts the run's other outputs in
// place: the exports, the manifests and the run history record.
#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/run_host.h"
#include "core/window_settings.h"
#include "export/results_export.h"
#include "history/recorded_run.h"
#include "history/run_history.h"
#include "manifest/output_digests.h"
#include "manifest/run_manifest.h"
#include "setup/run_request.h"

namespace ormid {

struct ModOrmid;
class Platform;

// What the user asked for: the main window's settings as the front end
// gathered them, and where the outputs go.
struct RunRequest {
  RunKind kind = RunKind::LongTerm;
  WindowSettings settings;
  // The settings the manifest records when they differ from those run (a
  // run with commodities excluded records them as given, with the codes).
  std::optional<WindowSettings> recordedSettings;
  std::vector<std::string> excluded;
  // The report goes to this file instead of the working folder's temporary
  // report; it then gets a manifest of its own beside it.
  std::string report;
  std::vector<std::string> exports;
  enum class History {
    None,      // not recorded
    Record,    // recorded in the working folder's run history at Finish
    HandBack,  // kept in the session for the caller to record (a batch, in order)
  } history = History::None;
  int historyBusyMilliseconds = kHistoryBusyMilliseconds;
  // Digests taken as the run's files were written, and of the inputs when
  // known before (a batch's installation); read from the disk otherwise.
  const OutputDigests* outputDigests = nullptr;
  const InputDigests* inputDigests = nullptr;
  bool clockIsUtc = false;
};

// How Run ended. Refused: the notice is the refusal (none when the user
// answered a question with No or Cancel). Done: the report was written;
// the front end shows it (showReport) or the closing notice. Stopped: a
// message stopped the analysis, shown as it came.
struct RunOutcome {
  RunStatus status = RunStatus::Refused;
  std::optional<Notice> notice;
  Control focus = Control::None;
  bool showReport = false;
};

// An output Finish could not put in place; the reports of the run stand.
struct OutputFailure {
  enum class Kind { Export, Manifest } kind;
  std::string path;
  std::string reason;
};

class RunSession {
 public:
  RunSession(ModOrmid& m, Platform& p);
  ~RunSession();
  RunSession(const RunSession&) = delete;
  RunSession& operator=(const RunSession&) = delete;

  // The run request's checks alone: the run's parameters set, nothing run
  // (headroom works on the figures itself).
  RequestCheck Check(const RunRequest& request);
  // Checks the request and runs the analysis; the host sees its progress
  // and its figures.
  RunOutcome Run(const RunRequest& request, RunHost& host);
  // After a run that is Done: the exports put in place, the manifest beside
  // a report written to a file of its own, each CSV export and the saved
  // report, and the run recorded (messages about the history through the
  // platform). Each output that fails is told to `tell` as it fails; false
  // when one did.
  bool Finish(const std::function<void(const OutputFailure&)>& tell);

  // The finished run's manifest with every output written (after Finish).
  const nlohmann::json& Manifest() const { return manifest_; }
  // The files Finish wrote or listed: the report, the exports, the
  // manifests, the saved report.
  const std::vector<std::string>& Outputs() const { return outputs_; }
  // The history record of a HandBack request (after Finish).
  std::shared_ptr<HistoryRecorder> TakeHistory() { return std::move(history_); }
  // The user's report file of a run that saved its report ("" otherwise).
  const std::string& SavedReport() const { return saved_; }
  // The temporary report the run wrote.
  std::string ReportFile() const;

 private:
  nlohmann::json BuildRunManifest() const;

  ModOrmid& m_;
  Platform& p_;
  RunRequest request_;
  ManifestRun record_;
  std::string saved_;
  std::optional<ResultsExport> exports_;
  std::shared_ptr<HistoryRecorder> history_;
  nlohmann::json manifest_;
  std::vector<std::string> outputs_;
  bool done_ = false;
};

}  // namespace ormid
