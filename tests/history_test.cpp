// The run history end to end: runs recorded by ormid-cli on copies of the
// samples and on generated installations, read back figure for figure,
// listed, shown and compared; every fault (a held file, a damaged or newer
// file, a full disk) leaves the run standing and the history whole; two
// programs record into one history at once.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <bit>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "cli/cli_run.h"
#include "cli/history_commands.h"
#include "core/float_text.h"
#include "core/utf8.h"
#include "history/run_compare.h"
#include "history/run_history.h"
#include "tests/cli_runner.h"
#include "tests/installation_fixture.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;

// The rows of a CSV file (no field of the files compared here holds a
// comma or quote).
std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> row;
    std::size_t at = 0;
    for (std::size_t comma; (comma = line.find(',', at)) != std::string::npos; at = comma + 1)
      row.push_back(line.substr(at, comma - at));
    row.push_back(line.substr(at));
    rows.push_back(std::move(row));
  }
  return rows;
}

long long Count(const fs::path& db, const char* table) {
  sqlite3* h = nullptr;
  EXPECT_EQ(sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* s = nullptr;
  long long n = -1;
  const std::string sql = std::string("SELECT count(*) FROM ") + table;
  if (sqlite3_prepare_v2(h, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW)
    n = sqlite3_column_int64(s, 0);
  sqlite3_finalize(s);
  sqlite3_close(h);
  return n;
}

class History : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
    for (const char* name : {"csfii", "nhanes-2005-2010"})
      CopySampleInstallation(name, dir_.path() / name);
    fs::path small = dir_.path() / "small0";
    testdata::WriteInstallation(SmallInstallation(0), small);
    testdata::WriteResidueFile(SmallResidueFile(0), small / "residues" / "test.R98");
  }
  void TearDown() override {
    ::unsetenv("SOURCE_DATE_EPOCH");
    cli::OverrideHistoryBusyTimeout(std::nullopt);
  }

  CliResult Run(const std::vector<std::string>& args) { return RunCliIn(dir_.path(), args); }
  fs::path P(const std::string& rel) const { return dir_.path() / rel; }
  fs::path Db(const std::string& folder) const { return P(folder) / kHistoryFile; }
  RecordedRun Load(const std::string& folder, long long id) {
    std::string error;
    auto run = LoadRun(Db(folder).string(), id, error);
    EXPECT_TRUE(run) << error;
    return run.value_or(RecordedRun{});
  }

  TempDir dir_;
  // Runs leave the current directory in dir_: put back before it goes, so
  // that the tests after these find a current directory.
  ScopedCurrentDir cwd_{fs::current_path()};
};

// A run's figures come back from the history bit for bit: the export of a
// recorded run is byte-identical to the export the run itself wrote, on both
// samples and a generated installation, long-term and commodity.
TEST_F(History, RecordedFiguresAreTheRunsOwn) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"csfii", "csfii/residues/DEMOFOS.R98"},
      {"nhanes-2005-2010", "nhanes-2005-2010/residues/DEMOFOS.R10"},
      {"small0", "small0/residues/test.R98"}};
  const std::vector<std::vector<std::string>> runs = {
      {"longterm", "--rfd=0.0003"},
      {"longterm", "--noel=0.5", "--rfd=0.01"},
      {"longterm", "--qstar=0.05"},
      {"commodity", "--rfd=0.001", "--complete", "--critical", "--food-pct", "1", "--crop-pct", "5",
       "--subgroups", "all"},
      {"commodity", "--noel=0.5", "--complete", "--subgroups", "1,2"}};
  for (const auto& [folder, residue] : cases) {
    long long id = 0;
    for (const auto& run : runs) {
      std::vector<std::string> args = {"-C", folder, run[0], residue};
      args.insert(args.end(), run.begin() + 1, run.end());
      for (const char* e : {"own.csv", "own.json"}) args.insert(args.end(), {"--export", e});
      args.push_back("--yes");
      auto r = Run(args);
      ASSERT_EQ(r.status, 0) << folder << " " << run[1] << ": " << r.err;
      ASSERT_EQ(r.err.find("Run History"), std::string::npos) << r.err;
      ++id;
      for (const char* e : {"again.csv", "again.json"}) {
        auto s = Run({"-C", folder, "history", "show", std::to_string(id), "--export", e, "--yes"});
        ASSERT_EQ(s.status, 0) << s.err;
      }
      EXPECT_EQ(ReadFileBytes(P("again.csv")), ReadFileBytes(P("own.csv")))
          << folder << " " << run[0] << " " << run[1];
      EXPECT_EQ(ReadFileBytes(P("again.json")), ReadFileBytes(P("own.json")))
          << folder << " " << run[0] << " " << run[1];
    }
    EXPECT_EQ(Count(Db(folder), "runs"), static_cast<long long>(runs.size())) << folder;
  }
}

