// The cumulative assessment: a hand-worked group whose every figure is exact
// in binary, each chemical's exposure against the long-term export of its
// residue file, a one-chemical group against the long-term percent of the
// RfD, relative potency factors given and computed, every problem of a group
// file with its line, the three export formats against each other and the
// manifest's inputs checked by verify.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/utf8.h"
#include "cumulative/assessment_group.h"
#include "cumulative/cumulative_report.h"
#include "cumulative/cumulative_run.h"
#include "tests/cli_runner.h"
#include "tests/installation_fixture.h"
#include "tests/sample_run.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;

GroupChemical Chemical(const char* name, double pod, std::optional<double> uf, bool index,
                       double rpf) {
  GroupChemical g;
  g.chemical = name;
  g.pod = pod;
  g.uncertaintyFactor = uf;
  g.index = index;
  g.rpf = rpf;
  return g;
}

// Three chemicals, the second the index (PoD 2, UF 100: cPAD 0.02), with
// exposures and potencies that are sums of powers of two, so that every
// figure below is exact.
TEST(Cumulative, AHandWorkedGroup) {
  AssessmentGroup g;
  g.chemicals = {Chemical("A", 4, 10, false, 0.5), Chemical("B", 2, 100, true, 1),
                 Chemical("C", 0.5, 10, false, 4)};
  g.index = 1;
  ModOrmid m;
  m.gPopCount = 2;
  m.gPopNames2 = {"", "First", "Second"};
  ChemicalExposures e;
  e.exposure = {{0, 0.25f, 0}, {0, 0.125f, 0}, {0, 0.0625f, 0}};
  const auto rows = CombineExposures(m, g, e, {1, 2});
  ASSERT_EQ(rows.size(), 2u);
  const CumulativeSubgroup& s = rows[0];
  EXPECT_EQ(s.subgroup, "First");
  // E_cum = 0.5 * 0.25 + 1 * 0.125 + 4 * 0.0625 = 0.5
  EXPECT_EQ(s.indexEquivalent, 0.5);
  EXPECT_EQ(s.equivalent, (std::vector<double>{0.125, 0.125, 0.25}));
  EXPECT_EQ(s.share[0], 25.0);
  EXPECT_EQ(s.share[2], 50.0);
  // %cPAD = 100 * 0.5 / (2 / 100) = 2500
  EXPECT_EQ(s.percentCpad, 2500.0);
  // MOET = 1 / (0.25 / 4 + 0.125 / 2 + 0.0625 / 0.5) = 1 / 0.25 = 4
  EXPECT_EQ(s.moet, 4.0);
  // HI = 0.25 * 10 / 4 + 0.125 * 100 / 2 + 0.0625 * 10 / 0.5 = 0.625 + 6.25 + 1.25
  EXPECT_EQ(s.hazardIndex, 8.125);
  // No exposure: no shares, no margin; the hazard index and percent are 0.
  const CumulativeSubgroup& none = rows[1];
  EXPECT_EQ(none.indexEquivalent, 0.0);
  EXPECT_FALSE(none.moet.has_value());
  EXPECT_FALSE(none.share[0].has_value());
  EXPECT_EQ(none.hazardIndex, 0.0);
  // Without every uncertainty factor there is no hazard index.
  g.chemicals[2].uncertaintyFactor.reset();
  EXPECT_FALSE(CombineExposures(m, g, e, {1})[0].hazardIndex.has_value());
}

// The cumulative margin of exposure is the index chemical's point of
// departure over the exposure in index equivalents, against the index
// chemical's uncertainty factor: with a potency given apart from the points
// of departure it is not the total margin. Exact in binary: E_cum =
// 1 * 0.5 + 2 * 0.25 = 1, margin 3 / 1 = 3, MOET 1 / (0.5 / 3 + 0.25 / 1) =
// 2.4.
TEST(Cumulative, TheCumulativeMarginIsTheIndexPodOverTheExposure) {
  AssessmentGroup g;
  g.path = "/w/g.csv";
  g.chemicals = {Chemical("A", 3, 30, true, 1), Chemical("B", 1, std::nullopt, false, 2)};
  ModOrmid m;
  m.gPopCount = 2;
  m.gPopNames2 = {"", "Exposed", "None"};
  ChemicalExposures e;
  e.exposure = {{0, 0.5f, 0}, {0, 0.25f, 0}};
  e.files = {{"A", "03-14-2024"}, {"B", "03-14-2024"}};
  const auto rows = CombineExposures(m, g, e, {1, 2});
  EXPECT_EQ(rows[0].indexEquivalent, 1.0);
  EXPECT_EQ(rows[0].margin, 3.0);
  EXPECT_EQ(rows[0].targetMargin, 30.0);
  EXPECT_NE(rows[0].moet, rows[0].margin);
  EXPECT_FALSE(rows[1].margin.has_value());
  EXPECT_EQ(rows[1].targetMargin, 30.0);
  // The report's margin table: each subgroup's margin and target, "no
  // exposure" where there is none, every line within the report's width.
  const std::vector<std::string> lines =
      Lines(CumulativeReportText(m, g, e, rows, false, DateTime{2024, 3, 5, 9, 7, 1}));
  const auto title = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find("Cumulative margin of exposure by population subgroup") != std::string::npos;
  });
  ASSERT_NE(title, lines.end());
  ASSERT_LT(title + 8, lines.end());
  EXPECT_EQ(title[7], "Exposed                                   1.0000000           3        30");
  EXPECT_EQ(title[8], "None                                      0.0000000  no exposure");
  for (auto it = title; it != title + 9; ++it) EXPECT_LE(it->size(), 79u) << *it;

  // A long source goes on as many lines as it needs, within the width,
  // broken at blanks (a word longer than a line at a letter's boundary).
  std::string source =
      "Two-generation reproduction study in rats, BMDL10 for red blood cell "
      "cholinesterase inhibition, ";
  for (int i = 0; i < 40; ++i) source += "\xC3\xA9";
  g.chemicals[0].podSource = source;
  const std::vector<std::string> wrapped =
      Lines(CumulativeReportText(m, g, e, rows, false, DateTime{2024, 3, 5, 9, 7, 1}));
  const auto first = std::find_if(wrapped.begin(), wrapped.end(), [](const std::string& l) {
    return l.rfind("    PoD source: ", 0) == 0;
  });
  ASSERT_NE(first, wrapped.end());
  std::string joined = first->substr(16);
  EXPECT_LE(first->size(), 79u) << *first;
  for (auto it = first + 1; it != wrapped.end() && it->rfind(std::string(16, ' '), 0) == 0; ++it) {
    EXPECT_LE(it->size(), 79u) << *it;
    joined += " " + it->substr(16);
  }
  EXPECT_GE(joined.size(), source.size());
  std::string unbroken = joined;
  unbroken.erase(std::remove(unbroken.begin(), unbroken.end(), ' '), unbroken.end());
  std::string expected = source;
  expected.erase(std::remove(expected.begin(), expected.end(), ' '), expected.end());
  EXPECT_EQ(unbroken, expected);
  EXPECT_TRUE(IsValidUtf8(joined));
}

