// How every command of the command line that makes a run runs it: through
// the run session, with its questions, refusals, problems and failures told
// on standard error in one way.
#pragma once

#include <iosfwd>
#include <memory>

namespace ormid {
struct ModOrmid;
struct RunRequest;
struct FinishedRun;
}  // namespace ormid

namespace ormid::cli {

class CliPlatform;

// The outcome of a run made on the command line.
struct CliRun {
  // The finished run; nullptr when the run was refused or stopped (exit 1).
  std::shared_ptr<const FinishedRun> run;
  // An output could not be put in place (exit 1; the reports stand).
  bool outputFailed = false;
  // The run's input files have problems, listed (exit 2).
  bool badInputs = false;
  int Status() const;
};

// Runs the request: the outputs' digests taken as they are written, the
// clock's kind recorded, every problem of the run's input files listed
// (exit 2), a request that can never run as given a usage error (thrown as
// UsageError), what opening an input told, the refusal or the closing
// message, and each output that could not be written.
CliRun RunThroughSession(CliPlatform& p, ModOrmid& m, RunRequest& request, std::ostream& err);

// The command's exit status for the run, after its finished report is
// printed on `out` when `toStdout` asks for it (--stdout).
int ReportedStatus(const CliRun& run, bool toStdout, std::ostream& out, std::ostream& err);

}  // namespace ormid::cli
