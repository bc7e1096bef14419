// Run manifests as a reviewer may receive them: damaged, hand-edited or
// hostile. verify and rerun refuse what is not a manifest with a message
// (exit 2) and never crash or hang; rerun repeats only a run, and writes
// only where a run writes; a temporary file's name is never followed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli_run.h"
#include "core/platform.h"
#include "history/run_history.h"
#include "session/run_session.h"
#include "tests/cli_runner.h"
#include "tests/sample_run.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class ManifestSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
    CopySampleInstallation("csfii", dir_.path() / "csfii");
    const CliResult r = Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd",
                             "--save", "week1", "--no-history"});
    ASSERT_EQ(r.status, 0) << r.err;
    good_ = json::parse(ReadFileBytes(P("csfii/residues/week1.OR10.manifest.json")));
  }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }

  CliResult Run(const std::vector<std::string>& args) { return RunCliIn(dir_.path(), args); }
  fs::path P(const std::string& rel) const { return dir_.path() / rel; }
  // The manifest with one change, written as m.json.
  std::string Write(const std::string& text) {
    WriteFileBytes(P("m.json"), text);
    return P("m.json").string();
  }

  TempDir dir_;
  ScopedCurrentDir cwd_{fs::current_path()};
  json good_;
};

TEST_F(ManifestSafety, WhatIsNotAManifestIsRefusedByName) {
  struct Case {
    std::function<void(json&)> change;
    std::string problem;
  };
  const Case cases[] = {
      {[](json& m) {
         m = {{"manifest_version", 1}};
       },
       "is not a run manifest: run is missing"},
      {[](json& m) { m["run"] = 5; }, "is not a run manifest: run is not an object"},
      {[](json& m) { m["run"].erase("date"); }, "run.date is missing"},
      {[](json& m) { m.erase("installation"); }, "installation is missing"},
      {[](json& m) { m["installation"]["working_folder"] = json::array(); },
       "installation.working_folder is not a text"},
      {[](json& m) { m["installation"]["files"] = "x"; }, "installation.files is not a list"},
      {[](json& m) { m["installation"]["files"][2] = 7; },
       "installation.files[2] is not an object"},
      {[](json& m) { m["residue_file"].erase("path"); }, "residue_file.path is missing"},
      {[](json& m) { m["outputs"] = json::object(); }, "outputs is not a list"},
      {[](json& m) { m["outputs"][0]["sha256"] = 1; }, "outputs[0].sha256 is not a text"},
      {[](json& m) { m["settings"]["arguments"] = "longterm"; },
       "settings.arguments is not a list"},
      {[](json& m) { m["settings"]["arguments"][1] = 3; },
       "settings.arguments holds a value that is not a text"},
      {[](json& m) { m["manifest_version"] = "1"; }, "manifest_version is not a version number"},
  };
  for (const Case& c : cases) {
    json m = good_;
    c.change(m);
    const std::string path = Write(m.dump());
    for (const char* command : {"verify", "rerun"}) {
      const CliResult r = Run({command, path});
      EXPECT_EQ(r.status, cli::kExitUsage) << command << " " << c.problem << "\n" << r.err;
      EXPECT_NE(r.err.find(c.problem), std::string::npos) << command << ": " << r.err;
    }
  }
  // Nested a million deep, and not a file at all.
  const std::string deep = Write(std::string(1000000, '[') + std::string(1000000, ']'));
  for (const char* command : {"verify", "rerun"}) {
    const CliResult r = Run({command, deep});
    EXPECT_EQ(r.status, cli::kExitUsage) << r.err;
    EXPECT_NE(r.err.find("nested deeper"), std::string::npos) << r.err;
    EXPECT_EQ(Run({command, "/dev/zero"}).status, cli::kExitUsage);
    EXPECT_EQ(Run({command, P("csfii").string()}).status, cli::kExitUsage);
  }
}

