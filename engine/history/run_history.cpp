#include "history/run_history.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <system_error>
#include <thread>

#include "history/sqlite.h"

namespace ormid {

namespace fs = std::filesystem;
using sql::Database;
using sql::SqliteError;
using sql::Statement;

namespace {

// Migrations: step k brings a history of schema version k to version k + 1.
// A new schema adds a step; files of older programs are brought forward on
// their first recording.
const char* const kMigrations[] = {
    // 0 -> 1: runs with their manifests, long-term rows, commodity subgroups
    // with their packed rows, and the descriptions the packed rows refer to.
    R"sql(
CREATE TABLE runs (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  date TEXT NOT NULL,
  command TEXT NOT NULL,
  chemical TEXT NOT NULL,
  residue_file TEXT NOT NULL,
  endpoint TEXT NOT NULL,
  worst_subgroup TEXT,
  worst_figure TEXT,
  worst_value REAL,
  manifest TEXT NOT NULL
);
CREATE INDEX runs_by_chemical ON runs (chemical COLLATE NOCASE);
CREATE TABLE longterm_rows (
  run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
  row INTEGER NOT NULL,
  subgroup TEXT NOT NULL,
  consumption_column INTEGER NOT NULL,
  exposure_mg_per_kg_bw_day REAL NOT NULL,
  reference_dose_kind TEXT,
  reference_dose_mg_per_kg_bw_day REAL,
  percent_of_reference_dose REAL,
  percent_of_noel REAL,
  margin_of_exposure REAL,
  lifetime_cancer_risk REAL,
  PRIMARY KEY (run_id, row)
) WITHOUT ROWID;
CREATE TABLE commodity_subgroups (
  run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  row INTEGER NOT NULL,
  subgroup TEXT NOT NULL,
  exposure_mg_per_kg_bw_day REAL,
  reference_dose_kind TEXT,
  reference_dose_mg_per_kg_bw_day REAL,
  percent_of_reference_dose REAL,
  percent_of_noel REAL,
  margin_of_exposure REAL,
  lifetime_cancer_risk REAL,
  packed_rows BLOB NOT NULL,
  PRIMARY KEY (run_id, seq)
) WITHOUT ROWID;
CREATE TABLE commodity_items (
  run_id INTEGER PRIMARY KEY REFERENCES runs (id) ON DELETE CASCADE,
  packed_items BLOB NOT NULL
);
)sql",
    // 1 -> 2: a run deleted takes its rows with it, also where foreign keys
    // are off (the sqlite3 shell's default).
    R"sql(
CREATE TRIGGER runs_delete_rows AFTER DELETE ON runs BEGIN
  DELETE FROM longterm_rows WHERE run_id = old.id;
  DELETE FROM commodity_subgroups WHERE run_id = old.id;
  DELETE FROM commodity_items WHERE run_id = old.id;
END;
)sql",
    // 2 -> 3: packed items may carry their crop group's code (presence bit
    // 8), which a program of schema 2 could not read; the tables stay.
    "",
    // 3 -> 4: cumulative runs, each subgroup's cumulative figures and its
    // chemicals' figures; a run deleted takes them with it.
    R"sql(
CREATE TABLE IF NOT EXISTS cumulative_subgroups (
  run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
  row INTEGER NOT NULL,
  subgroup TEXT NOT NULL,
  index_equivalent_mg_per_kg_bw_day REAL NOT NULL,
  percent_of_index_pad REAL NOT NULL,
  moet REAL,
  hazard_index REAL,
  PRIMARY KEY (run_id, row)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS cumulative_chemicals (
  run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
  row INTEGER NOT NULL,
  seq INTEGER NOT NULL,
  chemical TEXT NOT NULL,
  rpf REAL NOT NULL,
  exposure_mg_per_kg_bw_day REAL NOT NULL,
  index_equivalent_mg_per_kg_bw_day REAL NOT NULL,
  share_percent REAL,
  PRIMARY KEY (run_id, row, seq)
) WITHOUT ROWID;
DROP TRIGGER IF EXISTS runs_delete_rows;
CREATE TRIGGER runs_delete_rows AFTER DELETE ON runs BEGIN
  DELETE FROM longterm_rows WHERE run_id = old.id;
  DELETE FROM commodity_subgroups WHERE run_id = old.id;
  DELETE FROM commodity_items WHERE run_id = old.id;
  DELETE FROM cumulative_subgroups WHERE run_id = old.id;
  DELETE FROM cumulative_chemicals WHERE run_id = old.id;
END;
)sql",
};
static_assert(std::size(kMigrations) == kHistorySchemaVersion);

