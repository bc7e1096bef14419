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
  // The same beside the saved report's manifest, whose way to the working
  // folder (..) it keeps.
  std::string WriteBeside(const std::string& text) {
    WriteFileBytes(P("csfii/residues/m.manifest.json"), text);
    return P("csfii/residues/m.manifest.json").string();
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
      // Sizes that are not a number of bytes, digests that are not SHA-256,
      // names that are no file's, lists that cannot be a run's.
      {[](json& m) { m["residue_file"]["size"] = -1; },
       "residue_file.size is not a number of bytes"},
      {[](json& m) { m["residue_file"]["size"] = 1e300; },
       "residue_file.size is not a number of bytes"},
      {[](json& m) { m["residue_file"]["size"] = 2.5; },
       "residue_file.size is not a number of bytes"},
      {[](json& m) { m["installation"]["files"][1].erase("size"); },
       "installation.files[1].size is missing"},
      {[](json& m) { m["installation"]["files"][3]["sha256"] = "abc"; },
       "installation.files[3].sha256 is not a SHA-256 digest"},
      {[](json& m) {
         std::string d = m["outputs"][0]["sha256"];
         d[0] = 'G';
         m["outputs"][0]["sha256"] = d;
       },
       "outputs[0].sha256 is not a SHA-256 digest"},
      {[](json& m) { m["outputs"][0]["size"] = "3598"; },
       "outputs[0].size is not a number of bytes"},
      {[](json& m) { m["residue_file"]["path"] = ""; }, "residue_file.path is empty"},
      {[](json& m) { m["residue_file"]["path"] = std::string("residues/DEMOFOS.R98\0x", 22); },
       "residue_file.path holds a NUL"},
      {[](json& m) { m["residue_file"]["path_bytes"] = "residues/%E"; },
       "residue_file.path_bytes is not the bytes of a file name"},
      {[](json& m) { m["residue_file"]["path_bytes"] = "residues/CYCLOFOS.R98"; },
       "residue_file.path_bytes is not the bytes of residue_file.path"},
      {[](json& m) {
         m["residue_file"]["size"] = 12;
         m["residue_file"]["sha256"] = nullptr;
       },
       "residue_file.size is given for a file not read"},
      {[](json& m) { m["installation"]["files"] = json::array(); },
       "installation.files lists no file"},
      {[](json& m) {
         m["run"]["command"] = "cumulative";
         m["group_file"] = m["residue_file"];
         m["residue_files"] = json::array();
       },
       "residue_files lists no residue file"},
      {[](json& m) { m["run"]["date"] = "yesterday"; }, "run.date is not a date and time"},
      {[](json& m) { m["working_folder_from_manifest"] = 2; },
       "working_folder_from_manifest is not a text"},
  };
  for (const Case& c : cases) {
    json m = good_;
    c.change(m);
    const std::string path = Write(m.dump());
    // What is not a run manifest is a problem of the data, as a bad
    // residue file is for a run: exit 1, not a usage error.
    for (const char* command : {"verify", "rerun"}) {
      const CliResult r = Run({command, path});
      EXPECT_EQ(r.status, cli::kExitStopped) << command << " " << c.problem << "\n" << r.err;
      EXPECT_NE(r.err.find(c.problem), std::string::npos) << command << ": " << r.err;
    }
  }
  // Nested a million deep, and not a file at all.
  const std::string deep = Write(std::string(1000000, '[') + std::string(1000000, ']'));
  for (const char* command : {"verify", "rerun"}) {
    const CliResult r = Run({command, deep});
    EXPECT_EQ(r.status, cli::kExitStopped) << r.err;
    EXPECT_NE(r.err.find("nested deeper"), std::string::npos) << r.err;
    EXPECT_EQ(Run({command, "/dev/zero"}).status, cli::kExitStopped);
    EXPECT_EQ(Run({command, P("csfii").string()}).status, cli::kExitStopped);
    // A command line without the manifest stays a usage error.
    EXPECT_EQ(Run({command}).status, cli::kExitUsage);
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
       "rerun repeats long-term, commodity, listing, headroom, cumulative and aggregate runs"},
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

