#include "history/run_history.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>
#include <thread>

#include "history/commodity_store.h"
#include "history/history_schema.h"
#include "history/sqlite.h"
#include "manifest/run_manifest.h"

namespace ormid {

namespace fs = std::filesystem;
using history::NewerSchema;
using nlohmann::json;
using sql::Database;
using sql::SqliteError;
using sql::Statement;

namespace {

constexpr int kCorrupt = 11;  // SQLITE_CORRUPT
// SQLite's storage classes.
constexpr int kInteger = 1, kFloat = 2, kText = 3, kBlob = 4, kNull = 5;

// A run that this program cannot put into the history as it is (not a
// fault of the file).
struct NotRecordable {
  std::string problem;
};

std::string Text(const nlohmann::json& j, const char* a, const char* b) {
  auto outer = j.find(a);
  if (outer == j.end() || !outer->is_object()) return "";
  auto inner = outer->find(b);
  return inner != outer->end() && inner->is_string() ? inner->get<std::string>() : "";
}

// Whether a write-ahead log lies beside the history before it is opened:
// the last program that had it did not close it (it ended without
// closing, or has it open still).
bool LogLeftBeside(const std::string& path) {
  std::error_code ec;
  return fs::exists(path + "-wal", ec);
}

Database OpenHistory(const std::string& path, bool create, int busyMilliseconds) {
  // A history that is a symbolic link is not followed: to a missing file it
  // would make a database wherever the link points.
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(path, ec)))
    throw SqliteError{14, path + " is a symbolic link, which is not followed"};
  Database db(path, create);
  db.BusyTimeout(busyMilliseconds);
  // A new file gets large pages: a commodity run records hundreds of
  // kilobytes of figures, which SQLite reads and writes a page per call. (A
  // page size is fixed once the file has its first table; an older file
  // keeps its own.)
  db.Execute("PRAGMA page_size = 4096");
  // Write-ahead logging: readers never wait for the writer, and a recording
  // that does not reach its commit leaves no trace in the file.
  db.Execute("PRAGMA journal_mode = WAL");
  db.Execute("PRAGMA synchronous = NORMAL");
  db.Execute("PRAGMA foreign_keys = ON");
  // Every page read is checked for the sizes of its cells as well: a page a
  // disk or a partial copy spoiled is found when it is read.
  db.Execute("PRAGMA cell_size_check = ON");
  return db;
}

std::string DateText(const DateTime& d) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
  return text;
}

bool Finite(const std::optional<float>& v) {
  return !v || std::isfinite(*v);
}

bool Finite(const RecordedFigures& f) {
  return Finite(f.referenceDose) && Finite(f.percentReference) && Finite(f.percentNoel) &&
         Finite(f.marginOfExposure) && Finite(f.lifetimeRisk);
}

bool Finite(const history::StoredRow& r) {
  return std::isfinite(r.exposure) && Finite(r.sharePercent) && Finite(r.figures);
}

// Whether every figure of the run is a number: the history keeps only
// figures it can give back as such.
bool Finite(const HistoryRecorder& figures, const history::StoredCommodity& commodity) {
  for (const RecordedLongTerm& r : figures.LongTermRows())
    if (!std::isfinite(r.exposure) || !Finite(r.figures)) return false;
  for (const RecordedCumulative& r : figures.CumulativeRows()) {
    if (!std::isfinite(r.indexEquivalent) || !std::isfinite(r.percentCpad) ||
        !std::isfinite(r.moet.value_or(0)) || !std::isfinite(r.hazardIndex.value_or(0)) ||
        !std::isfinite(r.margin.value_or(0)) || !std::isfinite(r.targetMargin.value_or(0)))
      return false;
    for (const RecordedCumulative::Chemical& c : r.chemicals)
      if (!std::isfinite(c.rpf) || !std::isfinite(c.exposure) || !std::isfinite(c.equivalent) ||
          !std::isfinite(c.share.value_or(0)))
        return false;
  }
  for (const RecordedContribution& i : commodity.items)
    if (!Finite(i.residue) || !Finite(i.adj1) || !Finite(i.adj2)) return false;
  for (const auto& g : commodity.subgroups)
    for (const auto& [place, r] : g.totals)
      if (!Finite(r)) return false;
  return true;
}

}  // namespace

