// A cumulative run from start to finish, as every front end makes it: the
// group file and every residue file read and checked, the figures, the
// report in the working folder (or a file of its own), then its saved copy,
// the exports and their manifests. The front end words the outcome.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/platform.h"
#include "cumulative/cumulative_run.h"
#include "history/recorded_run.h"

namespace ormid {

struct ModOrmid;

struct CumulativeRequest {
  std::string group;      // the group file, absolute
  std::string shownName;  // how problems name it ("GROUP.csv")
  bool adj2 = false;
  std::vector<int> rows;  // report rows, in order
  // What-if: chemicals of the group left out (by name, without case; never
  // the index chemical), and crop group or commodity codes whose residues
  // count as 0 in every residue file.
  std::vector<std::string> excludedChemicals, excludedCodes;
  // The commodities that drive the exposure, by crop group, food or food
  // form; none: no breakdown.
  std::optional<HeadroomBy> by;
  // Headroom to this percent of the cPAD for every chemical and every
  // commodity (by `by`, crop group when none); none: no headroom.
  std::optional<double> target;
  std::string saved;  // a saved copy of the report; "" for none
  // The report goes to this file instead of the working folder's
  // tempcum.txt (a batch's scenario), with the manifest of the run beside it.
  std::string report;
  std::vector<std::string> exports;    // absolute paths
  std::vector<std::string> arguments;  // the command line that repeats the run
  bool clockIsUtc = false;
  // Records the finished run in the working folder's run history (a
  // failure is told through the platform; the run stands).
  bool history = false;
  int historyBusyMilliseconds = 5000;
};

struct CumulativeOutcome {
  enum class Status { Refused, Stopped, Done } status = Status::Refused;
  // Refused: every problem of the group file and its residue files.
  std::vector<std::string> problems;
  // Messages a residue file's open gave without refusing it.
  std::vector<std::string> warnings;
  // Stopped: why the report could not be written.
  std::string notice;
  // Done: the files that could not be written ("The export file PATH could
  // not be written: REASON"); the report stands.
  std::vector<std::string> failures;
  std::string report;  // the report file written
  // Done: the group as run, each subgroup's figures, and the manifest that
  // lists every output written (the one the run history records).
  AssessmentGroup group;
  std::vector<CumulativeSubgroup> subgroups;
  nlohmann::json manifest;
};

// A cumulative run's figures as the run history keeps them, and back (the
// group's chemicals with their potencies, and the subgroups).
std::vector<RecordedCumulative> RecordedFrom(const AssessmentGroup& group,
                                             const std::vector<CumulativeSubgroup>& subgroups);
void FiguresFrom(const std::vector<RecordedCumulative>& recorded, AssessmentGroup& group,
                 std::vector<CumulativeSubgroup>& subgroups);

// Reads and checks the request's group, then computes and writes. Every
// problem is found before anything is written.
CumulativeOutcome RunCumulative(const ModOrmid& started, Platform& p, const CumulativeRequest& r);

}  // namespace ormid
