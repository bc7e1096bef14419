// Every kind of run finished the one way, seen from the command line: each
// manifest lists every output of its run, a saved report goes where every
// kind's saved report goes, a batch scenario writes the single run's
// manifests, no two outputs share a file and none replaces an input, and
// what killed runs left is cleared beside every output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "manifest/sha256.h"
#include "tests/cli_runner.h"
#include "tests/sample_run.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class RunSessionCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
    CopySampleInstallation("csfii", P("csfii"));
  }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }

  CliResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"-C", P("csfii").string()});
    return RunCliIn(dir_.path(), args);
  }
  fs::path P(const std::string& rel) const { return dir_.path() / rel; }
  json Manifest(const fs::path& file) const {
    return json::parse(ReadFileBytes(file.string() + ".manifest.json"));
  }
  // The outputs a manifest lists, as "ROLE PATH" with the path as written,
  // each checked against the file's bytes.
  std::set<std::string> Outputs(const json& manifest) const {
    std::set<std::string> out;
    for (const json& o : manifest["outputs"]) {
      const std::string path = o["path"].get<std::string>();
      const fs::path file = fs::path(path).is_absolute() ? fs::path(path) : P("csfii") / path;
      EXPECT_EQ(o["sha256"], Sha256Hex(ReadFileBytes(file))) << path;
      out.insert(o["role"].get<std::string>() + " " + path);
    }
    return out;
  }

  TempDir dir_;
  ScopedCurrentDir cwd_{fs::current_path()};
};

