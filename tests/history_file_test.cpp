// The run history's file as other programs see it: the columns and values
// docs/history.md gives are the file's own, the views give a commodity run's
// rows to the sqlite3 shell, the stored rows give back every figure bit for
// bit, a history of schema 4 is brought forward in place, and the whole
// file is checked where it pays.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "cli/cli_run.h"
#include "core/mod_ormid.h"
#include "history/commodity_store.h"
#include "history/run_history.h"
#include "tests/cli_runner.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kNull = "(null)";

// zlib's inflate as the sqlite3 shell's sqlar_uncompress gives it: what the
// shell has and another program registers.
void SqlarUncompress(sqlite3_context* c, int, sqlite3_value** v) {
  const auto* data = static_cast<const Bytef*>(sqlite3_value_blob(v[0]));
  const int n = sqlite3_value_bytes(v[0]);
  const sqlite3_int64 size = sqlite3_value_int64(v[1]);
  if (size == n || size <= 0) {
    sqlite3_result_value(c, v[0]);
    return;
  }
  std::string out(static_cast<std::size_t>(size), '\0');
  uLongf made = static_cast<uLongf>(size);
  if (uncompress(reinterpret_cast<Bytef*>(out.data()), &made, data, static_cast<uLong>(n)) !=
      Z_OK) {
    sqlite3_result_error(c, "not zlib", -1);
    return;
  }
  sqlite3_result_blob(c, out.data(), static_cast<int>(made), SQLITE_TRANSIENT);
}

// The history opened as another program opens it, with sqlar_uncompress.
class Sql {
 public:
  explicit Sql(const fs::path& db) {
    EXPECT_EQ(sqlite3_open(db.c_str(), &h_), SQLITE_OK);
    sqlite3_create_function(h_, "sqlar_uncompress", 2, SQLITE_UTF8, nullptr, SqlarUncompress,
                            nullptr, nullptr);
  }
  ~Sql() { sqlite3_close(h_); }
  Rows Query(const std::string& sql) {
    Rows rows;
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(h_, sql.c_str(), -1, &s, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(h_);
    while (s && sqlite3_step(s) == SQLITE_ROW) {
      rows.emplace_back();
      for (int c = 0; c < sqlite3_column_count(s); ++c) {
        const auto* t = sqlite3_column_text(s, c);
        rows.back().push_back(t ? reinterpret_cast<const char*>(t) : kNull);
      }
    }
    sqlite3_finalize(s);
    return rows;
  }
  double Double(const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    double v = NAN;
    if (sqlite3_prepare_v2(h_, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
      v = sqlite3_column_double(s, 0);
    sqlite3_finalize(s);
    return v;
  }
  void Execute(const std::string& sql) {
    EXPECT_EQ(sqlite3_exec(h_, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(h_);
  }
  sqlite3* Handle() { return h_; }

 private:
  sqlite3* h_ = nullptr;
};

// A query through the plain sqlite3 shell, as another tool makes it: the
// rows, or nullopt with what the shell said.
std::optional<Rows> Shell(const fs::path& db, const std::string& sql, std::string& said) {
  const fs::path file = db.parent_path() / "query.sql";
  WriteFileBytes(file, sql);
  const std::string command = std::string("'") + ORMID_SQLITE3 + "' -readonly -batch -bail " +
                              "-cmd '.mode ascii' '" + db.string() + "' < '" + file.string() +
                              "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  if (::pclose(pipe) != 0) {
    said = text;
    return std::nullopt;
  }
  Rows rows;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\x1e', at), text.size());
    rows.emplace_back();
    for (std::size_t f = at;;) {
      const std::size_t sep = std::min(text.find('\x1f', f), end);
      rows.back().push_back(text.substr(f, sep - f));
      if (sep == end) break;
      f = sep + 1;
    }
    at = end + 1;
  }
  return rows;
}

class HistoryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
    CopySampleInstallation("csfii", P("csfii"));
  }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }

  CliResult Run(const std::vector<std::string>& args) { return RunCliIn(dir_.path(), args); }
  fs::path P(const std::string& rel) const { return dir_.path() / rel; }
  fs::path Db() const { return P("csfii") / kHistoryFile; }
  void MustRun(std::vector<std::string> args) {
    args.insert(args.begin(), {"-C", "csfii"});
    const CliResult r = Run(args);
    ASSERT_EQ(r.status, 0) << args[2] << ": " << r.err;
  }
  // A run of every kind and endpoint the history records, and a headroom
  // run, which it does not.
  void RecordEveryKind() {
    const std::string residue = "csfii/residues/DEMOFOS.R98";
    const std::vector<std::vector<std::string>> runs = {
        {"longterm", residue, "--rfd"},
        {"longterm", residue, "--noel=0.5"},
        {"longterm", residue, "--noel=0.5", "--rfd"},
        {"longterm", residue, "--qstar=0.05"},
        {"longterm", residue, "--pad", "--pad-value", "14=0.001"},
        {"longterm", residue, "--noel=0.5", "--pad", "--pad-value", "27=0.002"},
        {"commodity", residue, "--rfd", "--complete", "--critical", "--food-pct", "1", "--crop-pct",
         "5", "--subgroups", "1,27"},
        {"commodity", residue, "--noel=0.5", "--complete", "--subgroups", "1,27"},
        {"commodity", residue, "--noel=0.5", "--rfd", "--complete", "--subgroups", "14"},
        {"commodity", residue, "--qstar=0.05", "--complete", "--subgroups", "2"},
        {"commodity", residue, "--pad", "--pad-value", "27=0.001", "--complete", "--subgroups",
         "14,27"},
        {"cumulative", "csfii/op-group.csv", "--subgroups", "1,27"},
        {"aggregate", residue, "--tox", "csfii/tox.csv", "--residential", "csfii/residential.csv",
         "--subgroups", "1,27"},
        {"residue", "build", "csfii/monitoring/samples.csv", "--rules",
         "csfii/monitoring/rules.csv", "--chemical", "Demofos", "csfii/residues/BUILT.R98"},
        {"headroom", residue, "--rfd"}};
    for (const auto& r : runs) MustRun(r);
  }

  TempDir dir_;
  ScopedCurrentDir cwd_{fs::current_path()};
};

// A row of docs/history.md's "Every column" table: its columns and what
// they hold.
struct DocumentedRow {
  std::string table;
  std::vector<std::string> columns;
  std::string holds;
};

std::vector<std::string> Quoted(const std::string& text) {
  std::vector<std::string> words;
  for (std::size_t at = text.find('`'); at != std::string::npos; at = text.find('`', at)) {
    const std::size_t end = text.find('`', at + 1);
    if (end == std::string::npos) break;
    words.push_back(text.substr(at + 1, end - at - 1));
    at = end + 1;
  }
  return words;
}

std::vector<DocumentedRow> DocumentedRows() {
  const std::string doc = ReadFileBytes(SourceDir() / "docs" / "history.md");
  const std::size_t start = doc.find("### Every column");
  EXPECT_NE(start, std::string::npos);
  const std::size_t end = doc.find("\n#", start + 1);
  std::vector<DocumentedRow> rows;
  std::string table;
  for (const std::string& line : Lines(doc.substr(start, end - start))) {
    if (line.rfind("| ", 0) != 0 || line.rfind("| Table", 0) == 0) continue;
    std::vector<std::string> cells;
    for (std::size_t at = 1, bar; (bar = line.find('|', at)) != std::string::npos; at = bar + 1)
      cells.push_back(line.substr(at, bar - at));
    if (cells.size() != 3) continue;
    if (!Quoted(cells[0]).empty()) table = Quoted(cells[0])[0];
    rows.push_back({table, Quoted(cells[1]), cells[2]});
  }
  return rows;
}

// The values a row gives a column as "`COLUMN` one of `a`, `b`" (or "one of
// `a`, `b`" in a row of one column).
std::set<std::string> ValuesOf(const DocumentedRow& r, const std::string& column) {
  std::set<std::string> values;
  std::size_t at = r.holds.find("`" + column + "` one of ");
  if (at != std::string::npos)
    at += column.size() + 3;
  else if (r.columns.size() == 1)
    at = r.holds.find("one of ");
  if (at == std::string::npos) return values;
  at += 7;
  while (at < r.holds.size() && r.holds[at] == '`') {
    const std::size_t end = r.holds.find('`', at + 1);
    values.insert(r.holds.substr(at + 1, end - at - 1));
    at = end + 1;
    if (r.holds.compare(at, 2, ", ") != 0) break;
    at += 2;
  }
  // A column left empty for some runs says so.
  if (r.holds.find("; empty for ") != std::string::npos) values.insert("");
  return values;
}

