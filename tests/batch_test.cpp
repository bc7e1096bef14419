// Batch runs end to end through ormid-cli on copies of the bundled samples:
// every scenario's report is the single run's saved report, the summary's
// figures are the single run's exported ones, nothing depends on the number
// of workers, bad rows fail alone with the single run's message, and a stop
// (Cancel or Ctrl+C) leaves no partial file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "batch/batch_run.h"
#include "batch/scenario_file.h"
#include "cli/cli_run.h"
#include "cli/history_commands.h"
#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "history/run_history.h"
#include "setup/run_request.h"
#include "setup/startup.h"
#include "tests/cli_runner.h"
#include "tests/test_support.h"

extern char** environ;

namespace ormid::test {
namespace {

namespace fs = std::filesystem;
using Row = CsvRow;

// Every file of a folder and its bytes.
std::map<std::string, std::string> FolderBytes(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    files[e.path().filename().string()] = ReadFileBytes(e.path());
  return files;
}

std::size_t Column(const Row& header, const std::string& name) {
  for (std::size_t i = 0; i < header.size(); ++i)
    if (header[i] == name) return i;
  ADD_FAILURE() << "no column " << name;
  return 0;
}

class Batch : public ::testing::Test {
 protected:
  void SetUp() override {
    start_ = fs::current_path();
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
    for (const char* name : {"csfii", "nhanes-2005-2010"})
      CopySampleInstallation(name, dir_.path() / name);
  }
  void TearDown() override {
    ::unsetenv("SOURCE_DATE_EPOCH");
    cli::OverrideHistoryBusyTimeout(std::nullopt);
    fs::current_path(start_);
  }

  CliResult Run(const std::vector<std::string>& args) { return RunCliIn(dir_.path(), args); }
  // Starts a batch of 400 commodity scenarios as a process of its own and
  // sends it `signal` once a few reports are in place.
  void InterruptOnce(int signal);
  fs::path P(const std::string& rel) const { return dir_.path() / rel; }
  void Write(const std::string& rel, const std::string& text) { WriteFileBytes(P(rel), text); }

  fs::path start_;
  TempDir dir_;
};

// The rows of a table of a history file, -1 when it cannot be read.
long long Count(const fs::path& db, const std::string& table) {
  sqlite3* h = nullptr;
  long long n = -1;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(h, ("SELECT count(*) FROM " + table).c_str(), -1, &s, nullptr) ==
          SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW)
    n = sqlite3_column_int64(s, 0);
  sqlite3_finalize(s);
  sqlite3_close(h);
  return n;
}

// How often text occurs in all.
std::size_t Occurrences(const std::string& all, const std::string& text) {
  std::size_t n = 0;
  for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
  return n;
}

const char* kHeader =
    "id,residue_file,command,noel,rfd,qstar,pad,adj2,comment,reports,subgroups,food_pct,"
    "crop_pct\n";

// A scenario file of many rows over the three sample residue files and
// every endpoint, long-term and commodity.
std::string ManyScenarios(int copies) {
  std::string csv = kHeader;
  const char* files[] = {"DEMOFOS", "DEMOGRP", "CYCLOFOS"};
  for (int c = 0; c < copies; ++c)
    for (const char* f : files) {
      std::string id = std::string(f) + "-" + std::to_string(c);
      std::string r = std::string("residues/") + f + ".R98";
      csv += id + "-r," + r + ",longterm,,file,,,,,,,,\n";
      csv += id + "-nr," + r + ",longterm,0.5,0.0003,,,yes,,,,,\n";
      csv += id + "-p," + r + ",longterm,,file,,17=0.0001;27=0.00005,,,,,,\n";
      csv += id + "-q," + r + ",longterm,,,0.05,,,,,,,\n";
      csv += id + "-c," + r + ",commodity,,file,,,,,both,\"1,17\",1,5\n";
    }
  return csv;
}

// The reports and the summary are the same bytes whatever the number of
// workers, and nothing is lost or reordered.
TEST_F(Batch, OutputsDoNotDependOnTheNumberOfWorkers) {
  Write("csfii/many.csv", ManyScenarios(6));
  auto one = Run({"-C", "csfii", "batch", "--scenarios", P("csfii/many.csv").string(), "--out",
                  P("out1").string(), "-j1", "--export", "csv", "--export", "xlsx"});
  auto four = Run({"-C", "csfii", "batch", "--scenarios", P("csfii/many.csv").string(), "--out",
                   P("out4").string(), "-j4", "--export", "csv", "--export", "xlsx"});
  ASSERT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(four.status, 0) << four.err;
  EXPECT_EQ(one.out, four.out);
  auto a = FolderBytes(P("out1")), b = FolderBytes(P("out4"));
  // 90 scenarios: report, manifest, two exports, the CSV's manifest; the summary twice.
  EXPECT_EQ(a.size(), 90u * 5 + 2);
  ASSERT_EQ(a.size(), b.size());
  for (const auto& [name, bytes] : a) {
    ASSERT_TRUE(b.count(name)) << name;
    // The summary's workbook names its folder; manifests do too, and are
    // compared with the folder's name put right.
    if (name == "summary.xlsx") continue;
    std::string expected = bytes;
    if (name.find(".manifest.json") != std::string::npos)
      for (std::size_t at; (at = expected.find(P("out1").string())) != std::string::npos;)
        expected.replace(at, P("out1").string().size(), P("out4").string());
    EXPECT_TRUE(expected == b[name]) << name << " differs between -j1 and -j4";
  }
  auto rows = ParseCsv(a["summary.csv"]);
  const std::size_t id = Column(rows[0], "scenario"), status = Column(rows[0], "status");
  // Every scenario, in the file's order: 33 subgroup rows per long-term
  // scenario, one per chosen subgroup (2) per commodity scenario.
  std::vector<std::string> order;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][status], "done") << rows[i][id];
    if (order.empty() || order.back() != rows[i][id]) order.push_back(rows[i][id]);
  }
  ASSERT_EQ(order.size(), 90u);
  EXPECT_EQ(order[0], "DEMOFOS-0-r");
  EXPECT_EQ(order[89], "CYCLOFOS-5-c");
  EXPECT_EQ(rows.size() - 1, 72u * 33 + 18u * 2);
}

