// ormid-cli end to end on copies of the bundled sample installations: exit
// status, the messages on standard error, and the report bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cli/cli_run.h"
#include "report/number_format.h"
#include "setup/startup.h"
#include "tests/cli_runner.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);  // 2024-03-05 09:07:01 UTC
    for (const char* name : {"csfii", "nhanes-2005-2010"}) {
      CopySampleInstallation(name, dir_.path() / name);
    }
    cwd_ = std::make_unique<ScopedCurrentDir>(dir_.path());
  }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }

  CliResult Run(const std::vector<std::string>& args) { return RunCliIn(dir_.path(), args); }
  fs::path Csfii() const { return dir_.path() / "csfii"; }
  fs::path Nhanes() const { return dir_.path() / "nhanes-2005-2010"; }

  TempDir dir_;
  std::unique_ptr<ScopedCurrentDir> cwd_;
};

TEST_F(Cli, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"longterm"},
      {"info", "extra"},
      {"longterm", "a.R98", "--bogus"},
      {"longterm", "a.R98", "--qstar", "--noel"},
      {"longterm", "a.R98", "--pad", "--qstar=1"},
      {"longterm", "a.R98", "--pad-value", "15=0.01"},
      {"longterm", "a.R98", "--pad", "--pad-value", "x=0.01"},
      {"longterm", "a.R98", "--food-pct", "5"},
      {"longterm", "a.R98", "--subgroups", "1"},
      {"commodity", "a.R98", "--rfd"},
      {"longterm", "a.R98", "--yes=1"},
      {"info", "--rfd"},
      {"-C"},
      {"longterm", "a.R98", "--rfd", "--line-count", "-1"},
      {"longterm", "a.R98", "--rfd", "--line-count", "40000"},
      {"commodity", "a.R98", "--rfd", "--complete", "--line-count", "5"},
  };
  for (const auto& args : cases) {
    auto r = Run(args);
    EXPECT_EQ(r.status, cli::kExitUsage) << ::testing::PrintToString(args);
    EXPECT_NE(r.err.find("ormid-cli: "), std::string::npos) << r.err;
  }
  // Rows are checked against the installation once it is started.
  std::string file = "csfii/residues/DEMOFOS.R98";
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"-C", "csfii", "longterm", file, "--rfd", "--pad", "--pad-value", "13=0.01"},
           {"-C", "csfii", "commodity", file, "--rfd", "--complete", "--subgroups", "0,34"}}) {
    auto r = Run(args);
    EXPECT_EQ(r.status, cli::kExitUsage) << r.err;
  }
  // Usage errors come before the residue file is read: a file of the other
  // survey base would be refused with a message (exit 1).
  std::string other = "nhanes-2005-2010/residues/DEMOFOS.R10";
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"-C", "csfii", "commodity", other, "--rfd", "--complete", "--subgroups", "0"},
           {"commodity", other, "--rfd", "--complete", "--subgroups", "34", "-C", "csfii"},
           {"-C", "csfii", "longterm", other, "--pad", "--pad-value", "40=1"}}) {
    auto r = Run(args);
    EXPECT_EQ(r.status, cli::kExitUsage) << r.err;
    EXPECT_EQ(r.err.find("Reading R98 file"), std::string::npos) << r.err;
  }
}

