// A run history file as a damaged disk, a partial copy or another program
// may leave it: listed, every run loaded with its figures and compared
// with the first, exported, checked whole and recorded into, or refused
// with a reason. Never a crash, a read past the stored figures, or a
// figure given back that is not a number.
//
// The first byte picks what the rest is. Even: the whole file. Odd: edits
// of a history of real runs (a long-term, a commodity and a cumulative
// run), as the sqlite3 shell makes them: each edit a table, a column and a
// row (numbers into the file's own lists), a kind of value (NULL, an
// integer, a double such as infinity, a text, a blob, a compressed text
// for the food rows, a text nested deep, or the row deleted), and its
// bytes; as the second byte says, the runs' checksums taken away first (so
// that the values themselves are read), the schema version set, and the
// file checked whole and a run recorded into it after the reading.
#include <sqlite3.h>
#include <zlib.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/record_file.h"
#include "fuzz/fuzz_support.h"
#include "history/run_compare.h"
#include "history/run_history.h"
#include "session/finished_run.h"
#include "tools/installation_writer.h"

namespace {

using namespace ormid;

bool Finite(const std::optional<float>& v) {
  return !v || std::isfinite(*v);
}
bool Finite(const std::optional<double>& v) {
  return !v || std::isfinite(*v);
}
bool Finite(const RecordedFigures& f) {
  return Finite(f.referenceDose) && Finite(f.percentReference) && Finite(f.percentNoel) &&
         Finite(f.marginOfExposure) && Finite(f.lifetimeRisk);
}

// What a loaded run gives back is figures: numbers, every one.
void RequireFigures(const RecordedRun& run) {
  fuzz::Require(run.manifest.is_object(), "a loaded run's manifest is an object");
  fuzz::Require(std::isfinite(run.summary.worst.value), "a listed figure is a number");
  for (const RecordedLongTerm& r : run.longTerm)
    fuzz::Require(std::isfinite(r.exposure) && Finite(r.figures), "long-term figures are numbers");
  for (const RecordedContribution& r : run.commodity)
    fuzz::Require(std::isfinite(r.exposure) && Finite(r.sharePercent) && Finite(r.figures) &&
                      Finite(r.residue) && Finite(r.adj1) && Finite(r.adj2),
                  "commodity figures are numbers");
  for (const RecordedCumulative& r : run.cumulative) {
    fuzz::Require(std::isfinite(r.indexEquivalent) && std::isfinite(r.percentCpad) &&
                      Finite(r.moet) && Finite(r.hazardIndex) && Finite(r.margin) &&
                      Finite(r.targetMargin),
                  "cumulative figures are numbers");
    for (const RecordedCumulative::Chemical& c : r.chemicals)
      fuzz::Require(std::isfinite(c.rpf) && std::isfinite(c.exposure) &&
                        std::isfinite(c.equivalent) && Finite(c.share),
                    "a chemical's figures are numbers");
  }
}

// The runs the edits start from: recorded once, kept as bytes.
struct Pristine {
  std::string bytes;
  fuzz::SeedRun commodity;
};

const Pristine& PristineHistory() {
  static const Pristine pristine = [] {
    Pristine p;
    const std::string path = fuzz::ScratchPath("pristine-history.sqlite");
    std::error_code ec;
    std::filesystem::remove(path, ec);
    RecordRequest request;
    request.path = path;
    const fuzz::SeedRun longTerm = fuzz::RunForSeeds(fuzz::kCsfiiSmall, false);
    p.commodity = fuzz::RunForSeeds(fuzz::kCsfiiSmall, true);
    fuzz::Require(RecordRun(request, longTerm.manifest, *longTerm.figures).recorded,
                  "the long-term run is recorded");
    fuzz::Require(RecordRun(request, p.commodity.manifest, *p.commodity.figures).recorded,
                  "the commodity run is recorded");
    nlohmann::json manifest = longTerm.manifest;
    manifest["run"]["command"] = "cumulative";
    manifest["group_file"] = manifest["residue_file"];
    manifest["residue_files"] = nlohmann::json::array({manifest["residue_file"]});
    manifest.erase("residue_file");
    HistoryRecorder figures;
    std::vector<RecordedCumulative> rows;
    for (int row : {1, 2})
      rows.push_back({row,
                      "Subgroup " + std::to_string(row),
                      0.5 * row,
                      25.0 * row,
                      4.0,
                      1.5,
                      4.0 / row,
                      100.0,
                      {{"A", 1, 0.25f, 0.25, 50.0, "BMDL10"}, {"B", 2, 0.125f, 0.25, 50.0, ""}}});
    figures.Cumulative(rows);
    fuzz::Require(RecordRun(request, manifest, figures).recorded, "the cumulative run");
    auto bytes = ReadWholeFile(path);
    fuzz::Require(bytes.has_value(), "the pristine history");
    p.bytes = *bytes;
    return p;
  }();
  return pristine;
}

class Edits {
 public:
  Edits(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::string Bytes(std::size_t n) {
    n = std::min(n, size_ - at_);
    std::string b(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return b;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_, at_ = 0;
};

std::vector<std::string> Column(sqlite3* db, const std::string& sql) {
  std::vector<std::string> out;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK)
    while (sqlite3_step(s) == SQLITE_ROW) {
      const auto* t = sqlite3_column_text(s, 0);
      out.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
    }
  sqlite3_finalize(s);
  return out;
}

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

// Applies the input's edits to the history at path, after its flags: 1 the
// runs' checksums taken away, 2 the file checked whole and a run recorded
// into it after the reading, 4 the schema version set to the flags / 8 - 8.
void Edit(const std::string& path, Edits& in) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    return;
  }
  const std::uint8_t flags = in.Byte();
  const std::vector<std::string> tables =
      Column(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
  for (int edits = 0; in.More() && edits < 16 && !tables.empty(); ++edits) {
    const std::string table = tables[in.Byte() % tables.size()];
    const std::vector<std::string> columns =
        Column(db, "SELECT name FROM pragma_table_info(" + Quoted(table) + ")");
    std::vector<std::string> keys =
        Column(db, "SELECT name FROM pragma_table_info(" + Quoted(table) +
                       ") WHERE pk > 0 ORDER "
                       "BY pk");
    const std::uint8_t columnPick = in.Byte(), row = in.Byte(), kind = in.Byte();
    const std::string value = in.Bytes(in.Byte());
    if (columns.empty()) continue;
    const std::string column = columns[columnPick % columns.size()];
    if (keys.empty()) keys = {"rowid"};
    std::string key;
    for (const std::string& k : keys) key += (key.empty() ? "" : ", ") + Quoted(k);
    const std::string where = " WHERE (" + key + ") = (SELECT " + key + " FROM " + Quoted(table) +
                              " ORDER BY " + key + " LIMIT 1 OFFSET ?2)";
    std::string sql = "UPDATE " + Quoted(table) + " SET " + Quoted(column) + " = ?1" + where;
    if (kind % 8 == 7) sql = "DELETE FROM " + Quoted(table) + where;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
      sqlite3_finalize(s);
      continue;
    }
    std::string text = value;
    switch (kind % 8) {
      case 0:
        sqlite3_bind_null(s, 1);
        break;
      case 1: {
        std::int64_t v = 0;
        std::memcpy(&v, value.data(), std::min(value.size(), sizeof v));
        sqlite3_bind_int64(s, 1, v);
        break;
      }
      case 2: {
        double v = 0;
        std::memcpy(&v, value.data(), std::min(value.size(), sizeof v));
        sqlite3_bind_double(s, 1, v);
        break;
      }
      case 3:
        sqlite3_bind_text(s, 1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        break;
      case 4:
        sqlite3_bind_blob(s, 1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        break;
      case 5: {
        // A compressed text, with its size beside it where the table keeps
        // one (the food rows).
        uLongf n = compressBound(static_cast<uLong>(text.size()));
        std::string packed(n, '\0');
        compress(reinterpret_cast<Bytef*>(packed.data()), &n,
                 reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()));
        packed.resize(n);
        sqlite3_bind_blob(s, 1, packed.data(), static_cast<int>(n), SQLITE_TRANSIENT);
        const std::string size = "UPDATE " + Quoted(table) + " SET " + Quoted(column + "_size") +
                                 " = " + std::to_string(text.size()) + where;
        sqlite3_stmt* sized = nullptr;
        if (sqlite3_prepare_v2(db, size.c_str(), -1, &sized, nullptr) == SQLITE_OK) {
          sqlite3_bind_int(sized, 2, row);
          sqlite3_step(sized);
        }
        sqlite3_finalize(sized);
        break;
      }
      case 6:
        text =
            std::string(value.size() * 4000 + 1, '[') + std::string(value.size() * 4000 + 1, ']');
        sqlite3_bind_text(s, 1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        break;
      default:
        break;
    }
    sqlite3_bind_int(s, 2, row);
    sqlite3_step(s);
    sqlite3_finalize(s);
  }
  if (flags & 1)
    sqlite3_exec(db, "UPDATE runs SET checksum = NULL, list_checksum = NULL", nullptr, nullptr,
                 nullptr);
  if (flags & 4)
    sqlite3_exec(
        db, ("PRAGMA user_version = " + std::to_string(static_cast<int>(flags) / 8 - 8)).c_str(),
        nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = fuzz::ScratchPath("history.sqlite");
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(path + suffix, ec);
  const bool edits = size > 0 && (data[0] & 1);
  if (edits) {
    testdata::WriteFile(path, PristineHistory().bytes);
    Edits in(data + 1, size - 1);
    Edit(path, in);
  } else {
    testdata::WriteFile(path, std::string(reinterpret_cast<const char*>(data), size));
  }
  std::string error;
  const auto runs = ListRuns(path, ListFilter{}, error);
  if (!runs) fuzz::Require(!error.empty(), "a history that cannot be listed says why");
  std::vector<long long> ids = {1, 2, 3};
  if (runs)
    for (const RunSummary& s : *runs) ids.push_back(s.id);
  std::optional<RecordedRun> first;
  for (long long id : ids) {
    for (bool totalsOnly : {false, true}) {
      error.clear();
      auto run = LoadRun(path, id, error, totalsOnly);
      if (!run) {
        fuzz::Require(!error.empty(), "a run that cannot be loaded says why");
        continue;
      }
      RequireFigures(*run);
      if (!totalsOnly) {
        fuzz::FuzzPlatform p;
        const FinishedRun finished = FinishedRunOf(*run);
        for (const char* name : {"run.csv", "run.json"})
          (void)ExportFinishedRun(p, finished, fuzz::ScratchPath(name));
      }
      if (!first)
        first = std::move(run);
      else
        (void)ComparisonText(CompareRuns(*first, *run));
    }
  }
  if (edits && size > 1 && (data[1] & 2)) {
    const auto check = CheckHistory(path, DateTime{2024, 3, 5, 9, 7, 1}, error);
    if (!check) fuzz::Require(!error.empty(), "a history that cannot be checked says why");
    // A run recorded into what the edits left: recorded, or a reason.
    RecordRequest request;
    request.path = path;
    request.now = DateTime{2024, 3, 6, 9, 7, 1};
    const fuzz::SeedRun& run = PristineHistory().commodity;
    const RecordOutcome o = RecordRun(request, run.manifest, *run.figures);
    fuzz::Require(o.recorded || !o.problem.empty(), "a run not recorded says why");
    for (const auto& e :
         std::filesystem::directory_iterator(std::filesystem::path(path).parent_path(), ec))
      if (e.path().filename().string().rfind("history.sqlite.damaged-", 0) == 0)
        std::filesystem::remove(e.path(), ec);
  }
  return 0;
}