// rerun runs the very file whose digest it checks: a manifest whose
// arguments name another residue file or group file than the one it lists
// as read is refused before anything runs.
TEST_F(ManifestSafety, RerunRunsTheFileItChecks) {
  fs::copy_file(P("csfii/residues/DEMOFOS.R98"), P("csfii/residues/D2.R98"));
  const std::string report = ReadFileBytes(P("csfii/ormdtemp.txt"));
  const std::pair<std::string, std::string> others[] = {
      {"residues/CYCLOFOS.R98", P("csfii/residues/CYCLOFOS.R98").string()},
      {P("csfii/residues/D2.R98").string(), P("csfii/residues/D2.R98").string()}};
  for (const auto& [other, shown] : others) {
    json m = good_;
    m["settings"]["arguments"][1] = other;
    const CliResult r = Run({"rerun", WriteBeside(m.dump())});
    EXPECT_EQ(r.status, cli::kExitUsage) << r.out << r.err;
    EXPECT_NE(r.err.find("names " + shown + " in its arguments but records " +
                         P("csfii/residues/DEMOFOS.R98").string() + " as its residue file"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(ReadFileBytes(P("csfii/ormdtemp.txt")), report);
  // The same file named otherwise ("./") is the same file.
  json m = good_;
  m["settings"]["arguments"][1] = "./residues//DEMOFOS.R98";
  EXPECT_EQ(Run({"rerun", WriteBeside(m.dump())}).status, 0);

  // A cumulative run's group file.
  const std::string head = "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index\n";
  WriteFileBytes(P("csfii/g.csv"), head + "Demofos,residues/DEMOFOS.R98,0.5,100,yes\n");
  WriteFileBytes(P("csfii/h.csv"), head + "Demofos,residues/D2.R98,0.5,100,yes\n");
  ASSERT_EQ(
      Run({"-C", "csfii", "cumulative", "csfii/g.csv", "--save", P("g").string(), "--no-history"})
          .status,
      0);
  json c = json::parse(ReadFileBytes(P("g.CU10.manifest.json")));
  ASSERT_EQ(c["settings"]["arguments"][1], "g.csv");
  c["settings"]["arguments"][1] = "h.csv";
  const CliResult r = Run({"rerun", Write(c.dump())});
  EXPECT_EQ(r.status, cli::kExitUsage) << r.out << r.err;
  EXPECT_NE(r.err.find("names " + P("csfii/h.csv").string() + " in its arguments but records " +
                       P("csfii/g.csv").string() + " as its group file"),
            std::string::npos)
      << r.err;

  // The files a run names by an option: a residue build's rules file and an
  // aggregate run's toxicology file, each refused when the arguments name
  // another than the manifest records, and the build's when none is named.
  fs::copy_file(P("csfii/monitoring/rules.csv"), P("csfii/rules2.csv"));
  fs::copy_file(P("csfii/tox.csv"), P("csfii/tox2.csv"));
  ASSERT_EQ(Run({"-C", "csfii", "residue", "build", "csfii/monitoring/samples.csv", "--rules",
                 "csfii/monitoring/rules.csv", "--chemical", "Demofos", "csfii/residues/B.R98",
                 "--save", P("b").string(), "--no-history"})
                .status,
            0);
  ASSERT_EQ(Run({"-C", "csfii", "aggregate", "csfii/residues/DEMOFOS.R98", "--tox", "csfii/tox.csv",
                 "--save", P("a").string(), "--no-history"})
                .status,
            0);
  const struct {
    const char* manifest;
    const char* option;
    std::string other;
    std::string problem;
  } named[] = {{"b.RB10.manifest.json", "--rules=", P("csfii/rules2.csv").string(),
                "names " + P("csfii/rules2.csv").string() +
                    " in its arguments but does not record it as its rules file"},
               {"b.RB10.manifest.json", "--rules=", "", "does not record the build's rules file"},
               {"a.AG10.manifest.json", "--tox=", P("csfii/tox2.csv").string(),
                "names " + P("csfii/tox2.csv").string() +
                    " in its arguments but does not record it as its toxicology file"}};
  for (const auto& n : named) {
    json doctored = json::parse(ReadFileBytes(P(n.manifest)));
    json& args = doctored["settings"]["arguments"];
    json kept = json::array();
    bool found = false;
    for (const json& a : args) {
      if (a.get<std::string>().rfind(n.option, 0) != 0) {
        kept.push_back(a);
        continue;
      }
      found = true;
      if (!n.other.empty()) kept.push_back(n.option + n.other);
    }
    ASSERT_TRUE(found) << args.dump();
    args = kept;
    const CliResult refused = Run({"rerun", Write(doctored.dump())});
    EXPECT_EQ(refused.status, cli::kExitUsage) << refused.out << refused.err;
    EXPECT_NE(refused.err.find(n.problem), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out, "");
  }
  // As they were written, both rerun.
  EXPECT_EQ(Run({"rerun", P("b.RB10.manifest.json").string()}).status, 0);
  EXPECT_EQ(Run({"rerun", P("a.AG10.manifest.json").string()}).status, 0);
}

// Without -C, the way a manifest records from its folder to the working
// folder is taken when it only climbs (a saved report's manifest in
// residues/), or when it leads to the working folder the run was made in (a
// batch's output folder beside it); any other way, which could send rerun
// to write into another folder, is refused and -C asked for.
TEST_F(ManifestSafety, AManifestCannotSendARerunIntoAnotherFolder) {
  CopySampleInstallation("csfii", P("other"));
  const auto before = fs::last_write_time(P("other/KavriSupport.txt"));
  const bool hadReport = fs::exists(P("other/ormdtemp.txt"));
  const std::string hostile = [&] {
    json m = good_;
    m["working_folder_from_manifest"] = "../../other";
    WriteFileBytes(P("csfii/residues/hostile.manifest.json"), m.dump());
    return P("csfii/residues/hostile.manifest.json").string();
  }();
  for (const char* command : {"rerun", "verify"}) {
    const CliResult r = Run({command, hostile});
    EXPECT_EQ(r.status, cli::kExitUsage) << command << "\n" << r.out << r.err;
    EXPECT_NE(r.err.find("records the way ../../other from its folder to its working folder, "
                         "which leads to " +
                         P("other").string()),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("name the working folder with -C"), std::string::npos) << r.err;
  }
  EXPECT_EQ(fs::exists(P("other/ormdtemp.txt")), hadReport);
  EXPECT_EQ(fs::last_write_time(P("other/KavriSupport.txt")), before);
  // -C names the folder: the run is made there, as asked.
  EXPECT_EQ(Run({"-C", P("csfii").string(), "rerun", hostile}).status, 0);

  // An absolute way, or one that goes down, is taken only to the recorded
  // working folder: a batch's output folder beside the working folder.
  for (const std::string& way : {P("other").string(), std::string("../../other/residues/..")}) {
    json m = good_;
    m["working_folder_from_manifest"] = way;
    EXPECT_EQ(Run({"verify", Write(m.dump())}).status, cli::kExitUsage) << way;
  }
  ASSERT_EQ(Run({"-C", "csfii", "batch", "csfii/residues/CYCLOFOS.R98", "--rfd=0.001", "--out",
                 P("out").string(), "--no-history"})
                .status,
            0);
  const json batch = json::parse(ReadFileBytes(P("out/CYCLOFOS.OR10.manifest.json")));
  EXPECT_EQ(batch["working_folder_from_manifest"], "../csfii");
  const CliResult r = Run({"rerun", P("out/CYCLOFOS.OR10.manifest.json").string()});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  // The same way from a folder moved elsewhere leads to another folder.
  fs::create_directory(P("elsewhere"));
  fs::rename(P("out"), P("elsewhere/out"));
  CopySampleInstallation("csfii", P("elsewhere/csfii"));
  EXPECT_EQ(Run({"rerun", P("elsewhere/out/CYCLOFOS.OR10.manifest.json").string()}).status,
            cli::kExitUsage);
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
  // names the residue file with its folder, which rerun tells apart.
  fs::remove_all(P("csfii"));
  r = Run({"rerun", manifest});
  EXPECT_EQ(r.status, cli::kExitSameButForFolder) << r.out << r.err;
  for (const std::string& output : {"report  " + P("copy/ormdtemp.txt").string(),
                                    "saved report  " + P("copy/residues/week1.OR10").string()})
    EXPECT_NE(r.out.find("different  " + output + "  (only in the working folder's path)\n"),
              std::string::npos)
        << r.out;
  EXPECT_NE(r.out.find("Every output is the recorded one but for the working folder's path: 2 of "
                       "2 name it (recorded " +
                       P("csfii").string() + ", now " + P("copy").string() + ")."),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("did not finish"), std::string::npos) << r.out;
  // A difference of another kind is one: the saved report recorded with
  // other bytes.
  json m = json::parse(ReadFileBytes(manifest));
  std::string digest = m["outputs"][1]["sha256"];
  digest[0] = digest[0] == '0' ? '1' : '0';
  m["outputs"][1]["sha256"] = digest;
  WriteFileBytes(P("copy/residues/other.manifest.json"), m.dump());
  const CliResult other = Run({"rerun", P("copy/residues/other.manifest.json").string()});
  EXPECT_EQ(other.status, cli::kExitStopped) << other.out;
  EXPECT_NE(
      other.out.find("different  saved report  " + P("copy/residues/week1.OR10").string() + "\n"),
      std::string::npos)
      << other.out;
  EXPECT_NE(other.out.find("1 of 2 outputs differ from the recorded ones (and 1 only in the "
                           "working folder's path)."),
            std::string::npos)
      << other.out;
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

// A file name that is not UTF-8 (a Latin-1 "é") is recorded whole beside
// the text a JSON file can hold: verify finds the very file and rerun makes
// the same run, for a long-term run's residue file and saved report and a
// cumulative run's group file (whose text is UTF-8, as every table is).
TEST_F(ManifestSafety, NamesThatAreNotUtf8AreRecordedWhole) {
  const std::string latin = "lat\xE9n";
  fs::copy_file(P("csfii/residues/DEMOFOS.R98"), P("csfii/residues/" + latin + ".R98"));
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/" + latin + ".R98", "--rfd", "--save",
                 latin, "--no-history"})
                .status,
            0);
  const std::string manifest = P("csfii/residues/" + latin + ".OR10.manifest.json").string();
  const json m = json::parse(ReadFileBytes(manifest));
  EXPECT_EQ(m["residue_file"]["path"], "residues/lat\xEF\xBF\xBDn.R98");  // U+FFFD
  EXPECT_EQ(m["residue_file"]["path_bytes"], "residues/lat%E9n.R98");
  EXPECT_EQ(m["outputs"][1]["path_bytes"], "residues/lat%E9n.OR10");
  CliResult r = Run({"verify", manifest});
  EXPECT_EQ(r.status, 0) << r.out;
  r = Run({"rerun", manifest});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Every output is byte-identical"), std::string::npos) << r.out;
  // A changed byte of the file is seen.
  WriteFileBytes(P("csfii/residues/" + latin + ".R98"),
                 ReadFileBytes(P("csfii/residues/" + latin + ".R98")) + " ");
  r = Run({"verify", manifest});
  EXPECT_EQ(r.status, cli::kExitStopped) << r.out;
  // (The name as the terminal is shown it is another matter.)
  EXPECT_NE(r.out.find("changed    " + P("csfii/residues/lat").string()), std::string::npos)
      << r.out;
  fs::copy_file(P("csfii/residues/DEMOFOS.R98"), P("csfii/residues/" + latin + ".R98"),
                fs::copy_options::overwrite_existing);

  WriteFileBytes(P("csfii/" + latin + ".csv"),
                 "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index\n"
                 "Demofos,residues/DEMOFOS.R98,0.5,100,yes\n"
                 "Cyclofos,residues/CYCLOFOS.R98,0.1,,\n");
  ASSERT_EQ(Run({"-C", "csfii", "cumulative", "csfii/" + latin + ".csv", "--export",
                 P("csfii/c.csv").string(), "--no-history"})
                .status,
            0);
  const json c = json::parse(ReadFileBytes(P("csfii/c.csv.manifest.json")));
  EXPECT_EQ(c["group_file"]["path_bytes"], "lat%E9n.csv");
  EXPECT_FALSE(c["residue_files"][0].contains("path_bytes"));
  r = Run({"verify", P("csfii/c.csv.manifest.json").string()});
  EXPECT_EQ(r.status, 0) << r.out;
  r = Run({"rerun", P("csfii/c.csv.manifest.json").string()});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
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