struct NewerSchema {
  long long version;
};

const char* ReferenceText(ReferenceKind k) {
  return k == ReferenceKind::RfD ? "RfD" : k == ReferenceKind::PAD ? "PAD" : nullptr;
}

ReferenceKind ReferenceFrom(const std::string& text) {
  return text == "RfD"   ? ReferenceKind::RfD
         : text == "PAD" ? ReferenceKind::PAD
                         : ReferenceKind::None;
}

FigureKind FigureFrom(const std::string& text) {
  for (FigureKind k : {FigureKind::PercentCpad, FigureKind::PercentRfD, FigureKind::PercentPAD,
                       FigureKind::PercentNoel, FigureKind::MarginOfExposure, FigureKind::Risk})
    if (text == FigureName(k)) return k;
  return FigureKind::None;
}

void BindFigures(Statement& s, int at, const RecordedFigures& f) {
  if (const char* kind = ReferenceText(f.reference))
    s.Bind(at, std::string_view(kind));
  else
    s.BindNull(at);
  s.Bind(at + 1, f.referenceDose)
      .Bind(at + 2, f.percentReference)
      .Bind(at + 3, f.percentNoel)
      .Bind(at + 4, f.marginOfExposure)
      .Bind(at + 5, f.lifetimeRisk);
}

RecordedFigures FiguresFrom(const Statement& s, int at) {
  RecordedFigures f;
  f.reference = ReferenceFrom(s.Text(at));
  f.referenceDose = s.Float(at + 1);
  f.percentReference = s.Float(at + 2);
  f.percentNoel = s.Float(at + 3);
  f.marginOfExposure = s.Float(at + 4);
  f.lifetimeRisk = s.Float(at + 5);
  return f;
}

std::string Text(const nlohmann::json& j, const char* a, const char* b) {
  auto outer = j.find(a);
  if (outer == j.end() || !outer->is_object()) return "";
  auto inner = outer->find(b);
  return inner != outer->end() && inner->is_string() ? inner->get<std::string>() : "";
}

// Brings the file to the current schema; throws NewerSchema for a file of a
// newer program.
void Migrate(Database& db) {
  long long version = db.Integer("PRAGMA user_version");
  if (version > kHistorySchemaVersion) throw NewerSchema{version};
  if (version == kHistorySchemaVersion) return;
  sql::Transaction t(db);
  // Another program may have brought it forward while this one waited.
  version = db.Integer("PRAGMA user_version");
  if (version > kHistorySchemaVersion) throw NewerSchema{version};
  for (; version < kHistorySchemaVersion; ++version)
    db.Execute(kMigrations[static_cast<std::size_t>(version)]);
  db.Execute(("PRAGMA user_version = " + std::to_string(kHistorySchemaVersion)).c_str());
  t.Commit();
}

// Throws the damage SQLite's quick check finds in an existing file, as
// SQLITE_CORRUPT: figures from a damaged page are never shown, and nothing
// is added to a damaged file (a recording moves it aside).
void CheckIntact(Database& db) {
  Statement check(db, "PRAGMA quick_check(1)");
  const std::string result = check.Step() ? check.Text(0) : std::string("no answer");
  if (result != "ok") throw SqliteError{11, "quick check: " + result};
}