// The uncertainty factor named by its three factors: their product where
// the file gives none, the one given where it is their product exactly (as
// a double), and every other case refused with its line. The source of a
// point of departure is kept as given.
TEST(Cumulative, TheUncertaintyFactorNamedByItsFactors) {
  const std::string head =
      "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index,interspecies_factor,"
      "intraspecies_factor,fqpa_factor,pod_source\n";
  auto read = [&](const std::string& rows, AssessmentGroup& group) {
    std::vector<std::string> problems;
    ReadAssessmentGroupText(head + rows, "/w", "/w/g.csv", "g.csv", group, problems);
    return problems;
  };
  AssessmentGroup group;
  ASSERT_EQ(read("A,a.R98,0.5,,yes,10,10,3,\"BMDL10, rat, 2-gen\"\n"
                 "B,b.R98,0.1,,,,,,\nC,c.R98,0.2,300,,10,10,3,NOAEL\n",
                 group),
            std::vector<std::string>{});
  const GroupChemical& a = group.chemicals[0];
  EXPECT_EQ(a.uncertaintyFactor, 300.0);
  EXPECT_TRUE(a.uncertaintyFromFactors);
  EXPECT_EQ(a.interspeciesFactor, 10.0);
  EXPECT_EQ(a.fqpaFactor, 3.0);
  EXPECT_EQ(a.podSource, "BMDL10, rat, 2-gen");
  EXPECT_EQ(group.Cpad(), 0.5 / 300);
  EXPECT_EQ(group.TargetMargin(), 300.0);
  EXPECT_FALSE(group.chemicals[1].uncertaintyFactor.has_value());
  EXPECT_TRUE(group.chemicals[1].podSource.empty());
  EXPECT_EQ(group.chemicals[2].uncertaintyFactor, 300.0);
  EXPECT_FALSE(group.chemicals[2].uncertaintyFromFactors);

  // 3 x 0.1 x 10 is 3.0000000000000004 in doubles: a given 3 is not it.
  EXPECT_EQ(read("A,a.R98,0.5,3,yes,3,0.1,10,\n", group),
            std::vector<std::string>{"g.csv:2: uncertainty_factor \"3\" is not interspecies_factor "
                                     "x intraspecies_factor x fqpa_factor (3 x 0.1 x 10 = "
                                     "3.0000000000000004)"});
  EXPECT_EQ(read("A,a.R98,0.5,,yes,3,0.1,10,\n", group), std::vector<std::string>{});
  EXPECT_EQ(group.TargetMargin(), 3 * 0.1 * 10);
  EXPECT_NE(group.TargetMargin(), 3.0);
  EXPECT_EQ(
      read("A,a.R98,0.5,100,yes,10,10,,\nB,b.R98,0.1,,,,,3,\nC,c.R98,0.1,,,10,,1,\n", group),
      (std::vector<std::string>{
          "g.csv:2: interspecies_factor and intraspecies_factor are given without fqpa_factor; the "
          "uncertainty factor is named by all three factors or by none",
          "g.csv:3: fqpa_factor is given without interspecies_factor and intraspecies_factor; the "
          "uncertainty factor is named by all three factors or by none",
          "g.csv:4: interspecies_factor and fqpa_factor are given without intraspecies_factor; "
          "the uncertainty factor is named by all three factors or by none"}));
  EXPECT_EQ(read("A,a.R98,0.5,,yes,10,0,x,\nB,b.R98,0.1,,,inf,1,1,\"Line\nfeed\"\n", group),
            (std::vector<std::string>{
                "g.csv:2: intraspecies_factor \"0\" is not above 0",
                "g.csv:2: fqpa_factor \"x\" is not a number",
                "g.csv:3: the pod_source \"Line\\x0Afeed\" holds a control character",
                "g.csv:3: interspecies_factor \"inf\" is not a finite number"}));
  // A product beyond the range a run can use is named as the product.
  EXPECT_EQ(read("A,a.R98,0.5,100,yes,,,,\nB,b.R98,0.1,,,1e20,1e20,1,\n", group),
            std::vector<std::string>{
                "g.csv:3: the uncertainty factor interspecies_factor x intraspecies_factor x "
                "fqpa_factor, 1e+40, is outside the range a run can use (1E-30 to 1E+30)"});
}

// The subgroups' table keeps its figures apart whatever the margin: a
// total margin of exposure of a million or more gets its blank too
// ("0.0% >1,000,000"), the ordinary ones stay where their column's dashes
// end, and the hazard index keeps its place.
TEST(Cumulative, TheReportsColumnsHoldEveryMargin) {
  AssessmentGroup g;
  g.path = "/w/g.csv";
  g.chemicals = {Chemical("A", 5000, 10, true, 1), Chemical("B", 1000, 10, false, 5)};
  ModOrmid m;
  m.gPopCount = 4;
  m.gPopNames2 = {"", "Ordinary", "Nearly a million", "A million", "No hazard index"};
  ChemicalExposures e;
  e.exposure = {{0, 0.25f, 0.004f, 0.0001f, 0.0001f}, {0, 0.125f, 0.0002f, 0.0001f, 0.0001f}};
  e.files = {{"A", "03-14-2024"}, {"B", "03-14-2024"}};
  std::vector<CumulativeSubgroup> rows = CombineExposures(m, g, e, {1, 2, 3, 4});
  rows[0].moet = 100;
  rows[1].moet = 999999.4;
  ASSERT_GT(*rows[2].moet, 1e6);
  rows[3].hazardIndex.reset();
  const std::vector<std::string> lines =
      Lines(CumulativeReportText(m, g, e, rows, false, DateTime{2024, 3, 5, 9, 7, 1}));
  const auto dashes = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.rfind(std::string(38, '-') + "  ", 0) == 0;
  });
  ASSERT_NE(dashes, lines.end());
  // After the exposure column: each figure with the column it ends at.
  auto figures = [](const std::string& line) {
    std::vector<std::pair<std::string, std::size_t>> out;
    for (std::size_t at = 51; at < line.size();) {
      const std::size_t from = line.find_first_not_of(' ', at);
      if (from == std::string::npos) break;
      at = std::min(line.find(' ', from), line.size());
      out.emplace_back(line.substr(from, at - from), at);
    }
    return out;
  };
  const auto ordinary = figures(dashes[1]);
  ASSERT_EQ(ordinary.size(), 3u) << dashes[1];
  EXPECT_EQ(ordinary[1].first, "100");
  const char* margins[] = {"100", "999,999", ">1,000,000", ">1,000,000"};
  for (std::size_t r = 0; r < 4; ++r) {
    const std::string& line = dashes[static_cast<std::ptrdiff_t>(r) + 1];
    SCOPED_TRACE(line);
    const auto f = figures(line);
    ASSERT_EQ(f.size(), 3u);  // percent, margin, hazard index: none run together
    EXPECT_EQ(f[0].first.back(), '%');
    EXPECT_EQ(f[0].second, ordinary[0].second);
    EXPECT_EQ(f[1].first, margins[r]);
    // A margin wider than its column takes one blank of the hazard index's.
    EXPECT_EQ(f[1].second, ordinary[1].second + (f[1].first.size() > 9 ? 1 : 0));
    EXPECT_EQ(f[2].first == "-", r == 3);
    EXPECT_EQ(f[2].second, ordinary[2].second);
  }
}

class CumulativeCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
    for (const char* name : {"csfii", "nhanes-2005-2010"})
      CopySampleInstallation(name, dir_.path() / name);
  }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }
  CliResult Run(const std::vector<std::string>& args) { return RunCliIn(dir_.path(), args); }
  fs::path P(const std::string& rel) const { return dir_.path() / rel; }
  void Group(const std::string& name, const std::string& text) {
    WriteFileBytes(P("csfii/residues") / name, text);
  }
  // The rows of a CSV export by kind: (subgroup row, chemical) -> cells.
  static std::map<std::pair<std::string, std::string>, CsvRow> Rows(const fs::path& csv) {
    std::map<std::pair<std::string, std::string>, CsvRow> rows;
    const auto table = ParseCsv(ReadFileBytes(csv));
    for (std::size_t r = 1; r < table.size(); ++r)
      rows[{table[r][0], table[r][2] == "chemical"     ? table[r][3]
                         : table[r][2] == "cumulative" ? ""
                                                       : table[r][2] + ":" + table[r][4]}] =
          table[r];
    return rows;
  }
  TempDir dir_;
  ScopedCurrentDir cwd_{fs::current_path()};
};

// The sample group's report, whose file has none of the columns naming the
// factors or the sources, byte for byte as stored: every figure it gave
// before the cumulative margin was added, and the margin's table.
// ORMID_UPDATE_GOLDEN=1 rewrites it (read the diff before committing).
TEST_F(CumulativeCli, TheSampleGroupsReportIsAsStored) {
  const CliResult r = Run({"-C", "csfii", "cumulative", "csfii/op-group.csv", "--by", "cropgroup",
                           "--target", "100", "--no-history"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string report = ReadFileBytes(P("csfii/tempcum.txt"));
  // The group file's path is the test's folder's (long enough for the
  // adjustment factor to go on a line of its own): named as in the sample.
  const std::string lead = "\nAssessment group file: ";
  const std::size_t at = report.find(lead);
  ASSERT_NE(at, std::string::npos);
  const std::size_t from = at + lead.size(), to = report.find_first_of("\r\n", from);
  ASSERT_GT(to - from, 30u);
  report.replace(from, to - from, "samples/csfii/op-group.csv");
  const fs::path golden = SourceDir() / "tests" / "golden" / "cumulative-csfii.txt";
  if (const char* update = std::getenv("ORMID_UPDATE_GOLDEN"); update && *update == '1') {
    WriteFileBytes(golden, report);
    return;
  }
  ASSERT_TRUE(fs::exists(golden)) << golden;
  EXPECT_EQ(report, ReadFileBytes(golden));
}

// Each chemical's exposure is the long-term run's figure for its residue
// file, bit for bit, with the second adjustment factor and without.
TEST_F(CumulativeCli, ExposuresAreTheLongTermRunsOwn) {
  Group("g.csv",
        "Chemical;Residue_File;POD_mg_per_kg_bw_day;Uncertainty_Factor;Index;RPF\r\n"
        "Demofos;DEMOFOS.R98;0,5;100;yes;\r\n"
        "Cyclofos;CYCLOFOS.R98;0,1;;;\r\n");
  for (bool adj2 : {false, true}) {
    std::vector<std::string> cum = {
        "-C",   "csfii", "cumulative", "csfii/residues/g.csv", "--export", P("cu.csv").string(),
        "--yes"};
    if (adj2) cum.push_back("--adj2");
    const CliResult r = Run(cum);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = Rows(P("cu.csv"));
    for (const char* chemical : {"Demofos", "Cyclofos"}) {
      const std::string file =
          std::string("csfii/residues/") + (chemical[0] == 'D' ? "DEMOFOS.R98" : "CYCLOFOS.R98");
      std::vector<std::string> lt = {"-C",    "csfii",    "longterm",           file,
                                     "--rfd", "--export", P("lt.csv").string(), "--yes"};
      if (adj2) lt.push_back("--adj2");
      ASSERT_EQ(Run(lt).status, 0);
      const auto table = ParseCsv(ReadFileBytes(P("lt.csv")));
      ASSERT_GT(table.size(), 30u);
      for (std::size_t k = 1; k < table.size(); ++k) {
        const auto it = rows.find({table[k][0], chemical});
        ASSERT_NE(it, rows.end()) << chemical << " row " << k;
        EXPECT_EQ(it->second[6], table[k][3]) << chemical << " " << table[k][1];
      }
    }
  }
}

// A group of one chemical: its percent of the cPAD (PoD / UF) is the
// long-term run's percent of that RfD, within a unit in the last place of
// a single-precision number; relative potency factors given as the ones
// worked out give the same figures, and others are used as given.
TEST_F(CumulativeCli, OneChemicalAgreesWithTheLongTermRunAndGivenPotenciesAreUsed) {
  Group("one.csv",
        "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index\n"
        "Demofos,DEMOFOS.R98,0.5,100,yes\n");
  ASSERT_EQ(Run({"-C", "csfii", "cumulative", "csfii/residues/one.csv", "--export",
                 P("one.csv").string()})
                .status,
            0);
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd=0.005", "--export",
                 P("lt.csv").string()})
                .status,
            0);
  const auto one = Rows(P("one.csv"));
  const auto lt = ParseCsv(ReadFileBytes(P("lt.csv")));
  for (std::size_t k = 1; k < lt.size(); ++k) {
    const auto it = one.find({lt[k][0], ""});
    ASSERT_NE(it, one.end());
    const float percent = *ReadFloatText(lt[k][6]);
    const auto cpad = static_cast<float>(std::stod(it->second[10]));
    EXPECT_LE(std::abs(cpad - percent), std::nextafter(percent, INFINITY) - percent)
        << lt[k][1] << ": " << it->second[10] << " against " << lt[k][6];
  }

  const std::string head =
      "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index,rpf\n";
  Group("computed.csv", head + "Demofos,DEMOFOS.R98,0.5,100,yes,\nCyclofos,CYCLOFOS.R98,0.1,,,\n");
  Group("given.csv", head + "Demofos,DEMOFOS.R98,0.5,100,yes,1\nCyclofos,CYCLOFOS.R98,0.1,,,5\n");
  Group("other.csv", head + "Demofos,DEMOFOS.R98,0.5,100,yes,\nCyclofos,CYCLOFOS.R98,0.1,,,2\n");
  for (const char* g : {"computed", "given", "other"})
    ASSERT_EQ(Run({"-C", "csfii", "cumulative", std::string("csfii/residues/") + g + ".csv",
                   "--export", P(std::string(g) + "-out.csv").string()})
                  .status,
              0);
  const auto computed = Rows(P("computed-out.csv")), given = Rows(P("given-out.csv")),
             other = Rows(P("other-out.csv"));
  EXPECT_EQ(computed, given);
  const auto& cyclofos = other.at({"1", "Cyclofos"});
  EXPECT_EQ(cyclofos[7], "2");
  EXPECT_EQ(std::stod(cyclofos[8]), 2 * static_cast<double>(*ReadFloatText(cyclofos[6])));
  EXPECT_LT(std::stod(other.at({"1", ""})[8]), std::stod(computed.at({"1", ""})[8]));
}

