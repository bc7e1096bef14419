#include "history/history_schema.h"

#include <zlib.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "history/run_history.h"
#include "manifest/sha256.h"

namespace ormid::history {

using sql::Database;
using sql::SqliteError;
using sql::Statement;

namespace {

constexpr int kCorrupt = 11;  // SQLITE_CORRUPT

// Migrations: step k brings a history of schema version k to version k + 1.
// Steps 0 to 3 are SQL; step 4 stores commodity runs again (UpgradeTo5).
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
static_assert(std::size(kMigrations) == 4);

// 4 -> 5, before the commodity runs are stored again: the new tables of
// commodity runs beside the old ones, the cumulative margin of exposure with
// its target and each chemical's source of its point of departure (none for
// the runs recorded before), the runs' checksums, the log of whole checks.
constexpr const char* kSchema5Tables = R"sql(
DROP TRIGGER IF EXISTS runs_delete_rows;
CREATE TABLE commodity_descriptions (
  id INTEGER PRIMARY KEY,
  kind INTEGER NOT NULL,
  crop_group INTEGER NOT NULL,
  crop_group_code TEXT NOT NULL,
  crop_group_name TEXT NOT NULL,
  commodity_code TEXT NOT NULL,
  commodity_name TEXT NOT NULL,
  form_code INTEGER NOT NULL,
  form_label TEXT NOT NULL,
  UNIQUE (commodity_code, form_code, kind, crop_group, crop_group_code, crop_group_name,
          commodity_name, form_label)
);
CREATE TABLE commodity_item_lists (
  id INTEGER PRIMARY KEY,
  sha256 TEXT NOT NULL UNIQUE
);
CREATE TABLE commodity_items_5 (
  item_list INTEGER NOT NULL REFERENCES commodity_item_lists (id),
  item INTEGER NOT NULL,
  description_id INTEGER NOT NULL REFERENCES commodity_descriptions (id),
  residue_ppm REAL,
  adjustment_factor_1 REAL,
  adjustment_factor_2 REAL,
  PRIMARY KEY (item_list, item)
) WITHOUT ROWID;
CREATE TABLE commodity_subgroups_5 (
  run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  row INTEGER NOT NULL,
  subgroup TEXT NOT NULL,
  item_list INTEGER NOT NULL REFERENCES commodity_item_lists (id),
  exposure_mg_per_kg_bw_day REAL,
  reference_dose_kind TEXT,
  reference_dose_mg_per_kg_bw_day REAL,
  percent_of_reference_dose REAL,
  percent_of_noel REAL,
  margin_of_exposure REAL,
  lifetime_cancer_risk REAL,
  noel_mg_per_kg_bw_day REAL,
  q_star REAL,
  food_rows_size INTEGER NOT NULL,
  food_rows BLOB NOT NULL,
  PRIMARY KEY (run_id, seq)
) WITHOUT ROWID;
CREATE TABLE commodity_totals (
  run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  place INTEGER NOT NULL,
  item INTEGER NOT NULL,
  exposure_mg_per_kg_bw_day REAL NOT NULL,
  share_percent REAL,
  reference_dose_kind TEXT,
  reference_dose_mg_per_kg_bw_day REAL,
  percent_of_reference_dose REAL,
  percent_of_noel REAL,
  margin_of_exposure REAL,
  lifetime_cancer_risk REAL,
  PRIMARY KEY (run_id, seq, place)
) WITHOUT ROWID;
CREATE TABLE history_checks (
  id INTEGER PRIMARY KEY,
  date TEXT NOT NULL,
  result TEXT NOT NULL
);
CREATE TABLE aggregate_runs (
  run_id INTEGER PRIMARY KEY REFERENCES runs (id) ON DELETE CASCADE,
  figures TEXT NOT NULL
);
ALTER TABLE cumulative_subgroups ADD COLUMN cumulative_moe REAL;
ALTER TABLE cumulative_subgroups ADD COLUMN target_moe REAL;
ALTER TABLE cumulative_chemicals ADD COLUMN pod_source TEXT;
ALTER TABLE runs ADD COLUMN list_checksum INTEGER;
ALTER TABLE runs ADD COLUMN checksum INTEGER;
)sql";

// 4 -> 5, once the commodity runs are stored again: the old tables go, a
// run deleted takes its rows with it, and the views for other tools.
constexpr const char* kSchema5Finish = R"sql(
DROP TABLE commodity_subgroups;
DROP TABLE commodity_items;
ALTER TABLE commodity_subgroups_5 RENAME TO commodity_subgroups;
ALTER TABLE commodity_items_5 RENAME TO commodity_items;
CREATE TRIGGER runs_delete_rows AFTER DELETE ON runs BEGIN
  DELETE FROM longterm_rows WHERE run_id = old.id;
  DELETE FROM commodity_subgroups WHERE run_id = old.id;
  DELETE FROM commodity_totals WHERE run_id = old.id;
  DELETE FROM cumulative_subgroups WHERE run_id = old.id;
  DELETE FROM cumulative_chemicals WHERE run_id = old.id;
  DELETE FROM aggregate_runs WHERE run_id = old.id;
END;
CREATE VIEW commodity_items_v AS
SELECT s.run_id AS run_id, i.item AS item,
  CASE d.kind WHEN 0 THEN 'food' WHEN 1 THEN 'food form' WHEN 2 THEN 'crop group'
    WHEN 3 THEN 'subgroup total' END AS kind,
  d.crop_group AS crop_group, d.crop_group_code AS crop_group_code,
  d.crop_group_name AS crop_group_name, d.commodity_code AS commodity_code,
  d.commodity_name AS commodity_name, d.form_code AS form_code, d.form_label AS form_label,
  i.residue_ppm AS residue_ppm, i.adjustment_factor_1 AS adjustment_factor_1,
  i.adjustment_factor_2 AS adjustment_factor_2
FROM commodity_subgroups s
JOIN commodity_items i ON i.item_list = s.item_list
JOIN commodity_descriptions d ON d.id = i.description_id
WHERE s.seq = 1;
CREATE VIEW commodity_food_rows_v AS
SELECT x.run_id AS run_id, x.subgroup_row AS subgroup_row, x.subgroup AS subgroup,
  CASE d.kind WHEN 0 THEN 'food' WHEN 1 THEN 'food form' END AS kind,
  d.crop_group AS crop_group, d.crop_group_code AS crop_group_code,
  d.crop_group_name AS crop_group_name, d.commodity_code AS commodity_code,
  d.commodity_name AS commodity_name, d.form_code AS form_code, d.form_label AS form_label,
  i.residue_ppm AS residue_ppm, i.adjustment_factor_1 AS adjustment_factor_1,
  i.adjustment_factor_2 AS adjustment_factor_2, x.exposure AS exposure_mg_per_kg_bw_day,
  CASE WHEN x.mask & 1 THEN coalesce(x.v ->> 3, x.exposure * 100.0 / x.total) END
    AS share_percent,
  x.reference_kind AS reference_dose_kind, x.reference_dose AS reference_dose_mg_per_kg_bw_day,
  CASE WHEN x.mask & 4 THEN coalesce(x.v ->> 4, x.exposure * 100.0 / x.reference_dose) END
    AS percent_of_reference_dose,
  CASE WHEN x.mask & 8 THEN coalesce(x.v ->> 5, x.exposure * 100.0 / x.noel) END
    AS percent_of_noel,
  CASE WHEN x.mask & 16 THEN coalesce(x.v ->> 6, x.noel / x.exposure) END
    AS margin_of_exposure,
  CASE WHEN x.mask & 32 THEN coalesce(x.v ->> 7, x.exposure * x.q_star) END
    AS lifetime_cancer_risk
FROM (SELECT s.run_id AS run_id, s.row AS subgroup_row, s.subgroup AS subgroup,
        s.item_list AS item_list, coalesce(f.value ->> 2, f.key) AS item, f.value AS v,
        f.value ->> 0 AS exposure, f.value ->> 1 AS mask, s.exposure_mg_per_kg_bw_day AS total,
        CASE WHEN json_array_length(f.value) = 10
          THEN CASE f.value ->> 8 WHEN 1 THEN 'RfD' WHEN 2 THEN 'PAD' END
          ELSE s.reference_dose_kind END AS reference_kind,
        CASE WHEN json_array_length(f.value) = 10 THEN f.value ->> 9
          ELSE s.reference_dose_mg_per_kg_bw_day END AS reference_dose,
        s.noel_mg_per_kg_bw_day AS noel, s.q_star AS q_star
      FROM commodity_subgroups s
      CROSS JOIN json_each(CAST(sqlar_uncompress(s.food_rows, s.food_rows_size) AS TEXT)) f) x
CROSS JOIN commodity_items i ON i.item_list = x.item_list AND i.item = x.item
CROSS JOIN commodity_descriptions d ON d.id = i.description_id;
CREATE VIEW commodity_rows_v AS
SELECT * FROM commodity_food_rows_v
UNION ALL
SELECT t.run_id, s.row, s.subgroup,
  CASE d.kind WHEN 2 THEN 'crop group' WHEN 3 THEN 'subgroup total' END,
  d.crop_group, d.crop_group_code, d.crop_group_name, d.commodity_code, d.commodity_name,
  d.form_code, d.form_label, i.residue_ppm, i.adjustment_factor_1, i.adjustment_factor_2,
  t.exposure_mg_per_kg_bw_day, t.share_percent, t.reference_dose_kind,
  t.reference_dose_mg_per_kg_bw_day, t.percent_of_reference_dose, t.percent_of_noel,
  t.margin_of_exposure, t.lifetime_cancer_risk
FROM commodity_totals t
JOIN commodity_subgroups s ON s.run_id = t.run_id AND s.seq = t.seq
JOIN commodity_items i ON i.item_list = s.item_list AND i.item = t.item
JOIN commodity_descriptions d ON d.id = i.description_id;
CREATE VIEW commodity_foods_v AS
SELECT run_id, subgroup_row, subgroup, crop_group, crop_group_code, crop_group_name,
  commodity_code, commodity_name, count(*) AS rows,
  sum(exposure_mg_per_kg_bw_day) AS exposure_mg_per_kg_bw_day,
  sum(share_percent) AS share_percent
FROM commodity_food_rows_v
GROUP BY run_id, subgroup_row, crop_group, commodity_code;
CREATE VIEW commodity_crop_groups_v AS
SELECT t.run_id AS run_id, s.row AS subgroup_row, s.subgroup AS subgroup,
  d.crop_group AS crop_group, d.crop_group_code AS crop_group_code,
  d.crop_group_name AS crop_group_name,
  t.exposure_mg_per_kg_bw_day AS exposure_mg_per_kg_bw_day, t.share_percent AS share_percent,
  t.reference_dose_kind AS reference_dose_kind,
  t.reference_dose_mg_per_kg_bw_day AS reference_dose_mg_per_kg_bw_day,
  t.percent_of_reference_dose AS percent_of_reference_dose,
  t.percent_of_noel AS percent_of_noel, t.margin_of_exposure AS margin_of_exposure,
  t.lifetime_cancer_risk AS lifetime_cancer_risk
FROM commodity_totals t
JOIN commodity_subgroups s ON s.run_id = t.run_id AND s.seq = t.seq
JOIN commodity_items i ON i.item_list = s.item_list AND i.item = t.item
JOIN commodity_descriptions d ON d.id = i.description_id
WHERE d.kind = 2;
)sql";