long long NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The seal beside the history, "FILE-checked": the file's size and time of
// last change as the program left it after a check or its own recording,
// and when the whole file was last checked. The program stamps the file's
// time itself, with nanoseconds drawn at random, when it seals: a write by
// any other program (a copy, an editor, the sqlite3 shell, a disk's
// repair) sets the time the system gives, which is not that one.
struct Seal {
  std::uintmax_t size = 0;
  long long changed = 0;  // nanoseconds of the file's time
  long long checkedAt = 0;
};

std::string SealPath(const std::string& path) {
  return path + "-checked";
}

std::optional<Seal> ReadSeal(const std::string& path) {
  std::ifstream in(SealPath(path), std::ios::binary);
  std::string tag;
  Seal s;
  if (!(in >> tag >> s.size >> s.changed >> s.checkedAt) || tag != "ormid-history-seal-1")
    return std::nullopt;
  return s;
}

// A write-ahead log with frames in it: a program has the file open, or one
// ended without closing it.
bool LogLeft(const std::string& path) {
  std::error_code ec;
  const auto size = fs::file_size(path + "-wal", ec);
  return !ec && size > 0;
}

void RemoveSeal(const std::string& path) {
  std::error_code ec;
  fs::remove(SealPath(path), ec);
}

// Seals the file as it is now, checked whole at `checkedAt`. Nothing when
// its log holds frames (another program has it open) or the seal cannot be
// written: the next use checks the whole file then.
void WriteSeal(const std::string& path, long long checkedAt) {
  std::error_code ec;
  if (LogLeft(path) || fs::is_symlink(fs::symlink_status(path, ec))) return RemoveSeal(path);
  static std::mt19937_64 random{std::random_device{}()};
  const auto stamp = fs::file_time_type::clock::now() -
                     std::chrono::nanoseconds(static_cast<long long>(random() % 999'999'937));
  fs::last_write_time(path, stamp, ec);
  if (ec) return RemoveSeal(path);
  const auto changed = fs::last_write_time(path, ec);
  const auto size = fs::file_size(path, ec);
  if (ec) return RemoveSeal(path);
  const std::string temp = SealPath(path) + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << "ormid-history-seal-1 " << size << " "
        << std::chrono::duration_cast<std::chrono::nanoseconds>(changed.time_since_epoch()).count()
        << " " << checkedAt << "\n";
    if (!out.flush()) {
      out.close();
      fs::remove(temp, ec);
      return RemoveSeal(path);
    }
  }
  fs::rename(temp, SealPath(path), ec);
  if (ec) {
    fs::remove(temp, ec);
    RemoveSeal(path);
  }
}

Database OpenHistory(const std::string& path, bool create, int busyMilliseconds) {
  // A history that is a symbolic link is not followed: to a missing file it
  // would make a database wherever the link points.
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(path, ec)))
    throw SqliteError{14, path + " is a symbolic link, which is not followed"};
  Database db(path, create);
  db.BusyTimeout(busyMilliseconds);
  // A new file gets large pages: a commodity run records megabytes of packed
  // figures, which SQLite reads and writes a page per call. (A page size is
  // fixed once the file has its first table; an older file keeps its own.)
  db.Execute("PRAGMA page_size = 32768");
  // Write-ahead logging: readers never wait for the writer, and a recording
  // that does not reach its commit leaves no trace in the file.
  db.Execute("PRAGMA journal_mode = WAL");
  db.Execute("PRAGMA synchronous = NORMAL");
  db.Execute("PRAGMA foreign_keys = ON");
  return db;
}

}  // namespace