// An open history with the statements a recording runs, prepared once.
// The statements are finalized before the connection is closed.
struct HistoryWriter::Connection {
  Database db;
  std::optional<Statement> run, row, cumulative, chemical, check;
  std::optional<history::CommodityWriter> commodity;
  // The whole file was checked when it was opened: the first recording
  // notes it in history_checks.
  std::string checked;
};

namespace {

// Whether the file is due for a whole check: none recorded today yet.
bool CheckDue(Database& db, long long version, const std::string& today) {
  if (version < kHistorySchemaVersion) return true;
  Statement s(db, "SELECT count(*) FROM history_checks WHERE date = ?");
  s.Bind(1, today);
  return !s.Step() || s.Int(0) == 0;
}

std::unique_ptr<HistoryWriter::Connection> OpenForWriting(const RecordRequest& request,
                                                          int busyMilliseconds) {
  auto c = std::make_unique<HistoryWriter::Connection>();
  const bool unclean = LogLeftBeside(request.path);
  c->db = OpenHistory(request.path, true, busyMilliseconds);
  const long long version = history::SchemaVersion(c->db);
  if (version > kHistorySchemaVersion) throw NewerSchema{version};
  // The whole file is checked after an unclean close, before an older file
  // is brought forward, and at the first recording of each day; any other
  // recording relies on the pages it reads being checked as they are read.
  const std::string today = DateText(request.now);
  if (unclean || CheckDue(c->db, version, today)) {
    if (std::string problem = history::WholeFileProblem(c->db, version); !problem.empty())
      throw SqliteError{kCorrupt, problem};
    c->checked = today;
  }
  history::Migrate(c->db);
  if (request.pageLimit)
    c->db.Execute(("PRAGMA max_page_count = " + std::to_string(*request.pageLimit)).c_str());
  c->run.emplace(c->db,
                 "INSERT INTO runs (date, command, chemical, residue_file, endpoint, "
                 "worst_subgroup, worst_figure, worst_value, manifest) "
                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
  c->row.emplace(c->db, "INSERT INTO longterm_rows VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  c->cumulative.emplace(c->db,
                        "INSERT INTO cumulative_subgroups VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
  c->chemical.emplace(c->db, "INSERT INTO cumulative_chemicals VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
  c->check.emplace(c->db, "INSERT INTO history_checks (date, result) VALUES (?, 'no damage')");
  c->commodity.emplace(c->db);
  return c;
}

void BindOptional(Statement& s, int at, const std::optional<double>& v) {
  if (v)
    s.BindDouble(at, *v);
  else
    s.BindNull(at);
}

long long Insert(HistoryWriter::Connection& c, const nlohmann::json& manifest,
                 const HistoryRecorder& figures) {
  history::StoredCommodity commodity;
  if (!figures.Subgroups().empty()) {
    std::vector<history::PackedSubgroup> packed;
    for (const HistoryRecorder::Subgroup& s : figures.Subgroups())
      packed.push_back({s.row, s.name, s.rows});
    if (!history::StoreCommodity(figures.Items(), packed, commodity))
      throw NotRecordable{"the run's commodity rows could not be read back"};
  }
  if (!Finite(figures, commodity))
    throw NotRecordable{"the run's figures are not all numbers (one is infinite or not a number)"};
  // Every id up to the largest SQLite has given out: AUTOINCREMENT gives no
  // other, and would say the disk is full.
  if (c.db.Integer("SELECT max(coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'runs'), "
                   "0), coalesce((SELECT max(id) FROM runs), 0))") ==
      std::numeric_limits<long long>::max())
    throw NotRecordable{"the history has given out the largest run id there is (" +
                        std::to_string(std::numeric_limits<long long>::max()) +
                        "), so it takes no more runs; move " + std::string(kHistoryFile) +
                        " aside and the next run starts a new one"};

  sql::Transaction t(c.db);
  Figure worst;
  const std::string worstSubgroup = figures.WorstSubgroup(worst);
  // A cumulative run is listed under its group file's name, its endpoint
  // the index chemical's PAD; a residue build under the chemical it was
  // given and the (first) residue file it wrote.
  const std::string command = Text(manifest, "run", "command");
  const bool cumulative = command == "cumulative";
  const bool aggregate = command == "aggregate";
  std::string residuePath = Text(manifest, cumulative ? "group_file" : "residue_file", "path");
  std::string chemical = cumulative ? fs::path(residuePath).stem().string()
                                    : Text(manifest, "residue_file", "chemical");
  if (command == "residue-build") {
    chemical = Text(manifest, "settings", "chemical");
    if (const auto o = manifest.find("outputs"); o != manifest.end() && o->is_array())
      for (const nlohmann::json& output : *o)
        if (output.is_object() && output.contains("role") && output["role"] == "residue file" &&
            output.contains("path") && output["path"].is_string()) {
          residuePath = output["path"].get<std::string>();
          break;
        }
  }
  Statement& run = *c.run;
  run.Bind(1, Text(manifest, "run", "date"))
      .Bind(2, command)
      .Bind(3, chemical)
      .Bind(4, fs::path(residuePath).filename().string())
      .Bind(5, cumulative  ? std::string("cPAD")
               : aggregate ? std::string("ARI")
                           : Text(manifest, "settings", "endpoint"));
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
    history::BindFigures(row, 6, r.figures);
    row.Run();
  }
  c.commodity->Write(id, commodity);
  for (const RecordedCumulative& r : figures.CumulativeRows()) {
    Statement& cum = *c.cumulative;
    cum.Bind(1, id).Bind(2, r.row).Bind(3, r.subgroup);
    cum.BindDouble(4, r.indexEquivalent).BindDouble(5, r.percentCpad);
    BindOptional(cum, 6, r.moet);
    BindOptional(cum, 7, r.hazardIndex);
    BindOptional(cum, 8, r.margin);
    BindOptional(cum, 9, r.targetMargin);
    cum.Run();
    long long seq = 0;
    for (const RecordedCumulative::Chemical& ch : r.chemicals) {
      Statement& chem = *c.chemical;
      chem.Bind(1, id).Bind(2, r.row).Bind(3, ++seq).Bind(4, ch.chemical);
      chem.BindDouble(5, ch.rpf).BindDouble(6, ch.exposure).BindDouble(7, ch.equivalent);
      BindOptional(chem, 8, ch.share);
      if (ch.podSource.empty())
        chem.BindNull(9);
      else
        chem.Bind(9, ch.podSource);
      chem.Run();
    }
  }
  // An aggregate run's figures, whole, as one JSON text.
  if (aggregate && !figures.AggregateFigures().is_null()) {
    json subgroups = json::array();
    for (const RecordedAggregate& a : figures.AggregateSubgroups())
      subgroups.push_back({{"row", a.row},
                           {"subgroup", a.subgroup},
                           {"total_dose_mg_per_kg_bw_day", a.totalDose},
                           {"percent_of_limit", a.percentOfLimit}});
    Statement agg(c.db, "INSERT INTO aggregate_runs VALUES (?, ?)");
    agg.Bind(1, id).Bind(
        2, json{{"subgroups", std::move(subgroups)}, {"figures", figures.AggregateFigures()}}.dump(
               -1, ' ', false, json::error_handler_t::replace));
    agg.Run();
  }
  if (!c.checked.empty()) c.check->Bind(1, c.checked).Run();
  history::SealRun(c.db, id);
  t.Commit();
  c.checked.clear();
  return id;
}

std::string Reason(const SqliteError& e, int busyMilliseconds) {
  // A full disk may first fail the write-ahead log's index, which SQLite
  // reports as an I/O error.
  if (e.systemError == ENOSPC) return "the disk is full (" + e.text + ")";
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
  return e.code == kCorrupt || e.code == 26 /* SQLITE_NOTADB */;
}

// Moves a damaged file and its write-ahead log aside.
bool MoveAside(const std::string& path, const std::string& to, std::string& error) {
  std::error_code ec;
  fs::rename(path, to, ec);
  if (ec) {
    error = ec.message();
    return false;
  }
  for (const char* part : {"-wal", "-shm"}) {
    std::error_code ignored;
    if (fs::exists(path + part, ignored)) fs::rename(path + part, to + part, ignored);
  }
  return true;
}

}  // namespace

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
      outcome.id = Insert(*open_, manifest, figures);
      outcome.recorded = true;
      return outcome;
    } catch (const NotRecordable& e) {
      outcome.problem = e.problem;
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

struct OpenedHistory {
  Database db;
  long long version = 0;
};

// Opens an existing history for reading; nullopt with an empty error when
// there is none yet. A file left by a program that did not close it, and a
// file of an older schema (which has no checksums), are checked whole
// first.
std::optional<OpenedHistory> OpenForReading(const std::string& path, std::string& error) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return std::nullopt;
  const bool unclean = LogLeftBeside(path);
  OpenedHistory h{OpenHistory(path, false, kHistoryBusyMilliseconds), 0};
  h.version = history::SchemaVersion(h.db);
  if (h.version > kHistorySchemaVersion) {
    error =
        path + " was written by a newer program (schema version " + std::to_string(h.version) + ")";
    return std::nullopt;
  }
  if (h.version < 1) return std::nullopt;  // no run recorded yet
  if (unclean || h.version < kHistorySchemaVersion)
    if (std::string problem = history::WholeFileProblem(h.db, h.version); !problem.empty())
      throw SqliteError{kCorrupt, problem};
  // A file of an earlier schema reads as it is; the next recording brings
  // it forward.
  return h;
}

// Reads a row's columns, noting any that does not hold what the schema
// says: a figure that is a text, a blob, infinite or no single-precision
// value; a number out of its range. What a run gives back is only ever
// figures.
class Cells {
 public:
  explicit Cells(const Statement& s) : s_(s) {}
  bool ok = true;

