// The run history: every finished long-term and commodity run, with its
// manifest and its figures, in one SQLite file in the working folder
// ("ormid-history.sqlite"). Recording takes one transaction: a run is in the
// history whole or not at all.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/platform.h"
#include "history/recorded_run.h"

namespace ormid {

inline constexpr const char* kHistoryFile = "ormid-history.sqlite";
// The schema this program writes; files of a newer one are left alone.
inline constexpr int kHistorySchemaVersion = 4;
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
// the recorder gathered. A damaged file (not a database, or one whose pages
// are broken) is moved aside to "FILE.damaged-DATE" and a new history
// started; a file of a newer schema is not written.
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

// The whole file is checked (SQLite's quick check) before it is read or a
// run added when it may have changed since this program last left it: it
// has no seal ("FILE-checked", written when a check passed or a recording
// went in whole and the file was closed), its size or time differ from the
// seal's (another program wrote it), its write-ahead log holds frames (a
// program has it open or ended without closing it), or its last check is a
// week old or more (kHistoryCheckEverySeconds). `now` in seconds since
// 1970.
inline constexpr long long kHistoryCheckEverySeconds = 7 * 24 * 3600;
bool HistoryNeedsCheck(const std::string& path, long long now);

// `ormid-cli history check`: SQLite's integrity check of the whole file;
// the file is sealed when it passes. nullopt with error ("... is damaged:
// integrity check: ...") otherwise.
struct HistoryCheck {
  long long runs = 0;
  long long schemaVersion = 0;
  std::uintmax_t bytes = 0;
};
std::optional<HistoryCheck> CheckHistoryFile(const std::string& path, std::string& error);

// The name a damaged history is moved aside to.
std::string DamagedNameFor(const std::string& path, const DateTime& now);

}  // namespace ormid