// An open history with the statements a recording runs, prepared once.
// The statements are finalized before the connection is closed.
struct HistoryWriter::Connection {
  Database db;
  std::optional<Statement> run, row, items, sub, cumulative, chemical;
  std::string path;
  long long checkedAt = 0;  // when the whole file was last checked
  bool intact = false;      // the last recording went in whole
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  // Closes the file and seals it when every recording went in; a file a
  // recording failed on is checked whole by the next program that opens it.
  ~Connection() {
    run.reset();
    row.reset();
    items.reset();
    sub.reset();
    cumulative.reset();
    chemical.reset();
    db.Close();
    if (path.empty()) return;
    if (intact)
      WriteSeal(path, checkedAt);
    else
      RemoveSeal(path);
  }
};

namespace {

std::unique_ptr<HistoryWriter::Connection> OpenForWriting(const RecordRequest& request,
                                                          int busyMilliseconds) {
  auto c = std::make_unique<HistoryWriter::Connection>();
  // Asked before the file is opened, which makes a log of its own.
  const long long now = NowSeconds();
  const bool check = HistoryNeedsCheck(request.path, now);
  c->db = OpenHistory(request.path, true, busyMilliseconds);
  c->path = request.path;
  if (check) {
    CheckIntact(c->db);
    c->checkedAt = now;
  } else {
    c->checkedAt = ReadSeal(request.path)->checkedAt;
  }
  Migrate(c->db);
  if (request.pageLimit)
    c->db.Execute(("PRAGMA max_page_count = " + std::to_string(*request.pageLimit)).c_str());
  c->run.emplace(c->db,
                 "INSERT INTO runs (date, command, chemical, residue_file, endpoint, "
                 "worst_subgroup, worst_figure, worst_value, manifest) "
                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
  c->row.emplace(c->db, "INSERT INTO longterm_rows VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  c->items.emplace(c->db, "INSERT INTO commodity_items VALUES (?, ?)");
  c->sub.emplace(c->db,
                 "INSERT INTO commodity_subgroups VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  c->cumulative.emplace(c->db, "INSERT INTO cumulative_subgroups VALUES (?, ?, ?, ?, ?, ?, ?)");
  c->chemical.emplace(c->db, "INSERT INTO cumulative_chemicals VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
  return c;
}

long long Insert(HistoryWriter::Connection& c, const nlohmann::json& manifest,
                 const HistoryRecorder& figures) {
  sql::Transaction t(c.db);
  Figure worst;
  const std::string worstSubgroup = figures.WorstSubgroup(worst);
  // A cumulative run is listed under its group file's name, its endpoint
  // the index chemical's PAD.
  const bool cumulative = Text(manifest, "run", "command") == "cumulative";
  const std::string residuePath =
      Text(manifest, cumulative ? "group_file" : "residue_file", "path");
  Statement& run = *c.run;
  run.Bind(1, Text(manifest, "run", "date"))
      .Bind(2, Text(manifest, "run", "command"))
      .Bind(3, cumulative ? fs::path(residuePath).stem().string()
                          : Text(manifest, "residue_file", "chemical"))
      .Bind(4, fs::path(residuePath).filename().string())
      .Bind(5, cumulative ? std::string("cPAD") : Text(manifest, "settings", "endpoint"));
  if (worst.kind == FigureKind::None) {
    run.BindNull(6).BindNull(7).BindNull(8);
  } else {
    run.Bind(6, worstSubgroup)
        .Bind(7, std::string_view(FigureName(worst.kind)))
        .BindDouble(8, worst.value);
  }
  run.Bind(9, manifest.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  run.Run();
  const long long id = c.db.LastInsertId();

  Statement& row = *c.row;
  for (const RecordedLongTerm& r : figures.LongTermRows()) {
    row.Bind(1, id).Bind(2, r.row).Bind(3, r.subgroup).Bind(4, r.column);
    row.BindDouble(5, r.exposure);
    BindFigures(row, 6, r.figures);
    row.Run();
  }
  if (!figures.Subgroups().empty()) {
    c.items->Bind(1, id).BindBlob(2, figures.Items()).Run();
    Statement& sub = *c.sub;
    long long seq = 0;
    for (const HistoryRecorder::Subgroup& s : figures.Subgroups()) {
      sub.Bind(1, id).Bind(2, ++seq).Bind(3, s.row).Bind(4, s.name);
      if (s.total) {
        sub.BindDouble(5, s.total->exposure);
        BindFigures(sub, 6, s.total->figures);
      }
      sub.BindBlob(12, s.rows);
      sub.Run();
    }
  }
  auto optional = [](Statement& s, int at, const std::optional<double>& v) {
    if (v)
      s.BindDouble(at, *v);
    else
      s.BindNull(at);
  };
  for (const RecordedCumulative& r : figures.CumulativeRows()) {
    Statement& cum = *c.cumulative;
    cum.Bind(1, id).Bind(2, r.row).Bind(3, r.subgroup);
    cum.BindDouble(4, r.indexEquivalent).BindDouble(5, r.percentCpad);
    optional(cum, 6, r.moet);
    optional(cum, 7, r.hazardIndex);
    cum.Run();
    long long seq = 0;
    for (const RecordedCumulative::Chemical& ch : r.chemicals) {
      Statement& chem = *c.chemical;
      chem.Bind(1, id).Bind(2, r.row).Bind(3, ++seq).Bind(4, ch.chemical);
      chem.BindDouble(5, ch.rpf).BindDouble(6, ch.exposure).BindDouble(7, ch.equivalent);
      optional(chem, 8, ch.share);
      chem.Run();
    }
  }
  t.Commit();
  return id;
}

std::string Reason(const SqliteError& e, int busyMilliseconds) {
  switch (e.code) {
    case 5:  // SQLITE_BUSY
    case 6:  // SQLITE_LOCKED
      return "the history file is in use by another program (waited " +
             std::to_string(busyMilliseconds / 1000.0).substr(0, 3) + " s)";
    case 13:  // SQLITE_FULL
      return "the disk is full (" + e.text + ")";
    case 8:  // SQLITE_READONLY
      return "the history file or its folder is read-only (" + e.text + ")";
    case 14:  // SQLITE_CANTOPEN
      return "the history file cannot be opened or created (" + e.text + ")";
    case 10:  // SQLITE_IOERR
      return "the history file cannot be written (" + e.text + ")";
  }
  return e.text;
}

bool IsBusy(const SqliteError& e) {
  return e.code == 5 /* SQLITE_BUSY */ || e.code == 6 /* SQLITE_LOCKED */;
}

// How long a recording that was answered "busy" at once waits before it
// tries again.
constexpr int kBusyRetryMilliseconds = 10;

bool IsDamage(const SqliteError& e) {
  return e.code == 11 /* SQLITE_CORRUPT */ || e.code == 26 /* SQLITE_NOTADB */;
}

// Moves a damaged file and its write-ahead log aside.
bool MoveAside(const std::string& path, const std::string& to, std::string& error) {
  std::error_code ec;
  fs::rename(path, to, ec);
  if (ec) {
    error = ec.message();
    return false;
  }
  RemoveSeal(path);
  for (const char* part : {"-wal", "-shm"}) {
    std::error_code ignored;
    if (fs::exists(path + part, ignored)) fs::rename(path + part, to + part, ignored);
  }
  return true;
}

}  // namespace

bool HistoryNeedsCheck(const std::string& path, long long now) {
  const std::optional<Seal> seal = ReadSeal(path);
  if (!seal || LogLeft(path)) return true;
  if (now - seal->checkedAt >= kHistoryCheckEverySeconds || now < seal->checkedAt) return true;
  std::error_code ec;
  const auto changed = fs::last_write_time(path, ec);
  const auto size = fs::file_size(path, ec);
  if (ec) return true;
  return size != seal->size ||
         std::chrono::duration_cast<std::chrono::nanoseconds>(changed.time_since_epoch()).count() !=
             seal->changed;
}

std::optional<HistoryCheck> CheckHistoryFile(const std::string& path, std::string& error) {
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    error = path + " does not exist: no run has been recorded in this folder";
    return std::nullopt;
  }
  try {
    HistoryCheck result;
    {
      Database db = OpenHistory(path, false, kHistoryBusyMilliseconds);
      Statement check(db, "PRAGMA integrity_check(1)");
      const std::string answer = check.Step() ? check.Text(0) : std::string("no answer");
      if (answer != "ok") throw SqliteError{11, "integrity check: " + answer};
      const long long version = db.Integer("PRAGMA user_version");
      result.schemaVersion = version;
      if (version >= 1 && version <= kHistorySchemaVersion)
        result.runs = db.Integer("SELECT COUNT(*) FROM runs");
    }
    result.bytes = fs::file_size(path, ec);
    WriteSeal(path, NowSeconds());
    return result;
  } catch (const SqliteError& e) {
    // Whatever opens it next checks it whole, and a recording moves it aside.
    RemoveSeal(path);
    error = path + (IsDamage(e) ? " is damaged: " : " cannot be checked: ") + e.text;
    return std::nullopt;
  }
}

std::string DamagedNameFor(const std::string& path, const DateTime& now) {
  char date[32];
  std::snprintf(date, sizeof date, "%04d%02d%02dT%02d%02d%02d", now.year, now.month, now.day,
                now.hour, now.minute, now.second);
  std::string name = path + ".damaged-" + date;
  std::error_code ec;
  for (int n = 2; fs::exists(name, ec); ++n)
    name = path + ".damaged-" + date + "-" + std::to_string(n);
  return name;
}

RecordOutcome RecordRun(const RecordRequest& request, const nlohmann::json& manifest,
                        const HistoryRecorder& figures) {
  return HistoryWriter(request).Record(manifest, figures);
}

HistoryWriter::HistoryWriter(RecordRequest request) : request_(std::move(request)) {}

HistoryWriter::~HistoryWriter() = default;

RecordOutcome HistoryWriter::Record(const nlohmann::json& manifest,
                                    const HistoryRecorder& figures) {
  RecordOutcome outcome;
  // SQLite answers "busy" at once, without waiting, where waiting could
  // deadlock: two programs turning a new file to write-ahead logging at the
  // same moment, or one finding the log being recovered. Such a recording
  // is tried again until the busy timeout has passed in all.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(request_.busyMilliseconds);
  for (int attempt = 0; attempt < 2;) {
    const auto left = std::max<int>(
        0, static_cast<int>(
               std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                   .count()));
    try {
      if (open_)
        open_->db.BusyTimeout(left);
      else
        open_ = OpenForWriting(request_, left);
      open_->intact = false;
      outcome.id = Insert(*open_, manifest, figures);
      open_->intact = true;
      outcome.recorded = true;
      return outcome;
    } catch (const NewerSchema& e) {
      open_.reset();
      outcome.problem = request_.path + " was written by a newer program (schema version " +
                        std::to_string(e.version) + "); it is left as it is";
      return outcome;
    } catch (const SqliteError& e) {
      // The next try starts from a new connection.
      open_.reset();
      if (IsBusy(e) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kBusyRetryMilliseconds));
        continue;
      }
      if (!IsDamage(e) || attempt++ > 0) {
        outcome.problem = Reason(e, request_.busyMilliseconds);
        return outcome;
      }
      const std::string aside = DamagedNameFor(request_.path, request_.now);
      std::string error;
      if (!MoveAside(request_.path, aside, error)) {
        outcome.problem =
            "the history file is damaged (" + e.text + ") and could not be moved aside: " + error;
        return outcome;
      }
      outcome.note = "The run history " + request_.path + " was damaged (" + e.text +
                     "). It was moved aside to " + aside + " and a new run history started.";
    }
  }
  return outcome;
}

void RecordFinishedRun(Platform& p, const nlohmann::json& manifest, const HistoryRecorder& figures,
                       int busyMilliseconds) {
  RecordRequest request;
  request.busyMilliseconds = busyMilliseconds;
  request.now = p.Now();
  RecordOutcome outcome = HistoryWriter(request).Record(manifest, figures);
  if (!outcome.note.empty())
    p.MessageBox(outcome.note, "Run History", MsgIcon::Information, MsgButtons::OK);
  if (!outcome.recorded)
    p.MessageBox("Run history not recorded: " + outcome.problem + ".", "Run History",
                 MsgIcon::Exclamation, MsgButtons::OK);
}

namespace {

// Opens an existing history for reading; nullopt with an empty error when
// there is none yet.
std::optional<Database> OpenForReading(const std::string& path, std::string& error) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return std::nullopt;
  const bool check = HistoryNeedsCheck(path, NowSeconds());
  Database db = OpenHistory(path, false, kHistoryBusyMilliseconds);
  long long version = db.Integer("PRAGMA user_version");
  if (check) CheckIntact(db);
  if (version > kHistorySchemaVersion) {
    error =
        path + " was written by a newer program (schema version " + std::to_string(version) + ")";
    return std::nullopt;
  }
  if (version < 1) return std::nullopt;  // no run recorded yet
  // A file of an earlier schema reads as it is: its tables are the same;
  // the next recording brings it forward.
  return db;
}

RunSummary SummaryFrom(const Statement& s) {
  RunSummary r;
  r.id = s.Int(0);
  r.date = s.Text(1);
  r.command = s.Text(2);
  r.chemical = s.Text(3);
  r.residueFile = s.Text(4);
  r.endpoint = s.Text(5);
  r.worstSubgroup = s.Text(6);
  r.worst.kind = FigureFrom(s.Text(7));
  r.worst.value = s.Float(8).value_or(0);
  return r;
}

constexpr const char* kSummaryColumns =
    "id, date, command, chemical, residue_file, endpoint, worst_subgroup, worst_figure, "
    "worst_value";

}  // namespace

std::optional<std::vector<RunSummary>> ListRuns(const std::string& path, const ListFilter& filter,
                                                std::string& error) {
  std::vector<RunSummary> runs;
  try {
    auto db = OpenForReading(path, error);
    if (!db) return error.empty() ? std::optional(runs) : std::nullopt;
    std::string query = std::string("SELECT ") + kSummaryColumns + " FROM runs";
    if (filter.chemical) query += " WHERE chemical = ? COLLATE NOCASE";
    query += " ORDER BY id DESC";
    if (filter.limit) query += " LIMIT " + std::to_string(*filter.limit);
    Statement s(*db, query.c_str());
    if (filter.chemical) s.Bind(1, *filter.chemical);
    while (s.Step()) runs.push_back(SummaryFrom(s));
  } catch (const SqliteError& e) {
    error = path + (IsDamage(e) ? " is damaged: " : " cannot be read: ") + e.text;
    return std::nullopt;
  }
  std::reverse(runs.begin(), runs.end());
  return runs;
}

std::optional<RecordedRun> LoadRun(const std::string& path, long long id, std::string& error,
                                   bool totalsOnly) {
  RecordedRun run;
  try {
    auto db = OpenForReading(path, error);
    if (!db) {
      if (error.empty()) error = "Run " + std::to_string(id) + " is not in the run history";
      return std::nullopt;
    }
    Statement s(
        *db,
        (std::string("SELECT ") + kSummaryColumns + ", manifest FROM runs WHERE id = ?").c_str());
    s.Bind(1, id);
    if (!s.Step()) {
      error = "Run " + std::to_string(id) + " is not in the run history";
      return std::nullopt;
    }
    run.summary = SummaryFrom(s);
    run.manifest = nlohmann::json::parse(s.Text(9), nullptr, false);
    if (run.manifest.is_discarded()) {
      error = "The manifest of run " + std::to_string(id) + " is damaged";
      return std::nullopt;
    }
    Statement lt(*db, "SELECT * FROM longterm_rows WHERE run_id = ? ORDER BY row");
    lt.Bind(1, id);
    while (lt.Step()) {
      RecordedLongTerm r;
      r.row = static_cast<int>(lt.Int(1));
      r.subgroup = lt.Text(2);
      r.column = static_cast<int>(lt.Int(3));
      r.exposure = lt.Float(4).value_or(0);
      r.figures = FiguresFrom(lt, 5);
      run.longTerm.push_back(std::move(r));
    }
    Statement it(*db, "SELECT packed_items FROM commodity_items WHERE run_id = ?");
    it.Bind(1, id);
    std::vector<RecordedContribution> items;
    if (it.Step() && !UnpackItems(it.Blob(0), items)) {
      error = "The figures of run " + std::to_string(id) + " are damaged";
      return std::nullopt;
    }
    Statement sub(*db,
                  "SELECT row, subgroup, packed_rows FROM commodity_subgroups WHERE run_id = ? "
                  "ORDER BY seq");
    sub.Bind(1, id);
    UnpackState state;
    while (sub.Step())
      if (!UnpackRows(items, static_cast<int>(sub.Int(0)), sub.Text(1), sub.Blob(2), state,
                      run.commodity, totalsOnly)) {
        error = "The figures of run " + std::to_string(id) + " are damaged";
        return std::nullopt;
      }
    // Only a history of schema 4 or later holds cumulative runs.
    if (run.summary.command == "cumulative") {
      Statement cum(*db,
                    "SELECT row, subgroup, index_equivalent_mg_per_kg_bw_day, "
                    "percent_of_index_pad, moet, hazard_index FROM cumulative_subgroups "
                    "WHERE run_id = ? ORDER BY row");
      cum.Bind(1, id);
      auto optional = [](const Statement& s, int at) {
        return s.IsNull(at) ? std::nullopt : std::optional<double>(s.Double(at));
      };
      while (cum.Step()) {
        RecordedCumulative r;
        r.row = static_cast<int>(cum.Int(0));
        r.subgroup = cum.Text(1);
        r.indexEquivalent = cum.Double(2);
        r.percentCpad = cum.Double(3);
        r.moet = optional(cum, 4);
        r.hazardIndex = optional(cum, 5);
        run.cumulative.push_back(std::move(r));
      }
      Statement chem(*db,
                     "SELECT row, chemical, rpf, exposure_mg_per_kg_bw_day, "
                     "index_equivalent_mg_per_kg_bw_day, share_percent FROM cumulative_chemicals "
                     "WHERE run_id = ? ORDER BY row, seq");
      chem.Bind(1, id);
      while (chem.Step()) {
        const auto row = static_cast<int>(chem.Int(0));
        auto at = std::find_if(run.cumulative.begin(), run.cumulative.end(),
                               [&](const RecordedCumulative& r) { return r.row == row; });
        if (at == run.cumulative.end()) {
          error = "The figures of run " + std::to_string(id) + " are damaged";
          return std::nullopt;
        }
        at->chemicals.push_back({chem.Text(1), chem.Double(2), static_cast<float>(chem.Double(3)),
                                 chem.Double(4), optional(chem, 5)});
      }
      // Every subgroup lists the same chemicals: a file that says otherwise
      // is damaged (its figures are never shown or exported).
      for (const RecordedCumulative& r : run.cumulative) {
        bool same = r.chemicals.size() == run.cumulative.front().chemicals.size();
        for (std::size_t j = 0; same && j < r.chemicals.size(); ++j)
          same = r.chemicals[j].chemical == run.cumulative.front().chemicals[j].chemical;
        if (!same) {
          error = "The figures of run " + std::to_string(id) + " are damaged";
          return std::nullopt;
        }
      }
    }
  } catch (const SqliteError& e) {
    error = path + (IsDamage(e) ? " is damaged: " : " cannot be read: ") + e.text;
    return std::nullopt;
  }
  return run;
}

}  // namespace ormid