// docs/history.md names every table and column of a history filled with
// every kind of run, and no other; each column's documented values are
// those the runs give, and a numbering documented from 0 or 1 starts there.
// A headroom run is not recorded.
TEST_F(HistoryFile, TheDocumentedColumnsAndValuesAreTheFilesOwn) {
  RecordEveryKind();
  Sql sql(Db());
  EXPECT_EQ(sql.Query("SELECT count(*) FROM runs")[0][0], "14");  // not the headroom run
  const std::vector<DocumentedRow> documented = DocumentedRows();
  std::map<std::string, std::set<std::string>> byTable;
  for (const DocumentedRow& r : documented)
    byTable[r.table].insert(r.columns.begin(), r.columns.end());
  std::set<std::string> tables;
  for (const auto& row : sql.Query(
           "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'"))
    tables.insert(row[0]);
  std::set<std::string> documentedTables;
  for (const auto& [t, _] : byTable) documentedTables.insert(t);
  EXPECT_EQ(documentedTables, tables);
  for (const std::string& t : tables) {
    std::set<std::string> columns;
    for (const auto& row : sql.Query("SELECT name FROM pragma_table_info('" + t + "')"))
      columns.insert(row[0]);
    EXPECT_EQ(byTable[t], columns) << t;
  }
  int checkedValues = 0, checkedStarts = 0;
  for (const DocumentedRow& r : documented) {
    for (const std::string& column : r.columns) {
      const std::set<std::string> values = ValuesOf(r, column);
      if (values.empty()) continue;
      std::set<std::string> found;
      for (const auto& row : sql.Query("SELECT DISTINCT " + column + " FROM " + r.table +
                                       " WHERE " + column + " IS NOT NULL"))
        found.insert(row[0]);
      EXPECT_EQ(found, values) << r.table << "." << column;
      ++checkedValues;
    }
    // A numbering "(from N)" is the row's last column's, within each run
    // (each list, each subgroup of a cumulative run).
    for (const char* from : {"(from 0)", "(from 1)"}) {
      if (r.holds.find(from) == std::string::npos) continue;
      const std::string& column = r.columns.back();
      const std::set<std::string>& all = byTable[r.table];
      std::string group = all.count("item_list") && column == "item" ? " GROUP BY item_list"
                          : all.count("run_id")                      ? " GROUP BY run_id"
                                                                     : "";
      if (r.table == "cumulative_chemicals") group += ", row";
      const std::string first(1, from[6]);
      const Rows starts = sql.Query("SELECT DISTINCT min(" + column + ") FROM " + r.table + group);
      EXPECT_EQ(starts, (Rows{{first}})) << r.table << "." << column;
      ++checkedStarts;
    }
  }
  // runs.command, endpoint, worst_figure, longterm_rows.reference_dose_kind,
  // commodity_descriptions.kind; seq twice, place and item.
  EXPECT_GE(checkedValues, 5);
  EXPECT_GE(checkedStarts, 4);
}

