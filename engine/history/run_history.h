// The run history: every finished long-term and commodity run, with its
// manifest and its figures, in one SQLite file in the working folder
// ("ormid-history.sqlite"). Recording takes one transaction: a run is in the
// history whole or not at all.
#pragma once

#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/platform.h"
#include "history/recorded_run.h"

namespace ormid {

inline constexpr const char* kHistoryFile = "ormid-history.sqlite";
// The schema this program writes; files of a newer one are left alone.
// 5: commodity runs stored compactly (commodity_store.h), views for other
// tools, each run's checksums, the log of whole checks.
inline constexpr int kHistorySchemaVersion = 5;
// How long a recording waits for another program that holds the file.
inline constexpr int kHistoryBusyMilliseconds = 5000;

// How a recording went. A recording that failed leaves the history as it
// was; `problem` says why ("the history file is in use by another program").
// `note` tells of a damaged file moved aside and a new history started.
struct RecordOutcome {
  bool recorded = false;
  long long id = 0;
  std::string problem;
  std::string note;
};

struct RecordRequest {
  std::string path = kHistoryFile;
  int busyMilliseconds = kHistoryBusyMilliseconds;
  // The date put into the name of a damaged file moved aside.
  DateTime now;
  // A disk that holds no more than this many pages of the file (faults put
  // in on purpose).
  std::optional<long long> pageLimit;
};

// Records a finished run: its manifest (with its outputs) and the figures
// the recorder gathered. A damaged file (not a database, one whose pages
// are broken, or one of a schema version Ormid never wrote) is moved aside
// to "FILE.damaged-DATE" and a new history started; a file of a newer
// schema is not written. The whole file is checked at the first recording
// of each day (by `now`) and after a program left it without closing it.
RecordOutcome RecordRun(const RecordRequest& request, const nlohmann::json& manifest,
                        const HistoryRecorder& figures);

// Records run after run (a batch's scenarios) through one connection kept
// open: the file is opened and brought to the current schema once, the
// statements prepared once, and each run is one transaction of its own. A
// recording that fails closes the connection; the next one opens it again.
// One thread at a time.
class HistoryWriter {
 public:
  explicit HistoryWriter(RecordRequest request);
  ~HistoryWriter();
  HistoryWriter(const HistoryWriter&) = delete;
  HistoryWriter& operator=(const HistoryWriter&) = delete;

  RecordOutcome Record(const nlohmann::json& manifest, const HistoryRecorder& figures);

  struct Connection;  // the open file and its prepared statements

 private:
  RecordRequest request_;
  std::unique_ptr<Connection> open_;
};

// Records a finished run in the working folder's history and tells the
// user, through the platform's message boxes, when it could not ("Run
// history not recorded: ...") or when a damaged file was moved aside. The
// run itself stands either way.
class Platform;
void RecordFinishedRun(Platform& p, const nlohmann::json& manifest, const HistoryRecorder& figures,
                       int busyMilliseconds = kHistoryBusyMilliseconds);

// Reading the history. Each call opens the file for itself; a missing file
// is an empty history. Failures come back in `error`.
struct ListFilter {
  std::optional<int> limit;             // the newest N runs
  std::optional<std::string> chemical;  // exact name, ignoring case
};
std::optional<std::vector<RunSummary>> ListRuns(const std::string& path, const ListFilter& filter,
                                                std::string& error);
// A run with its manifest and figures; nullopt with error when there is no
// such run or the history cannot be read.
// With totalsOnly, a commodity run's foods and food forms are left out
// (its subgroup totals and crop group subtotals are all a comparison needs).
std::optional<RecordedRun> LoadRun(const std::string& path, long long id, std::string& error,
                                   bool totalsOnly = false);

// The whole file checked (`ormid-cli history check`): every page, and
// every run against its checksums. nullopt with error when the file cannot
// be read at all (or is a newer program's); a missing file is an empty
// history. A file found whole is noted as checked on `now`'s day, which
// spares the day's first recording its own whole check.
struct HistoryCheck {
  long long runs = 0, bytes = 0;
  std::string damage;  // "" when none was found
};
std::optional<HistoryCheck> CheckHistory(const std::string& path, const DateTime& now,
                                         std::string& error);

// The name a damaged history is moved aside to.
std::string DamagedNameFor(const std::string& path, const DateTime& now);

}  // namespace ormid
