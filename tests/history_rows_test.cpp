// Hostile rows in the run history: rows another program changed or put in
// (the sqlite3 shell, a restore from elsewhere) are refused with a message
// naming the run, never shown as figures, never obeyed on the terminal, and
// never crash a command; a file of a schema version Ormid never wrote is
// damaged, not empty; a history that can take no more runs says why.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>

#include "cli/cli_run.h"
#include "history/run_history.h"
#include "tests/cli_runner.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;

class HostileHistory : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
    CopySampleInstallation("csfii", P("csfii"));
  }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }

  CliResult Run(const std::vector<std::string>& args) { return RunCliIn(dir_.path(), args); }
  CliResult InCsfii(std::vector<std::string> args) {
    args.insert(args.begin(), {"-C", "csfii"});
    return Run(args);
  }
  fs::path P(const std::string& rel) const { return dir_.path() / rel; }
  fs::path Db() const { return P("csfii") / kHistoryFile; }
  // A long-term (1), a commodity (2) and a cumulative run (3).
  void RecordThree() {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"longterm", "csfii/residues/DEMOFOS.R98", "--rfd"},
             {"commodity", "csfii/residues/DEMOFOS.R98", "--rfd", "--complete", "--subgroups",
              "1,27"},
             {"cumulative", "csfii/op-group.csv", "--subgroups", "1,27"}})
      ASSERT_EQ(InCsfii(args).status, 0) << args[0];
  }
  // Runs SQL on the history as another program would, ?1 bound to the text
  // (a blob when `blob`) and ?2 to its size.
  void Edit(const std::string& sql, const std::string& text = "", bool blob = false,
            std::size_t size = 0) {
    sqlite3* h = nullptr;
    ASSERT_EQ(sqlite3_open(Db().c_str(), &h), SQLITE_OK);
    sqlite3_stmt* s = nullptr;
    for (const char* at = sql.c_str(); *at;) {
      const char* rest = nullptr;
      ASSERT_EQ(sqlite3_prepare_v2(h, at, -1, &s, &rest), SQLITE_OK)
          << at << ": " << sqlite3_errmsg(h);
      if (!s) break;
      if (sqlite3_bind_parameter_count(s) > 0) {
        if (blob)
          sqlite3_bind_blob(s, 1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        else
          sqlite3_bind_text(s, 1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        if (sqlite3_bind_parameter_count(s) > 1)
          sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(size));
      }
      EXPECT_EQ(sqlite3_step(s), SQLITE_DONE) << at << ": " << sqlite3_errmsg(h);
      sqlite3_finalize(s);
      at = rest;
    }
    sqlite3_close(h);
  }

  TempDir dir_;
  ScopedCurrentDir cwd_{fs::current_path()};
};

// A manifest nested a million deep (`update runs set manifest =
// readfile('deep.txt')`) is damage the run's checksum finds, and where the
// checksums were taken away too, the bounds of a manifest file refuse it.
TEST_F(HostileHistory, AManifestIsHeldToTheBoundsOfAManifestFile) {
  RecordThree();
  Edit("UPDATE runs SET manifest = ?1 WHERE id = 1",
       std::string(1000000, '[') + std::string(1000000, ']'));
  CliResult r = InCsfii({"history", "show", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "Run History: ormid-history.sqlite is damaged: run 1 is not as it was recorded (its "
            "checksum differs).\n");
  Edit("UPDATE runs SET checksum = NULL, list_checksum = NULL");
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"history", "show", "1"}, {"compare", "1", "2"}, {"compare", "2", "1"}}) {
    r = InCsfii(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Run History: The manifest of run 1 is damaged: it is nested deeper than a manifest "
              "is.\n");
  }
  // JSON that is no manifest, and a manifest without its run.
  Edit("UPDATE runs SET manifest = '[1, 2]' WHERE id = 1");
  EXPECT_EQ(InCsfii({"history", "show", "1"}).err,
            "Run History: The manifest of run 1 is damaged: it is not a run manifest.\n");
  Edit("UPDATE runs SET manifest = json_remove(manifest, '$.run') WHERE id = 3");
  EXPECT_EQ(InCsfii({"history", "show", "3"}).err,
            "Run History: The manifest of run 3 is damaged: run is missing.\n");
  EXPECT_EQ(InCsfii({"history", "show", "2"}).status, 0);
}