// The views give every row of every commodity run to a program that is not
// Ormid: through the plain sqlite3 shell the documented example queries
// answer, and through SQLite each run's rows are the ones Ormid reads back,
// the exposures exactly, the figures the views work out to a
// single-precision value's digits. The food rows of runs of every endpoint
// hold nothing but their exposures: every other figure follows from them.
TEST_F(HistoryFile, ViewsGiveTheRowsOfCommodityRunsToOtherTools) {
  RecordEveryKind();
  Sql sql(Db());
  EXPECT_EQ(sql.Query("SELECT count(*) FROM commodity_subgroups s, json_each(CAST(sqlar_uncompress("
                      "s.food_rows, s.food_rows_size) AS TEXT)) f WHERE json_array_length(f.value)"
                      " > 2")[0][0],
            "0");
  auto near = [](double view, const std::optional<float>& own) {
    if (!own) return std::isnan(view);
    return std::fabs(view - *own) <= 3e-7 * std::fabs(static_cast<double>(*own));
  };
  int compared = 0;
  for (long long id = 7; id <= 11; ++id) {
    std::string error;
    const auto run = LoadRun(Db().string(), id, error);
    ASSERT_TRUE(run) << error;
    const Rows rows = sql.Query(
        "SELECT subgroup_row, kind, crop_group, commodity_code, form_code, "
        "exposure_mg_per_kg_bw_day, share_percent, percent_of_reference_dose, percent_of_noel, "
        "margin_of_exposure, lifetime_cancer_risk, reference_dose_kind, "
        "reference_dose_mg_per_kg_bw_day, residue_ppm FROM commodity_rows_v WHERE run_id = " +
        std::to_string(id));
    ASSERT_EQ(rows.size(), run->commodity.size()) << id;
    using Key = std::tuple<int, int, std::string, int, std::string>;
    static const char* const kKinds[] = {"food", "food form", "crop group", "subgroup total"};
    std::map<Key, const std::vector<std::string>*> byKey;
    for (const auto& r : rows) {
      const int kind = static_cast<int>(std::find(std::begin(kKinds), std::end(kKinds), r[1]) -
                                        std::begin(kKinds));
      byKey[{std::stoi(r[0]), std::stoi(r[2]), r[3], std::stoi(r[4]), std::to_string(kind)}] = &r;
    }
    ASSERT_EQ(byKey.size(), rows.size()) << id;
    auto number = [](const std::string& t) { return t == kNull ? NAN : std::stod(t); };
    for (const RecordedContribution& c : run->commodity) {
      const auto found = byKey.find({c.row, c.cropGroup, c.commodityCode, c.formCode,
                                     std::to_string(static_cast<int>(c.kind))});
      ASSERT_NE(found, byKey.end()) << id << " " << c.subgroup << " " << c.commodityName;
      const auto& r = *found->second;
      EXPECT_EQ(static_cast<float>(number(r[5])), c.exposure) << id << " " << c.commodityName;
      EXPECT_TRUE(near(number(r[6]), c.sharePercent)) << r[6];
      EXPECT_TRUE(near(number(r[7]), c.figures.percentReference)) << r[7];
      EXPECT_TRUE(near(number(r[8]), c.figures.percentNoel)) << r[8];
      EXPECT_TRUE(near(number(r[9]), c.figures.marginOfExposure)) << r[9];
      EXPECT_TRUE(near(number(r[10]), c.figures.lifetimeRisk)) << r[10];
      EXPECT_EQ(r[11], c.figures.reference == ReferenceKind::RfD   ? "RfD"
                       : c.figures.reference == ReferenceKind::PAD ? "PAD"
                                                                   : kNull);
      EXPECT_TRUE(near(number(r[12]), c.figures.referenceDose)) << r[12];
      EXPECT_TRUE(near(number(r[13]), c.residue)) << r[13];
      ++compared;
    }
  }
  EXPECT_GT(compared, 3000);
  // A food's share in commodity_foods_v is its food forms' added up; the
  // crop groups' are the subtotals.
  EXPECT_NEAR(sql.Double("SELECT sum(share_percent) FROM commodity_foods_v WHERE run_id = 7 AND "
                         "subgroup_row = 1 AND crop_group = 1"),
              sql.Double("SELECT share_percent FROM commodity_crop_groups_v WHERE run_id = 7 AND "
                         "subgroup_row = 1 AND crop_group = 1"),
              1e-4);

  if (std::string(ORMID_SQLITE3).empty()) GTEST_SKIP() << "no sqlite3 shell (Debian: sqlite3)";
  const std::string doc = ReadFileBytes(SourceDir() / "docs" / "history.md");
  // Run 2 of the documented examples is the history's first commodity run.
  sql.Execute(
      "PRAGMA foreign_keys = OFF; DELETE FROM runs WHERE id NOT IN (7, 8, 9, 10, 11); "
      "UPDATE commodity_subgroups SET run_id = run_id - 5; "
      "UPDATE commodity_totals SET run_id = run_id - 5; UPDATE runs SET id = id - 5;");
  int examples = 0;
  for (std::size_t at = doc.find("```sql\n"); at != std::string::npos;
       at = doc.find("```sql\n", at + 1)) {
    const std::size_t end = doc.find("```\n", at + 7);
    const std::string query = doc.substr(at + 7, end - at - 7);
    std::string said;
    const auto rows = Shell(Db(), query, said);
    ASSERT_TRUE(rows) << query << said;
    EXPECT_FALSE(rows->empty()) << query;
    ++examples;
  }
  EXPECT_GE(examples, 4);
  std::string said;
  const auto shares = Shell(Db(),
                            "SELECT count(*), sum(share_percent) FROM commodity_rows_v WHERE "
                            "run_id = 2 AND kind = 'crop group';",
                            said);
  ASSERT_TRUE(shares) << said;
  EXPECT_EQ(shares->at(0).at(0), sql.Query("SELECT count(*) FROM commodity_totals t JOIN "
                                           "commodity_subgroups s USING (run_id, seq) JOIN "
                                           "commodity_items i ON i.item_list = s.item_list AND "
                                           "i.item = t.item JOIN commodity_descriptions d ON "
                                           "d.id = i.description_id WHERE t.run_id = 2 AND "
                                           "d.kind = 2")[0][0]);
}