// The tables a file of schema 5 has: one without them is damaged.
const char* const kSchema5TableNames[] = {"runs",
                                          "longterm_rows",
                                          "commodity_descriptions",
                                          "commodity_item_lists",
                                          "commodity_items",
                                          "commodity_subgroups",
                                          "commodity_totals",
                                          "cumulative_subgroups",
                                          "cumulative_chemicals",
                                          "history_checks",
                                          "aggregate_runs"};

const char* ReferenceText(ReferenceKind k) {
  return k == ReferenceKind::RfD ? "RfD" : k == ReferenceKind::PAD ? "PAD" : nullptr;
}

void BindOptional(Statement& s, int at, const std::optional<float>& v) {
  if (v)
    s.BindDouble(at, *v);
  else
    s.BindNull(at);
}

// Brings a file of schema 4 to 5: every commodity run's packed items and
// rows stored again.
void UpgradeTo5(Database& db) {
  db.Execute(kSchema5Tables);
  {
    CommodityWriter writer(db);
    Statement runs(db, "SELECT run_id, packed_items FROM commodity_items ORDER BY run_id");
    Statement subgroups(
        db,
        "SELECT row, subgroup, packed_rows FROM commodity_subgroups WHERE run_id = ? "
        "ORDER BY seq");
    while (runs.Step()) {
      const long long id = runs.Int(0);
      // The bytes stay where they are until the statement moves on.
      const std::string items(runs.Blob(1));
      std::vector<std::string> rows;
      std::vector<PackedSubgroup> packed;
      subgroups.Bind(1, id);
      while (subgroups.Step()) {
        packed.push_back({static_cast<int>(subgroups.Int(0)), subgroups.Text(1), {}});
        rows.emplace_back(subgroups.Blob(2));
      }
      subgroups.Reset();
      for (std::size_t k = 0; k < packed.size(); ++k) packed[k].rows = rows[k];
      StoredCommodity stored;
      if (!StoreCommodity(items, packed, stored))
        throw SqliteError{kCorrupt, "the figures of run " + std::to_string(id) +
                                        " are not as this program packs them"};
      writer.Write(id, stored);
    }
  }  // the statements on the old tables are finalized before they go
  db.Execute(kSchema5Finish);
  Statement ids(db, "SELECT id FROM runs ORDER BY id");
  while (ids.Step()) SealRun(db, ids.Int(0));
}