TEST_F(Cli, EveryCommandHasItsOwnHelp) {
  auto r = Run({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* command : {"info", "longterm", "commodity", "listing"})
    EXPECT_NE(r.out.find(command), std::string::npos) << command;
  r = Run({"commodity", "--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("--crop-pct"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("--noel[=TEXT]"), std::string::npos) << r.out;
  r = Run({"--version"});
  EXPECT_EQ(r.out, "ormid-cli " + PackageVersionText() + "\n");
}

TEST_F(Cli, InfoSummarisesTheInstallation) {
  auto r = Run({"-C", "csfii", "info"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Survey base:       0 (CSFII 1994-96, 1998)"), std::string::npos);
  EXPECT_NE(r.out.find("Population subgroups: 33"), std::string::npos);
  EXPECT_NE(r.out.find("   14      25  All infants (< 1 year)"), std::string::npos);
  EXPECT_NE(r.out.find("Crop groups:       38"), std::string::npos);
  r = Run({"--workdir", "nhanes-2005-2010", "info"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Population subgroups: 24"), std::string::npos);
  EXPECT_NE(r.out.find("Crop groups:       82"), std::string::npos);
}

TEST_F(Cli, FolderWithoutSupportListStopsWithItsMessage) {
  fs::create_directories(dir_.path() / "empty");
  auto r = Run({"-C", "empty", "info"});
  EXPECT_EQ(r.status, cli::kExitStopped);
  EXPECT_EQ(r.err,
            "Starting KAVRI-FCID: File KavriSupport.txt is not located in the current directory, "
            "can't proceed without this file.\n");
  r = Run({"-C", "no-such-folder", "info"});
  EXPECT_EQ(r.status, cli::kExitStopped);
}

TEST_F(Cli, LongTermReportOnStdoutEqualsTheFile) {
  auto r = Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd=0.0003",
                "--noel=3e-2", "--stdout"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  auto report = ReadFileBytes(Csfii() / "ormdtemp.txt");
  EXPECT_EQ(r.out, report);
  EXPECT_NE(report.find("Residue file name: " + (Csfii() / "residues" / "DEMOFOS.R98").string()),
            std::string::npos);
  EXPECT_NE(report.find("Analysis Date 03-05-2024/09:07:01"), std::string::npos);
  EXPECT_NE(report.find("Reference dose (RfD, Ormid) = .0003 mg/kg bw/day"), std::string::npos);
  EXPECT_NE(report.find("NOEL (Ormid) = .03 mg/kg bw/day"), std::string::npos);
  EXPECT_NE(report.find("COMMENT 1: Demofos, tolerance and monitoring residues, %CT applied"),
            std::string::npos);
  EXPECT_EQ(report.substr(0, 4), "\r\n\r\n");
}

TEST_F(Cli, LineCountOfAnEarlierReport) {
  // After an earlier report of the same session the long-term report's
  // header has no leading blank line; nothing else changes.
  auto r = Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd", "--stdout"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string fresh = r.out;
  ASSERT_EQ(fresh.substr(0, 4), "\r\n\r\n");
  for (const char* count : {"1", "57", "32767"}) {
    r = Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd", "--stdout",
             "--line-count", count});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, fresh.substr(2)) << count;
  }
  r = Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd", "--stdout",
           "--line-count=0"});
  EXPECT_EQ(r.out, fresh);
}

TEST_F(Cli, MessagesStopTheRunWithStatusOne) {
  std::string file = "csfii/residues/DEMOFOS.R98";
  // "--noel=" empties the box; "--noel" alone would keep the file's NOEL.
  for (const char* noel : {"--noel=abc", "--noel="}) {
    auto r = Run({"-C", "csfii", "longterm", file, noel});
    EXPECT_EQ(r.status, cli::kExitStopped);
    EXPECT_EQ(r.err, "Ormid Analysis: NOEL is checked but value is not specified.\n");
    EXPECT_FALSE(fs::exists(Csfii() / "ormdtemp.txt"));
  }
  auto r = Run({"-C", "csfii", "longterm", file, "--noel"});
  EXPECT_EQ(r.status, 0) << r.err;
  fs::remove(Csfii() / "ormdtemp.txt");

  // A residue file of the other survey base is refused.
  r = Run({"-C", "csfii", "longterm", "nhanes-2005-2010/residues/DEMOFOS.R10", "--rfd"});
  EXPECT_EQ(r.status, cli::kExitStopped);
  EXPECT_EQ(r.err, "Reading R98 file: This is an invalid R98 file.\n");

  // A missing residue file: the path error is answered Cancel.
  r = Run({"-C", "csfii", "longterm", "csfii/residues/NONE.R98", "--rfd"});
  EXPECT_EQ(r.status, cli::kExitStopped);
  EXPECT_EQ(
      r.err.rfind("Path Error: Can't find file " + (Csfii() / "residues" / "NONE.R98").string(), 0),
      0u)
      << r.err;
}

// A subgroup row named twice would be reported twice and could not be
// recorded: every command that takes --subgroups refuses it before anything
// runs (exit 2), a batch's scenario of it fails with the same message.
TEST_F(Cli, ASubgroupNamedTwiceIsAUsageError) {
  const std::string file = "csfii/residues/DEMOFOS.R98";
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"commodity", file, "--rfd", "--complete", "--subgroups", "1,1"},
           {"commodity", file, "--rfd", "--critical", "--subgroups", "27,2,27"},
           {"headroom", file, "--rfd", "--subgroups", "1,1"},
           {"cumulative", "csfii/op-group.csv", "--subgroups", "1,1"}}) {
    std::vector<std::string> all = {"-C", "csfii"};
    all.insert(all.end(), args.begin(), args.end());
    const CliResult r = Run(all);
    EXPECT_EQ(r.status, cli::kExitUsage) << args[0];
    const std::string& list = args.back();
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "ormid-cli: --subgroups names the row " +
                                                     list.substr(0, list.find(',')) + " twice (\"" +
                                                     list + "\"): name each subgroup once")
        << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(fs::exists(Csfii() / "tempcomm.txt"));
  EXPECT_FALSE(fs::exists(Csfii() / "tempcum.txt"));
  EXPECT_FALSE(fs::exists(Csfii() / "ormid-history.sqlite"));
  // Each row once, in any order, is a list.
  EXPECT_EQ(
      Run({"-C", "csfii", "commodity", file, "--rfd", "--complete", "--subgroups", "27,1"}).status,
      0);
}