// A run's rows come back as they were sent, whatever they hold: figures that
// follow from the exposure and figures that do not, a row with its own
// reference dose, a row without figures, subgroups whose foods come in
// another order or not at all, and a subgroup without a total.
TEST_F(HistoryFile, StoredRowsGiveBackEveryFigureBitForBit) {
  std::vector<ContributionResult> sent;
  auto add = [&](ContributionKind kind, int row, const char* subgroup, int group, const char* code,
                 int form, float e) -> ContributionResult& {
    ContributionResult r;
    r.kind = kind;
    r.row = row;
    r.subgroup = subgroup;
    r.cropGroup = group;
    r.cropGroupName = group == 1 ? "Root vegetables" : "Fruits";
    r.cropGroupCode = group == 1 ? "1" : "11A";
    if (kind == ContributionKind::Food || kind == ContributionKind::FoodForm) {
      r.commodityCode = code;
      r.commodityName = code;
      r.formCode = form;
      r.formLabel = form ? "100-Uncooked" : "";
      r.residue = 0.25f * static_cast<float>(form + 1);
      r.adj1 = 1.0f;
    }
    if (kind == ContributionKind::SubgroupTotal) r.cropGroup = 0;
    r.exposure = e;
    r.reference = ReferenceKind::RfD;
    r.referenceDose = 0.005f;
    r.sharePercent = e * 40.0f;
    r.percentReference = e / 0.005f * 100.0f;  // single-precision steps: not the stored formula
    sent.push_back(r);
    return sent.back();
  };
  using K = ContributionKind;
  add(K::FoodForm, 1, "One", 1, "01", 100, 1.5e-5f);
  add(K::FoodForm, 1, "One", 1, "01", 200, 2.5e-5f).reference = ReferenceKind::PAD;
  sent.back().referenceDose = 0.001f;
  add(K::Food, 1, "One", 1, "02", 0, 0.0f).percentReference.reset();
  add(K::CropGroupSubtotal, 1, "One", 1, "", 0, 4.0e-5f);
  add(K::Food, 1, "One", 2, "03", 0, 3.0e-7f).marginOfExposure = 1234.5f;
  sent.back().lifetimeRisk = 1e-9f;
  add(K::CropGroupSubtotal, 1, "One", 2, "", 0, 3.0e-7f);
  add(K::SubgroupTotal, 1, "One", 0, "", 0, 4.03e-5f);
  // Another order, a food left out, a new food.
  add(K::Food, 2, "Two", 1, "02", 0, 1.0e-6f);
  add(K::FoodForm, 2, "Two", 1, "01", 100, 2.0e-6f);
  add(K::FoodForm, 2, "Two", 1, "04", 100, 3.0e-6f);
  add(K::CropGroupSubtotal, 2, "Two", 1, "", 0, 6.0e-6f);
  add(K::SubgroupTotal, 2, "Two", 0, "", 0, 6.0e-6f);
  // No total.
  add(K::Food, 3, "Three", 2, "03", 0, 7.0e-6f).sharePercent.reset();

  HistoryRecorder figures;
  ModOrmid m;
  for (const ContributionResult& r : sent) figures.Contribution(m, r);
  nlohmann::json manifest = nlohmann::json::parse(
      R"({"manifest_version": 2, "run": {"command": "commodity", "date": "2024-03-05T09:07:01Z"},
          "installation": {"working_folder": "/w", "files": [{"path": "/w/FCIDMean.dat",
              "size": 1, "sha256": "0000000000000000000000000000000000000000000000000000000000000000"}]},
          "residue_file": {"path": "r.R98", "size": 1, "chemical": "Testofos", "sha256":
              "0000000000000000000000000000000000000000000000000000000000000000"},
          "settings": {"endpoint": "R"}, "outputs": []})");
  RecordRequest request;
  request.path = Db().string();
  const RecordOutcome o = RecordRun(request, manifest, figures);
  ASSERT_TRUE(o.recorded) << o.problem;
  std::string error;
  const auto run = LoadRun(Db().string(), o.id, error);
  ASSERT_TRUE(run) << error;
  ASSERT_EQ(run->commodity.size(), sent.size());
  auto bits = [](const std::optional<float>& v) {
    return v ? std::optional(std::bit_cast<std::uint32_t>(*v)) : std::nullopt;
  };
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const ContributionResult& a = sent[i];
    const ContributionResult b = run->commodity[i].View();
    EXPECT_EQ(a.kind, b.kind) << i;
    EXPECT_EQ(a.row, b.row) << i;
    EXPECT_EQ(a.subgroup, b.subgroup) << i;
    EXPECT_EQ(a.commodityCode, b.commodityCode) << i;
    EXPECT_EQ(a.formCode, b.formCode) << i;
    EXPECT_EQ(a.cropGroupCode, b.cropGroupCode) << i;
    EXPECT_EQ(bits(a.residue), bits(b.residue)) << i;
    EXPECT_EQ(bits(a.exposure), bits(b.exposure)) << i;
    EXPECT_EQ(bits(a.sharePercent), bits(b.sharePercent)) << i;
    EXPECT_EQ(a.reference, b.reference) << i;
    EXPECT_EQ(bits(a.referenceDose), bits(b.referenceDose)) << i;
    EXPECT_EQ(bits(a.percentReference), bits(b.percentReference)) << i;
    EXPECT_EQ(bits(a.marginOfExposure), bits(b.marginOfExposure)) << i;
    EXPECT_EQ(bits(a.lifetimeRisk), bits(b.lifetimeRisk)) << i;
  }
  // The totals alone, as a comparison reads them.
  const auto totals = LoadRun(Db().string(), o.id, error, true);
  ASSERT_TRUE(totals) << error;
  EXPECT_EQ(totals->commodity.size(), 5u);
}