// Adds a value to a CRC-32 with its storage class, so that a number cannot
// pass for a text of the same bytes.
class Crc {
 public:
  void Add(const void* bytes, std::size_t size) {
    value_ = crc32_z(value_, static_cast<const Bytef*>(bytes), size);
  }
  void Column(const Statement& s, int c) {
    const auto type = static_cast<unsigned char>(s.Type(c));
    Add(&type, 1);
    switch (type) {
      case 1: {  // SQLITE_INTEGER
        const long long v = s.Int(c);
        Add(&v, sizeof v);
        break;
      }
      case 2: {  // SQLITE_FLOAT
        const double v = s.Double(c);
        Add(&v, sizeof v);
        break;
      }
      case 3:    // SQLITE_TEXT
      case 4: {  // SQLITE_BLOB
        const std::string_view v = type == 3 ? s.TextView(c) : s.Blob(c);
        const auto size = static_cast<std::uint64_t>(v.size());
        Add(&size, sizeof size);
        Add(v.data(), v.size());
        break;
      }
      default:
        break;
    }
  }
  // Every row of a query on run `id`, behind a mark of its own.
  void Rows(Database& db, const char* query, long long id, unsigned char mark) {
    Add(&mark, 1);
    Statement s(db, query);
    s.Bind(1, id);
    while (s.Step())
      for (int c = 0; c < s.Columns(); ++c) Column(s, c);
  }
  void Row(const Statement& s, int columns, unsigned char mark) {
    Add(&mark, 1);
    for (int c = 0; c < columns; ++c) Column(s, c);
  }
  long long Value() const { return static_cast<long long>(value_); }