  // (A column's storage class is asked first: reading a value as another
  // class converts it.)
  long long Whole(int c, long long low, long long high) {
    const bool integer = s_.Type(c) == kInteger;
    const long long v = s_.Int(c);
    if (!integer || v < low || v > high) ok = false;
    return v;
  }
  int Int(int c) {
    return static_cast<int>(
        Whole(c, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
  }
  std::string Text(int c) {
    if (s_.Type(c) != kText) ok = false;
    return s_.Text(c);
  }
  std::string OptionalText(int c) { return s_.Type(c) == kNull ? std::string() : Text(c); }
  std::optional<double> Number(int c) {
    const int type = s_.Type(c);
    if (type == kNull) return std::nullopt;
    const double v = s_.Double(c);
    if (type != kFloat || !std::isfinite(v)) ok = false;
    return v;
  }
  double RequiredNumber(int c) {
    if (s_.Type(c) == kNull) ok = false;
    return Number(c).value_or(0);
  }
  std::optional<float> Figure(int c) {
    const std::optional<double> v = Number(c);
    if (!v) return std::nullopt;
    // A figure is a single-precision value widened.
    const auto f = static_cast<float>(*v);
    if (static_cast<double>(f) != *v) ok = false;
    return f;
  }
  float RequiredFigure(int c) {
    if (s_.Type(c) == kNull) ok = false;
    return Figure(c).value_or(0);
  }
  std::string_view Blob(int c) {
    if (s_.Type(c) != kBlob) ok = false;
    return s_.Blob(c);
  }
  ReferenceKind Reference(int c) {
    if (s_.Type(c) == kNull) return ReferenceKind::None;
    const std::string t = Text(c);
    if (t == "RfD") return ReferenceKind::RfD;
    if (t == "PAD") return ReferenceKind::PAD;
    ok = false;
    return ReferenceKind::None;
  }
  // The reference kind and dose and the four endpoint figures from `at` on.
  RecordedFigures Figures(int at) {
    RecordedFigures f;
    f.reference = Reference(at);
    f.referenceDose = Figure(at + 1);
    f.percentReference = Figure(at + 2);
    f.percentNoel = Figure(at + 3);
    f.marginOfExposure = Figure(at + 4);
    f.lifetimeRisk = Figure(at + 5);
    return f;
  }

 private:
  const Statement& s_;
};

// The listed columns (and, in a file of schema 5, the listed checksum).
constexpr const char* kSummaryColumns =
    "id, date, command, chemical, residue_file, endpoint, worst_subgroup, worst_figure, "
    "worst_value";

RunSummary SummaryFrom(const Statement& s, Cells& cells) {
  RunSummary r;
  r.id = cells.Whole(0, 1, std::numeric_limits<long long>::max());
  r.date = cells.Text(1);
  r.command = cells.Text(2);
  r.chemical = cells.Text(3);
  r.residueFile = cells.Text(4);
  r.endpoint = cells.Text(5);
  r.worstSubgroup = cells.OptionalText(6);
  if (s.Type(7) != kNull) {
    const std::string kind = cells.Text(7);
    for (FigureKind k : {FigureKind::PercentOfLimit, FigureKind::PercentCpad,
                         FigureKind::PercentRfD, FigureKind::PercentPAD, FigureKind::PercentNoel,
                         FigureKind::MarginOfExposure, FigureKind::Risk})
      if (kind == FigureName(k)) r.worst.kind = k;
    if (r.worst.kind == FigureKind::None) cells.ok = false;
  }
  r.worst.value = cells.Figure(8).value_or(0);
  return r;
}

std::string Damaged(const std::string& path, const SqliteError& e) {
  return path + (IsDamage(e) ? " is damaged: " : " cannot be read: ") + e.text;
}

std::string FiguresDamaged(long long id) {
  return "The figures of run " + std::to_string(id) + " are damaged";
}

// "The manifest of run N is damaged: ..." for a manifest that is not one
// (as a manifest file's bounds say), or one of a newer program.
std::string ManifestProblem(long long id, const std::string& error) {
  const std::string head = "The manifest of run " + std::to_string(id);
  const std::string notOne = "is not a run manifest";
  if (error.rfind(notOne + ": ", 0) == 0)
    return head + " is damaged: " + error.substr(notOne.size() + 2);
  if (error == notOne) return head + " is damaged: it is not a run manifest";
  return head + " " + error;
}

// A commodity run's breakdown as schema 5 keeps it; false when any of it is
// damaged.
bool LoadCommodity(Database& db, long long id, bool totalsOnly, RecordedRun& run) {
  std::vector<RecordedContribution> items;
  Statement it(db,
               "SELECT i.item, i.residue_ppm, i.adjustment_factor_1, i.adjustment_factor_2, "
               "d.kind, d.crop_group, d.crop_group_code, d.crop_group_name, d.commodity_code, "
               "d.commodity_name, d.form_code, d.form_label FROM commodity_items i JOIN "
               "commodity_descriptions d ON d.id = i.description_id WHERE i.item_list = "
               "(SELECT item_list FROM commodity_subgroups WHERE run_id = ? AND seq = 1) "
               "ORDER BY i.item");
  it.Bind(1, id);
  while (it.Step()) {
    Cells c(it);
    RecordedContribution item;
    // Items are numbered from 0 without a gap.
    c.Whole(0, static_cast<long long>(items.size()), static_cast<long long>(items.size()));
    item.residue = c.Figure(1);
    item.adj1 = c.Figure(2);
    item.adj2 = c.Figure(3);
    item.kind = static_cast<ContributionKind>(
        c.Whole(4, 0, static_cast<long long>(ContributionKind::SubgroupTotal)));
    item.cropGroup = c.Int(5);
    item.cropGroupCode = c.Text(6);
    item.cropGroupName = c.Text(7);
    item.commodityCode = c.Text(8);
    item.commodityName = c.Text(9);
    item.formCode = c.Int(10);
    item.formLabel = c.Text(11);
    if (!c.ok) return false;
    items.push_back(std::move(item));
  }
  Statement sub(db,
                "SELECT seq, row, subgroup, exposure_mg_per_kg_bw_day, reference_dose_kind, "
                "reference_dose_mg_per_kg_bw_day, noel_mg_per_kg_bw_day, q_star, food_rows, "
                "food_rows_size, item_list, (SELECT item_list FROM commodity_subgroups WHERE "
                "run_id = ?1 AND seq = 1) FROM commodity_subgroups WHERE run_id = ?1 ORDER BY seq");
  Statement tot(db,
                "SELECT place, item, exposure_mg_per_kg_bw_day, share_percent, "
                "reference_dose_kind, reference_dose_mg_per_kg_bw_day, percent_of_reference_dose, "
                "percent_of_noel, margin_of_exposure, lifetime_cancer_risk FROM commodity_totals "
                "WHERE run_id = ? AND seq = ? ORDER BY place");
  sub.Bind(1, id);
  std::string json;
  std::vector<history::StoredRow> foods;
  for (long long seq = 1; sub.Step(); ++seq) {
    Cells c(sub);
    c.Whole(0, seq, seq);
    const int row = c.Int(1);
    const std::string name = c.Text(2);
    history::SubgroupConstants k;
    k.total = c.Figure(3);
    k.reference = c.Reference(4);
    k.referenceDose = c.Figure(5);
    k.noel = c.Figure(6);
    k.qStar = c.Figure(7);
    const std::string_view blob = c.Blob(8);
    const long long size = c.Whole(9, 0, std::numeric_limits<long long>::max());
    // Every subgroup of a run names its items in one list.
    if (!c.ok || sub.Type(10) != kInteger || sub.Int(10) != sub.Int(11)) return false;
    foods.clear();
    if (!totalsOnly && (!history::Uncompressed(blob, size, json) ||
                        !history::ReadFoodRows(json, k, items.size(), foods)))
      return false;
    auto add = [&](const history::StoredRow& r) {
      RecordedContribution out = items[r.item];
      out.row = row;
      out.subgroup = name;
      out.exposure = r.exposure;
      out.sharePercent = r.sharePercent;
      out.figures = r.figures;
      run.commodity.push_back(std::move(out));
    };
    // The totals at their places, the food rows in the places between.
    tot.Bind(1, id).Bind(2, seq);
    std::size_t food = 0;
    int place = 0;
    while (tot.Step()) {
      Cells t(tot);
      const long long at = t.Whole(0, place, std::numeric_limits<int>::max());
      history::StoredRow r;
      r.item = static_cast<std::uint32_t>(t.Whole(1, 0, static_cast<long long>(items.size()) - 1));
      r.exposure = t.RequiredFigure(2);
      r.sharePercent = t.Figure(3);
      r.figures = t.Figures(4);
      if (!t.ok) return false;
      const ContributionKind kind = items[r.item].kind;
      if (kind != ContributionKind::CropGroupSubtotal && kind != ContributionKind::SubgroupTotal)
        return false;
      for (; place < at; ++place) {
        if (food == foods.size()) {
          // The food rows are left out, or there are fewer than places.
          if (!totalsOnly) return false;
          break;
        }
        add(foods[food++]);
      }
      place = static_cast<int>(at) + 1;
      add(r);
    }
    tot.Reset();
    for (; food < foods.size(); ++food) add(foods[food]);
  }
  return true;
}

// A subgroup's packed rows of a file of schema 4 or earlier.
bool LoadPackedCommodity(Database& db, long long id, bool totalsOnly, RecordedRun& run) {
  Statement it(db, "SELECT packed_items FROM commodity_items WHERE run_id = ?");
  it.Bind(1, id);
  std::vector<RecordedContribution> items;
  if (it.Step()) {
    Cells c(it);
    if (!UnpackItems(c.Blob(0), items) || !c.ok) return false;
  }
  Statement sub(db,
                "SELECT row, subgroup, packed_rows FROM commodity_subgroups WHERE run_id = ? "
                "ORDER BY seq");
  sub.Bind(1, id);
  UnpackState state;
  while (sub.Step()) {
    Cells c(sub);
    const int row = c.Int(0);
    const std::string name = c.Text(1);
    const std::string_view rows = c.Blob(2);
    if (!c.ok || !UnpackRows(items, row, name, rows, state, run.commodity, totalsOnly))
      return false;
  }
  for (const RecordedContribution& r : run.commodity)
    if (!std::isfinite(r.exposure) || !Finite(r.sharePercent) || !Finite(r.figures) ||
        !Finite(r.residue) || !Finite(r.adj1) || !Finite(r.adj2))
      return false;
  return true;
}

// An aggregate run's figures: every subgroup's total dose and percent of
// its limit, and the figures as the run exported them.
bool LoadAggregate(Database& db, long long id, RecordedRun& run) {
  Statement agg(db, "SELECT figures FROM aggregate_runs WHERE run_id = ?");
  agg.Bind(1, id);
  if (!agg.Step()) return true;
  Cells c(agg);
  const std::string text = c.Text(0);
  if (!c.ok || NestedTooDeep(text)) return false;
  const json stored = json::parse(text, nullptr, false);
  if (!stored.is_object() || !stored.contains("subgroups") || !stored["subgroups"].is_array() ||
      !stored.contains("figures"))
    return false;
  for (const json& g : stored["subgroups"]) {
    if (!g.is_object() || !g.value("row", json()).is_number_integer() ||
        !g.value("subgroup", json()).is_string() ||
        !g.value("total_dose_mg_per_kg_bw_day", json()).is_number() ||
        !g.value("percent_of_limit", json()).is_number())
      return false;
    const long long row = g["row"].get<long long>();
    if (row < 1 || row > std::numeric_limits<int>::max()) return false;
    run.aggregateSubgroups.push_back({static_cast<int>(row), g["subgroup"].get<std::string>(),
                                      g["total_dose_mg_per_kg_bw_day"].get<double>(),
                                      g["percent_of_limit"].get<double>()});
  }
  run.aggregate = stored["figures"];
  return true;
}

bool LoadCumulative(Database& db, long long id, RecordedRun& run) {
  // A file of schema 4, read as it is until a recording brings it forward,
  // has neither the cumulative margin nor the sources: they read as none.
  const bool margins = db.Integer(
                           "SELECT count(*) FROM pragma_table_info('cumulative_subgroups') "
                           "WHERE name = 'cumulative_moe'") > 0;
  const std::string subgroups = std::string(
                                    "SELECT row, subgroup, index_equivalent_mg_per_kg_bw_day, "
                                    "percent_of_index_pad, moet, hazard_index, ") +
                                (margins ? "cumulative_moe, target_moe" : "NULL, NULL") +
                                " FROM cumulative_subgroups WHERE run_id = ? ORDER BY row";
  Statement cum(db, subgroups.c_str());
  cum.Bind(1, id);
  while (cum.Step()) {
    Cells c(cum);
    RecordedCumulative r;
    r.row = c.Int(0);
    r.subgroup = c.Text(1);
    r.indexEquivalent = c.RequiredNumber(2);
    r.percentCpad = c.RequiredNumber(3);
    r.moet = c.Number(4);
    r.hazardIndex = c.Number(5);
    r.margin = c.Number(6);
    r.targetMargin = c.Number(7);
    if (!c.ok) return false;
    run.cumulative.push_back(std::move(r));
  }
  const std::string chemicals = std::string(
                                    "SELECT row, chemical, rpf, exposure_mg_per_kg_bw_day, "
                                    "index_equivalent_mg_per_kg_bw_day, share_percent, ") +
                                (margins ? "pod_source" : "NULL") +
                                " FROM cumulative_chemicals WHERE run_id = ? ORDER BY row, seq";
  Statement chem(db, chemicals.c_str());
  chem.Bind(1, id);
  while (chem.Step()) {
    Cells c(chem);
    const int row = c.Int(0);
    RecordedCumulative::Chemical ch{c.Text(1),           c.RequiredNumber(2), c.RequiredFigure(3),
                                    c.RequiredNumber(4), c.Number(5),         c.OptionalText(6)};
    auto at = std::find_if(run.cumulative.begin(), run.cumulative.end(),
                           [&](const RecordedCumulative& r) { return r.row == row; });
    if (!c.ok || at == run.cumulative.end()) return false;
    at->chemicals.push_back(std::move(ch));
  }
  // Every subgroup lists the same chemicals: a file that says otherwise
  // is damaged (its figures are never shown or exported).
  for (const RecordedCumulative& r : run.cumulative) {
    bool same = r.chemicals.size() == run.cumulative.front().chemicals.size();
    for (std::size_t j = 0; same && j < r.chemicals.size(); ++j)
      same = r.chemicals[j].chemical == run.cumulative.front().chemicals[j].chemical;
    if (!same) return false;
  }
  return true;
}

}  // namespace

std::optional<std::vector<RunSummary>> ListRuns(const std::string& path, const ListFilter& filter,
                                                std::string& error) {
  std::vector<RunSummary> runs;
  try {
    auto h = OpenForReading(path, error);
    if (!h) return error.empty() ? std::optional(runs) : std::nullopt;
    const bool sealed = h->version >= kHistorySchemaVersion;
    std::string query = std::string("SELECT ") + kSummaryColumns +
                        (sealed ? ", list_checksum" : ", NULL") + " FROM runs";
    if (filter.chemical) query += " WHERE chemical = ? COLLATE NOCASE";
    query += " ORDER BY id DESC";
    if (filter.limit) query += " LIMIT " + std::to_string(*filter.limit);
    Statement s(h->db, query.c_str());
    if (filter.chemical) s.Bind(1, *filter.chemical);
    while (s.Step()) {
      // A listed row is checked against its checksum before it is shown.
      if (s.Type(9) != kNull && (s.Type(9) != kInteger || s.Int(9) != history::ListChecksumOf(s))) {
        error = path + " is damaged: run " + std::to_string(s.Int(0)) +
                " is not as it was recorded (its checksum differs)";
        return std::nullopt;
      }
      Cells cells(s);
      runs.push_back(SummaryFrom(s, cells));
      if (!cells.ok) {
        error = "The summary of run " + std::to_string(s.Int(0)) + " is damaged";
        return std::nullopt;
      }
    }
  } catch (const SqliteError& e) {
    error = Damaged(path, e);
    return std::nullopt;
  }
  std::reverse(runs.begin(), runs.end());
  return runs;
}

std::optional<RecordedRun> LoadRun(const std::string& path, long long id, std::string& error,
                                   bool totalsOnly) {
  RecordedRun run;
  const std::string missing = "Run " + std::to_string(id) + " is not in the run history";
  try {
    auto h = OpenForReading(path, error);
    if (!h) {
      if (error.empty()) error = missing;
      return std::nullopt;
    }
    Database& db = h->db;
    const bool sealed = h->version >= kHistorySchemaVersion;
    if (sealed)
      if (std::string problem = history::ChecksumProblem(db, id); !problem.empty()) {
        error = path + " is damaged: " + problem;
        return std::nullopt;
      }
    Statement s(
        db,
        (std::string("SELECT ") + kSummaryColumns + ", manifest FROM runs WHERE id = ?").c_str());
    s.Bind(1, id);
    if (!s.Step()) {
      error = missing;
      return std::nullopt;
    }
    Cells cells(s);
    run.summary = SummaryFrom(s, cells);
    const std::string manifest = cells.Text(9);
    if (!cells.ok) {
      error = FiguresDamaged(id);
      return std::nullopt;
    }
    // A manifest in the history is held to the bounds of a manifest file.
    std::string why;
    auto parsed = ParseManifest(manifest, why);
    if (!parsed) {
      error = ManifestProblem(id, why);
      return std::nullopt;
    }
    run.manifest = std::move(*parsed);
    Statement lt(db, "SELECT * FROM longterm_rows WHERE run_id = ? ORDER BY row");
    lt.Bind(1, id);
    while (lt.Step()) {
      Cells c(lt);
      RecordedLongTerm r;
      r.row = c.Int(1);
      r.subgroup = c.Text(2);
      r.column = c.Int(3);
      r.exposure = c.RequiredFigure(4);
      r.figures = c.Figures(5);
      if (!c.ok) {
        error = FiguresDamaged(id);
        return std::nullopt;
      }
      run.longTerm.push_back(std::move(r));
    }
    const bool commodity = sealed ? LoadCommodity(db, id, totalsOnly, run)
                                  : LoadPackedCommodity(db, id, totalsOnly, run);
    // Only a history of schema 4 or later holds cumulative runs.
    if (!commodity || (run.summary.command == "cumulative" && !LoadCumulative(db, id, run))) {
      error = FiguresDamaged(id);
      return std::nullopt;
    }
    if (run.summary.command == "aggregate" && !LoadAggregate(db, id, run)) {
      error = FiguresDamaged(id);
      return std::nullopt;
    }
  } catch (const SqliteError& e) {
    error = Damaged(path, e);
    return std::nullopt;
  }
  return run;
}

std::optional<HistoryCheck> CheckHistory(const std::string& path, const DateTime& now,
                                         std::string& error) {
  HistoryCheck check;
  try {
    std::error_code ec;
    if (!fs::exists(path, ec)) return check;
    check.bytes = static_cast<long long>(fs::file_size(path, ec));
    Database db = OpenHistory(path, false, kHistoryBusyMilliseconds);
    const long long version = history::SchemaVersion(db);
    if (version > kHistorySchemaVersion) {
      error =
          path + " was written by a newer program (schema version " + std::to_string(version) + ")";
      return std::nullopt;
    }
    if (version < 1) return check;
    check.runs = db.Integer("SELECT count(*) FROM runs");
    check.damage = history::WholeFileProblem(db, version);
    // A file found whole counts as the day's check; one that cannot be
    // written to (a read-only copy) is checked all the same.
    if (check.damage.empty() && version >= kHistorySchemaVersion) {
      try {
        Statement note(db,
                       "INSERT INTO history_checks (date, result) SELECT ?1, 'no damage' WHERE "
                       "NOT EXISTS (SELECT 1 FROM history_checks WHERE date = ?1)");
        note.Bind(1, DateText(now)).Run();
      } catch (const SqliteError&) {
      }
    }
  } catch (const SqliteError& e) {
    if (!IsDamage(e)) {
      error = Damaged(path, e);
      return std::nullopt;
    }
    check.damage = e.text;
  }
  return check;
}

}  // namespace ormid