// The food rows' text is read as StoreCommodity writes it and nothing else:
// figures written or worked out from the subgroup's constants, items by
// place or by number, a row's own reference; any other text, or a figure
// that cannot be worked out, is refused.
TEST(StoredFoodRows, AreReadAsWrittenAndNothingElse) {
  history::SubgroupConstants c;
  c.total = 1e-4f;
  c.reference = ReferenceKind::RfD;
  c.referenceDose = 0.005f;
  c.noel = 0.5f;
  c.qStar = 0.05f;
  std::vector<history::StoredRow> rows;
  ASSERT_TRUE(
      history::ReadFoodRows("[[1e-05,5],[2e-05,1,3,12.5],[0,0,null,null,null,null,null,"
                            "null,2,0.001],[3e-05,56],[4e-05,4,null,null,7]]",
                            c, 5, rows));
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].item, 0u);
  EXPECT_EQ(rows[0].sharePercent, history::PercentOf(1e-5f, 1e-4f));
  EXPECT_EQ(rows[0].figures.percentReference, history::PercentOf(1e-5f, 0.005f));
  EXPECT_EQ(rows[0].figures.reference, ReferenceKind::RfD);
  EXPECT_EQ(rows[1].item, 3u);
  EXPECT_EQ(rows[1].sharePercent, 12.5f);
  EXPECT_FALSE(rows[1].figures.percentReference);
  EXPECT_EQ(rows[2].item, 2u);
  EXPECT_EQ(rows[2].figures.reference, ReferenceKind::PAD);
  EXPECT_EQ(rows[2].figures.referenceDose, 0.001f);
  EXPECT_FALSE(rows[2].sharePercent);
  EXPECT_EQ(rows[3].figures.percentNoel, history::PercentOf(3e-5f, 0.5f));
  EXPECT_EQ(rows[3].figures.marginOfExposure, history::QuotientOf(0.5f, 3e-5f));
  EXPECT_EQ(rows[3].figures.lifetimeRisk, history::ProductOf(3e-5f, 0.05f));
  EXPECT_EQ(rows[4].item, 4u);
  EXPECT_EQ(rows[4].figures.percentReference, 7.0f);
  rows.clear();
  EXPECT_TRUE(history::ReadFoodRows("[]", c, 0, rows));
  EXPECT_TRUE(rows.empty());
  for (const char* bad : {"",
                          "[",
                          "[[1e-05]]",
                          "[[1e-05,5]",
                          "[[1e-05,5]] ",
                          "[[1e-05,5] ]",
                          "[ [1e-05,5]]",
                          "[[x,5]]",
                          "[[1e-05,64]]",
                          "[[1e-05,2]]",
                          "[[1e-05,-1]]",
                          "[[1e-05,5,9]]",
                          "[[1e-05,0,null,1]]",
                          "[[1e-05,5,null,null,null,null,null,null,3,0.1]]",
                          "[[1e-05,5,null,null,null,null,null,null,1]]",
                          "[[1e-05,5,null,null,null,null,null,null,null,0.1]]",
                          "[[1e-05,1,2,3,4,5,6,7,1,2,3]]",
                          "[[1e999,5]]",
                          "[[nan,5]]",
                          "[[1e-05,5]],[[1,1]]",
                          "[[1e-05,5][2e-05,5]]",
                          "[[1e-05,5],]",
                          "[[1e-05,5,,]]",
                          "[[0,16]]",
                          "[[1e-05,5,1.5]]",
                          "{\"a\":1}"}) {
    rows.clear();
    EXPECT_FALSE(history::ReadFoodRows(bad, c, 5, rows)) << bad;
  }
  // A figure that follows from a constant the subgroup has not.
  for (const char* needs : {"[[1e-05,1]]", "[[1e-05,4]]", "[[1e-05,8]]", "[[1e-05,32]]"}) {
    rows.clear();
    EXPECT_FALSE(history::ReadFoodRows(needs, history::SubgroupConstants{}, 1, rows)) << needs;
  }
}