// Figures stored as texts, blobs, infinities or values no single-precision
// figure has, and food rows that are not what Ormid writes, are refused:
// "The figures of run N are damaged.", nothing shown, exported or compared.
TEST_F(HostileHistory, FiguresThatAreNoFiguresAreRefused) {
  RecordThree();
  auto zlib = [](const std::string& text) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()));
    out.resize(size);
    return out;
  };
  // Each damage of run `run`; a comparison, which reads the subgroups'
  // totals alone, is refused where it reads the damage.
  struct Case {
    int run;
    std::string sql, text;
    bool compared = true;
  };
  const std::string nan = "[[nan,5]]", huge = "[[1e999,5]]", extra = "[[1e-05,5,0,1,2,3,4,5,6]]";
  const Case cases[] = {
      {1, "UPDATE longterm_rows SET exposure_mg_per_kg_bw_day = 'abc' WHERE row = 1", ""},
      {1, "UPDATE longterm_rows SET exposure_mg_per_kg_bw_day = x'00ff' WHERE row = 2", ""},
      {1, "UPDATE longterm_rows SET percent_of_reference_dose = 9e999 WHERE row = 3", ""},
      {1, "UPDATE longterm_rows SET percent_of_reference_dose = -9e999 WHERE row = 3", ""},
      {1, "UPDATE longterm_rows SET percent_of_reference_dose = 0.1 WHERE row = 4", ""},
      {1, "UPDATE longterm_rows SET consumption_column = 'x' WHERE row = 4", ""},
      {1, "UPDATE longterm_rows SET subgroup = x'41' WHERE row = 4", ""},
      {1, "UPDATE longterm_rows SET reference_dose_kind = 'ADI' WHERE row = 4", ""},
      {2,
       "UPDATE commodity_totals SET exposure_mg_per_kg_bw_day = 'x' WHERE place = (SELECT "
       "min(place) FROM commodity_totals)",
       ""},
      {2, "UPDATE commodity_totals SET share_percent = 9e999", ""},
      {2,
       "UPDATE commodity_totals SET item = 99999 WHERE place = (SELECT min(place) FROM "
       "commodity_totals)",
       ""},
      {2, "UPDATE commodity_subgroups SET exposure_mg_per_kg_bw_day = 9e999 WHERE seq = 1", ""},
      {2, "UPDATE commodity_subgroups SET food_rows = x'00000000' WHERE seq = 1", "", false},
      {2, "UPDATE commodity_subgroups SET food_rows_size = 1000000000000 WHERE seq = 2", "", false},
      {2, "UPDATE commodity_subgroups SET food_rows = ?1, food_rows_size = ?2 WHERE seq = 1", nan,
       false},
      {2, "UPDATE commodity_subgroups SET food_rows = ?1, food_rows_size = ?2 WHERE seq = 1", huge,
       false},
      {2, "UPDATE commodity_subgroups SET food_rows = ?1, food_rows_size = ?2 WHERE seq = 1", extra,
       false},
      {2, "UPDATE commodity_subgroups SET food_rows = 'x', food_rows_size = 1 WHERE seq = 1", "",
       false},
      {2, "UPDATE commodity_items SET residue_ppm = 'x' WHERE item = 0", ""},
      {2, "UPDATE commodity_descriptions SET kind = 9 WHERE id = 1", ""},
      {2, "DELETE FROM commodity_items WHERE item = 1", ""},
      {3, "UPDATE cumulative_subgroups SET moet = 'x' WHERE row = 1", ""},
      {3, "UPDATE cumulative_subgroups SET hazard_index = 9e999 WHERE row = 1", ""},
      {3, "UPDATE cumulative_subgroups SET index_equivalent_mg_per_kg_bw_day = x'01'", ""},
      {3, "UPDATE cumulative_chemicals SET rpf = 'x' WHERE seq = 2", ""},
  };
  const std::string pristine = ReadFileBytes(Db());
  for (const Case& c : cases) {
    WriteFileBytes(Db(), pristine);
    fs::remove(P("x.csv"));
    Edit(c.sql + "; UPDATE runs SET checksum = NULL, list_checksum = NULL",
         c.text.empty() ? "" : zlib(c.text), true, c.text.size());
    const std::string id = std::to_string(c.run);
    const std::string said = "Run History: The figures of run " + id + " are damaged.\n";
    CliResult r = InCsfii({"history", "show", id, "--export", P("x.csv").string()});
    EXPECT_EQ(r.status, 1) << c.sql;
    EXPECT_EQ(r.out, "") << c.sql;
    EXPECT_EQ(r.err, said) << c.sql;
    EXPECT_FALSE(fs::exists(P("x.csv"))) << c.sql;
    r = InCsfii({"compare", id, id});
    if (c.compared) {
      EXPECT_EQ(r.status, 1) << c.sql;
      EXPECT_EQ(r.err, said) << c.sql;
    }
    // The other runs are still theirs.
    EXPECT_EQ(InCsfii({"history", "show", c.run == 1 ? "2" : "1"}).status, 0) << c.sql;
  }
  // A listed figure that is none, or of a kind there is not.
  for (const char* sql : {"UPDATE runs SET worst_value = 'high' WHERE id = 2",
                          "UPDATE runs SET worst_figure = '% ADI' WHERE id = 2",
                          "UPDATE runs SET command = x'6c6f6e67' WHERE id = 2"}) {
    WriteFileBytes(Db(), pristine);
    Edit(std::string(sql) + "; UPDATE runs SET checksum = NULL, list_checksum = NULL");
    const CliResult list = InCsfii({"history"});
    EXPECT_EQ(list.status, 1) << sql;
    EXPECT_EQ(list.out, "") << sql;
    EXPECT_EQ(list.err, "Run History: The summary of run 2 is damaged.\n") << sql;
  }
}