TEST_F(Cli, SavedCopyAndTheOverwriteQuestion) {
  std::string file = "csfii/residues/DEMOFOS.R98";
  auto copy = Csfii() / "residues" / "week1.OR10";
  auto r = Run({"-C", "csfii", "longterm", file, "--rfd=0.0005", "--save", "week1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err,
            "Ormid Analysis: Ormid analysis completed. Press 'Show Last Ormid Rpt' to view report. "
            "\r\nOrmid analysis report also saved as file " +
                (Csfii() / "residues" / "week1.OR10").string() + "\n");
  EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(Csfii() / "ormdtemp.txt"));

  const std::string question = "KAVRI-FCID Ormid Module: Report file " + copy.string() +
                               " already exists. Do you want to write over this file?\n";
  WriteFileBytes(copy, "kept");
  r = Run({"-C", "csfii", "longterm", file, "--rfd", "--save", "week1.cc10"});
  EXPECT_EQ(r.status, cli::kExitStopped);
  EXPECT_EQ(r.err, question);
  EXPECT_EQ(ReadFileBytes(copy), "kept");
  r = Run({"-C", "csfii", "longterm", file, "--rfd", "--save", "week1", "--yes"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err.rfind(question, 0), 0u);
  EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(Csfii() / "ormdtemp.txt"));
}

TEST_F(Cli, PadValuesMarkTheirSubgroups) {
  auto r = Run({"-C", "nhanes-2005-2010", "longterm", "nhanes-2005-2010/residues/DEMOFOS.R10",
                "--pad", "--pad-value", "6=0.0001", "--pad-value=24=2.5e-5", "--stdout"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" (.0001*)"), std::string::npos);
  EXPECT_NE(r.out.find(" (2.5E-05*)"), std::string::npos);
  EXPECT_NE(r.out.find(" *PAD in mg/kg-bw-day\r\n"), std::string::npos);
  EXPECT_NE(r.out.find("body wt/day             PAD       "), std::string::npos);
}