// The history keeps only figures it can give back as figures: a run with an
// infinite figure or one that is not a number is not recorded, the history
// unchanged.
TEST_F(HistoryFile, ARunWhoseFiguresAreNotAllNumbersIsNotRecorded) {
  const nlohmann::json manifest = nlohmann::json::parse(
      R"({"manifest_version": 2, "run": {"command": "longterm", "date": "2024-03-05T09:07:01Z"},
          "installation": {"working_folder": "/w", "files": [{"path": "/w/FCIDMean.dat",
              "size": 1, "sha256": "0000000000000000000000000000000000000000000000000000000000000000"}]},
          "residue_file": {"path": "r.R98", "size": 1, "chemical": "Testofos", "sha256":
              "0000000000000000000000000000000000000000000000000000000000000000"},
          "settings": {"endpoint": "R"}, "outputs": []})");
  ModOrmid m;
  for (int which = 0; which < 6; ++which) {
    HistoryRecorder figures;
    if (which >= 3) {
      // A cumulative run's total margin of exposure, its hazard index, or
      // its cumulative margin.
      RecordedCumulative r{
          1, "All", 0.5, 25.0, 4.0, 1.5, 4.0, 100.0, {{"A", 1, 0.25f, 0.25, 50.0, ""}}};
      (which == 3 ? r.moet : which == 4 ? r.hazardIndex : r.margin) = INFINITY;
      figures.Cumulative({r});
      RecordRequest request;
      request.path = Db().string();
      const RecordOutcome o = RecordRun(request, manifest, figures);
      EXPECT_FALSE(o.recorded) << which;
      continue;
    }
    LongTermResult lt;
    lt.row = 1;
    lt.subgroup = "All";
    lt.exposure = which == 0 ? INFINITY : 1e-5f;
    ContributionResult c;
    c.kind = ContributionKind::SubgroupTotal;
    c.row = 1;
    c.subgroup = "All";
    c.exposure = 1e-5f;
    if (which == 1) c.sharePercent = NAN;
    if (which == 2) c.residue = -INFINITY;
    figures.LongTerm(m, lt);
    figures.Contribution(m, c);
    RecordRequest request;
    request.path = Db().string();
    const RecordOutcome o = RecordRun(request, manifest, figures);
    EXPECT_FALSE(o.recorded) << which;
    EXPECT_EQ(o.problem, "the run's figures are not all numbers (one is infinite or not a number)");
  }
  std::string error;
  EXPECT_EQ(ListRuns(Db().string(), {}, error)->size(), 0u) << error;
}

// A history of schema 4, as the program of revision 5a311fd left it
// (tests/data/history-schema-4.sqlite: long-term, commodity and cumulative
// runs of the csfii sample, with 32 KB pages), is read as it is, and the next
// recording brings it forward in place: every run's export the same as
// before, the file smaller, its commodity runs in the views.
TEST_F(HistoryFile, AHistoryOfSchema4IsBroughtForwardInPlace) {
  fs::copy_file(SourceDir() / "tests" / "data" / "history-schema-4.sqlite", Db());
  const auto sizeBefore = fs::file_size(Db());
  auto exports = [&](const std::string& tag) {
    std::map<std::string, std::string> files;
    for (int id = 1; id <= 6; ++id)
      for (const char* ext : {".csv", ".json"}) {
        const std::string name = tag + std::to_string(id) + ext;
        const CliResult r = Run(
            {"-C", "csfii", "history", "show", std::to_string(id), "--export", P(name).string()});
        EXPECT_EQ(r.status, 0) << r.err;
        files[std::to_string(id) + ext] = ReadFileBytes(P(name));
      }
    return files;
  };
  const CliResult listBefore = Run({"-C", "csfii", "history"});
  ASSERT_EQ(listBefore.status, 0) << listBefore.err;
  EXPECT_EQ(Lines(listBefore.out).size(), 7u) << listBefore.out;
  const auto before = exports("before");
  EXPECT_EQ(Sql(Db()).Query("PRAGMA user_version")[0][0], "4");
  // An older file's packed rows that are not a packing are damage there too.
  fs::copy_file(Db(), P("pristine.sqlite"));
  Sql(Db()).Execute(
      "UPDATE commodity_subgroups SET packed_rows = substr(packed_rows, 1, 7) WHERE "
      "run_id = 2 AND seq = 2");
  const CliResult cut = Run({"-C", "csfii", "history", "show", "2"});
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.err, "Run History: The figures of run 2 are damaged.\n");
  fs::copy_file(P("pristine.sqlite"), Db(), fs::copy_options::overwrite_existing);

  MustRun({"longterm", "csfii/residues/DEMOFOS.R98", "--rfd"});
  Sql sql(Db());
  EXPECT_EQ(sql.Query("PRAGMA user_version")[0][0], "5");
  EXPECT_EQ(sql.Query("SELECT count(*) FROM pragma_table_info('commodity_subgroups') WHERE "
                      "name = 'packed_rows'")[0][0],
            "0");
  EXPECT_EQ(exports("after"), before);
  const CliResult listAfter = Run({"-C", "csfii", "history"});
  EXPECT_EQ(listAfter.out.substr(0, listBefore.out.size()), listBefore.out);
  EXPECT_LT(fs::file_size(Db()), sizeBefore);
  EXPECT_EQ(sql.Query("SELECT count(DISTINCT run_id) FROM commodity_food_rows_v")[0][0], "3");
  EXPECT_EQ(Run({"-C", "csfii", "history", "check"}).status, 0);

  // A file as schema 1 left it (no cumulative tables, no trigger) reads as
  // it is and is brought forward through every step.
  fs::remove(Db());
  fs::copy_file(P("pristine.sqlite"), Db());
  Sql(Db()).Execute(
      "DELETE FROM runs WHERE id = 5; DROP TABLE cumulative_subgroups; DROP TABLE "
      "cumulative_chemicals; DROP TRIGGER runs_delete_rows; PRAGMA user_version = 1");
  const CliResult one = Run({"-C", "csfii", "history"});
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(Lines(one.out).size(), 6u) << one.out;
  EXPECT_EQ(Run({"-C", "csfii", "history", "show", "2", "--export", P("one2.csv").string()}).status,
            0);
  EXPECT_EQ(ReadFileBytes(P("one2.csv")), before.at("2.csv"));
  MustRun({"longterm", "csfii/residues/DEMOFOS.R98", "--rfd"});
  EXPECT_EQ(Sql(Db()).Query("PRAGMA user_version")[0][0], "5");
  EXPECT_EQ(
      Run({"-C", "csfii", "history", "show", "2", "--export", P("five2.csv").string()}).status, 0);
  EXPECT_EQ(ReadFileBytes(P("five2.csv")), before.at("2.csv"));
  EXPECT_EQ(Run({"-C", "csfii", "history", "check"}).status, 0);
}