 private:
  uLong value_ = crc32(0L, Z_NULL, 0);
};

constexpr const char* kListedColumns =
    "SELECT id, date, command, chemical, residue_file, endpoint, worst_subgroup, worst_figure, "
    "worst_value FROM runs WHERE id = ?";

}  // namespace

void BindFigures(Statement& s, int at, const RecordedFigures& f) {
  if (const char* kind = ReferenceText(f.reference))
    s.Bind(at, std::string_view(kind));
  else
    s.BindNull(at);
  BindOptional(s, at + 1, f.referenceDose);
  BindOptional(s, at + 2, f.percentReference);
  BindOptional(s, at + 3, f.percentNoel);
  BindOptional(s, at + 4, f.marginOfExposure);
  BindOptional(s, at + 5, f.lifetimeRisk);
}

long long SchemaVersion(Database& db) {
  const long long version = db.Integer("PRAGMA user_version");
  if (version < 0 || (version == 0 && db.Integer("SELECT count(*) FROM sqlite_master") > 0))
    throw SqliteError{kCorrupt,
                      "its schema version " + std::to_string(version) + " is not one Ormid writes"};
  if (version == kHistorySchemaVersion) {
    Statement table(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?");
    for (const char* name : kSchema5TableNames) {
      table.Bind(1, std::string_view(name));
      const bool found = table.Step() && table.Int(0) == 1;
      table.Reset();
      if (!found) throw SqliteError{kCorrupt, std::string("its table ") + name + " is missing"};
    }
  }
  return version;
}

void Migrate(Database& db) {
  long long version = SchemaVersion(db);
  if (version > kHistorySchemaVersion) throw NewerSchema{version};
  if (version == kHistorySchemaVersion) return;
  bool stored = false;
  {
    sql::Transaction t(db);
    // Another program may have brought it forward while this one waited.
    version = SchemaVersion(db);
    if (version > kHistorySchemaVersion) throw NewerSchema{version};
    if (version == kHistorySchemaVersion) return;
    for (; version < 4; ++version) db.Execute(kMigrations[static_cast<std::size_t>(version)]);
    stored = db.Integer("SELECT count(*) FROM commodity_items") > 0;
    UpgradeTo5(db);
    db.Execute(("PRAGMA user_version = " + std::to_string(kHistorySchemaVersion)).c_str());
    t.Commit();
  }
  // The runs stored again take a third of the room they took: the file
  // gives the rest back, in the 4 KB pages of a new file (a page size
  // changes only outside write-ahead logging). A file that cannot be
  // compacted now (a full disk, another program reading it) still works,
  // only larger.
  if (stored) {
    try {
      db.Execute("PRAGMA journal_mode = DELETE");
      db.Execute("PRAGMA page_size = 4096");
      db.Execute("VACUUM");
    } catch (const SqliteError&) {
    }
    db.Execute("PRAGMA journal_mode = WAL");
  }
}

CommodityWriter::CommodityWriter(Database& db)
    : db_(db),
      findList_(db, "SELECT id FROM commodity_item_lists WHERE sha256 = ?"),
      addList_(db, "INSERT INTO commodity_item_lists (sha256) VALUES (?)"),
      findDescription_(db,
                       "SELECT id FROM commodity_descriptions WHERE commodity_code = ? AND "
                       "form_code = ? AND kind = ? AND crop_group = ? AND crop_group_code = ? AND "
                       "crop_group_name = ? AND commodity_name = ? AND form_label = ?"),
      addDescription_(db,
                      "INSERT INTO commodity_descriptions (commodity_code, form_code, kind, "
                      "crop_group, crop_group_code, crop_group_name, commodity_name, form_label) "
                      "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
      // While a file of schema 4 is brought forward, the new tables have
      // names of their own.
      item_(db, db.Integer("SELECT count(*) FROM sqlite_master WHERE name = 'commodity_items_5'")
                    ? "INSERT INTO commodity_items_5 VALUES (?, ?, ?, ?, ?, ?)"
                    : "INSERT INTO commodity_items VALUES (?, ?, ?, ?, ?, ?)"),
      subgroup_(
          db, db.Integer("SELECT count(*) FROM sqlite_master WHERE name = 'commodity_subgroups_5'")
                  ? "INSERT INTO commodity_subgroups_5 VALUES "
                    "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                  : "INSERT INTO commodity_subgroups VALUES "
                    "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
      total_(db, "INSERT INTO commodity_totals VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)") {}

long long CommodityWriter::ItemList(const std::vector<RecordedContribution>& items) {
  // The list is known by the SHA-256 of its items' texts and figures: runs
  // of one residue file on one installation share it.
  std::string bytes;
  auto put = [&](std::string_view text) {
    bytes += std::to_string(text.size());
    bytes += ':';
    bytes += text;
  };
  auto figure = [&](const std::optional<float>& v) {
    if (v)
      put(std::string_view(reinterpret_cast<const char*>(&*v), sizeof *v));
    else
      put("-");
  };
  for (const RecordedContribution& d : items) {
    put(std::to_string(static_cast<int>(d.kind)));
    put(std::to_string(d.cropGroup));
    put(d.cropGroupCode);
    put(d.cropGroupName);
    put(d.commodityCode);
    put(d.commodityName);
    put(std::to_string(d.formCode));
    put(d.formLabel);
    figure(d.residue);
    figure(d.adj1);
    figure(d.adj2);
  }
  const std::string digest = Sha256Hex(bytes);
  findList_.Bind(1, digest);
  if (findList_.Step()) {
    const long long list = findList_.Int(0);
    findList_.Reset();
    return list;
  }
  findList_.Reset();
  addList_.Bind(1, digest).Run();
  const long long list = db_.LastInsertId();
  for (std::size_t k = 0; k < items.size(); ++k) {
    const RecordedContribution& d = items[k];
    auto bind = [&](Statement& s) {
      s.Bind(1, d.commodityCode)
          .Bind(2, d.formCode)
          .Bind(3, static_cast<long long>(d.kind))
          .Bind(4, d.cropGroup)
          .Bind(5, d.cropGroupCode)
          .Bind(6, d.cropGroupName)
          .Bind(7, d.commodityName)
          .Bind(8, d.formLabel);
    };
    bind(findDescription_);
    long long description = 0;
    if (findDescription_.Step()) {
      description = findDescription_.Int(0);
      findDescription_.Reset();
    } else {
      findDescription_.Reset();
      bind(addDescription_);
      addDescription_.Run();
      description = db_.LastInsertId();
    }
    item_.Bind(1, list).Bind(2, static_cast<long long>(k)).Bind(3, description);
    BindOptional(item_, 4, d.residue);
    BindOptional(item_, 5, d.adj1);
    BindOptional(item_, 6, d.adj2);
    item_.Run();
  }
  return list;
}

void CommodityWriter::Write(long long id, const StoredCommodity& c) {
  if (c.subgroups.empty()) return;
  const long long list = ItemList(c.items);
  long long seq = 0;
  for (const StoredCommodity::Subgroup& g : c.subgroups) {
    ++seq;
    subgroup_.Bind(1, id).Bind(2, seq).Bind(3, g.row).Bind(4, g.name).Bind(5, list);
    if (g.total) {
      subgroup_.BindDouble(6, g.total->exposure);
      BindFigures(subgroup_, 7, g.total->figures);
    }
    BindOptional(subgroup_, 13, g.constants.noel);
    BindOptional(subgroup_, 14, g.constants.qStar);
    const std::string blob = Compressed(g.foods);
    subgroup_.Bind(15, static_cast<long long>(g.foods.size())).BindBlob(16, blob);
    subgroup_.Run();
    for (const auto& [place, r] : g.totals) {
      total_.Bind(1, id).Bind(2, seq).Bind(3, place).Bind(4, static_cast<long long>(r.item));
      total_.BindDouble(5, r.exposure);
      BindOptional(total_, 6, r.sharePercent);
      BindFigures(total_, 7, r.figures);
      total_.Run();
    }
  }
}

long long ListChecksum(Database& db, long long id) {
  Crc crc;
  crc.Rows(db, kListedColumns, id, 0);
  return crc.Value();
}

long long ListChecksumOf(const Statement& listing) {
  Crc crc;
  crc.Row(listing, 9, 0);
  return crc.Value();
}

long long ContentChecksum(Database& db, long long id) {
  Crc crc;
  crc.Rows(db,
           "SELECT id, date, command, chemical, residue_file, endpoint, worst_subgroup, "
           "worst_figure, worst_value, manifest FROM runs WHERE id = ?",
           id, 1);
  crc.Rows(db, "SELECT * FROM longterm_rows WHERE run_id = ? ORDER BY row", id, 2);
  crc.Rows(db, "SELECT * FROM commodity_subgroups WHERE run_id = ? ORDER BY seq", id, 3);
  crc.Rows(db, "SELECT * FROM commodity_totals WHERE run_id = ? ORDER BY seq, place", id, 4);
  crc.Rows(db,
           "SELECT i.*, d.* FROM commodity_subgroups s JOIN commodity_items i ON "
           "i.item_list = s.item_list LEFT JOIN commodity_descriptions d ON "
           "d.id = i.description_id WHERE s.run_id = ? AND s.seq = 1 ORDER BY i.item",
           id, 5);
  crc.Rows(db, "SELECT * FROM cumulative_subgroups WHERE run_id = ? ORDER BY row", id, 6);
  crc.Rows(db, "SELECT * FROM cumulative_chemicals WHERE run_id = ? ORDER BY row, seq", id, 7);
  crc.Rows(db, "SELECT * FROM aggregate_runs WHERE run_id = ?", id, 8);
  return crc.Value();
}

void SealRun(Database& db, long long id) {
  Statement seal(db, "UPDATE runs SET list_checksum = ?, checksum = ? WHERE id = ?");
  seal.Bind(1, ListChecksum(db, id)).Bind(2, ContentChecksum(db, id)).Bind(3, id);
  seal.Run();
}

std::string ChecksumProblem(Database& db, long long id) {
  Statement s(db, "SELECT list_checksum, checksum FROM runs WHERE id = ?");
  s.Bind(1, id);
  if (!s.Step()) return "";
  const int listType = s.Type(0), contentType = s.Type(1);
  const long long list = s.Int(0), content = s.Int(1);
  // A run put in by another program without checksums is read as it is
  // (its values are still checked one by one).
  if ((listType != 5 && (listType != 1 || list != ListChecksum(db, id))) ||
      (contentType != 5 && (contentType != 1 || content != ContentChecksum(db, id))))
    return "run " + std::to_string(id) + " is not as it was recorded (its checksum differs)";
  return "";
}

std::string WholeFileProblem(Database& db, long long version) {
  Statement check(db, "PRAGMA quick_check(1)");
  const std::string result = check.Step() ? check.Text(0) : std::string("no answer");
  if (result != "ok") return "quick check: " + result;
  if (version < 5) return "";
  Statement ids(db, "SELECT id FROM runs ORDER BY id");
  while (ids.Step())
    if (std::string problem = ChecksumProblem(db, ids.Int(0)); !problem.empty()) return problem;
  return "";
}

}  // namespace ormid::history