// Inputs that are a device or a pipe are never read: verify ends and calls
// them missing.
TEST_F(ManifestSafety, InputsThatAreNotFilesDoNotHang) {
  ASSERT_EQ(::mkfifo(P("pipe").c_str(), 0600), 0);
  json m = good_;
  m["installation"]["files"][0]["path"] = "/dev/zero";
  m["residue_file"]["path"] = P("pipe").string();
  const CliResult r = Run({"verify", Write(m.dump())});
  EXPECT_EQ(r.status, cli::kExitStopped);
  EXPECT_NE(r.out.find("missing    /dev/zero"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("missing    " + P("pipe").string()), std::string::npos) << r.out;
}

// rerun repeats a long-term, commodity or listing run with the options a
// run records, and nothing else: an export, a save or another command in
// the arguments refuses the manifest before anything runs.
TEST_F(ManifestSafety, RerunOnlyReruns) {
  WriteFileBytes(P("data.csv"), "the user's data");
  struct Case {
    std::function<void(json&)> change;
    std::string problem;
  };
  const std::string data = P("data.csv").string();
  const Case cases[] = {
      {[&](json& m) { m["settings"]["arguments"].push_back("--export=" + data); },
       "is not a setting of a run"},
      {[&](json& m) {
         m["settings"]["arguments"].push_back("--export");
         m["settings"]["arguments"].push_back(data);
       },
       "is not a setting of a run"},
      {[&](json& m) { m["settings"]["arguments"].push_back("--save=" + data); },
       "is not a setting of a run"},
      {[&](json& m) {
         m["run"]["command"] = "residue";
         m["settings"]["arguments"] = {"residue", "import", data, "MINE.R98"};
       },
       "rerun repeats long-term, commodity, listing, headroom and cumulative runs"},
      {[&](json& m) { m["settings"]["arguments"][0] = "batch"; },
       "records the arguments of another command"},
      {[&](json& m) { m["outputs"] = json::array(); }, "lists no report among its outputs"},
      {[&](json& m) { m["outputs"][0]["role"] = "summary"; }, "which a run does not write"},
  };
  for (const Case& c : cases) {
    json m = good_;
    c.change(m);
    const CliResult r = Run({"rerun", Write(m.dump())});
    EXPECT_EQ(r.status, cli::kExitUsage) << c.problem << "\n" << r.out << r.err;
    EXPECT_NE(r.err.find(c.problem), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(P("data.csv")), "the user's data") << c.problem;
  }
  // The manifest as the run wrote it reruns.
  const CliResult r = Run({"rerun", P("csfii/residues/week1.OR10.manifest.json").string()});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Every output is byte-identical"), std::string::npos) << r.out;
}

// A link planted under a report's temporary name is not followed: the file
// it points to keeps its bytes, and the report is written in place.
TEST_F(ManifestSafety, ALinkUnderATemporaryNameIsNotFollowed) {
  WriteFileBytes(P("victim.txt"), "precious");
  const fs::path report = P("csfii/residues/week2.OR10");
  fs::create_symlink(P("victim.txt"), TemporaryNameFor(report.string()));
  fs::create_symlink(P("victim.txt"), TemporaryNameFor(P("csfii/ormdtemp.txt").string()));
  const CliResult r = Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd",
                           "--save", "week2", "--no-history"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFileBytes(P("victim.txt")), "precious");
  EXPECT_EQ(ReadFileBytes(report), ReadFileBytes(P("csfii/residues/week1.OR10")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(TemporaryNameFor(report.string()))));
}

// A working folder copied whole travels with its manifests: verify checks
// the copy's own files (a byte changed in the copy shows), and rerun repeats
// the run in the copy with the original gone.
TEST_F(ManifestSafety, ManifestsTravelWithTheirFolder) {
  EXPECT_EQ(good_["residue_file"]["path"], "residues/DEMOFOS.R98");
  EXPECT_EQ(good_["working_folder_from_manifest"], "..");
  fs::copy(P("csfii"), P("copy"), fs::copy_options::recursive);
  const std::string manifest = P("copy/residues/week1.OR10.manifest.json").string();
  CliResult r = Run({"verify", manifest});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("unchanged  " + P("copy/SetupKAVRINH.txt").string()), std::string::npos)
      << r.out;
  const std::string setup = ReadFileBytes(P("copy/SetupKAVRINH.txt"));
  WriteFileBytes(P("copy/SetupKAVRINH.txt"), setup + " ");
  r = Run({"verify", manifest});
  EXPECT_EQ(r.status, cli::kExitStopped);
  EXPECT_NE(r.out.find("changed    " + P("copy/SetupKAVRINH.txt").string()), std::string::npos)
      << r.out;
  WriteFileBytes(P("copy/SetupKAVRINH.txt"), setup);
  // The run is made again in the copy, on the copy's files, and its report
  // compared: it differs from the recorded one only because the report
  // names the residue file with its folder.
  fs::remove_all(P("csfii"));
  r = Run({"rerun", manifest});
  EXPECT_NE(r.out.find("different  report  " + P("copy/ormdtemp.txt").string()), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("did not finish"), std::string::npos) << r.out;
  EXPECT_NE(ReadFileBytes(P("copy/ormdtemp.txt")).find(P("copy/residues/DEMOFOS.R98").string()),
            std::string::npos);
  EXPECT_FALSE(fs::exists(P("csfii")));
  // -C names the folder instead.
  fs::rename(P("copy"), P("moved"));
  EXPECT_EQ(Run({"-C", P("moved").string(), "verify",
                 P("moved/residues/week1.OR10.manifest.json").string()})
                .status,
            0);
}

// A refused run finishes nothing: no manifest, no history record.
TEST_F(ManifestSafety, ARefusedRunFinishesNothing) {
  FakePlatform p;
  ModOrmid m;  // nothing opened: the run request refuses
  RunSession session(m, p);
  RunRequest request;
  request.settings.chkMOE2 = true;
  request.settings.txtMOE2 = "0.005";
  request.history = RunRequest::History::Record;
  request.exports = {P("refused.csv").string()};
  ScopedCurrentDir in(P("csfii"));
  QuietHost host;
  const RunOutcome run = session.Run(request, host);
  EXPECT_EQ(run.status, RunStatus::Refused);
  EXPECT_FALSE(session.Finish({}));
  EXPECT_FALSE(fs::exists(P("refused.csv")));
  EXPECT_FALSE(fs::exists(P("csfii") / kHistoryFile));
}

// The temporary files of runs that were killed are removed by the next run
// in that folder; those of running programs stay.
TEST_F(ManifestSafety, TemporaryFilesOfEndedRunsAreRemoved) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);  // its id now names no running program
  const fs::path stale = P("csfii/tempcomm.txt." + std::to_string(child) + ".ormid-tmp");
  const fs::path running = P("csfii/tempcomm.txt.1.ormid-tmp");
  const fs::path other = P("csfii/notes.ormid-tmp");
  for (const fs::path& f : {stale, running, other}) WriteFileBytes(f, "left behind");
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd", "--no-history"})
                .status,
            0);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(running));
  EXPECT_TRUE(fs::exists(other));
}

}  // namespace
}  // namespace ormid::test