// Recording changes no byte of a report, and --no-history, a refused run
// and a run stopped by a message record nothing.
TEST_F(History, OnlyFinishedRunsAreRecordedAndReportsStayTheSame) {
  const std::string residue = "csfii/residues/DEMOFOS.R98";
  for (const char* command : {"longterm", "commodity"}) {
    const char* report = std::string(command) == "longterm" ? "ormdtemp.txt" : "tempcomm.txt";
    auto a = Run({"-C", "csfii", command, residue, "--rfd", "--complete", "--subgroups", "17"});
    ASSERT_EQ(a.status, 0) << a.err;
    const std::string recorded = ReadFileBytes(P("csfii") / report);
    auto b = Run({"-C", "csfii", command, residue, "--rfd", "--complete", "--subgroups", "17",
                  "--no-history"});
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(ReadFileBytes(P("csfii") / report), recorded) << command;
  }
  EXPECT_EQ(Count(Db("csfii"), "runs"), 2);

  // Refused by the run request, stopped by the open, a listing.
  EXPECT_EQ(Run({"-C", "csfii", "longterm", residue, "--noel="}).status, 1);
  EXPECT_EQ(
      Run({"-C", "csfii", "longterm", "nhanes-2005-2010/residues/DEMOFOS.R10", "--rfd"}).status, 1);
  EXPECT_EQ(Run({"-C", "csfii", "listing", residue, "--rfd"}).status, 0);
  EXPECT_EQ(Count(Db("csfii"), "runs"), 2);
  // A re-run checks a recorded run and is not recorded again.
  ASSERT_EQ(Run({"-C", "csfii", "longterm", residue, "--rfd", "--save", "w1", "--yes"}).status, 0);
  auto again = Run({"rerun", P("csfii/residues/w1.OR10.manifest.json").string()});
  EXPECT_EQ(again.status, 0) << again.out << again.err;
  EXPECT_EQ(Count(Db("csfii"), "runs"), 3);

  auto list = Run({"-C", "csfii", "history"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("      1  2024-03-05T09:07:01Z  longterm       Demofos"),
            std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("      2  2024-03-05T09:07:01Z  commodity      Demofos"),
            std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("      3  2024-03-05T09:07:01Z  longterm       Demofos"),
            std::string::npos)
      << list.out;
}

// The list holds every run with its worst subgroup, newest N with --limit,
// one chemical with --chemical.
TEST_F(History, ListFiltersAndNamesTheWorstSubgroup) {
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd=0.0003"}).status,
            0);
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOGRP.R98", "--qstar=0.05"}).status,
            0);
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--noel=0.5"}).status, 0);

  std::string error;
  auto all = ListRuns(Db("csfii").string(), {}, error);
  ASSERT_TRUE(all) << error;
  ASSERT_EQ(all->size(), 3u);
  // The worst subgroup is the one with the largest percent of the RfD, the
  // largest risk, the smallest margin of exposure.
  const struct {
    FigureKind kind;
    bool smallest;
  } expected[] = {{FigureKind::PercentRfD, false},
                  {FigureKind::Risk, false},
                  {FigureKind::MarginOfExposure, true}};
  for (std::size_t i = 0; i < all->size(); ++i) {
    const RunSummary& s = (*all)[i];
    EXPECT_EQ(s.id, static_cast<long long>(i + 1));
    ASSERT_EQ(s.worst.kind, expected[i].kind) << i;
    RecordedRun run = Load("csfii", s.id);
    float best = s.worst.value;
    std::string name;
    for (const RecordedLongTerm& r : run.longTerm) {
      Figure h = HeadlineOf(r.figures.percentReference, r.figures.reference, r.figures.percentNoel,
                            r.figures.marginOfExposure, r.figures.lifetimeRisk);
      if (h.kind == FigureKind::None) continue;
      EXPECT_TRUE(expected[i].smallest ? h.value >= s.worst.value : h.value <= s.worst.value);
      if (h.value == best && name.empty()) name = r.subgroup;
    }
    EXPECT_EQ(s.worstSubgroup, name) << i;
  }

  auto r = Run({"-C", "csfii", "history", "--limit", "2"});
  EXPECT_EQ(r.out.find("      1  "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("      3  "), std::string::npos) << r.out;
  ListFilter grp;
  grp.chemical = all->at(1).chemical;
  auto some = ListRuns(Db("csfii").string(), grp, error);
  ASSERT_TRUE(some);
  ASSERT_EQ(some->size(), 1u);
  EXPECT_EQ(some->at(0).id, 2);

  r = Run({"-C", "csfii", "history", "show", "9"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Run History: Run 9 is not in the run history.\n");
  EXPECT_EQ(Run({"-C", "csfii", "history", "shw", "1"}).status, 2);
  EXPECT_EQ(Run({"-C", "csfii", "history", "--export", "x.csv"}).status, 2);
  EXPECT_EQ(Run({"-C", "small0", "history"}).out, "No runs recorded.\n");
}

// history show and compare replace an existing export only when told so:
// the overwrite question is answered No without --yes.
TEST_F(History, ExportsAskBeforeTheyReplaceAFile) {
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd"}).status, 0);
  for (const auto& command : std::vector<std::vector<std::string>>{
           {"-C", "csfii", "history", "show", "1"}, {"-C", "csfii", "compare", "1", "1"}}) {
    WriteFileBytes(P("mine.csv"), "mine");
    std::vector<std::string> args = command;
    args.insert(args.end(), {"--export", P("mine.csv").string()});
    const CliResult asked = Run(args);
    EXPECT_EQ(asked.status, 1) << command[2];
    EXPECT_NE(asked.err.find("already exists. Do you want to write over this file?"),
              std::string::npos)
        << asked.err;
    EXPECT_EQ(ReadFileBytes(P("mine.csv")), "mine");
    args.push_back("--yes");
    EXPECT_EQ(Run(args).status, 0) << command[2];
    EXPECT_NE(ReadFileBytes(P("mine.csv")), "mine");
  }
}

// Crossing 100% of the reference dose, both ways, and only across it.
TEST(HistoryCompare, CrossingsOf100Percent) {
  const struct {
    std::optional<float> a, b;
    Crossing expected;
  } cases[] = {
      {50.0f, 150.0f, Crossing::Above},
      {150.0f, 50.0f, Crossing::Below},
      {100.0f, 100.5f, Crossing::Above},
      {100.5f, 100.0f, Crossing::Below},
      {100.0f, 100.0f, Crossing::None},
      {101.0f, 250.0f, Crossing::None},
      {20.0f, 99.0f, Crossing::None},
      {std::nullopt, 150.0f, Crossing::None},
      {150.0f, std::nullopt, Crossing::None},
      {std::nextafter(100.0f, 200.0f), 100.0f, Crossing::Below},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CrossingOf(c.a, c.b), c.expected) << (c.a ? *c.a : -1) << " -> " << (c.b ? *c.b : -1);
}

// A comparison holds both runs' figures as recorded, the change, the
// crossings, the settings and inputs that differ and, for commodity runs,
// the crop groups whose share moved most.
TEST_F(History, CompareSetsTwoRunsSideBySide) {
  const std::string residue = "csfii/residues/DEMOFOS.R98";
  // A low RfD puts children above 100%; a high one puts everyone below.
  ASSERT_EQ(
      Run({"-C", "csfii", "commodity", residue, "--rfd=0.05", "--complete", "--subgroups", "all"})
          .status,
      0);
  ASSERT_EQ(Run({"-C", "csfii", "commodity", residue, "--rfd=0.00002", "--adj2", "--complete",
                 "--subgroups", "all"})
                .status,
            0);
  auto r = Run({"-C", "csfii", "compare", "1", "2", "--export", "cmp.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  RecordedRun a = Load("csfii", 1), b = Load("csfii", 2);
  auto rows = CsvRows(ReadFileBytes(P("cmp.csv")));
  ASSERT_EQ(rows[0][12], "crossing_100_percent");
  std::map<std::string, std::pair<float, float>> totals;
  for (const auto& run : {&a, &b})
    for (const RecordedContribution& c : run->commodity)
      if (c.kind == ContributionKind::SubgroupTotal) {
        auto& t = totals[c.subgroup];
        (run == &a ? t.first : t.second) = c.figures.percentReference.value_or(-1);
      }
  ASSERT_EQ(rows.size(), totals.size() + 1);
  int above = 0;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const auto& row = rows[i];
    auto [pa, pb] = totals.at(row[1]);
    if (pa < 0 || pb < 0) continue;
    EXPECT_EQ(ReadFloatText(row[7]), pa) << row[1];
    EXPECT_EQ(ReadFloatText(row[9]), pb) << row[1];
    const Crossing expected = pa <= 100 && pb > 100 ? Crossing::Above : Crossing::None;
    EXPECT_EQ(row[12], CrossingText(expected)) << row[1];
    above += expected == Crossing::Above;
    EXPECT_NE(r.out.find(row[1]), std::string::npos);
  }
  EXPECT_GT(above, 0);
  EXPECT_NE(r.out.find("settings.rfd_mg_per_kg_bw_day: 0.05 -> 2e-05"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("settings.second_adjustment_factor: false -> true"), std::string::npos);
  EXPECT_NE(r.out.find("Input files whose SHA-256 differs\n  none\n"), std::string::npos);
  EXPECT_NE(r.out.find("rises above 100%"), std::string::npos);

  // The reverse direction falls back below; a different residue file shows
  // as a changed input, and shares move with the second factor.
  auto back = Run({"-C", "csfii", "compare", "2", "1"});
  EXPECT_NE(back.out.find("falls to 100% or below"), std::string::npos);
  EXPECT_EQ(back.out.find("rises above 100%"), std::string::npos);
  Comparison c = CompareRuns(a, b);
  EXPECT_FALSE(c.cropGroups.empty());
  for (std::size_t i = 1; i < c.cropGroups.size(); ++i)
    EXPECT_GE(std::fabs(c.cropGroups[i - 1].change), std::fabs(c.cropGroups[i].change));

  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOGRP.R98", "--rfd=0.05"}).status, 0);
  auto other = Run({"-C", "csfii", "compare", "1", "3", "--export", "cmp.json"});
  ASSERT_EQ(other.status, 0) << other.err;
  EXPECT_NE(other.out.find("  residue file: "), std::string::npos) << other.out;
  auto j = nlohmann::json::parse(ReadFileBytes(P("cmp.json")));
  EXPECT_EQ(j["manifest"]["inputs_differ"].size(), 1u);
  EXPECT_EQ(j["comparison"].size(), rows.size() - 1);

  EXPECT_EQ(Run({"-C", "csfii", "compare", "1"}).status, 2);
  EXPECT_EQ(Run({"-C", "csfii", "compare", "1", "7"}).err,
            "Run History: Run 7 is not in the run history.\n");
}

// Another program holding the history: the run waits, then stands without
// being recorded; the history is unchanged and takes the next run.
TEST_F(History, HeldHistoryLeavesTheRunStanding) {
  const std::string residue = "small0/residues/test.R98";
  ASSERT_EQ(Run({"-C", "small0", "longterm", residue, "--rfd=0.001"}).status, 0);
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(Db("small0").c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  fs::remove(P("small0/ormdtemp.txt"));
  cli::OverrideHistoryBusyTimeout(300);
  auto r = Run({"-C", "small0", "longterm", residue, "--rfd=0.002"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "Run History: Run history not recorded: the history file is in use by another "
            "program (waited 0.3 s).\n");
  EXPECT_TRUE(fs::exists(P("small0/ormdtemp.txt")));
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  EXPECT_EQ(Count(Db("small0"), "runs"), 1);
  EXPECT_EQ(Run({"-C", "small0", "longterm", residue, "--rfd=0.003"}).err, "");
  EXPECT_EQ(Count(Db("small0"), "runs"), 2);
}

// A damaged history (not a database, or cut short) is moved aside and a new
// one started; a history of a newer program is left as it is.
TEST_F(History, DamagedAndNewerHistories) {
  const std::string residue = "small0/residues/test.R98";
  auto run = [&] { return Run({"-C", "small0", "longterm", residue, "--rfd=0.001"}); };
  const fs::path db = Db("small0");
  const std::string moved = db.string() + ".damaged-20240305T090701";

  WriteFileBytes(db, std::string(5000, 'x'));
  auto r = run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "Run History: The run history ormid-history.sqlite was damaged (file is not a "
            "database). It was moved aside to ormid-history.sqlite.damaged-20240305T090701 "
            "and a new run history started.\n");
  EXPECT_EQ(ReadFileBytes(moved), std::string(5000, 'x'));
  EXPECT_EQ(Count(db, "runs"), 1);

  // Cut short: a history of several commodity runs loses its end.
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(
        Run({"-C", "small0", "commodity", residue, "--rfd", "--complete", "--subgroups", "all"})
            .status,
        0);
  const auto size = fs::file_size(db);
  ASSERT_GT(size, 8192u);
  fs::resize_file(db, 4096 + 100);
  r = run();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("was damaged"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(moved + "-2"));
  EXPECT_EQ(Count(db, "runs"), 1);

  // A newer program's history: not written, not moved.
  sqlite3* h = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
  sqlite3_exec(h, "PRAGMA user_version = 7", nullptr, nullptr, nullptr);
  sqlite3_close(h);
  const std::string before = ReadFileBytes(db);
  r = run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "Run History: Run history not recorded: ormid-history.sqlite was written by a newer "
            "program (schema version 7); it is left as it is.\n");
  EXPECT_EQ(ReadFileBytes(db), before);
  EXPECT_EQ(Run({"-C", "small0", "history"}).err,
            "Run History: ormid-history.sqlite was written by a newer program (schema version "
            "7).\n");
}

// A disk that fills up part way through a recording: nothing of the run is
// kept, the history before it is whole.
TEST_F(History, FullDiskRecordsNothingOfTheRun) {
  const std::string residue = "csfii/residues/DEMOFOS.R98";
  ASSERT_EQ(Run({"-C", "csfii", "longterm", residue, "--rfd"}).status, 0);
  // A commodity run's figures, gathered as the run sends them.
  HistoryRecorder figures;
  RecordedRun source;
  ASSERT_EQ(Run({"-C", "csfii", "commodity", residue, "--rfd", "--complete", "--subgroups", "all"})
                .status,
            0);
  source = Load("csfii", 2);
  ModOrmid m;
  source.Replay(m, figures);
  // The file's page size, from its header (two bytes at offset 16, big-endian).
  const std::string header = ReadFileBytes(Db("csfii")).substr(0, 100);
  ASSERT_EQ(header.size(), 100u);
  const long long pageSize =
      (static_cast<unsigned char>(header[16]) << 8) | static_cast<unsigned char>(header[17]);
  EXPECT_EQ(pageSize, 4096);
  const auto pages = [&] { return static_cast<long long>(fs::file_size(Db("csfii"))) / pageSize; };
  for (long long extra : {0, 1, 2}) {
    RecordRequest request;
    request.path = Db("csfii").string();
    request.pageLimit = pages() + extra;
    RecordOutcome o = RecordRun(request, source.manifest, figures);
    EXPECT_FALSE(o.recorded) << extra;
    EXPECT_EQ(o.problem.rfind("the disk is full", 0), 0u) << o.problem;
    EXPECT_EQ(Count(Db("csfii"), "runs"), 2);
    EXPECT_EQ(Count(Db("csfii"), "commodity_subgroups"),
              Count(Db("csfii"), "commodity_subgroups WHERE run_id = 2"));
  }
  // With room again the same figures go in whole.
  RecordRequest request;
  request.path = Db("csfii").string();
  RecordOutcome o = RecordRun(request, source.manifest, figures);
  ASSERT_TRUE(o.recorded) << o.problem;
  RecordedRun again = Load("csfii", o.id);
  ASSERT_EQ(again.commodity.size(), source.commodity.size());
  for (std::size_t i = 0; i < again.commodity.size(); ++i) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(again.commodity[i].exposure),
              std::bit_cast<std::uint32_t>(source.commodity[i].exposure));
    EXPECT_EQ(again.commodity[i].commodityName, source.commodity[i].commodityName);
  }
}

// Runs with no figure in common (percent of the RfD against lifetime risk):
// each side keeps its own run's headline figure, whichever run comes first.
TEST_F(History, CompareKeepsBothSidesWithoutACommonFigure) {
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd"}).status, 0);
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--qstar=0.05"}).status,
            0);
  const RecordedRun rfd = Load("csfii", 1), risk = Load("csfii", 2);
  for (bool rfdFirst : {true, false}) {
    const Comparison c = rfdFirst ? CompareRuns(rfd, risk) : CompareRuns(risk, rfd);
    ASSERT_EQ(c.subgroups.size(), rfd.longTerm.size());
    for (std::size_t i = 0; i < c.subgroups.size(); ++i) {
      const SubgroupChange& s = c.subgroups[i];
      const auto& r = rfd.longTerm[i].figures;
      const auto& q = risk.longTerm[i].figures;
      ASSERT_TRUE(r.percentReference && q.lifetimeRisk) << s.subgroup;
      EXPECT_EQ(rfdFirst ? s.figureA : s.figureB, FigureKind::PercentRfD) << s.subgroup;
      EXPECT_EQ(rfdFirst ? s.figureB : s.figureA, FigureKind::Risk) << s.subgroup;
      EXPECT_EQ(rfdFirst ? s.valueA : s.valueB, r.percentReference) << s.subgroup;
      EXPECT_EQ(rfdFirst ? s.valueB : s.valueA, q.lifetimeRisk) << s.subgroup;
      EXPECT_FALSE(Comparable(s)) << s.subgroup;
    }
  }
}

// A margin of exposure and a lifetime risk are shown side by side, and the
// change columns say they are not comparable, in the text and the export;
// two margins are subtracted.
TEST_F(History, CompareSubtractsOnlyFiguresOfOneKind) {
  for (const char* endpoint : {"--noel=0.5", "--qstar=0.05", "--noel=0.7"})
    ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", endpoint}).status, 0);
  const RecordedRun moe = Load("csfii", 1), risk = Load("csfii", 2), moe2 = Load("csfii", 3);

  const Comparison unlike = CompareRuns(risk, moe);
  const std::string text = ComparisonText(unlike);
  for (const SubgroupChange& s : unlike.subgroups) {
    ASSERT_TRUE(s.valueA && s.valueB) << s.subgroup;
    EXPECT_EQ(s.figureA, FigureKind::Risk);
    EXPECT_EQ(s.figureB, FigureKind::MarginOfExposure);
    EXPECT_FALSE(Comparable(s)) << s.subgroup;
  }
  std::size_t notComparable = 0;
  for (const std::string& line : Lines(text)) {
    if (line.find("risk / MOE") == std::string::npos) continue;
    EXPECT_NE(line.find(kNotComparable), std::string::npos) << line;
    ++notComparable;
  }
  EXPECT_EQ(notComparable, unlike.subgroups.size()) << text;
  ASSERT_EQ(Run({"-C", "csfii", "compare", "2", "1", "--export", P("unlike.csv").string()}).status,
            0);
  const auto rows = ParseCsv(ReadFileBytes(P("unlike.csv")));
  ASSERT_EQ(rows.size(), unlike.subgroups.size() + 1);
  for (std::size_t r = 1; r < rows.size(); ++r) {
    EXPECT_EQ(rows[r][0], std::to_string(unlike.subgroups[r - 1].row));
    EXPECT_EQ(rows[r][1], unlike.subgroups[r - 1].subgroup);
    EXPECT_FALSE(rows[r][7].empty());
    EXPECT_FALSE(rows[r][9].empty());
    EXPECT_EQ(rows[r][10], "") << "figure_change of row " << r;
    EXPECT_EQ(rows[r][11], "") << "figure_change_percent of row " << r;
  }

  const Comparison like = CompareRuns(moe, moe2);
  for (const SubgroupChange& s : like.subgroups) {
    EXPECT_TRUE(Comparable(s)) << s.subgroup;
    EXPECT_EQ(s.figureA, FigureKind::MarginOfExposure);
  }
  EXPECT_EQ(ComparisonText(like).find(kNotComparable), std::string::npos);
}

// An input whose SHA-256 differs is named once when its path is the same in
// both runs, and both paths when they differ.
TEST(CompareText, ChangedInputsNameTheirPaths) {
  Comparison c;
  c.inputs.push_back(
      {"setup file", "/w/Setup.txt", "/w/Setup.txt", std::string(64, 'a'), std::string(64, 'b')});
  c.inputs.push_back(
      {"residue file", "/w/A.R98", "/w/B.R98", std::string(64, 'c'), std::string(64, 'd')});
  const std::string text = ComparisonText(c);
  EXPECT_NE(text.find("  setup file: /w/Setup.txt aaaaaaaaaaaaaaaa -> bbbbbbbbbbbbbbbb\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  residue file: /w/A.R98 cccccccccccccccc -> /w/B.R98 dddddddddddddddd\n"),
            std::string::npos)
      << text;
}

// A change needs both figures, and a relative change a figure A other than 0.
TEST(CompareText, ChangesNeedBothFigures) {
  EXPECT_EQ(Change(2.0f, 3.0f), 1.0);
  EXPECT_EQ(RelativeChange(2.0f, 3.0f), 50.0);
  for (auto [a, b] : {std::pair<std::optional<float>, std::optional<float>>{1.0f, std::nullopt},
                      {std::nullopt, 1.0f},
                      {std::nullopt, std::nullopt}}) {
    EXPECT_FALSE(Change(a, b));
    EXPECT_FALSE(RelativeChange(a, b));
  }
  EXPECT_FALSE(RelativeChange(0.0f, 1.0f));
}

// A subgroup name longer than the usual column widens it: the name keeps a
// blank after it, and the figures stay under their headings.
TEST(CompareText, ALongSubgroupNameKeepsTheColumnsInLine) {
  Comparison c;
  SubgroupChange s;
  s.row = 1;
  s.subgroup = std::string(45, 'x');
  s.exposureA = 0.5f;
  s.exposureB = 0.25f;
  c.subgroups.push_back(s);
  std::string header, row;
  for (const std::string& line : Lines(ComparisonText(c))) {
    if (line.rfind("  Row  Subgroup", 0) == 0) header = line;
    if (line.rfind("    1  x", 0) == 0) row = line;
  }
  ASSERT_FALSE(header.empty());
  ASSERT_FALSE(row.empty());
  EXPECT_EQ(row.substr(7, 46), s.subgroup + " ");
  EXPECT_EQ(header.find("Exposure A") + 10, row.find("0.5") + 3) << header << "\n" << row;
}

// A damaged history that cannot be moved aside (its folder is read-only) is
// said to be so, and nothing claims it was moved. Run as an unprivileged
// user: root renames in read-only folders.
TEST_F(History, ADamagedHistoryThatCannotBeMovedAside) {
  if (::geteuid() == 0) GTEST_SKIP() << "root renames in read-only folders";
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd"}).status, 0);
  const RecordedRun source = Load("csfii", 1);
  HistoryRecorder figures;
  ModOrmid m;
  source.Replay(m, figures);
  fs::create_directories(P("held"));
  RecordRequest request;
  request.path = (P("held") / kHistoryFile).string();
  WriteFileBytes(request.path, std::string(4096, 'x'));
  fs::permissions(P("held"), fs::perms::owner_write, fs::perm_options::remove);
  const RecordOutcome o = RecordRun(request, source.manifest, figures);
  fs::permissions(P("held"), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_FALSE(o.recorded);
  EXPECT_NE(o.problem.find("is damaged"), std::string::npos) << o.problem;
  EXPECT_NE(o.problem.find("could not be moved aside"), std::string::npos) << o.problem;
  EXPECT_EQ(o.note, "");
  EXPECT_EQ(ReadFileBytes(request.path), std::string(4096, 'x'));
}

// A page a disk or a partial copy spoiled is never shown: wherever in the
// file the damage falls (a page's head or its middle), listing the runs and
// showing each either prints what it printed before or says the history is
// damaged, and `history check` finds what they found. The day's first
// recording checks the whole file and moves a damaged one aside.
TEST_F(History, ADamagedPageIsNeverShown) {
  const std::string residue = "csfii/residues/DEMOFOS.R98";
  ASSERT_EQ(Run({"-C", "csfii", "longterm", residue, "--rfd"}).status, 0);
  ASSERT_EQ(Run({"-C", "csfii", "commodity", residue, "--rfd", "--complete", "--subgroups", "1,27"})
                .status,
            0);
  ASSERT_EQ(Run({"-C", "csfii", "cumulative", "csfii/op-group.csv", "--subgroups", "1,27"}).status,
            0);
  const std::vector<std::vector<std::string>> commands = {{"-C", "csfii", "history"},
                                                          {"-C", "csfii", "history", "show", "1"},
                                                          {"-C", "csfii", "history", "show", "2"},
                                                          {"-C", "csfii", "history", "show", "3"},
                                                          {"-C", "csfii", "compare", "2", "2"}};
  std::vector<std::string> before;
  for (const auto& c : commands) {
    const CliResult r = Run(c);
    ASSERT_EQ(r.status, 0) << r.err;
    before.push_back(r.out);
  }
  const std::string bytes = ReadFileBytes(Db("csfii"));
  constexpr std::size_t kPage = 4096;
  ASSERT_EQ(bytes.size() % kPage, 0u);
  int found = 0;
  for (std::size_t page = 0; page < bytes.size() / kPage; ++page) {
    for (std::size_t at : {std::size_t{0}, kPage / 2}) {
      std::string damaged = bytes;
      for (std::size_t i = 0; i < 64; ++i) damaged[page * kPage + at + i] ^= '\x5a';
      WriteFileBytes(Db("csfii"), damaged);
      bool shownDamage = false;
      for (std::size_t c = 0; c < commands.size(); ++c) {
        const CliResult r = Run(commands[c]);
        if (r.status == 0) {
          EXPECT_EQ(r.out, before[c]) << "page " << page << "+" << at << ": " << commands[c][3];
        } else {
          EXPECT_EQ(r.out, "") << "page " << page << "+" << at;
          EXPECT_TRUE(r.err.find("is damaged") != std::string::npos ||
                      r.err.find("are damaged") != std::string::npos)
              << "page " << page << "+" << at << ": " << r.err;
          shownDamage = true;
        }
      }
      const CliResult check = Run({"-C", "csfii", "history", "check"});
      if (shownDamage) {
        EXPECT_EQ(check.status, 1) << "page " << page << "+" << at << ": " << check.out;
      }
      found += check.status == 1;
    }
  }
  // Most pages hold a run's rows: their damage is found.
  EXPECT_GT(found, static_cast<int>(bytes.size() / kPage));

  // Damage in the figures' pages (the last ones written), found by the
  // next day's first recording, which moves the file aside.
  std::string damaged = bytes;
  for (std::size_t i = bytes.size() - 2 * kPage; i < bytes.size(); ++i) damaged[i] = '\xff';
  WriteFileBytes(Db("csfii"), damaged);
  ::setenv("SOURCE_DATE_EPOCH", "1709716021", 1);  // a day later
  const CliResult r = Run({"-C", "csfii", "longterm", residue, "--rfd"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("was damaged ("), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("It was moved aside"), std::string::npos) << r.err;
  EXPECT_EQ(Count(Db("csfii"), "runs"), 1);
}

// A run deleted by another program (the sqlite3 shell, foreign keys off)
// takes its rows with it; the descriptions of foods stay for the runs to
// come.
TEST_F(History, DeletingARunLeavesNoRows) {
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd"}).status, 0);
  ASSERT_EQ(Run({"-C", "csfii", "commodity", "csfii/residues/DEMOFOS.R98", "--rfd", "--complete",
                 "--subgroups", "1"})
                .status,
            0);
  ASSERT_EQ(Run({"-C", "csfii", "cumulative", "csfii/op-group.csv", "--subgroups", "1"}).status, 0);
  const long long descriptions = Count(Db("csfii"), "commodity_descriptions");
  EXPECT_GT(descriptions, 0);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(Db("csfii").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(db, "PRAGMA foreign_keys = OFF; DELETE FROM runs;", nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_close(db);
  for (const char* table : {"longterm_rows", "commodity_subgroups", "commodity_totals",
                            "cumulative_subgroups", "cumulative_chemicals"})
    EXPECT_EQ(Count(Db("csfii"), table), 0) << table;
  EXPECT_EQ(Count(Db("csfii"), "commodity_descriptions"), descriptions);
  EXPECT_EQ(Run({"-C", "csfii", "history"}).out, "No runs recorded.\n");
  ASSERT_EQ(Run({"-C", "csfii", "commodity", "csfii/residues/DEMOFOS.R98", "--rfd", "--complete",
                 "--subgroups", "1"})
                .status,
            0);
  const CliResult list = Run({"-C", "csfii", "history"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("      4  "), std::string::npos) << list.out;
  EXPECT_EQ(Count(Db("csfii"), "runs"), 1);
  EXPECT_EQ(Count(Db("csfii"), "commodity_descriptions"), descriptions);
}

// Names come from residue files: the history shows a chemical name's
// control characters (an escape sequence that would clear the terminal)
// instead of sending them to the terminal.
TEST_F(History, ListingsShowControlCharactersInsteadOfObeyingThem) {
  testdata::ResidueFile file = SmallResidueFile(0);
  file.chemical = "Evil\x1b[2J";
  testdata::WriteResidueFile(file, P("small0/residues/evil.R98"));
  ASSERT_EQ(Run({"-C", "small0", "longterm", "small0/residues/evil.R98", "--rfd=0.01"}).status, 0);
  ASSERT_EQ(Run({"-C", "small0", "compare", "1", "1"}).status, 0);
  for (auto args : {std::vector<std::string>{"-C", "small0", "history"},
                    std::vector<std::string>{"-C", "small0", "compare", "1", "1"}}) {
    const CliResult r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Evil\\x1B[2J"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  }
}

// The list's columns stay in line whatever letters a chemical's name has:
// padded by the columns a terminal shows, not by bytes.
TEST_F(History, TheListIsPaddedByDisplayWidth) {
  const std::vector<std::string> names = {"Plain", "Caf\xc3\xa9 e\xcc\x81",
                                          "\xe8\xbe\xb2\xe8\x96\xac", "\xce\x91\xce\xb2",
                                          std::string(30, 'x') + "\xc3\xa9"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    testdata::ResidueFile file = SmallResidueFile(0);
    file.chemical = names[i];
    const std::string path = "small0/residues/n" + std::to_string(i) + ".R98";
    testdata::WriteResidueFile(file, P(path));
    ASSERT_EQ(Run({"-C", "small0", "longterm", path, "--rfd=0.01"}).status, 0);
  }
  const CliResult r = Run({"-C", "small0", "history"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::string line;
  std::vector<std::size_t> at;
  static const std::regex kResidueColumn("Residue file|  (n[0-9]\\.R98)");
  while (std::getline(lines, line)) {
    // The display column where the residue file's column starts.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m, kResidueColumn)) << line;
    const std::size_t byte = static_cast<std::size_t>(m.position(m[1].matched ? 1 : 0));
    at.push_back(DisplayWidth(line.substr(0, byte)));
  }
  ASSERT_EQ(at.size(), names.size() + 1);
  for (std::size_t i = 1; i < at.size(); ++i) EXPECT_EQ(at[i], at[0]) << r.out;
  // A name too long for its column is cut at a whole letter, marked.
  EXPECT_NE(r.out.find(std::string(19, 'x') + "~"), std::string::npos) << r.out;
}

// A history that is a symbolic link is not followed: a link to a missing
// file makes no database where it points, and the run stands.
TEST_F(History, ASymbolicLinkIsNotFollowed) {
  fs::create_symlink(P("elsewhere.sqlite"), Db("csfii"));
  const CliResult r = Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Run history not recorded:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("symbolic link"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(P("elsewhere.sqlite")));
}

// A folder the history cannot be created in: the run stands.
TEST_F(History, UnwritableHistoryLeavesTheRunStanding) {
  fs::create_directory(Db("small0"));  // a folder where the file would be
  auto r = Run({"-C", "small0", "longterm", "small0/residues/test.R98", "--rfd=0.001"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err.rfind("Run History: Run history not recorded: the history file cannot be "
                        "opened or created",
                        0),
            0u)
      << r.err;
  EXPECT_TRUE(fs::exists(P("small0/ormdtemp.txt")));
}

// Two programs at once on one working folder, 50 runs each: every run is in
// the history with its figures.
TEST_F(History, TwoProgramsRecordEveryRun) {
  const std::string script =
      "cd '" + P("small0").string() + "' && for p in 1 2; do (for i in $(seq 50); do '" +
      ORMID_CLI +
      "' longterm residues/test.R98 --rfd=0.00$p || echo failed $p $i; done) & done; wait";
  std::string output;
  fs::current_path(dir_.path());
  {
    FILE* pipe = ::popen(script.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    EXPECT_EQ(::pclose(pipe), 0);
  }
  EXPECT_EQ(output, "");
  EXPECT_EQ(Count(Db("small0"), "runs"), 100);
  const long long rows = Count(Db("small0"), "longterm_rows");
  EXPECT_EQ(rows % 100, 0);
  EXPECT_GT(rows, 0);
  // Each program's runs carry its own RfD and the figures of a run of it
  // alone.
  std::map<float, std::vector<std::string>> alone;
  for (const char* rfd : {"0.001", "0.002"}) {
    auto r = Run({"-C", "small0", "longterm", "small0/residues/test.R98",
                  std::string("--rfd=") + rfd, "--no-history", "--export", "alone.csv", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& row : CsvRows(ReadFileBytes(P("alone.csv"))))
      alone[*ReadFloatText(rfd)].push_back(row[6]);
  }
  std::string error;
  auto runs = ListRuns(Db("small0").string(), {}, error);
  ASSERT_TRUE(runs);
  int withFirst = 0;
  for (const RunSummary& s : *runs) {
    RecordedRun run = Load("small0", s.id);
    const float rfd = run.manifest["settings"]["rfd_mg_per_kg_bw_day"].get<float>();
    withFirst += rfd == 0.001f;
    const auto& percents = alone.at(rfd);
    ASSERT_EQ(run.longTerm.size() + 1, percents.size());
    for (std::size_t i = 0; i < run.longTerm.size(); ++i) {
      const auto& p = run.longTerm[i].figures.percentReference;
      EXPECT_EQ(p ? ShortestText(*p) : "", percents[i + 1]) << s.id << " row " << i + 1;
    }
  }
  EXPECT_EQ(withFirst, 50);
}

}  // namespace
}  // namespace ormid::test