// A stored name's line feed does not forge a listing row, nor its escape
// sequence clear the terminal: every command shows them as \x0A and \x1B.
TEST_F(HostileHistory, StoredNamesStayOnTheirLine) {
  RecordThree();
  Edit(
      "UPDATE runs SET worst_subgroup = 'Kids' || char(10) || '      9  2024-03-05T09:07:01Z  fake "
      "line', chemical = 'Demo' || char(27) || '[2J' || char(0) || 'fos' WHERE id = 2; "
      "UPDATE commodity_subgroups SET subgroup = 'Toddlers' || char(13, 10) || 'forged' WHERE "
      "run_id = 2 AND seq = 2; "
      "UPDATE cumulative_subgroups SET subgroup = 'All' || char(10) || 'forged' WHERE row = 1; "
      "UPDATE runs SET checksum = NULL, list_checksum = NULL");
  const CliResult list = InCsfii({"history"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(Lines(list.out).size(), 4u) << list.out;
  EXPECT_NE(list.out.find("Kids\\x0A      9  2024-03-05T"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("Demo\\x1B[2J\\x00fos"), std::string::npos) << list.out;
  for (const auto& args : std::vector<std::vector<std::string>>{{"history"},
                                                                {"history", "show", "2"},
                                                                {"history", "show", "3"},
                                                                {"compare", "2", "2"}}) {
    const CliResult r = InCsfii(args);
    ASSERT_EQ(r.status, 0) << args[0] << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << args[0];
    EXPECT_EQ(r.out.find('\r'), std::string::npos) << args[0];
    EXPECT_EQ(r.out.find(std::string(1, '\0')), std::string::npos) << args[0];
    EXPECT_EQ(r.out.find("\nforged"), std::string::npos) << args[0];
  }
}

// A schema version Ormid never wrote is damage, not an empty history: it is
// listed as damaged and a recording moves it aside and starts a new one.
TEST_F(HostileHistory, AnUnknownSchemaVersionIsDamage) {
  struct Case {
    std::string sql, said;
  };
  const Case cases[] = {
      {"PRAGMA user_version = -1", "its schema version -1 is not one Ormid writes"},
      {"PRAGMA user_version = 0", "its schema version 0 is not one Ormid writes"},
      {"DROP TABLE commodity_totals", "its table commodity_totals is missing"},
  };
  int moved = 0;
  for (const Case& c : cases) {
    fs::remove(Db());
    RecordThree();
    Edit(c.sql);
    const CliResult list = InCsfii({"history"});
    EXPECT_EQ(list.status, 1) << c.sql;
    EXPECT_EQ(list.out, "") << c.sql;
    EXPECT_EQ(list.err, "Run History: ormid-history.sqlite is damaged: " + c.said + ".\n");
    const CliResult run = InCsfii({"longterm", "csfii/residues/DEMOFOS.R98", "--rfd"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("was damaged (" + c.said + "). It was moved aside to"),
              std::string::npos)
        << run.err;
    ++moved;
    EXPECT_TRUE(fs::exists(Db().string() + ".damaged-20240305T090701" +
                           (moved == 1 ? "" : "-" + std::to_string(moved))));
    const CliResult fresh = InCsfii({"history"});
    EXPECT_EQ(Lines(fresh.out).size(), 2u) << fresh.out;
  }
}

// The listing says which filter found nothing, and shows long ids whole
// under their heading.
TEST_F(HostileHistory, TheListingSaysWhatItFoundAndKeepsIdsWhole) {
  EXPECT_EQ(InCsfii({"history", "--chemical", "Nofos"}).out, "No runs recorded.\n");
  RecordThree();
  const CliResult none = InCsfii({"history", "--chemical", "Nofos"});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, "No runs of the chemical \"Nofos\" recorded (3 runs of other chemicals).\n");
  EXPECT_EQ(InCsfii({"history", "--chemical", "demofos"}).out.find("Nofos"), std::string::npos);
  Edit(
      "UPDATE runs SET id = 9223372036854775807, checksum = NULL, list_checksum = NULL WHERE "
      "id = 3");
  const CliResult list = InCsfii({"history"});
  ASSERT_EQ(list.status, 0) << list.err;
  const std::vector<std::string> lines = Lines(list.out);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3].rfind("9223372036854775807  2024-03-05T09:07:01Z  cumulative   ", 0), 0u)
      << list.out;
  EXPECT_EQ(lines[0].find("Id  Date"), lines[3].find("  2024") - 2) << list.out;
  EXPECT_EQ(lines[1].find("1  2024"), lines[3].find("7  2024")) << list.out;
}

// A history that has given out the largest id there is takes no more runs,
// and says so: its disk is not full.
TEST_F(HostileHistory, TheLargestIdIsNotAFullDisk) {
  RecordThree();
  Edit("UPDATE sqlite_sequence SET seq = 9223372036854775807 WHERE name = 'runs'");
  const CliResult r = InCsfii({"longterm", "csfii/residues/DEMOFOS.R98", "--rfd"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "Run History: Run history not recorded: the history has given out the largest run id "
            "there is (9223372036854775807), so it takes no more runs; move ormid-history.sqlite "
            "aside and the next run starts a new one.\n");
}

// A full disk is named as such, whichever of SQLite's files runs out of room
// first (a real file system of 2 MB, left with a few kilobytes).
TEST_F(HostileHistory, AFullDiskIsNamed) {
  const fs::path small = P("small");
  fs::create_directories(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=2m") != 0)
    GTEST_SKIP() << "no small file system can be mounted here (needs root)";
  struct Unmount {
    fs::path at;
    ~Unmount() { ::umount(at.c_str()); }
  } unmount{small};
  CopySampleInstallation("csfii", small / "csfii");
  int full = 0;
  for (const int left : {4, 8, 16, 48}) {
    fs::remove(small / "fill");
    const auto space = fs::space(small);
    {
      std::ofstream fill(small / "fill", std::ios::binary);
      const std::string block(1024, 'x');
      for (std::uintmax_t k = 0; k + left < space.available / 1024; ++k) fill << block;
    }
    const CliResult r = Run({"-C", (small / "csfii").string(), "longterm",
                             (small / "csfii/residues/DEMOFOS.R98").string(), "--rfd"});
    // Room enough after all, or too little for the report.
    if (r.err.empty() || r.err.find("The report file") != std::string::npos) continue;
    EXPECT_EQ(r.status, 0) << left;
    EXPECT_EQ(r.err.rfind("Run History: Run history not recorded: the disk is full (", 0), 0u)
        << left << " KB left: " << r.err;
    ++full;
  }
  EXPECT_GT(full, 0);
}

}  // namespace
}  // namespace ormid::test
