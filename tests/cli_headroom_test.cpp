// ormid-cli headroom and longterm --exclude, end to end on copies of the
// bundled sample installations.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli_run.h"
#include "commodity/crop_groups.h"
#include "headroom/what_if.h"
#include "tests/cli_runner.h"
#include "tests/sample_run.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;

class CliHeadroom : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1); }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }

  CliResult Run(const std::vector<std::string>& args) { return RunCliIn(fs::current_path(), args); }
};

// Without codes, --exclude changes nothing; with codes the figures are those
// of a residue file without the commodities and the comment line says which.
TEST_F(CliHeadroom, ExcludeGivesTheRunWithoutTheCommodities) {
  for (const auto& [sample, residue, codes] :
       {std::tuple{"csfii", "DEMOFOS.R98", "10,01000601"},
        std::tuple{"nhanes-2005-2010", "DEMOFOS.R10", "1A, 0100006001"}}) {
    SampleRun run(sample, residue, 'R');
    const std::string dir = run.dir.str();
    const std::string file = dir + "/residues/" + residue;
    CliResult plain = Run({"-C", dir, "longterm", file, "--rfd", "--stdout"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    CliResult none = Run({"-C", dir, "longterm", file, "--rfd", "--exclude", "", "--stdout"});
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, plain.out);

    CliResult excluded =
        Run({"-C", dir, "longterm", file, "--rfd", "--exclude", codes, "--stdout"});
    ASSERT_EQ(excluded.status, 0) << excluded.err;
    Exclusion exclusion;
    std::string unknown;
    ASSERT_TRUE(ResolveExclusion(run.m, SplitCodes(codes), exclusion, unknown));
    const fs::path without = run.Regenerate([](int, int, float r) { return r; },
                                            [&](int f) { return !exclusion.Excludes(f); });
    CliResult real = Run({"-C", dir, "longterm", without.string(), "--rfd", "--comment",
                          CommentWithExclusion(run.m.gRunComment, exclusion), "--stdout"});
    ASSERT_EQ(real.status, 0) << real.err;
    const auto a = Lines(excluded.out);
    const auto b = Lines(real.out);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (a[i].rfind("Residue file name:", 0) == 0) continue;
      EXPECT_EQ(a[i], b[i]) << sample << " line " << i + 1;
    }
    bool comment = false;
    for (const std::string& line : a)
      if (line.rfind("COMMENT 1: ", 0) == 0) {
        comment = true;
        EXPECT_LE(line.size(), 79u);
        EXPECT_NE(line.find("(excluded: "), std::string::npos) << line;
      }
    EXPECT_TRUE(comment);
    EXPECT_NE(excluded.out, plain.out);
  }
}

TEST_F(CliHeadroom, UnknownCodesAndBadOptionsAreUsageErrors) {
  SampleRun run("csfii", "DEMOFOS.R98", 'R');
  const std::string dir = run.dir.str();
  const std::string file = dir + "/residues/DEMOFOS.R98";
  CliResult r = Run({"-C", dir, "longterm", file, "--rfd", "--exclude", "10,77"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(
                "ormid-cli: --exclude: 77 is neither a crop group code nor a commodity code of the "
                "residue file"),
            std::string::npos)
      << r.err;
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"commodity", file, "--rfd", "--complete", "--subgroups", "1", "--exclude", "10"},
           {"headroom", file, "--rfd", "--target", "abc"},
           {"headroom", file, "--rfd", "--target", "-5"},
           {"headroom", file, "--rfd", "--by", "country"},
           {"headroom", file, "--qstar", "--noel"},
           {"headroom", file, "--rfd", "--subgroups", "0"},
           {"headroom", file, "--rfd", "--subgroups", "34"},
           {"headroom", file, "--rfd", "--complete"}}) {
    std::vector<std::string> line = {"-C", dir};
    line.insert(line.end(), args.begin(), args.end());
    r = Run(line);
    EXPECT_EQ(r.status, 2) << args[2] << " " << r.err;
  }
  // A stop on a message (the RfD box empty) exits with 1.
  r = Run({"-C", dir, "headroom", file, "--rfd="});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Ormid Analysis: RfD is checked but value is not specified.\n");
}