// Each scenario's report is byte for byte the report the single run saves
// with the same settings, and each summary row holds the figures the single
// run exports for that subgroup.
TEST_F(Batch, ReportsAndFiguresAreTheSingleRunsOnes) {
  struct Case {
    std::string folder, residue, command;
    std::vector<std::string> options;
  } cases[] = {
      {"csfii", "DEMOFOS.R98", "longterm", {"--rfd"}},
      {"csfii", "DEMOGRP.R98", "longterm", {"--noel=0.5", "--rfd=0.01", "--adj2"}},
      {"csfii", "CYCLOFOS.R98", "longterm", {"--pad", "--pad-value", "17=0.0001"}},
      {"nhanes-2005-2010", "DEMOFOS.R10", "longterm", {"--qstar=0.05"}},
      {"nhanes-2005-2010", "DEMOGRP.R10", "longterm", {"--noel=0.2"}},
      {"csfii",
       "DEMOFOS.R98",
       "commodity",
       {"--rfd", "--complete", "--critical", "--subgroups", "1,17", "--food-pct", "1", "--crop-pct",
        "5"}},
      {"nhanes-2005-2010",
       "DEMOFOS.R10",
       "commodity",
       {"--rfd", "--complete", "--subgroups", "all"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder + " " + c.residue + " " + c.options[0]);
    const std::string residue = P(c.folder + "/residues/" + c.residue).string();
    const std::string stem = fs::path(c.residue).stem().string();
    std::vector<std::string> single = {"-C",    c.folder,   c.command,
                                       residue, "--save",   "single",
                                       "--yes", "--export", P("single.csv").string()};
    single.insert(single.end(), c.options.begin(), c.options.end());
    auto s = Run(single);
    ASSERT_EQ(s.status, 0) << s.err;
    std::vector<std::string> batch = {"-C",      c.folder, "batch",           residue, "--command",
                                      c.command, "--out",  P("out").string(), "--yes"};
    batch.insert(batch.end(), c.options.begin(), c.options.end());
    auto b = Run(batch);
    ASSERT_EQ(b.status, 0) << b.err;
    const std::string ext = c.command == "longterm" ? ".OR10" : ".CC10";
    EXPECT_TRUE(ReadFileBytes(P(c.folder + "/residues/single" + ext)) ==
                ReadFileBytes(P("out/" + stem + ext)));

    auto exported = ParseCsv(ReadFileBytes(P("single.csv")));
    auto summary = ParseCsv(ReadFileBytes(P("out/summary.csv")));
    const Row& eh = exported[0];
    const Row& sh = summary[0];
    std::vector<Row> expected;  // the single run's subgroup rows
    const bool commodity = c.command == "commodity";
    for (std::size_t i = 1; i < exported.size(); ++i)
      if (!commodity || exported[i][Column(eh, "row_kind")] == "subgroup_total")
        expected.push_back(exported[i]);
    ASSERT_EQ(summary.size() - 1, expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const Row& got = summary[i + 1];
      EXPECT_EQ(got[Column(sh, "scenario")], stem);
      EXPECT_EQ(got[Column(sh, "row")],
                expected[i][Column(eh, commodity ? "subgroup_row" : "row")]);
      for (const char* figure : {"exposure_mg_per_kg_bw_day", "reference_dose_kind",
                                 "reference_dose_mg_per_kg_bw_day", "percent_of_reference_dose",
                                 "percent_of_noel", "margin_of_exposure", "lifetime_cancer_risk"})
        EXPECT_EQ(got[Column(sh, figure)], expected[i][Column(eh, figure)])
            << figure << " of row " << got[Column(sh, "row")];
    }
  }
}

// The printed summary: one line per scenario with its worst subgroup, the
// ones over 100% of their reference dose marked.
TEST_F(Batch, PrintedSummaryNamesTheWorstSubgroup) {
  auto r = Run({"-C", "csfii", "batch", P("csfii/residues/DEMOFOS.R98").string(),
                P("csfii/residues/CYCLOFOS.R98").string(), "--rfd", "--out", P("out").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  auto summary = ParseCsv(ReadFileBytes(P("out/summary.csv")));
  const Row& h = summary[0];
  // The worst subgroup of each scenario, from the summary table.
  std::map<std::string, std::pair<float, std::string>> worst;
  for (std::size_t i = 1; i < summary.size(); ++i) {
    float pct = std::stof(summary[i][Column(h, "percent_of_reference_dose")]);
    auto& w = worst[summary[i][Column(h, "scenario")]];
    if (w.second.empty() || pct > w.first)
      w = {pct, summary[i][Column(h, "subgroup")] + " (row " + summary[i][Column(h, "row")] + ")"};
  }
  std::istringstream lines(r.out);
  std::string line;
  int seen = 0;
  while (std::getline(lines, line)) {
    for (const auto& [id, w] : worst)
      if (line.rfind(id + " ", 0) == 0) {
        ++seen;
        EXPECT_NE(line.find("done"), std::string::npos) << line;
        EXPECT_NE(line.find("worst: " + w.second), std::string::npos) << line;
        EXPECT_EQ(line.find("over 100%") != std::string::npos, w.first > 100) << line;
      }
  }
  EXPECT_EQ(seen, 2) << r.out;
  EXPECT_NE(r.out.find("2 scenarios: 2 done, 0 failed, 0 not run;"), std::string::npos);
}

// A row with a bad value fails with the single run's message, prefixed with
// the scenario file and line; the rows around it still run.
TEST_F(Batch, BadRowsFailAloneWithTheSingleRunsMessage) {
  struct Case {
    std::string cells;                // from noel on
    std::vector<std::string> single;  // the single run's options
  } cases[] = {
      {"abc,,,,,,,,,", {"--noel=abc"}},
      {",file,,,,,both,99,,", {"--rfd", "--complete", "--critical", "--subgroups", "99"}},
      {",file,,,,,critical,1,150,5",
       {"--rfd", "--critical", "--subgroups", "1", "--food-pct", "150", "--crop-pct", "5"}},
      {",file,,,,,,,1,", {"--rfd", "--food-pct", "1"}},
      {",file,0.05,,,,,,,", {"--rfd", "--qstar=0.05"}},
      {",file,,,,,both,\"1,27,1\",,",
       {"--rfd", "--complete", "--critical", "--subgroups", "1,27,1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cells);
    const bool commodity =
        c.cells.find("both") != std::string::npos || c.cells.find("critical") != std::string::npos;
    Write("csfii/s.csv",
          std::string(kHeader) + "good1,residues/DEMOFOS.R98,longterm,,file,,,,,,,,\n" +
              "bad,residues/DEMOGRP.R98," + (commodity ? "commodity," : "longterm,") + c.cells +
              "\n" + "good2,residues/CYCLOFOS.R98,longterm,,file,,,,,,,,\n");
    auto r = Run({"-C", "csfii", "batch", "--scenarios", "csfii/s.csv", "--out", P("out").string(),
                  "--yes"});
    EXPECT_EQ(r.status, 1) << r.err;
    std::vector<std::string> single = {"-C", "csfii", commodity ? "commodity" : "longterm",
                                       P("csfii/residues/DEMOGRP.R98").string()};
    single.insert(single.end(), c.single.begin(), c.single.end());
    auto s = Run(single);
    ASSERT_NE(s.status, 0);
    std::string message = s.err.substr(0, s.err.find('\n'));
    if (message.rfind("ormid-cli: ", 0) == 0) message.erase(0, 11);
    auto summary = ParseCsv(ReadFileBytes(P("out/summary.csv")));
    const Row& h = summary[0];
    std::map<std::string, std::string> status, text;
    for (std::size_t i = 1; i < summary.size(); ++i) {
      status[summary[i][Column(h, "scenario")]] = summary[i][Column(h, "status")];
      text[summary[i][Column(h, "scenario")]] = summary[i][Column(h, "message")];
    }
    EXPECT_EQ(status["good1"], "done");
    EXPECT_EQ(status["good2"], "done");
    EXPECT_EQ(status["bad"], "failed");
    EXPECT_EQ(text["bad"], "csfii/s.csv:3: " + message);
    EXPECT_NE(r.out.find("csfii/s.csv:3: " + message), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(P("out/bad.OR10")) || fs::exists(P("out/bad.CC10")));
    EXPECT_TRUE(fs::exists(P("out/good2.OR10")));
  }
}

// What makes the scenario file unusable is a usage error naming it.
TEST_F(Batch, ScenarioFileProblemsAreUsageErrors) {
  struct Case {
    std::string file, text, message;
  } cases[] = {
      {"s1.csv", "id,residue_file,command,rfd,colour\n", "has an unknown column \"colour\""},
      {"s2.csv", "id,command,rfd\na,longterm,file\n", "has no column \"residue_file\""},
      {"s3.csv", "id,residue_file,command,rfd,rfd\n", "has the column \"rfd\" twice"},
      {"s4.csv",
       std::string(kHeader) + "a,residues/DEMOFOS.R98,longterm,,file,,,,,,,,\n" +
           "a,residues/DEMOGRP.R98,longterm,,file,,,,,,,,\n",
       "s4.csv:3: the id a is taken by line 2"},
      {"s5.csv", std::string(kHeader) + "../up,residues/DEMOFOS.R98,longterm,,file,,,,,,,,\n",
       "cannot name the scenario's files"},
      // A control character (here a NUL) in an id.
      {"s6.csv",
       std::string(kHeader) + std::string("a\0b", 3) +
           ",residues/DEMOFOS.R98,longterm,,file,,,,,,,,\n",
       "cannot name the scenario's files"},
      // One id's files named as another's: its manifest, its export, or the
      // same id in other letter case.
      {"s7.csv",
       std::string(kHeader) + "q,residues/DEMOFOS.R98,longterm,,file,,,,,,,,\n" +
           "q.OR10.manifest,residues/DEMOGRP.R98,longterm,,file,,,,,,,,\n",
       "s7.csv:3: the id q.OR10.manifest would write q.OR10.manifest.json, a file of scenario q"},
      {"s8.csv",
       std::string(kHeader) + "Demo,residues/DEMOFOS.R98,longterm,,file,,,,,,,,\n" +
           "demo,residues/DEMOGRP.R98,longterm,,file,,,,,,,,\n",
       "s8.csv:3: the id demo would write demo.OR10, a file of scenario Demo"},
      // Letters in other case beyond ASCII, or composed otherwise (NFC and
      // NFD), and an id that is the summary's in other letters.
      {"s9.csv",
       std::string(kHeader) + "\xC3\x89t,residues/DEMOFOS.R98,longterm,,file,,,,,,,,\n" +
           "\xC3\xA9t,residues/DEMOGRP.R98,longterm,,file,,,,,,,,\n",
       "s9.csv:3: the id \xC3\xA9t would write \xC3\xA9t.OR10, a file of scenario \xC3\x89t"},
      {"s10.csv",
       std::string(kHeader) + "Caf\xC3\xA9,residues/DEMOFOS.R98,longterm,,file,,,,,,,,\n" +
           "Cafe\xCC\x81,residues/DEMOGRP.R98,longterm,,file,,,,,,,,\n",
       "s10.csv:3: the id Cafe\xCC\x81 would write Cafe\xCC\x81.OR10, a file of scenario "
       "Caf\xC3\xA9"},
      {"s11.csv",
       std::string(kHeader) + "\xC5\xBFummary,residues/DEMOFOS.R98,longterm,,file,,,,,,,,\n",
       "cannot name the scenario's files"},
      {"", "", "cannot read the scenario file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    if (!c.file.empty()) Write("csfii/" + c.file, c.text);
    const std::string file = "csfii/" + (c.file.empty() ? std::string("missing.csv") : c.file);
    auto r = Run({"-C", "csfii", "batch", "--scenarios", file, "--out", P("out").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.file.empty() ? "missing.csv" : c.file), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(P("out/summary.csv")));
  }
  // And the command line's own mistakes.
  for (std::vector<std::string> args :
       {std::vector<std::string>{"batch", "--out", "o"},
        {"batch", "x.R98", "--scenarios", "s.csv", "--out", "o"},
        {"batch", "--scenarios", "s.csv", "--rfd", "--out", "o"},
        {"batch", "x.R98", "--rfd", "--save", "n", "--out", "o"},
        {"batch", "x.R98", "--rfd", "--export", "pdf", "--out", "o"},
        {"batch", "x.R98", "--rfd", "-j", "0", "--out", "o"},
        {"batch", "a/x.R98", "b/x.R98", "--rfd", "--out", "o"},
        {"batch", "a/x.R98", "b/X.R10", "--rfd", "--out", "o"}}) {
    auto r = Run(args);
    EXPECT_EQ(r.status, 2) << args[1] << " " << args[2] << ": " << r.err;
  }
}

// The working folder's temporary reports are left alone; an output folder
// of an earlier batch is written over only with --yes.
TEST_F(Batch, WorkingFolderUntouchedAndOverwriteAsked) {
  Write("csfii/ormdtemp.txt", "the last report");
  const std::vector<std::string> args = {
      "-C",    "csfii", "batch",          P("csfii/residues/DEMOFOS.R98").string(),
      "--rfd", "--out", P("out").string()};
  ASSERT_EQ(Run(args).status, 0);
  EXPECT_EQ(ReadFileBytes(P("csfii/ormdtemp.txt")), "the last report");
  EXPECT_FALSE(fs::exists(P("csfii/tempcomm.txt")));
  WriteFileBytes(P("out/DEMOFOS.OR10"), "kept");
  auto again = Run(args);
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("already holds files of this batch"), std::string::npos) << again.err;
  EXPECT_EQ(ReadFileBytes(P("out/DEMOFOS.OR10")), "kept");
  auto yes = args;
  yes.push_back("--yes");
  EXPECT_EQ(Run(yes).status, 0);
  EXPECT_NE(ReadFileBytes(P("out/DEMOFOS.OR10")), "kept");
}

// A residue file that cannot be read fails its scenario with the open's
// message; the batch goes on.
TEST_F(Batch, MissingResidueFileFailsItsScenario) {
  auto r = Run({"-C", "csfii", "batch", P("csfii/residues/NONE.R98").string(),
                P("csfii/residues/DEMOFOS.R98").string(), "--rfd", "--out", P("out").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("NONE     failed   " + P("csfii/residues/NONE.R98").string() +
                       ": Path Error: Can't find file"),
            std::string::npos)
      << r.out;
  EXPECT_TRUE(fs::exists(P("out/DEMOFOS.OR10")));
}

// A scenario whose report cannot be put in place fails with a message that
// names that report, not the working folder's.
TEST_F(Batch, AReportThatCannotBeWrittenIsNamed) {
  fs::create_directories(P("out/DEMOFOS.OR10/inside"));
  auto r = Run({"-C", "csfii", "batch", P("csfii/residues/DEMOFOS.R98").string(), "--rfd", "--out",
                P("out").string(), "--yes", "--no-history"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(
      r.out.find("The report file " + P("out/DEMOFOS.OR10").string() + " could not be written: "),
      std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("working folder"), std::string::npos) << r.out;
}

// Every finished scenario of a batch is in the working folder's run history,
// long-term and commodity, in the scenarios' order whatever the number of
// workers: its manifest is the one beside its report, its figures those of
// the summary and of a single run with the same settings. A failed
// scenario records nothing.
TEST_F(Batch, FinishedScenariosAreRecordedInTheirOrder) {
  Write("csfii/mixed.csv",
        std::string(kHeader) +
            "lt-rfd,residues/DEMOFOS.R98,longterm,,file,,,,,,,,\n"
            "cc-both,residues/CYCLOFOS.R98,commodity,,file,,,,,both,\"1,17\",1,5\n"
            "bad,residues/DEMOGRP.R98,longterm,abc,,,,,,,,,\n"
            "lt-q,residues/DEMOGRP.R98,longterm,,,0.05,,,,,,,\n"
            "cc-noel,residues/DEMOFOS.R98,commodity,0.5,,,,,,complete,all,,\n");
  struct Done {
    std::string id, ext;
    std::vector<std::string> single;  // the same run on its own
  } done[] = {
      {"lt-rfd", ".OR10", {"longterm", "csfii/residues/DEMOFOS.R98", "--rfd"}},
      {"cc-both",
       ".CC10",
       {"commodity", "csfii/residues/CYCLOFOS.R98", "--rfd", "--complete", "--critical",
        "--subgroups", "1,17", "--food-pct", "1", "--crop-pct", "5"}},
      {"lt-q", ".OR10", {"longterm", "csfii/residues/DEMOGRP.R98", "--qstar=0.05"}},
      {"cc-noel",
       ".CC10",
       {"commodity", "csfii/residues/DEMOFOS.R98", "--noel=0.5", "--complete", "--subgroups",
        "all"}},
  };
  const std::size_t n = std::size(done);
  for (const char* jobs : {"-j4", "-j1"}) {
    auto r = Run({"-C", "csfii", "batch", "--scenarios", "csfii/mixed.csv", "--out",
                  P(std::string("out") + jobs).string(), jobs});
    EXPECT_EQ(r.status, 1) << r.err;  // the bad row
    EXPECT_EQ(r.err.find("Run History"), std::string::npos) << r.err;
  }
  for (const Done& d : done) {
    std::vector<std::string> single = {"-C", "csfii"};
    single.insert(single.end(), d.single.begin(), d.single.end());
    ASSERT_EQ(Run(single).status, 0) << d.id;
  }
  // Runs 1-4: the -j4 batch; 5-8: the -j1 batch; 9-12 the single runs.
  const fs::path db = P("csfii") / kHistoryFile;
  std::string error;
  auto runs = ListRuns(db.string(), {}, error);
  ASSERT_TRUE(runs) << error;
  ASSERT_EQ(runs->size(), 3 * n);
  auto figures = [&](long long id) {
    auto s = Run({"-C", "csfii", "history", "show", std::to_string(id), "--export",
                  P("shown.csv").string(), "--yes"});
    EXPECT_EQ(s.status, 0) << s.err;
    return ReadFileBytes(P("shown.csv"));
  };
  const auto summary = ParseCsv(ReadFileBytes(P("out-j4/summary.csv")));
  const Row& sh = summary[0];
  for (std::size_t k = 0; k < n; ++k) {
    SCOPED_TRACE(done[k].id);
    const long long id4 = static_cast<long long>(k + 1), id1 = id4 + static_cast<long long>(n),
                    single = id4 + 2 * static_cast<long long>(n);
    EXPECT_EQ((*runs)[k].id, id4);
    EXPECT_EQ((*runs)[k].command, done[k].single[0]);
    EXPECT_EQ((*runs)[k].residueFile, fs::path(done[k].single[1]).filename().string());
    std::string error;
    auto run = LoadRun(db.string(), id4, error);
    ASSERT_TRUE(run) << error;
    const std::string report = P("out-j4/" + done[k].id + done[k].ext).string();
    // The file beside the report also records the way from its folder to
    // the working folder; the rest is the recorded manifest.
    auto beside = nlohmann::json::parse(ReadFileBytes(report + ".manifest.json"));
    EXPECT_EQ(beside["working_folder_from_manifest"], "../csfii");
    beside.erase("working_folder_from_manifest");
    EXPECT_EQ(run->manifest, beside);
    EXPECT_EQ(run->manifest["outputs"][0]["path"], report);
    // The -j1 batch's run: the same manifest but for its folder.
    auto other = LoadRun(db.string(), id1, error);
    ASSERT_TRUE(other) << error;
    std::string dumped = other->manifest.dump();
    for (std::size_t at; (at = dumped.find(P("out-j1").string())) != std::string::npos;)
      dumped.replace(at, P("out-j1").string().size(), P("out-j4").string());
    EXPECT_EQ(dumped, run->manifest.dump());
    // Every figure, in the single run's export, bit for bit.
    const std::string own = figures(single);
    EXPECT_EQ(figures(id4), own);
    EXPECT_EQ(figures(id1), own);
    // And the summary's rows are the recorded subgroups.
    std::vector<std::vector<std::string>> recorded, listed;
    auto text = [](const std::optional<float>& v) { return v ? ShortestText(*v) : ""; };
    for (const RecordedLongTerm& r : run->longTerm)
      recorded.push_back({std::to_string(r.row), ShortestText(r.exposure),
                          text(r.figures.percentReference), text(r.figures.lifetimeRisk)});
    for (const RecordedContribution& r : run->commodity)
      if (r.kind == ContributionKind::SubgroupTotal)
        recorded.push_back({std::to_string(r.row), ShortestText(r.exposure),
                            text(r.figures.percentReference), text(r.figures.lifetimeRisk)});
    for (std::size_t i = 1; i < summary.size(); ++i)
      if (summary[i][Column(sh, "scenario")] == done[k].id)
        listed.push_back({summary[i][Column(sh, "row")],
                          summary[i][Column(sh, "exposure_mg_per_kg_bw_day")],
                          summary[i][Column(sh, "percent_of_reference_dose")],
                          summary[i][Column(sh, "lifetime_cancer_risk")]});
    EXPECT_FALSE(recorded.empty());
    EXPECT_EQ(recorded, listed);
  }
  // The commands that read the history take a batch's runs as any.
  auto list = Run({"-C", "csfii", "history"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("      2  2024-03-05T09:07:01Z  commodity      Cyclofos"),
            std::string::npos)
      << list.out;
  auto compared = Run({"-C", "csfii", "compare", "1", "3"});
  EXPECT_EQ(compared.status, 0) << compared.err;
}

// --no-history leaves the batch out of the run history; a history that
// cannot take the batch (held by another program, or a folder where the
// file would be) is told of once, and the batch runs and ends as it would.
TEST_F(Batch, HistoryOffOrUnusable) {
  const std::vector<std::string> files = {
      P("csfii/residues/DEMOFOS.R98").string(), P("csfii/residues/NONE.R98").string(),
      P("csfii/residues/DEMOGRP.R98").string(), P("csfii/residues/CYCLOFOS.R98").string()};
  const fs::path db = P("csfii") / kHistoryFile;
  auto batch = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = {"-C",  "csfii", "batch", "--rfd",
                                     "-j2", "--yes", "--out", P("out").string()};
    args.insert(args.end(), files.begin(), files.end());
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  };
  auto off = batch({"--no-history"});
  EXPECT_EQ(off.status, 1);  // NONE.R98
  EXPECT_FALSE(fs::exists(db));
  ASSERT_EQ(batch({}).status, 1);
  ASSERT_EQ(Count(db, "runs"), 3);

  // Held: an exclusive transaction of another connection.
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  cli::OverrideHistoryBusyTimeout(200);
  fs::remove_all(P("out"));
  auto held = batch({});
  EXPECT_EQ(held.status, 1);
  EXPECT_EQ(Occurrences(held.err, "Run history not recorded"), 1u) << held.err;
  EXPECT_NE(held.err.find("Run History: Run history not recorded: the history file is in use by "
                          "another program (waited 0.2 s). The scenarios from DEMOFOS on are "
                          "not in the run history.\n"),
            std::string::npos)
      << held.err;
  EXPECT_NE(held.out.find("4 scenarios: 3 done, 1 failed, 0 not run;"), std::string::npos);
  for (const char* id : {"DEMOFOS", "DEMOGRP", "CYCLOFOS"})
    EXPECT_TRUE(fs::exists(P("out") / (std::string(id) + ".OR10"))) << id;
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  EXPECT_EQ(Count(db, "runs"), 3);

  // No history can be made in the working folder.
  fs::remove(db);
  fs::create_directory(db);
  auto blocked = batch({});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(Occurrences(blocked.err, "Run history not recorded"), 1u) << blocked.err;
  EXPECT_NE(blocked.err.find("cannot be opened or created"), std::string::npos) << blocked.err;
  EXPECT_TRUE(fs::exists(P("out/summary.csv")));
}

// A cumulative scenario is the single cumulative run: its report and
// exports are the bytes `cumulative --save --export` writes with the same
// settings, its summary rows the figures of that run's JSON export, its
// worst subgroup the highest percent of the cPAD; verify and rerun take its
// manifest, and the run history holds it, in the scenarios' order, as it
// holds the single run.
TEST_F(Batch, CumulativeScenariosAreTheSingleCumulativeRun) {
  const std::string group = P("csfii/op-group.csv").string();
  Write("csfii/cu.csv", std::string(kHeader) +
                            "lt,residues/DEMOFOS.R98,longterm,,file,,,,,,,,\n"
                            "cu-some,op-group.csv,cumulative,,,,,yes,,,\"1,17\",,\n"
                            "cu-all,op-group.csv,Cumulative,,,,,,,,,,\n");
  Write("csfii/tempcum.txt", "the last report");
  auto b = Run({"-C", "csfii", "batch", "--scenarios", "csfii/cu.csv", "--out", P("out").string(),
                "-j2", "--export", "csv", "--export", "json", "--export", "xlsx"});
  ASSERT_EQ(b.status, 0) << b.err << b.out;
  EXPECT_EQ(ReadFileBytes(P("csfii/tempcum.txt")), "the last report");

  struct Single {
    std::string id;
    std::vector<std::string> options;
  } singles[] = {{"cu-some", {"--adj2", "--subgroups", "1,17"}}, {"cu-all", {}}};
  const auto summary = ParseCsv(ReadFileBytes(P("out/summary.csv")));
  const Row& sh = summary[0];
  for (const Single& c : singles) {
    SCOPED_TRACE(c.id);
    std::vector<std::string> args = {"-C",         "csfii",
                                     "cumulative", group,
                                     "--save",     P(c.id).string(),
                                     "--export",   P(c.id + ".csv").string(),
                                     "--export",   P(c.id + ".json").string(),
                                     "--export",   P(c.id + ".xlsx").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    auto s = Run(args);
    ASSERT_EQ(s.status, 0) << s.err;
    for (const char* ext : {".CU10", ".csv", ".json", ".xlsx"})
      EXPECT_TRUE(ReadFileBytes(P(c.id + ext)) == ReadFileBytes(P("out/" + c.id + ext))) << ext;

    // One summary row per subgroup, with the JSON export's figures.
    const auto doc = nlohmann::json::parse(ReadFileBytes(P(c.id + ".json")));
    std::vector<const Row*> rows;
    for (std::size_t i = 1; i < summary.size(); ++i)
      if (summary[i][Column(sh, "scenario")] == c.id) rows.push_back(&summary[i]);
    ASSERT_EQ(rows.size(), doc["cumulative"].size());
    double worst = -1;
    std::string worstName;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const Row& got = *rows[i];
      const auto& want = doc["cumulative"][i];
      const auto& cu = want["cumulative"];
      EXPECT_EQ(got[Column(sh, "command")], "cumulative");
      EXPECT_EQ(got[Column(sh, "residue_file")], group);
      EXPECT_EQ(got[Column(sh, "row")], std::to_string(want["row"].get<int>()));
      EXPECT_EQ(got[Column(sh, "reference_dose_kind")], "cPAD");
      EXPECT_EQ(std::stod(got[Column(sh, "exposure_mg_per_kg_bw_day")]),
                cu["index_equivalent_mg_per_kg_bw_day"].get<double>());
      EXPECT_EQ(std::stod(got[Column(sh, "percent_of_reference_dose")]),
                cu["percent_of_index_pad"].get<double>());
      EXPECT_EQ(std::stod(got[Column(sh, "margin_of_exposure")]), cu["moet"].get<double>());
      if (cu["percent_of_index_pad"].get<double>() > worst) {
        worst = cu["percent_of_index_pad"].get<double>();
        worstName = want["subgroup"].get<std::string>() + " (row " +
                    std::to_string(want["row"].get<int>()) + ")";
      }
    }
    std::string line = b.out.substr(b.out.find(c.id + " "));
    line.erase(line.find('\n'));
    EXPECT_NE(line.find("worst: " + worstName + ", "), std::string::npos) << b.out;

    const std::string manifest = P("out/" + c.id + ".CU10.manifest.json").string();
    auto verified = Run({"-C", "csfii", "verify", manifest});
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    auto again = Run({"rerun", manifest});
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("Every output is byte-identical"), std::string::npos) << again.out;
  }

  // Runs 1-3: the batch, in its order; 4-5: the single runs.
  const fs::path db = P("csfii") / kHistoryFile;
  std::string error;
  auto runs = ListRuns(db.string(), {}, error);
  ASSERT_TRUE(runs) << error;
  ASSERT_EQ(runs->size(), 5u);
  EXPECT_EQ((*runs)[0].command, "longterm");
  auto shown = [&](int id) {
    auto r = Run({"-C", "csfii", "history", "show", std::to_string(id), "--export",
                  P("shown.csv").string(), "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    return ReadFileBytes(P("shown.csv"));
  };
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ((*runs)[1 + k].command, "cumulative");
    EXPECT_EQ((*runs)[1 + k].worstSubgroup, (*runs)[3 + k].worstSubgroup);
    EXPECT_EQ(shown(2 + k), shown(4 + k));
    auto run = LoadRun(db.string(), 2 + k, error);
    ASSERT_TRUE(run) << error;
    auto beside =
        nlohmann::json::parse(ReadFileBytes(P("out/" + singles[k].id + ".CU10.manifest.json")));
    beside.erase("working_folder_from_manifest");
    EXPECT_EQ(run->manifest, beside);
  }
}

// A cumulative row with a setting it does not take, a group file with
// problems or subgroups the installation does not have fails alone, its
// message naming the scenario file and line; the rows around it run.
TEST_F(Batch, BadCumulativeRowsFailAlone) {
  Write("csfii/broken.csv",
        "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index\n"
        "Demofos,residues/DEMOFOS.R98,x,100,yes\nCyclofos,residues/CYCLOFOS.R98,0,,\n");
  Write("csfii/s.csv", std::string(kHeader) +
                           "good1,residues/DEMOFOS.R98,longterm,,file,,,,,,,,\n"
                           "endpoint,op-group.csv,cumulative,,file,,,,,,,,\n"
                           "crit,op-group.csv,cumulative,,,,,,Note,both,,1,\n"
                           "broken,broken.csv,cumulative,,,,,,,,,,\n"
                           "rows,op-group.csv,cumulative,,,,,,,,99,,\n"
                           "twice,op-group.csv,cumulative,,,,,,,,\"27,1,27\",,\n"
                           "good2,op-group.csv,cumulative,,,,,,,,1,,\n");
  auto r = Run({"-C", "csfii", "batch", "--scenarios", "csfii/s.csv", "--out", P("out").string(),
                "--no-history"});
  EXPECT_EQ(r.status, 1) << r.err;
  // The single run's own messages for the same group file and subgroups.
  auto singleErr = [&](const std::vector<std::string>& args) {
    std::vector<std::string> all = {"-C", "csfii", "cumulative"};
    all.insert(all.end(), args.begin(), args.end());
    auto s = Run(all);
    EXPECT_EQ(s.status, 2);
    return Lines(s.err);
  };
  const auto broken = singleErr({P("csfii/broken.csv").string()});
  ASSERT_EQ(broken.size(), 2u);
  std::string rows = singleErr({P("csfii/op-group.csv").string(), "--subgroups", "99"}).at(0);
  if (rows.rfind("ormid-cli: ", 0) == 0) rows.erase(0, 11);
  std::string twice = singleErr({P("csfii/op-group.csv").string(), "--subgroups", "27,1,27"}).at(0);
  if (twice.rfind("ormid-cli: ", 0) == 0) twice.erase(0, 11);

  const std::map<std::string, std::string> failed = {
      {"endpoint", "csfii/s.csv:3: rfd does not apply to a cumulative scenario: leave it empty"},
      {"crit",
       "csfii/s.csv:4: comment, reports, food_pct do not apply to a cumulative scenario: leave "
       "them empty"},
      {"broken", "csfii/s.csv:5: " + broken[0] + " / " + broken[1]},
      {"rows", "csfii/s.csv:6: " + rows},
      {"twice", "csfii/s.csv:7: " + twice},
  };
  auto summary = ParseCsv(ReadFileBytes(P("out/summary.csv")));
  const Row& h = summary[0];
  std::map<std::string, std::string> status, text;
  for (std::size_t i = 1; i < summary.size(); ++i) {
    status[summary[i][Column(h, "scenario")]] = summary[i][Column(h, "status")];
    text[summary[i][Column(h, "scenario")]] = summary[i][Column(h, "message")];
  }
  for (const auto& [id, message] : failed) {
    EXPECT_EQ(status[id], "failed") << id;
    EXPECT_EQ(text[id], message);
    EXPECT_NE(r.out.find(message), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(P("out/" + id + ".CU10")));
  }
  EXPECT_EQ(status["good1"], "done");
  EXPECT_EQ(status["good2"], "done");
  EXPECT_TRUE(fs::exists(P("out/good2.CU10")));
  EXPECT_FALSE(fs::exists(P("csfii/tempcum.txt")));
}

// Stops after the first outcome: the started scenarios finish, the rest are
// "not run", and no temporary file is left in the output folder.
class StopAfterFirst : public BatchListener {
 public:
  explicit StopAfterFirst(std::atomic<bool>& stop) : stop_(stop) {}
  void Finished(std::size_t, const BatchScenario&, const ScenarioOutcome& o) override {
    statuses.push_back(o.status);
    stop_.store(true);
  }
  std::vector<ScenarioStatus> statuses;

 private:
  std::atomic<bool>& stop_;
};

TEST_F(Batch, StopLeavesTheRestNotRunAndNoPartialFile) {
  fs::current_path(dir_.path());
  ScopedCurrentDir cwd(P("csfii"));
  FakePlatform platform;
  ModOrmid m;
  ASSERT_TRUE(StartUp(m, platform, false));
  std::vector<BatchScenario> scenarios;
  for (int i = 0; i < 40; ++i) {
    BatchScenario s;
    s.id = "s" + std::to_string(i);
    s.origin = s.id;
    s.residueFile = P("csfii/residues/DEMOFOS.R98").string();
    s.kind = RunKind::Commodity;
    s.settings = [](ModOrmid& mm, WindowSettings& w, std::string&) {
      w.chkMOE2 = true;
      w.txtMOE2 = "0.005";
      w.chkComplete = w.chkCritical = true;
      w.txtCrit1 = "1";
      w.txtCrit2 = "5";
      w.chkStandard.assign(static_cast<std::size_t>(mm.gPopCount), 1);
      return true;
    };
    scenarios.push_back(s);
  }
  fs::create_directories(P("out"));
  std::atomic<bool> stop{false};
  BatchOptions options;
  options.outDir = P("out").string();
  options.workers = 3;
  options.stop = &stop;
  StopAfterFirst listener(stop);
  BatchCounts counts = RunBatch(m, scenarios, options, listener);
  ASSERT_EQ(listener.statuses.size(), 40u);
  EXPECT_EQ(counts.done + counts.notRun, 40u);
  EXPECT_GE(counts.done, 1u);
  // Only what had started when the stop came has run.
  EXPECT_LT(counts.done, 20u);
  for (std::size_t i = 0; i < counts.done; ++i)
    EXPECT_EQ(listener.statuses[i], ScenarioStatus::Done);
  for (std::size_t i = counts.done; i < 40; ++i)
    EXPECT_EQ(listener.statuses[i], ScenarioStatus::NotRun);
  const std::string first = ReadFileBytes(P("out/s0.CC10"));
  for (const auto& e : fs::directory_iterator(P("out"))) {
    const std::string name = e.path().filename().string();
    EXPECT_EQ(name.find(".ormid-tmp"), std::string::npos) << name;
    if (name.size() > 5 && name.substr(name.size() - 5) == ".CC10") {
      EXPECT_TRUE(ReadFileBytes(e.path()) == first) << name << " is not a whole report";
    }
  }
}

#ifdef ORMID_CLI
// Ctrl+C on the command, or the system ending it (SIGTERM, SIGHUP): the
// summary is written with the rest "not run", the exit status is 1, and
// every report in the folder is whole.
TEST_F(Batch, InterruptWritesTheSummaryAndLeavesNoPartialFile) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    std::error_code ec;
    fs::remove_all(P("out"), ec);
    fs::remove(P("csfii") / kHistoryFile, ec);
    InterruptOnce(signal);
  }
}

void Batch::InterruptOnce(int signal) {
  std::string csv = kHeader;
  for (int i = 0; i < 400; ++i)
    csv += "c" + std::to_string(i) + ",residues/DEMOFOS.R98,commodity,,file,,,,,both,all,1,5\n";
  Write("csfii/big.csv", csv);
  fs::current_path(P("csfii"));
  const std::string out = P("out").string();
  std::vector<std::string> args = {ORMID_CLI, "batch", "--scenarios", "big.csv",
                                   "--out",   out,     "-j2"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, ORMID_CLI, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  // Interrupt once a few reports are in place.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < give_up && !fs::exists(P("out/c3.CC10")))
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  kill(pid, signal);
  int wstatus = 0;
  ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
  ASSERT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(WEXITSTATUS(wstatus), 1);
  auto summary = ParseCsv(ReadFileBytes(P("out/summary.csv")));
  ASSERT_GT(summary.size(), 1u);
  const std::size_t status = Column(summary[0], "status"), id = Column(summary[0], "scenario");
  std::size_t done = 0, notRun = 0;
  std::set<std::string> ids;
  for (std::size_t i = 1; i < summary.size(); ++i) {
    ids.insert(summary[i][id]);
    if (summary[i][status] == "not run") ++notRun;
    if (summary[i][status] == "done" && summary[i][Column(summary[0], "row")] == "1") ++done;
  }
  EXPECT_EQ(ids.size(), 400u);
  EXPECT_GT(notRun, 0u);
  EXPECT_GE(done, 4u);
  const std::string first = ReadFileBytes(P("out/c0.CC10"));
  std::size_t reports = 0;
  for (const auto& e : fs::directory_iterator(P("out"))) {
    const std::string name = e.path().filename().string();
    EXPECT_EQ(name.find(".ormid-tmp"), std::string::npos) << name;
    if (name.size() > 5 && name.substr(name.size() - 5) == ".CC10") {
      ++reports;
      EXPECT_TRUE(ReadFileBytes(e.path()) == first) << name << " is not a whole report";
    }
  }
  EXPECT_EQ(reports, done);
  // Each finished scenario is in the run history whole, none of the rest.
  const fs::path db = P("csfii") / kHistoryFile;
  EXPECT_EQ(Count(db, "runs"), static_cast<long long>(done));
  std::size_t doneRows = 0;
  for (std::size_t i = 1; i < summary.size(); ++i) doneRows += summary[i][status] == "done";
  EXPECT_EQ(Count(db, "commodity_subgroups"), static_cast<long long>(doneRows));
  EXPECT_EQ(Count(db, "(SELECT DISTINCT run_id FROM commodity_subgroups)"),
            static_cast<long long>(done));
}
#endif

// The scenario file's rows become the single run's options.
TEST(ScenarioFile, RowsBecomeOptions) {
  TempDir dir;
  WriteFileBytes(dir.path() / "s.csv",
                 "ID, Residue_File ,command,noel,rfd,pad,adj2,comment,reports,subgroups,food_pct,"
                 "crop_pct\r\n"
                 "a,r/A.R98,longterm,0.5,file,,yes,\"Refined, twice\",,,,\r\n"
                 "b,r/B.R98,Commodity,,0.01,17=0.0001;27=2e-5,no,,complete+critical,\"1,17\","
                 "1,5\r\n"
                 "\r\n"
                 "c,r/C.R98,longterm,,file,,maybe,,,,,\r\n"
                 "d,r/D.R98,listing,,file,,,,,,,\r\n");
  std::string error;
  auto rows = ReadScenarioFile((dir.path() / "s.csv").string(), error);
  ASSERT_TRUE(rows) << error;
  ASSERT_EQ(rows->size(), 4u);
  const auto& r = *rows;
  EXPECT_EQ(r[0].line, 2);
  EXPECT_EQ(r[0].residueFile, (dir.path() / "r/A.R98").string());
  EXPECT_EQ(r[0].arguments, (std::vector<std::string>{"--noel=0.5", "--rfd", "--adj2",
                                                      "--comment=Refined, twice"}));
  EXPECT_EQ(r[1].command, "commodity");
  EXPECT_EQ(r[1].arguments,
            (std::vector<std::string>{"--rfd=0.01", "--pad", "--pad-value=17=0.0001",
                                      "--pad-value=27=2e-5", "--complete", "--critical",
                                      "--subgroups=1,17", "--food-pct=1", "--crop-pct=5"}));
  EXPECT_TRUE(r[1].problem.empty());
  EXPECT_EQ(r[2].line, 5);
  EXPECT_EQ(r[2].problem, "adj2 takes yes or no, not \"maybe\"");
  EXPECT_EQ(r[3].problem,
            "command takes longterm, commodity, cumulative or aggregate, not \"listing\"");
}

}  // namespace
}  // namespace ormid::test