TEST_F(Cli, ListingShowsTheBoxTextsAsTyped) {
  auto r = Run({"-C", "nhanes-2005-2010", "listing", "nhanes-2005-2010/residues/DEMOFOS.R10",
                "--noel", "--rfd=3e-4", "--adj2", "--stdout"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, ReadFileBytes(Nhanes() / "tempres.fil"));
  // Without a text the NOEL box keeps what the open put there: the file's NOEL.
  std::string header = ReadFileBytes(Nhanes() / "residues" / "DEMOFOS.R10");
  std::string noel = header;
  for (int item = 0; item < 5; ++item) noel = noel.substr(noel.find(',') + 1);
  noel = DefaultNumberText(std::stof(noel.substr(0, noel.find(','))));
  EXPECT_NE(r.out.find("Reference dose (RfD) = 3e-4  (NOEL) = " + noel + " mg/kg bw/day\r\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("Adjust. #2 used\r\n"), std::string::npos);
  EXPECT_NE(r.out.find("Analysis Date 03-05-2024             Residue file dated: "),
            std::string::npos);

  r = Run({"-C", "nhanes-2005-2010", "listing", "nhanes-2005-2010/residues/DEMOFOS.R10", "--noel=0",
           "--rfd=x"});
  EXPECT_EQ(r.status, cli::kExitStopped);
  EXPECT_EQ(r.err, "KAVRI-FCID Ormid Module: You must enter a valid value for NOEL RfD\n");
  r = Run({"-C", "nhanes-2005-2010", "listing", "nhanes-2005-2010/residues/DEMOFOS.R10"});
  EXPECT_EQ(r.status, cli::kExitStopped);
  EXPECT_EQ(r.err,
            "KAVRI-FCID Ormid Module: You must indicate the toxicology endpoint(s) that will be "
            "used so that it can be printed with residue file listing.\n");
}

#ifdef ORMID_CLI
// Whatever a command writes on standard output is checked once the command
// has ended: one that cannot be written (a full disk) or closed ends the
// command with 1 and a message, for every command that writes there.
TEST_F(Cli, OutputThatCannotBeWrittenIsAFailure) {
  ASSERT_EQ(
      Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd", "--save", "week1"})
          .status,
      0);
  const std::string manifest = (Csfii() / "residues/week1.OR10.manifest.json").string();
  const std::vector<std::vector<std::string>> commands = {
      {"--help"},
      {"longterm", "--help"},
      {"--version"},
      {"-C", "csfii", "info"},
      {"-C", "csfii", "history"},
      {"-C", "csfii", "history", "show", "1"},
      {"verify", manifest},
      {"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd", "--stdout",
       "--no-history"},
  };
  // The program itself, its standard output sent to `to`.
  auto run = [&](const std::vector<std::string>& command, const char* to) {
    std::vector<std::string> args = {ORMID_CLI};
    args.insert(args.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string err = (dir_.path() / "err.txt").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, to, O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    CliResult r;
    EXPECT_EQ(posix_spawn(&pid, ORMID_CLI, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = ReadFileBytes(err);
    return r;
  };
  for (const auto& command : commands) {
    SCOPED_TRACE(command.back());
    const CliResult full = run(command, "/dev/full");
    EXPECT_EQ(full.status, cli::kExitStopped) << full.err;
    EXPECT_NE(full.err.find("ormid-cli: the output could not be written to standard output: " +
                            std::string(std::strerror(ENOSPC))),
              std::string::npos)
        << full.err;
    const CliResult fine = run(command, "/dev/null");
    EXPECT_EQ(fine.status, 0) << fine.err;
    EXPECT_EQ(fine.err.find("standard output"), std::string::npos) << fine.err;
  }
  // A command that writes nothing there does not fail for it.
  EXPECT_EQ(run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd", "--no-history"},
                "/dev/full")
                .status,
            0);
}
#endif

}  // namespace
}  // namespace ormid::test