// The whole file is checked at the first recording of a day, which `history
// check` spares, and when a program left its write-ahead log behind; other
// reads and recordings leave pages they do not read unread. Damage in a
// page no listing reads (the descriptions of foods) is found by a listing
// only then, and by `history check` always.
TEST_F(HistoryFile, TheWholeFileIsCheckedWhereItPays) {
  MustRun({"commodity", "csfii/residues/DEMOFOS.R98", "--rfd", "--complete", "--subgroups", "1"});
  MustRun({"longterm", "csfii/residues/DEMOFOS.R98", "--rfd"});
  auto checks = [&] { return Sql(Db()).Query("SELECT date FROM history_checks"); };
  EXPECT_EQ(checks(), (Rows{{"2024-03-05"}}));
  ::setenv("SOURCE_DATE_EPOCH", "1709716021", 1);  // the next day
  const CliResult check = Run({"-C", "csfii", "history", "check"});
  EXPECT_EQ(check.status, 0) << check.err;
  EXPECT_NE(check.out.find("ormid-history.sqlite: 2 runs, "), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("no damage found"), std::string::npos) << check.out;
  MustRun({"longterm", "csfii/residues/DEMOFOS.R98", "--rfd"});
  EXPECT_EQ(checks(), (Rows{{"2024-03-05"}, {"2024-03-06"}}));

  // The descriptions' first page, spoiled.
  const long long page =
      std::stoll(Sql(Db()).Query("SELECT rootpage FROM sqlite_master WHERE name = "
                                 "'commodity_descriptions'")[0][0]);
  std::string bytes = ReadFileBytes(Db());
  for (std::size_t i = 0; i < 16; ++i)
    bytes[static_cast<std::size_t>(page - 1) * 4096 + i] = '\x7f';
  WriteFileBytes(Db(), bytes);
  EXPECT_EQ(Run({"-C", "csfii", "history"}).status, 0);
  const CliResult show = Run({"-C", "csfii", "history", "show", "1"});
  EXPECT_EQ(show.status, 1);
  EXPECT_NE(show.err.find("is damaged"), std::string::npos) << show.err;
  EXPECT_EQ(Run({"-C", "csfii", "history", "check"}).status, 1);

  // A program that ends without closing the history leaves its log.
  const pid_t child = ::fork();
  if (child == 0) {
    sqlite3* h = nullptr;
    sqlite3_open(Db().c_str(), &h);
    sqlite3_exec(h, "PRAGMA journal_mode = WAL; UPDATE history_checks SET result = result;",
                 nullptr, nullptr, nullptr);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(fs::exists(Db().string() + "-wal"));
  const CliResult list = Run({"-C", "csfii", "history"});
  EXPECT_EQ(list.status, 1);
  EXPECT_EQ(list.out, "");
  EXPECT_NE(list.err.find("is damaged: quick check:"), std::string::npos) << list.err;
}

}  // namespace
}  // namespace ormid::test