// What-if: a chemical left out gives the figures of the group file without
// it, bit for bit; a commodity left out gives each chemical the exposure of
// the long-term run with that commodity excluded.
TEST_F(CumulativeCli, WhatIfEqualsTheGroupWithTheChemicalOrCommodityRemoved) {
  const std::string head =
      "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index,rpf\n";
  Group("all.csv", head +
                       "Demofos,DEMOFOS.R98,0.5,100,yes,\nCyclofos,CYCLOFOS.R98,0.1,10,,\n"
                       "Demogrp,DEMOGRP.R98,0.25,10,,\n");
  Group("two.csv", head + "Demofos,DEMOFOS.R98,0.5,100,yes,\nDemogrp,DEMOGRP.R98,0.25,10,,\n");
  ASSERT_EQ(Run({"-C", "csfii", "cumulative", "csfii/residues/all.csv", "--exclude",
                 "chemical:cyclofos", "--export", P("left.csv").string()})
                .status,
            0);
  EXPECT_NE(ReadFileBytes(P("csfii/tempcum.txt")).find("What-if, left out: chemicals cyclofos"),
            std::string::npos);
  ASSERT_EQ(Run({"-C", "csfii", "cumulative", "csfii/residues/two.csv", "--export",
                 P("two.csv").string()})
                .status,
            0);
  EXPECT_EQ(Rows(P("left.csv")), Rows(P("two.csv")));
  // The cumulative margin among them: the index chemical's point of
  // departure over the exposure without the chemical, against its factor.
  for (const auto& [key, row] : Rows(P("left.csv")))
    if (key.second.empty() && std::stod(row[8]) > 0) {
      EXPECT_EQ(std::stod(row[13]), 0.5 / std::stod(row[8])) << row[1];
      EXPECT_EQ(row[14], "100");
    }

  // Two crop groups left out of every residue file.
  const std::string codes = "10,1A";
  ASSERT_EQ(Run({"-C", "csfii", "cumulative", "csfii/residues/all.csv", "--exclude", codes,
                 "--export", P("without.csv").string()})
                .status,
            0);
  const auto without = Rows(P("without.csv"));
  bool lower = false;
  for (const char* file : {"DEMOFOS", "CYCLOFOS", "DEMOGRP"}) {
    const CliResult lt =
        Run({"-C", "csfii", "longterm", std::string("csfii/residues/") + file + ".R98", "--rfd",
             "--exclude", codes, "--export", P("lt.csv").string(), "--yes"});
    ASSERT_EQ(lt.status, 0) << lt.err;
    const auto table = ParseCsv(ReadFileBytes(P("lt.csv")));
    const std::string chemical = file[4] == 'F'   ? "Demofos"
                                 : file[0] == 'C' ? "Cyclofos"
                                                  : "Demogrp";
    for (std::size_t k = 1; k < table.size(); ++k)
      EXPECT_EQ(without.at({table[k][0], chemical})[6], table[k][3]) << file << " " << table[k][1];
  }
  const auto all = [&] {
    EXPECT_EQ(Run({"-C", "csfii", "cumulative", "csfii/residues/all.csv", "--export",
                   P("all.csv").string()})
                  .status,
              0);
    return Rows(P("all.csv"));
  }();
  for (const auto& [key, row] : without)
    lower = lower || std::stod(row[8]) < std::stod(all.at(key)[8]);
  EXPECT_TRUE(lower) << "leaving crop group 10 out changed nothing";

  // What cannot be left out.
  for (const auto& [item, problem] : std::vector<std::pair<std::string, std::string>>{
           {"chemical:Demofos",
            "--exclude: Demofos is the index chemical, which the group's figures are expressed in"},
           {"chemical:None",
            "--exclude: chemical:None is not a chemical of csfii/residues/all.csv"},
           {"99Z",
            "--exclude: 99Z is neither a crop group code nor a commodity code of any "
            "residue file of csfii/residues/all.csv"}}) {
    const CliResult r =
        Run({"-C", "csfii", "cumulative", "csfii/residues/all.csv", "--exclude", item});
    EXPECT_EQ(r.status, 2) << item;
    EXPECT_EQ(Lines(r.err).back(), problem);
  }
}

