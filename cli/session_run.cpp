#include "cli/session_run.h"

#include <ostream>

#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "core/record_file.h"
#include "session/run_session.h"

namespace ormid::cli {

int CliRun::Status() const {
  if (badInputs) return kExitUsage;
  return run && !outputFailed ? kExitDone : kExitStopped;
}

int ReportedStatus(const CliRun& run, bool toStdout, std::ostream& out, std::ostream& err) {
  if (!run.run || !toStdout) return run.Status();
  const auto bytes = ReadWholeFile(run.run->report);
  if (!bytes) {
    err << "ormid-cli: cannot read " << run.run->report << "\n";
    return kExitStopped;
  }
  out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
  out.flush();
  return run.Status();
}

CliRun RunThroughSession(CliPlatform& p, ModOrmid& m, RunRequest& request, std::ostream& err) {
  // The manifest (beside a saved report or an export, or in the run
  // history) lists the files with the digests taken as they were written.
  OutputDigests digests;
  p.digests = &digests;
  request.outputDigests = &digests;
  request.clockIsUtc = p.ClockIsUtc();

  CliRun out;
  RunSession session(m, p);
  RunHost host;
  const RunOutcome outcome = session.Run(request, host);
  // Every problem of the run's input files, then what opening them told.
  for (const std::string& problem : outcome.problems) err << TerminalMessage(problem) << "\n";
  for (const std::string& warning : outcome.warnings) err << TerminalMessage(warning) << "\n";
  p.digests = nullptr;
  if (!outcome.problems.empty()) {
    out.badInputs = true;
    return out;
  }
  if (outcome.usage && outcome.notice) throw UsageError{outcome.notice->text};
  if (outcome.notice) ShowNotice(p, *outcome.notice);
  if (outcome.status != RunStatus::Done) return out;
  p.digests = &digests;
  out.run = session.Finish([&](const OutputFailure& f) {
    out.outputFailed = true;
    const char* what = f.kind == OutputFailure::Kind::Export ? "The export file " : "The manifest ";
    p.MessageBox(std::string(what) + f.path + " could not be written: " + f.reason +
                     ". The reports of the run stand.",
                 "Export Results", MsgIcon::Exclamation, MsgButtons::OK);
  });
  p.digests = nullptr;
  return out;
}

}  // namespace ormid::cli