TEST_F(CliHeadroom, PrintsTheTableForEveryKindOfLine) {
  SampleRun run("nhanes-2005-2010", "DEMOFOS.R10", 'R');
  const std::string dir = run.dir.str();
  const std::string file = dir + "/residues/DEMOFOS.R10";
  fs::remove(run.dir.path() / "ormdtemp.txt");
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> expected;
  };
  for (const Case& c : std::vector<Case>{
           {{"--rfd"},
            {"by crop group", "Target: at most 100% of the RfD or PAD", "Subgroups: all 24",
             "Code  Crop group", "past the target without it"}},
           {{"--rfd", "--by", "food", "--subgroups", "1,2", "--target", "80"},
            {"by food", "Target: at most 80% of the RfD or PAD", "Subgroups: 1, 2",
             "Max residue ppm", "Food "}},
           {{"--noel", "--by", "form", "--target", "30"},
            {"by food form", "a margin of exposure of at least 30", "Food and food form"}},
           {{"--qstar=0.05"}, {"a lifetime risk of at most 1.00E-06"}}}) {
    std::vector<std::string> line = {"-C", dir, "headroom", file};
    line.insert(line.end(), c.options.begin(), c.options.end());
    CliResult r = Run(line);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    for (const std::string& text : c.expected)
      EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
  }
  // The headroom leaves the last long-term report alone.
  EXPECT_FALSE(fs::exists(run.dir.path() / "ormdtemp.txt"));

  CliResult help = Run({"headroom", "--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--by", "--target", "--subgroups", "--noel[=TEXT]"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  help = Run({"longterm", "--help"});
  EXPECT_NE(help.out.find("--exclude"), std::string::npos);
}

// The table as CSV, JSON and Excel, with the run's manifest; the manifest of
// a long-term run with --exclude names what was left out.
TEST_F(CliHeadroom, ExportsTheTableWithItsManifest) {
  SampleRun run("csfii", "DEMOFOS.R98", 'R');
  const std::string dir = run.dir.str();
  const std::string file = dir + "/residues/DEMOFOS.R98";
  const std::string csv = dir + "/h.csv", json = dir + "/h.json", xlsx = dir + "/h.xlsx";
  CliResult r = Run({"-C", dir, "headroom", file, "--rfd", "--by", "food", "--target", "200",
                     "--export", csv, "--export", json, "--export", xlsx});
  ASSERT_EQ(r.status, 0) << r.err;
  std::size_t tableRows = 0;
  for (const std::string& line : Lines(r.out.substr(r.out.find("--------  "))))
    tableRows += line.empty() ? 0 : 1;
  --tableRows;  // the rule under the heading

  const auto csvLines = Lines(ReadFileBytes(csv));
  EXPECT_EQ(csvLines.at(0).substr(0, 10), "code,name,");
  EXPECT_EQ(csvLines.size(), tableRows + 1);
  EXPECT_NE(csvLines.at(1).find(",multiplier,"), std::string::npos) << csvLines.at(1);
  EXPECT_TRUE(fs::exists(csv + ".manifest.json"));

  const auto doc = nlohmann::json::parse(ReadFileBytes(json));
  EXPECT_EQ(doc["manifest"]["settings"]["headroom"]["by"], "food");
  EXPECT_EQ(doc["manifest"]["settings"]["headroom"]["target_value"], 200.0);
  EXPECT_EQ(doc["headroom"].size(), tableRows);
  // The multiplier is the printed text, and the table prints the same.
  const auto& columns = doc["columns"];
  const auto multiplier = static_cast<std::size_t>(
      std::find(columns.begin(), columns.end(), "residue_multiplier") - columns.begin());
  ASSERT_LT(multiplier, columns.size());
  const std::string first = doc["headroom"][0][multiplier];
  EXPECT_NE(r.out.find("  " + first + "  "), std::string::npos) << first;
  EXPECT_EQ(ReadFileBytes(xlsx).substr(0, 2), "PK");
  // The manifest repeats the headroom run to the byte.
  r = Run({"rerun", csv + ".manifest.json"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Every output is byte-identical"), std::string::npos) << r.out;

  // Asked before it is replaced: without --yes the answer is No.
  r = Run({"-C", dir, "headroom", file, "--rfd", "--export", csv});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("already exists"), std::string::npos);
  r = Run({"-C", dir, "headroom", file, "--rfd", "--export", dir + "/h.txt"});
  EXPECT_EQ(r.status, 2);

  r = Run({"-C", dir, "longterm", file, "--rfd", "--exclude", "10", "--export", dir + "/l.json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto longterm = nlohmann::json::parse(ReadFileBytes(dir + "/l.json"));
  EXPECT_EQ(longterm["manifest"]["settings"]["excluded"], nlohmann::json::array({"10"}));
  const auto& arguments = longterm["manifest"]["settings"]["arguments"];
  EXPECT_EQ(arguments.back(), "--exclude=10");
}

}  // namespace
}  // namespace ormid::test