// The commodity breakdown: a one-chemical group's crop groups carry the
// commodity analysis's crop group subtotals, and a group's parts are its
// chemicals' parts weighted by their potencies, added in row order.
TEST_F(CumulativeCli, TheCommodityBreakdownSumsTheChemicalsParts) {
  const std::string head = "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index\n";
  Group("demofos.csv", head + "Demofos,DEMOFOS.R98,0.5,100,yes\n");
  Group("cyclofos.csv", head + "Cyclofos,CYCLOFOS.R98,0.1,100,yes\n");
  Group("both.csv", head + "Demofos,DEMOFOS.R98,0.5,100,yes\nCyclofos,CYCLOFOS.R98,0.1,,\n");
  // Parts by (subgroup row, code): index-equivalent exposure text.
  auto parts = [&](const std::string& group) {
    const CliResult r =
        Run({"-C", "csfii", "cumulative", "csfii/residues/" + group + ".csv", "--subgroups", "1,17",
             "--by", "cropgroup", "--export", P(group + "-by.csv").string(), "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::map<std::pair<std::string, std::string>, double> out;
    for (const CsvRow& row : ParseCsv(ReadFileBytes(P(group + "-by.csv"))))
      if (row[2] == "crop_group") out[{row[0], row[4]}] = std::stod(row[8]);
    return out;
  };
  const auto demofos = parts("demofos"), cyclofos = parts("cyclofos"), both = parts("both");
  ASSERT_FALSE(both.empty());
  for (const auto& [key, value] : both) {
    const auto d = demofos.find(key), c = cyclofos.find(key);
    double expected = 0;
    if (d != demofos.end()) expected += 1.0 * d->second;
    if (c != cyclofos.end()) expected += 5.0 * c->second;
    EXPECT_EQ(value, expected) << key.first << " " << key.second;
  }

  ASSERT_EQ(Run({"-C", "csfii", "commodity", "csfii/residues/DEMOFOS.R98", "--rfd", "--complete",
                 "--subgroups", "1,17", "--export", P("cc.csv").string(), "--yes"})
                .status,
            0);
  std::size_t subtotals = 0;
  for (const CsvRow& row : ParseCsv(ReadFileBytes(P("cc.csv")))) {
    if (row[0] != "crop_group_subtotal") continue;
    ++subtotals;
    const double subtotal = std::stod(row[13]);
    const double part = demofos.at({row[1], row[4]});
    EXPECT_NEAR(part, subtotal, 1e-6 * subtotal) << row[2] << " " << row[4];
  }
  EXPECT_GT(subtotals, 10u);
}

// Each subgroup's percent of the cPAD as the report prints it, by row.
std::vector<double> PrintedPercents(const std::string& report) {
  const std::vector<std::string> lines = Lines(report);
  std::size_t at = 0;
  while (at < lines.size() && lines[at].find("Percent     Total") == std::string::npos) ++at;
  std::vector<double> out(1);
  for (at += 3; at < lines.size() && lines[at].rfind("=====", 0) != 0; ++at) {
    const std::size_t percent = lines[at].find('%');
    if (percent == std::string::npos) {
      out.push_back(0);
      continue;
    }
    const std::size_t from = lines[at].rfind(' ', percent) + 1;
    std::string digits;
    for (char c : lines[at].substr(from, percent - from))
      if (c != ',') digits += c;
    out.push_back(std::stod(digits));
  }
  return out;
}

// Headroom: with the residues scaled by the reported factor (as printed), a
// real run of the group keeps every subgroup within the target; scaled by the
// next printed value, the limiting subgroup goes past it. For one chemical's
// residues and for one food's across the chemicals; the JSON's factors are
// the report's.
TEST_F(CumulativeCli, HeadroomFactorsAreTheLastPrintedStepWithinTheTarget) {
  const std::string head = "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index\n";
  Group("g.csv", head + "Demofos,DEMOFOS.R98,0.5,100,yes\nCyclofos,CYCLOFOS.R98,0.1,,\n");
  ASSERT_EQ(Run({"-C", "csfii", "cumulative", "csfii/residues/g.csv"}).status, 0);
  const std::vector<double> asItStands = PrintedPercents(ReadFileBytes(P("csfii/tempcum.txt")));
  ASSERT_EQ(asItStands.size(), 34u);
  const double target = std::ceil(*std::max_element(asItStands.begin(), asItStands.end()) * 1.5);
  const std::string targetText = std::to_string(static_cast<int>(target));
  const CliResult r = Run({"-C", "csfii", "cumulative", "csfii/residues/g.csv", "--target",
                           targetText, "--by", "food", "--export", P("h.json").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string report = ReadFileBytes(P("csfii/tempcum.txt"));
  EXPECT_NE(report.find("Headroom to at most " + targetText + "% of the cPAD"), std::string::npos);
  const auto h = nlohmann::json::parse(ReadFileBytes(P("h.json")))["headroom"];
  ASSERT_EQ(h["chemicals"].size(), 2u);

  // The chemicals' residue files, regenerated with residues scaled.
  SampleRun demofos("csfii", "DEMOFOS.R98", 'R'), cyclofos("csfii", "CYCLOFOS.R98", 'R');
  auto percentsWith =
      [&](const std::function<bool(const ModOrmid&, const std::string&, int)>& scaled,
          double factor) {
        std::string group = head;
        for (SampleRun* run : {&demofos, &cyclofos}) {
          const fs::path file = run->Regenerate([&](int f, int, float residue) {
            return scaled(run->m, run->m.gChemicalName, f) ? ScaledResidue(residue, factor)
                                                           : residue;
          });
          group += (run == &demofos ? "Demofos," : "Cyclofos,") + file.string() +
                   (run == &demofos ? ",0.5,100,yes\n" : ",0.1,,\n");
        }
        Group("scaled.csv", group);
        EXPECT_EQ(Run({"-C", "csfii", "cumulative", "csfii/residues/scaled.csv"}).status, 0);
        return PrintedPercents(ReadFileBytes(P("csfii/tempcum.txt")));
      };
  auto check = [&](const nlohmann::json& row,
                   const std::function<bool(const ModOrmid&, const std::string&, int)>& scaled) {
    ASSERT_EQ(row["outcome"], "factor") << row.dump();
    const double factor = row["factor"].get<double>();
    const Multiplier printed = Multiplier::FloorOf(factor);
    ASSERT_EQ(printed.Value(), factor);
    // The report prints the same factor on the row's line.
    const std::string name = row.contains("chemical") ? row["chemical"].get<std::string>()
                                                      : row["code"].get<std::string>() + " " +
                                                            row["name"].get<std::string>();
    bool shown = false;
    for (const std::string& line : Lines(report))
      shown = shown || (line.rfind("   " + name.substr(0, 28), 0) == 0 &&
                        line.find(" " + printed.Text() + "  ") != std::string::npos);
    EXPECT_TRUE(shown) << name << " " << printed.Text();
    const auto within = percentsWith(scaled, printed.Value());
    for (std::size_t k = 1; k < within.size(); ++k)
      EXPECT_LE(within[k], target) << name << " x" << printed.Text() << " row " << k;
    const auto past = percentsWith(scaled, printed.Next().Value());
    const int limiting = row["limiting_row"].get<int>();
    EXPECT_GT(past.at(static_cast<std::size_t>(limiting)), target)
        << name << " x" << printed.Next().Text() << " row " << limiting;
  };
  for (const auto& chemical : h["chemicals"])
    check(chemical, [&](const ModOrmid&, const std::string& name, int) {
      return ToUpper(name) == ToUpper(chemical["chemical"].get<std::string>());
    });
  // The food with the largest share, across both chemicals.
  const nlohmann::json& food = h["commodities"][0];
  EXPECT_EQ(food["kind"], "food");
  check(food, [&](const ModOrmid& m, const std::string&, int f) {
    return m.gFoodCode[static_cast<std::size_t>(f)] == food["code"].get<std::string>();
  });

  // A target no residue can meet: a chemical with the others past it already.
  ASSERT_EQ(Run({"-C", "csfii", "cumulative", "csfii/residues/g.csv", "--target", "0.001",
                 "--export", P("past.json").string(), "--yes"})
                .status,
            0);
  const auto past = nlohmann::json::parse(ReadFileBytes(P("past.json")))["headroom"];
  EXPECT_EQ(past["chemicals"][0]["outcome"], "past_target");
  EXPECT_EQ(past["commodities"][0]["kind"], "crop_group");
  EXPECT_EQ(Run({"-C", "csfii", "cumulative", "csfii/residues/g.csv", "--target", "-5"}).status, 2);
}

// A cumulative run goes into the run history: listed with its worst
// subgroup's percent of the cPAD, and its export from the history is the
// run's own, byte for byte; --no-history and rerun add nothing.
TEST_F(CumulativeCli, TheRunHistoryKeepsCumulativeRuns) {
  Group("g.csv",
        "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index,pod_source\n"
        "Demofos,DEMOFOS.R98,0.5,100,yes,BMDL10\nCyclofos,CYCLOFOS.R98,0.1,10,,\n");
  ASSERT_EQ(Run({"-C", "csfii", "cumulative", "csfii/residues/g.csv", "--export",
                 P("own.csv").string(), "--export", P("own.json").string()})
                .status,
            0);
  ASSERT_EQ(Run({"-C", "csfii", "cumulative", "csfii/residues/g.csv", "--no-history"}).status, 0);
  ASSERT_EQ(Run({"rerun", P("own.csv.manifest.json").string()}).status, 0);
  const CliResult list = Run({"-C", "csfii", "history"});
  ASSERT_EQ(list.status, 0) << list.err;
  const auto lines = Lines(list.out);
  ASSERT_EQ(lines.size(), 2u) << list.out;  // the heading and one run
  EXPECT_NE(lines[1].find("cumulati"), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("% cPAD"), std::string::npos) << lines[1];
  // The worst subgroup is the one with the highest percent of the cPAD.
  const auto rows = Rows(P("own.csv"));
  std::string worst;
  double highest = -1;
  for (const auto& [key, cells] : rows)
    if (key.second.empty() && std::stod(cells[10]) > highest) {
      highest = std::stod(cells[10]);
      worst = cells[1];
    }
  EXPECT_NE(lines[1].find(worst), std::string::npos) << lines[1] << " / " << worst;

  for (const char* ext : {".csv", ".json"}) {
    const CliResult show = Run({"-C", "csfii", "history", "show", "1", "--export",
                                P(std::string("again") + ext).string()});
    ASSERT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find("percent_of_index_pad"), std::string::npos);
    EXPECT_NE(show.out.find("cumulative_moe  target_moe"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(P(std::string("again") + ext)),
              ReadFileBytes(P(std::string("own") + ext)))
        << ext;
  }

  // A history whose subgroups list different chemicals is damaged: refused,
  // never exported, whether the run's checksum tells (a row lost) or not (a
  // row taken out by a program that took the checksum with it).
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(P("csfii/ormid-history.sqlite").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "DELETE FROM cumulative_chemicals WHERE row = 2 AND seq = 2", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  for (const char* said : {"run 1 is not as it was recorded", "The figures of run 1 are damaged"}) {
    const CliResult damaged =
        Run({"-C", "csfii", "history", "show", "1", "--export", P("damaged.csv").string()});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.err.find(said), std::string::npos) << damaged.err;
    EXPECT_FALSE(fs::exists(P("damaged.csv")));
    ASSERT_EQ(sqlite3_exec(db, "UPDATE runs SET checksum = NULL", nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  sqlite3_close(db);
}

// Two cumulative runs compare by percent of the cPAD, with the group file
// and each residue file among the inputs; against a long-term run the
// figures are not comparable.
TEST_F(CumulativeCli, CompareTwoCumulativeRuns) {
  const std::string head = "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index\n";
  Group("a.csv", head + "Demofos,DEMOFOS.R98,0.5,100,yes\nCyclofos,CYCLOFOS.R98,0.1,10,\n");
  Group("b.csv", head + "Demofos,DEMOFOS.R98,0.5,50,yes\nCyclofos,CYCLOFOS.R98,0.1,10,\n");
  for (const char* g : {"a", "b"})
    ASSERT_EQ(Run({"-C", "csfii", "cumulative", std::string("csfii/residues/") + g + ".csv",
                   "--export", P(std::string(g) + ".csv").string()})
                  .status,
              0);
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd"}).status, 0);
  const CliResult r = Run({"-C", "csfii", "compare", "1", "2", "--export", P("cmp.csv").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  // cPAD halved (UF 50 instead of 100): every percent doubles.
  const auto a = Rows(P("a.csv")), b = Rows(P("b.csv"));
  const auto cmp = ParseCsv(ReadFileBytes(P("cmp.csv")));
  ASSERT_EQ(cmp.size(), 34u);
  for (std::size_t i = 1; i < cmp.size(); ++i) {
    EXPECT_EQ(cmp[i][6], "% cPAD");
    const float pa = static_cast<float>(std::stod(a.at({cmp[i][0], ""})[10]));
    const float pb = static_cast<float>(std::stod(b.at({cmp[i][0], ""})[10]));
    EXPECT_EQ(*ReadFloatText(cmp[i][7]), pa);
    EXPECT_EQ(*ReadFloatText(cmp[i][9]), pb);
    EXPECT_FALSE(cmp[i][10].empty()) << "figure_change of row " << i;
  }
  EXPECT_NE(r.out.find("assessment group file"), std::string::npos) << r.out;
  const CliResult unlike = Run({"-C", "csfii", "compare", "1", "3"});
  ASSERT_EQ(unlike.status, 0) << unlike.err;
  EXPECT_NE(unlike.out.find("% cPAD / % RfD"), std::string::npos) << unlike.out;
  EXPECT_NE(unlike.out.find("not comparable"), std::string::npos) << unlike.out;
}

// Every problem of a group file is listed with its line, and nothing is
// written (exit 2).
TEST_F(CumulativeCli, EveryProblemOfAGroupFileIsListedWithItsLine) {
  struct Case {
    std::string text;
    std::vector<std::string> problems;
  } cases[] = {
      {"chemical,residue_file,pod,index\n",
       {"g.csv:1: unknown column \"pod\"", "g.csv:1: the column pod_mg_per_kg_bw_day is missing"}},
      {"chemical,residue_file,pod_mg_per_kg_bw_day,index,uncertainty_factor,rpf\n"
       "A,DEMOFOS.R98,x,yes,10,\n"
       "B,CYCLOFOS.R98,0,,,-1\n"
       "a,CYCLOFOS.R98,1e999,maybe,,\n"
       ",,1,yes,,\n",
       {"g.csv:2: pod_mg_per_kg_bw_day \"x\" is not a number",
        "g.csv:3: pod_mg_per_kg_bw_day \"0\" is not above 0", "g.csv:3: rpf \"-1\" is not above 0",
        "g.csv:4: the chemical \"a\" is listed twice (first on line 2)",
        "g.csv:4: pod_mg_per_kg_bw_day \"1e999\" is not a finite number",
        "g.csv:4: index \"maybe\" is neither yes nor empty", "g.csv:5: the chemical is empty",
        "g.csv:5: residue_file is empty",
        "g.csv:5: a second index chemical (the first is on line 2)"}},
      {"chemical,residue_file,pod_mg_per_kg_bw_day,index,uncertainty_factor\n"
       "A,DEMOFOS.R98,1e300,yes,1e-300\nB,CYCLOFOS.R98,1e-300,,\n",
       {"g.csv:3: the relative potency pod(index) / pod is beyond the range of a number",
        "g.csv:2: the index chemical's PAD (pod / uncertainty_factor) is beyond the range of a "
        "number"}},
      // The index chemical's potency is 1; every figure within the range
      // whose products and sums a run can hold, each row with its first
      // figure beyond it (the index chemical's last).
      {"chemical,residue_file,pod_mg_per_kg_bw_day,index,uncertainty_factor,rpf\n"
       "A,DEMOFOS.R98,0.5,yes,100,2\nB,CYCLOFOS.R98,0.1,,,\n",
       {"g.csv:2: the index chemical's rpf \"2\" is not 1"}},
      {"chemical,residue_file,pod_mg_per_kg_bw_day,index,uncertainty_factor,rpf\n"
       "A,DEMOFOS.R98,1e-20,yes,1e20,1.0\n"
       "B,CYCLOFOS.R98,1,,,1e308\n"
       "C,DEMOGRP.R98,1e-31,,,\n"
       "D,CYCLOFOS.R98,1e-20,,1e31,\n"
       "E,CYCLOFOS.R98,1e30,,1e-30,1e-30\n"
       "F,DEMOGRP.R98,1e-51,,,\n",
       {"g.csv:3: rpf 1e+308 is outside the range a run can use (1E-30 to 1E+30)",
        "g.csv:4: pod_mg_per_kg_bw_day 1e-31 is outside the range a run can use (1E-30 to 1E+30)",
        "g.csv:5: uncertainty_factor 1e+31 is outside the range a run can use (1E-30 to 1E+30)",
        "g.csv:7: the relative potency pod(index) / pod is beyond the range of a number a run can "
        "use (1E-30 to 1E+30)",
        "g.csv:2: the index chemical's PAD (pod / uncertainty_factor) is beyond the range of a "
        "number a run can use (1E-30 to 1E+30)"}},
      {"chemical,residue_file,pod_mg_per_kg_bw_day,index,uncertainty_factor\n"
       "A,DEMOFOS.R98,1e31,yes,1e30\n",
       {"g.csv:2: pod_mg_per_kg_bw_day 1e+31 is outside the range a run can use (1E-30 to 1E+30)"}},
      {"chemical,residue_file,pod_mg_per_kg_bw_day,index\nA,DEMOFOS.R98,1,\n",
       {"g.csv:1: no chemical is the index chemical (index yes)"}},
      {"chemical,residue_file,pod_mg_per_kg_bw_day,index\nA,DEMOFOS.R98,1,yes\n",
       {"g.csv:2: the index chemical has no uncertainty_factor"}},
      {"chemical,residue_file,pod_mg_per_kg_bw_day,index,uncertainty_factor\n"
       "A,DEMOFOS.R98,1,yes,10\nB,NONE.R98,1,,\nC,../../nhanes-2005-2010/residues/"
       "DEMOFOS.R10,1,,\nD,/dev/null,1,,\n",
       {"g.csv:3: ", "g.csv:4: ", "g.csv:5: the residue file /dev/null is not a file"}},
  };
  for (const Case& c : cases) {
    Group("g.csv", c.text);
    const CliResult r = RunCliIn(P("csfii/residues"), {"-C", "..", "cumulative", "g.csv",
                                                       "--export", P("never.csv").string()});
    EXPECT_EQ(r.status, 2) << c.text;
    const auto lines = Lines(r.err);
    ASSERT_EQ(lines.size(), c.problems.size()) << r.err;
    for (std::size_t i = 0; i < lines.size(); ++i)
      EXPECT_EQ(lines[i].substr(0, c.problems[i].size()), c.problems[i]) << r.err;
    EXPECT_FALSE(fs::exists(P("never.csv")));
    EXPECT_FALSE(fs::exists(P("csfii/tempcum.txt")));
  }
}

// A group at the edges of the range still gives a figure for everything it
// reports, never one that is not finite; a target beyond the range is a
// usage error.
TEST_F(CumulativeCli, FiguresAtTheEdgesOfTheRangeAreFinite) {
  Group("edge.csv",
        "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index,rpf\n"
        "Demofos,DEMOFOS.R98,1e-30,1,yes,\nCyclofos,CYCLOFOS.R98,1e30,1e30,,1e30\n");
  const CliResult r = Run({"-C", "csfii", "cumulative", "csfii/residues/edge.csv", "--export",
                           P("edge.csv").string(), "--export", P("edge.json").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto table = ParseCsv(ReadFileBytes(P("edge.csv")));
  ASSERT_GT(table.size(), 30u);
  for (std::size_t k = 1; k < table.size(); ++k)
    if (table[k][2] == "cumulative" && std::stod(table[k][8]) > 0)
      for (std::size_t c : {8, 10, 11, 12}) {
        EXPECT_FALSE(table[k][c].empty()) << k << " " << table[0][c];
        EXPECT_TRUE(std::isfinite(std::stod(table[k][c]))) << table[k][c];
      }
  const nlohmann::json document = nlohmann::json::parse(ReadFileBytes(P("edge.json")));
  for (const auto& s : document["cumulative"])
    if (s["cumulative"]["index_equivalent_mg_per_kg_bw_day"].get<double>() > 0) {
      for (const char* figure : {"percent_of_index_pad", "moet", "hazard_index"})
        EXPECT_TRUE(s["cumulative"][figure].is_number()) << s.dump();
    }
  const std::string report = ReadFileBytes(P("csfii/tempcum.txt"));
  for (const char* word : {"nan", "I%", "N%"})
    EXPECT_EQ(report.find(word), std::string::npos) << word;

  for (const char* target : {"1e39", "1e31", "1e-31"}) {
    const CliResult far = Run({"-C", "csfii", "cumulative", "csfii/residues/edge.csv", "--target",
                               target, "--no-history"});
    EXPECT_EQ(far.status, 2) << target;
    EXPECT_NE(far.err.find("--target takes a number from 1E-30 to 1E+30, not \"" +
                           std::string(target) + "\""),
              std::string::npos)
        << far.err;
    EXPECT_EQ(
        Run({"-C", "csfii", "headroom", "csfii/residues/DEMOFOS.R98", "--rfd", "--target", target})
            .status,
        2);
  }
  EXPECT_EQ(Run({"-C", "csfii", "cumulative", "csfii/residues/edge.csv", "--target", "1e30",
                 "--no-history"})
                .status,
            0);
}

// Chemicals are one when their names differ only in case or in how their
// letters are composed ("Café" with é or with e and an accent); a chemical's
// name and its residue file's name hold no control character, a line feed
// or a NUL among them. --exclude finds a chemical the same way.
TEST_F(CumulativeCli, NamesOfAGroupFile) {
  const std::string head = "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index\n";
  Group("g.csv", head +
                     "Caf\xC3\xA9,DEMOFOS.R98,0.5,100,yes\n"
                     "Cafe\xCC\x81,CYCLOFOS.R98,0.1,,\n"
                     "\xC3\x89t,DEMOGRP.R98,0.1,,\n"
                     "\xC3\xA9T,DEMOGRP.R98,0.1,,\n"
                     "\"Line\nfeed\",DEMOGRP.R98,0.1,,\n" +
                     "Nul,CYCLOFOS.R98" + '\0' + "junk,0.1,,\n" + "Tab,CYCLO\tFOS.R98,0.1,,\n");
  const CliResult r = Run({"-C", "csfii", "cumulative", "csfii/residues/g.csv"});
  EXPECT_EQ(r.status, 2);
  for (const char* problem :
       {"g.csv:3: the chemical \"Cafe\xCC\x81\" is listed twice (first on line 2)",
        "g.csv:5: the chemical \"\xC3\xA9T\" is listed twice (first on line 4)",
        "g.csv:6: the chemical \"Line", "g.csv:8: the residue file name \"CYCLOFOS.R98",
        "g.csv:9: the residue file name \"CYCLO"})
    EXPECT_NE(r.err.find(problem), std::string::npos) << problem << "\n" << r.err;
  EXPECT_NE(r.err.find("feed\" holds a control character"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("junk\" holds a control character"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(P("csfii/tempcum.txt")));

  Group("e.csv", head + "Demofos,DEMOFOS.R98,0.5,100,yes\n\xC3\x89t,CYCLOFOS.R98,0.1,,\n");
  EXPECT_EQ(Run({"-C", "csfii", "cumulative", "csfii/residues/e.csv", "--exclude",
                 "chemical:\xC3\xA9T", "--no-history"})
                .status,
            0);
}

// The CSV, JSON and workbook hold the same figures; the manifest lists the
// group file and every residue file, and verify sees a changed one.
TEST_F(CumulativeCli, TheFormatsAgreeAndVerifyChecksEveryInput) {
  Group(
      "g.csv",
      "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index,pod_source,"
      "interspecies_factor,intraspecies_factor,fqpa_factor\n"
      "Demofos,DEMOFOS.R98,0.5,,yes,\"BMDL10, rat\",10,10,1\nCyclofos,CYCLOFOS.R98,0.1,10,,,,,\n");
  const CliResult r = Run({"-C", "csfii", "cumulative", "csfii/residues/g.csv", "--subgroups",
                           "1,17", "--by", "food", "--export", P("c.csv").string(), "--export",
                           P("c.json").string(), "--save", P("saved").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFileBytes(P("saved.CU10")), ReadFileBytes(P("csfii/tempcum.txt")));
  const auto csv = Rows(P("c.csv"));
  std::size_t foods = 0;
  for (const auto& [key, cells] : csv) foods += cells[2] == "food";
  EXPECT_EQ(csv.size(), 6u + foods);
  ASSERT_GT(foods, 20u);
  const auto doc = nlohmann::json::parse(ReadFileBytes(P("c.json")));
  ASSERT_EQ(doc["cumulative"].size(), 2u);
  // The report names the factors and the source, and has a margin table.
  const std::string report = ReadFileBytes(P("saved.CU10"));
  {
    const std::vector<std::string> lines = Lines(report);
    const auto demofos = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
      return l.rfind("Demofos (index) ", 0) == 0;
    });
    ASSERT_LT(demofos + 3, lines.end());
    EXPECT_EQ(demofos[1], "    UF 100 = 10 interspecies x 10 intraspecies x 1 FQPA");
    EXPECT_EQ(demofos[2], "    PoD source: BMDL10, rat");
    EXPECT_EQ(demofos[3].rfind("Cyclofos ", 0), 0u);
  }
  std::vector<std::string> margins;
  {
    const std::vector<std::string> lines = Lines(report);
    const auto title = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
      return l.find("Cumulative margin of exposure by population subgroup") != std::string::npos;
    });
    ASSERT_NE(title, lines.end());
    margins.assign(title, std::find(title + 1, lines.end(), std::string(79, '=')));
  }
  for (const auto& s : doc["cumulative"]) {
    const std::string row = std::to_string(s["row"].get<int>());
    for (const auto& c : s["chemicals"]) {
      const CsvRow& cells = csv.at({row, c["chemical"].get<std::string>()});
      EXPECT_EQ(ShortestText(static_cast<float>(c["exposure_mg_per_kg_bw_day"].get<double>())),
                cells[6]);
      EXPECT_EQ(c["index_equivalent_mg_per_kg_bw_day"].get<double>(), std::stod(cells[8]));
      EXPECT_EQ(c["share_percent"].get<double>(), std::stod(cells[9]));
      EXPECT_EQ(c["pod_source"].is_null() ? "" : c["pod_source"].get<std::string>(), cells[15]);
    }
    EXPECT_EQ(s["chemicals"][0]["pod_source"], "BMDL10, rat");
    EXPECT_TRUE(s["chemicals"][1]["pod_source"].is_null());
    std::size_t parts = 0;
    for (const auto& part : s["commodities"]) {
      const CsvRow& cells = csv.at({row, "food:" + part["code"].get<std::string>()});
      EXPECT_EQ(cells[5], part["name"].get<std::string>());
      EXPECT_EQ(part["index_equivalent_mg_per_kg_bw_day"].get<double>(), std::stod(cells[8]));
      EXPECT_EQ(part["share_percent"].get<double>(), std::stod(cells[9]));
      ++parts;
    }
    EXPECT_EQ(parts * 2, foods);
    const CsvRow& total = csv.at({row, ""});
    const auto& cu = s["cumulative"];
    EXPECT_EQ(cu["index_equivalent_mg_per_kg_bw_day"].get<double>(), std::stod(total[8]));
    EXPECT_EQ(cu["percent_of_index_pad"].get<double>(), std::stod(total[10]));
    EXPECT_EQ(cu["moet"].get<double>(), std::stod(total[11]));
    EXPECT_EQ(cu["hazard_index"].get<double>(), std::stod(total[12]));
    // The cumulative margin and its target, and the report's line of the
    // subgroup: the margin to the unit, the target as the file gives it.
    EXPECT_EQ(cu["cumulative_moe"].get<double>(), std::stod(total[13]));
    EXPECT_EQ(cu["cumulative_moe"].get<double>(), 0.5 / std::stod(total[8]));
    EXPECT_EQ(cu["target_moe"].get<double>(), 100.0);
    EXPECT_EQ(total[14], "100");
    const std::string name = s["subgroup"].get<std::string>();
    int printed = 0;
    for (const std::string& line : margins)
      if (line.rfind(name + "  ", 0) == 0 || line.rfind(name + " ", 0) == 0) {
        std::istringstream in(line.substr(38));
        std::string exposure, margin, target;
        in >> exposure >> margin >> target;
        margin.erase(std::remove(margin.begin(), margin.end(), ','), margin.end());
        EXPECT_LE(std::abs(std::stod(margin) - cu["cumulative_moe"].get<double>()), 0.5) << line;
        EXPECT_EQ(target, "100") << line;
        ++printed;
      }
    EXPECT_EQ(printed, 1) << name;
  }
  const auto& manifest = doc["manifest"];
  EXPECT_EQ(manifest["run"]["command"], "cumulative");
  EXPECT_EQ(manifest["group_file"]["path"], "residues/g.csv");
  ASSERT_EQ(manifest["residue_files"].size(), 2u);
  EXPECT_EQ(manifest["residue_files"][1]["chemical"], "Cyclofos");

  for (const fs::path& m : {P("c.csv.manifest.json"), P("saved.CU10.manifest.json")}) {
    const CliResult ok = Run({"-C", "csfii", "verify", m.string()});
    EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
  }
  // rerun repeats the run (with its subgroups) and finds every output the same.
  for (const fs::path& m : {P("c.csv.manifest.json"), P("saved.CU10.manifest.json")}) {
    const CliResult again = Run({"rerun", m.string()});
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("Every output is byte-identical"), std::string::npos) << again.out;
  }
  std::string cyclofos = ReadFileBytes(P("csfii/residues/CYCLOFOS.R98"));
  cyclofos.back() = cyclofos.back() == ' ' ? '\t' : ' ';
  WriteFileBytes(P("csfii/residues/CYCLOFOS.R98"), cyclofos);
  const CliResult changed = Run({"-C", "csfii", "verify", P("c.csv.manifest.json").string()});
  EXPECT_EQ(changed.status, 1);
  EXPECT_NE(changed.out.find("CYCLOFOS.R98"), std::string::npos) << changed.out;
}

}  // namespace
}  // namespace ormid::test