TEST_F(RunSessionCli, EveryManifestListsEveryOutputOfItsRun) {
  struct Case {
    const char* name;
    std::vector<std::string> run;
    const char* report;  // the temporary report; "" for none
    const char* saved;   // the saved report, where every kind's goes
  } cases[] = {
      {"longterm",
       {"longterm", "csfii/residues/DEMOFOS.R98", "--rfd"},
       "ormdtemp.txt",
       "residues/s-longterm.OR10"},
      {"commodity",
       {"commodity", "csfii/residues/DEMOFOS.R98", "--rfd", "--complete", "--subgroups", "17"},
       "tempcomm.txt",
       "residues/s-commodity.CC10"},
      {"cumulative",
       {"cumulative", "csfii/op-group.csv"},
       "tempcum.txt",
       "residues/s-cumulative.CU10"},
      {"headroom",
       {"headroom", "csfii/residues/DEMOFOS.R98", "--rfd"},
       "",
       "residues/s-headroom.HR10"},
      {"aggregate",
       {"aggregate", "csfii/residues/DEMOFOS.R98", "--tox", "csfii/tox.csv", "--residential",
        "csfii/residential.csv"},
       "tempagg.txt",
       "residues/s-aggregate.AG10"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.run;
    const std::string csv = P(std::string(c.name) + ".csv").string();
    const std::string doc = P(std::string(c.name) + ".json").string();
    args.insert(args.end(),
                {"--save", std::string("s-") + c.name, "--export", csv, "--export", doc, "--yes"});
    const CliResult r = Run(args);
    ASSERT_EQ(r.status, 0) << c.name << "\n" << r.err;
    std::set<std::string> expected = {"saved report " + std::string(c.saved), "export " + csv,
                                      "export " + doc};
    if (*c.report) expected.insert(std::string("report ") + c.report);
    // Beside the CSV export and beside the saved report, the same list.
    EXPECT_EQ(Outputs(Manifest(csv)), expected) << c.name;
    EXPECT_EQ(Outputs(Manifest(P("csfii") / c.saved)), expected) << c.name;
    // The JSON export carries the run's manifest as it stood before
    // anything was written.
    const json inside = json::parse(ReadFileBytes(doc))["manifest"];
    EXPECT_EQ(inside["outputs"], json::array()) << c.name;
    json beside = Manifest(csv);
    EXPECT_EQ(inside["settings"], beside["settings"]) << c.name;
    EXPECT_EQ(inside["run"], beside["run"]) << c.name;
  }
  // Without a folder, a saved report goes to the residue folder whatever
  // its kind; a name of another kind's extension takes this kind's.
  ASSERT_EQ(Run({"cumulative", "csfii/op-group.csv", "--save", "other.OR10", "--yes"}).status, 0);
  EXPECT_TRUE(fs::exists(P("csfii/residues/other.CU10")));
  EXPECT_FALSE(fs::exists(P("other.OR10")));
}

TEST_F(RunSessionCli, EveryKindRerunsFromItsSavedReportsManifest) {
  struct Case {
    std::vector<std::string> run;
    const char* manifest;
  } cases[] = {
      {{"listing", "csfii/residues/DEMOFOS.R98", "--rfd", "--save", "k"}, "residues/k.OR1"},
      {{"headroom", "csfii/residues/DEMOFOS.R98", "--noel=0.5", "--save", "k"}, "residues/k.HR10"},
      {{"cumulative", "csfii/op-group.csv", "--subgroups", "1,17", "--save", "k"},
       "residues/k.CU10"},
      {{"commodity", "csfii/residues/DEMOFOS.R98", "--qstar=0.05", "--critical", "--food-pct", "1",
        "--crop-pct", "5", "--subgroups", "2", "--save", "k"},
       "residues/k.CC10"},
      {{"aggregate", "csfii/residues/DEMOFOS.R98", "--tox", "csfii/tox.csv", "--residential",
        "csfii/residential.csv", "--water-foods", "86007801,86007901", "--water-ppb", "chronic=3",
        "--scenario", "indoor crack and crevice", "--subgroups", "1,27", "--save", "k"},
       "residues/k.AG10"},
  };
  for (const Case& c : cases) {
    CliResult r = Run(c.run);
    ASSERT_EQ(r.status, 0) << c.manifest << "\n" << r.err;
    r = Run({"rerun", P("csfii").string() + "/" + c.manifest + ".manifest.json"});
    EXPECT_EQ(r.status, 0) << c.manifest << "\n" << r.out << r.err;
  }
}

TEST_F(RunSessionCli, ABatchScenarioWritesTheSingleRunsManifests) {
  WriteFileBytes(P("scenarios.csv"),
                 "id,residue_file,command,rfd\n"
                 "lt,csfii/residues/DEMOFOS.R98,longterm,0.001\n"
                 "cu,csfii/op-group.csv,cumulative,\n");
  ASSERT_EQ(Run({"batch", "--scenarios", P("scenarios.csv").string(), "--out", P("out").string(),
                 "--export", "csv", "--export", "json", "--no-history"})
                .status,
            0);
  for (const char* id : {"lt", "cu"}) {
    const std::string report = P(std::string("out/") + id + (id[0] == 'l' ? ".OR10" : ".CU10"));
    const std::set<std::string> expected = {
        "report " + report, "export " + P(std::string("out/") + id + ".csv").string(),
        "export " + P(std::string("out/") + id + ".json").string()};
    EXPECT_EQ(Outputs(Manifest(report)), expected) << id;
    EXPECT_EQ(Outputs(Manifest(P(std::string("out/") + id + ".csv"))), expected) << id;
  }
  // A second batch into the folder without the JSON exports leaves none of
  // the first batch's files beside its own.
  ASSERT_EQ(Run({"batch", "--scenarios", P("scenarios.csv").string(), "--out", P("out").string(),
                 "--no-history", "--yes"})
                .status,
            0);
  EXPECT_FALSE(fs::exists(P("out/lt.json")));
  EXPECT_FALSE(fs::exists(P("out/cu.csv.manifest.json")));
  EXPECT_TRUE(fs::exists(P("out/lt.OR10.manifest.json")));
}

TEST_F(RunSessionCli, ABatchScenarioReranAfterItsInputChangedIsNotCalledIdentical) {
  ASSERT_EQ(Run({"batch", "csfii/residues/CYCLOFOS.R98", "--rfd=0.001", "--out", P("out").string(),
                 "--no-history"})
                .status,
            0);
  const std::string manifest = P("out/CYCLOFOS.OR10.manifest.json").string();
  CliResult again = Run({"rerun", manifest});
  EXPECT_EQ(again.status, 0) << again.out << again.err;
  EXPECT_NE(again.out.find("identical  report  " + P("out/CYCLOFOS.OR10").string()),
            std::string::npos)
      << again.out;
  // One residue changed: the report made again differs from the recorded one.
  std::string residue = ReadFileBytes(P("csfii/residues/CYCLOFOS.R98"));
  const std::size_t at = residue.find("0.01");
  ASSERT_NE(at, std::string::npos);
  residue.replace(at, 4, "0.91");
  WriteFileBytes(P("csfii/residues/CYCLOFOS.R98"), residue);
  again = Run({"rerun", manifest});
  EXPECT_EQ(again.status, 1) << again.out;
  EXPECT_NE(again.out.find("different  report  " + P("out/CYCLOFOS.OR10").string()),
            std::string::npos)
      << again.out;
}

TEST_F(RunSessionCli, OutputsNeverShareAFileNorReplaceAnInput) {
  const std::string group = ReadFileBytes(P("csfii/op-group.csv"));
  struct Case {
    const char* name;
    std::vector<std::string> run;
    const char* message;
  } cases[] = {
      {"an export over the saved report's manifest",
       {"cumulative", "csfii/op-group.csv", "--save", "m2", "--export",
        P("csfii/residues/m2.CU10.manifest.json").string()},
       "twice, as the saved report's manifest and as an export"},
      {"an export over another export's manifest",
       {"longterm", "csfii/residues/DEMOFOS.R98", "--rfd", "--export", P("x.csv").string(),
        "--export", P("x.csv.manifest.json").string()},
       "twice, as the manifest of an export and as an export"},
      {"an export over the group file",
       {"cumulative", "csfii/op-group.csv", "--export", P("csfii/op-group.csv").string()},
       "the assessment group file, as an export: the run never writes over a file it reads"},
      {"an export over the group file, named another way",
       {"cumulative", "csfii/op-group.csv", "--export",
        P("csfii/residues/../op-group.csv").string()},
       "the assessment group file"},
      {"an export over the toxicology file",
       {"aggregate", "csfii/residues/DEMOFOS.R98", "--tox", "csfii/tox.csv", "--export",
        P("csfii/tox.csv").string()},
       "the toxicology file, as an export: the run never writes over a file it reads"},
      {"an export over the residential file",
       {"aggregate", "csfii/residues/DEMOFOS.R98", "--tox", "csfii/tox.csv", "--residential",
        "csfii/residential.csv", "--export", P("csfii/residential.csv").string()},
       "the residential file"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.run;
    args.push_back("--yes");
    const CliResult r = Run(args);
    EXPECT_EQ(r.status, 2) << c.name << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << "\n" << r.err;
  }
  EXPECT_EQ(ReadFileBytes(P("csfii/op-group.csv")), group);
  EXPECT_EQ(ReadFileBytes(P("csfii/tox.csv")),
            ReadFileBytes(SourceDir() / "samples/csfii/tox.csv"));
  EXPECT_EQ(ReadFileBytes(P("csfii/residential.csv")),
            ReadFileBytes(SourceDir() / "samples/csfii/residential.csv"));
  EXPECT_FALSE(fs::exists(P("x.csv")));
  EXPECT_FALSE(fs::exists(P("csfii/residues/m2.CU10")));

  // A manifest beside an export that is not there yet is another file: it
  // is replaced only when the user says so.
  WriteFileBytes(P("x2.csv.manifest.json"), "precious");
  CliResult r = Run({"cumulative", "csfii/op-group.csv", "--export", P("x2.csv").string()});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Manifest file " + P("x2.csv.manifest.json").string() + " already exists"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadFileBytes(P("x2.csv.manifest.json")), "precious");
  EXPECT_FALSE(fs::exists(P("x2.csv")));
  r = Run({"cumulative", "csfii/op-group.csv", "--export", P("x2.csv").string(), "--yes"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(ReadFileBytes(P("x2.csv.manifest.json")), "precious");
}

TEST_F(RunSessionCli, WhatKilledRunsLeftIsClearedBesideEveryOutput) {
  // Temporary names of a process that is no longer there.
  const std::string stale = ".99999999.ormid-tmp";
  struct Case {
    const char* name;
    std::vector<std::string> run;
    std::vector<std::string> left;  // relative to the test's folder
  } cases[] = {
      {"cumulative",
       {"cumulative", "csfii/op-group.csv", "--export", P("exports/c.csv").string(),
        "--no-history"},
       {"csfii/tempcum.txt", "exports/c.csv"}},
      {"headroom",
       {"headroom", "csfii/residues/DEMOFOS.R98", "--rfd", "--export",
        P("exports/h.json").string()},
       {"exports/h.json"}},
      {"listing", {"listing", "csfii/residues/DEMOFOS.R98", "--rfd"}, {"csfii/tempres.fil"}},
      {"residue export",
       {"residue", "export", "csfii/residues/DEMOFOS.R98", P("exports/t.csv").string()},
       {"exports/t.csv"}},
  };
  fs::create_directory(P("exports"));
  for (const Case& c : cases) {
    for (const std::string& file : c.left) WriteFileBytes(P(file + stale), "left by a kill");
    const CliResult r = Run(c.run);
    EXPECT_EQ(r.status, 0) << c.name << "\n" << r.err;
    for (const std::string& file : c.left)
      EXPECT_FALSE(fs::exists(P(file + stale))) << c.name << " " << file;
  }
}

}  // namespace
}  // namespace ormid::test
