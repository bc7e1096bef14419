#include "session/run_session.h"

#include "commodity/commodity_run.h"
#include "core/mod_ormid.h"
#include "core/platform.h"
#include "exposure/long_term_report.h"

namespace ormid {

namespace {

// The front end's host, with the session's own sinks (the exports, the run
// history's record) beside the front end's.
class SessionHost : public RunHost {
 public:
  SessionHost(RunHost& outer, const ResultsFanOut& own) : outer_(outer), own_(own) {}
  void Progress(int done, int total) override { outer_.Progress(done, total); }
  bool StopRequested() override { return outer_.StopRequested(); }
  void Computing() override { outer_.Computing(); }
  ResultsSink* Results() override {
    all_ = own_;
    all_.Add(outer_.Results());
    return all_.Empty() ? nullptr : &all_;
  }
  ExposureTerms* Terms() override { return outer_.Terms(); }

 private:
  RunHost& outer_;
  const ResultsFanOut& own_;
  ResultsFanOut all_;
};

}  // namespace

RunSession::RunSession(ModOrmid& m, Platform& p) : m_(m), p_(p) {}

RunSession::~RunSession() = default;

std::string RunSession::ReportFile() const {
  if (!request_.report.empty()) return request_.report;
  return request_.kind == RunKind::LongTerm ? kLongTermReportFile : kCommodityReportFile;
}

nlohmann::json RunSession::BuildRunManifest() const {
  return BuildManifest(m_, record_, request_.inputDigests);
}

RequestCheck RunSession::Check(const RunRequest& request) {
  request_ = request;
  return checkstart(m_, p_, request.settings, RunKind::Headroom);
}

RunOutcome RunSession::Run(const RunRequest& request, RunHost& host) {
  request_ = request;
  done_ = false;
  exports_.reset();
  history_.reset();
  saved_.clear();
  // The long-term report's header depends on the line count an earlier
  // report of this program left: the manifest records it.
  record_ = ManifestRun{CommandOf(request.kind),
                        request.recordedSettings.value_or(request.settings),
                        p_.Now(),
                        request.clockIsUtc,
                        request.excluded,
                        m_.gLineCount};

  // What runs killed before their end left in the working folder (a batch
  // clears its output folder once, before its scenarios).
  if (request.report.empty()) RemoveStaleTemporaryFiles(".");

  RunOutcome outcome;
  const RequestCheck check = checkstart(m_, p_, request.settings, request.kind);
  if (check.status != RunStatus::Done) {
    outcome.notice = check.refusal;
    outcome.focus = check.focus;
    return outcome;
  }
  saved_ = check.savedReport;

  ResultsFanOut own;
  if (!request.exports.empty()) {
    // The manifest the exports carry is made when the first row arrives:
    // by then the run's parameters are set.
    exports_.emplace(p_, request.exports, [this] { return BuildRunManifest(); });
    own.Add(&*exports_);
  }
  if (request.history != RunRequest::History::None) {
    history_ = std::make_shared<HistoryRecorder>();
    own.Add(history_.get());
  }
  SessionHost inner(host, own);
  host.Computing();
  const AnalysisEnd end = request.kind == RunKind::LongTerm
                              ? RunOrmidAnalysis(m_, p_, inner, saved_, ReportFile())
                              : RunCommodityAnalysis(m_, p_, inner, saved_, ReportFile());
  outcome.focus = end.focus;
  if (!end.done) {
    // Exports not committed are abandoned; nothing of the run is recorded.
    exports_.reset();
    history_.reset();
    outcome.status = RunStatus::Stopped;
    return outcome;
  }
  done_ = true;
  outcome.status = RunStatus::Done;
  outcome.notice = end.closing;
  outcome.showReport = end.showReport;
  return outcome;
}

bool RunSession::Finish(const std::function<void(const OutputFailure&)>& tell) {
  if (!done_) return false;
  done_ = false;
  bool allWritten = true;
  auto fail = [&](OutputFailure f) {
    allWritten = false;
    if (tell) tell(f);
  };
  const OutputDigests* digests = request_.outputDigests;
  manifest_ = BuildRunManifest();
  const std::string report = ReportFile();
  AddOutput(manifest_, "report", report, digests);
  outputs_ = {report};
  if (!saved_.empty()) AddOutput(manifest_, "saved report", saved_, digests);

  std::vector<std::string> manifests;
  if (!request_.report.empty()) manifests.push_back(ManifestPathFor(report));
  if (exports_) {
    const std::vector<ExportFailure> failed = exports_->Commit();
    exports_.reset();
    for (const std::string& path : request_.exports) {
      bool bad = false;
      for (const ExportFailure& f : failed) bad = bad || f.path == path;
      if (bad || !AddOutput(manifest_, "export", path, digests)) continue;
      outputs_.push_back(path);
      if (ExportFormatOf(path) == ExportFormat::Csv) manifests.push_back(ManifestPathFor(path));
    }
    for (const ExportFailure& f : failed) fail({OutputFailure::Kind::Export, f.path, f.reason});
  }
  if (!saved_.empty()) {
    outputs_.push_back(saved_);
    manifests.push_back(ManifestPathFor(saved_));
  }
  for (const std::string& path : manifests) {
    std::string error;
    if (WriteManifest(p_, path, manifest_, error))
      outputs_.push_back(path);
    else
      fail({OutputFailure::Kind::Manifest, path, error});
  }
  if (history_ && request_.history == RunRequest::History::Record) {
    RecordFinishedRun(p_, manifest_, *history_, request_.historyBusyMilliseconds);
    history_.reset();
  }
  return allWritten;
}

}  // namespace ormid
