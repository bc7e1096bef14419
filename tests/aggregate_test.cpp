// The aggregate assessment: a hand-worked example whose every figure is exact
// in double, the food and drinking water exposures against long-term runs of
// residue files written for the purpose, the drinking water level of
// comparison run again at itself and just above, the choice of residential
// scenario, every problem of the toxicology and residential files and of
// the options with its line, the report the same bytes on every run, the
// formats against each other, verify, rerun, the run history and a batch
// scenario against the single run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "aggregate/aggregate_figures.h"
#include "aggregate/aggregate_report.h"
#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "tests/cli_runner.h"
#include "tests/installation_fixture.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

ToxRow Tox(Duration d, Route r, double pod, double loc, double absorption = 100, double qStar = 0) {
  ToxRow t;
  t.duration = d;
  t.route = r;
  t.pod = pod;
  t.loc = loc;
  t.absorptionPercent = absorption;
  t.qStar = qStar;
  return t;
}

ResidentialRow Res(const char* scenario, Route r, Duration d, int row, double exposure) {
  ResidentialRow x;
  x.scenario = scenario;
  x.route = r;
  x.duration = d;
  x.row = row;
  x.exposure = exposure;
  return x;
}

// Two subgroups; every exposure and factor a sum of powers of two, so that
// the figures are exact. Oral: PoD 100, LOC 100; dermal: PoD 50, LOC 400,
// 50% absorbed (the LOCs differ). Cancer: Q* 0.5, dermal 50% absorbed.
// The water foods: one entry, 2 g/kg bw/day in either subgroup's column.
AggregateFigures HandWorked(double cancerLimit) {
  AggregateFigures f;
  f.settings.rows = {1, 2};
  f.settings.durations = {Duration::Chronic, Duration::Cancer};
  f.settings.cancerLimit = cancerLimit;
  f.settings.waterPpb[Index(Duration::Chronic)] = 125000;  // 125 ppm: 0.25 mg/kg bw/day
  f.tox.rows = {Tox(Duration::Chronic, Route::Oral, 100, 100),
                Tox(Duration::Chronic, Route::Dermal, 50, 400, 50),
                Tox(Duration::Cancer, Route::Oral, 0, 0, 100, 0.5),
                Tox(Duration::Cancer, Route::Dermal, 0, 0, 50)};
  f.residential.scenarios = {"yard"};
  f.residential.rows = {Res("yard", Route::Oral, Duration::Chronic, 1, 0.25),
                        Res("yard", Route::Dermal, Duration::Chronic, 1, 0.5),
                        Res("yard", Route::Dermal, Duration::Cancer, 1, 0.5)};
  AggregateExposures& e = f.exposures;
  e.food = {0, 0.125f, 0.125f};
  e.water[Index(Duration::Chronic)] = {0, 0.25f, 0.25f};
  e.columns = {0, 1, 2};
  e.waterCodes = {"8600078001"};
  e.waterNames = {"Water"};
  e.waterTerms.Reset(2);
  auto slot = e.waterTerms.Add(1, 0);
  slot.Set(1, 2.0f, 0);
  slot.Set(2, 2.0f, 0);
  return f;
}

TEST(Aggregate, AHandWorkedExampleWithUnequalLevelsOfConcern) {
  const AggregateFigures f = HandWorked(0.25);
  const auto d = CombineAggregate(f, {});
  ASSERT_EQ(d.size(), 2u);
  const AggregateSubgroup& s = d[0].subgroups[0];
  EXPECT_FALSE(d[0].sameLoc);
  EXPECT_EQ(s.scenario, "yard");
  // D_oral = 0.125 + 0.25 + 0.25; D_dermal = 0.5 * 50 / 100.
  EXPECT_EQ(s.dose[0], 0.625);
  EXPECT_EQ(s.dose[1], 0.25);
  EXPECT_EQ(*s.moe[0], 100 / 0.625);  // 160
  EXPECT_EQ(*s.moe[1], 200.0);
  EXPECT_FALSE(s.moe[2].has_value());
  // The LOCs differ: no aggregate margin, but the ARI combines them:
  // ARI_oral = 1.6, ARI_dermal = 0.5; 1 / (1/1.6 + 1/0.5) = 1 / 2.625.
  EXPECT_FALSE(s.aggregateMoe.has_value());
  EXPECT_EQ(s.hazardIndex, 1 / (160.0 / 100) + 1 / (200.0 / 400));
  EXPECT_EQ(*s.ari, 1 / s.hazardIndex);
  EXPECT_TRUE(s.ofConcern);
  // %cPAD: the dermal dose in oral equivalents, 0.25 * 100 / 50, over
  // cPAD = 100 / 100.
  EXPECT_EQ(*s.percentCpad, 100.0 * (0.625 + 0.5) / 1.0);
  // Food and residential alone pass the limit: no level of comparison.
  EXPECT_EQ(s.dwlocKind, DwlocKind::None);
  EXPECT_EQ(s.edwcBelow, false);
  // The shares of the hazard index: food 0.125, water 0.25, residential
  // oral 0.25 (each x LOC/PoD = 1), dermal 0.25 x 400 / 50 = 2.
  EXPECT_EQ(*s.share[3], 100.0 * 2 / 2.625);
  EXPECT_EQ(s.ofLimit[3], 200.0);

  // The second subgroup has no residential rows: food and water alone.
  // HI = 0.375, and the water may rise until HI = 1: 0.875 mg/kg bw/day,
  // 437.5 ppm on 2 g/kg bw/day, 437,500 ug/L.
  const AggregateSubgroup& t = d[0].subgroups[1];
  EXPECT_EQ(t.scenario, "");
  // MOE_oral = 100 / 0.375, ARI_oral = MOE_oral / 100, ARI = 1 / (1 / ARI_oral);
  // the duration's LOCs differ, so no aggregate margin even with one route.
  EXPECT_EQ(*t.ari, 1 / (1 / ((100 / 0.375) / 100)));
  EXPECT_FALSE(t.aggregateMoe.has_value());
  EXPECT_EQ(t.dwlocKind, DwlocKind::Value);
  EXPECT_EQ(t.dwloc, 437500.0);
  EXPECT_EQ(t.edwcBelow, true);

  // Cancer: risk = 0.5 x (0.125 + 0 + 0.25) with the dermal dose absorbed;
  // the water may rise until the risk is 0.25: 0.125 mg/kg bw/day, 62.5 ppm.
  const AggregateSubgroup& c = d[1].subgroups[0];
  EXPECT_EQ(*c.risk, 0.5 * 0.375);
  EXPECT_FALSE(c.ari.has_value());
  EXPECT_FALSE(c.ofConcern);
  EXPECT_EQ(c.dwlocKind, DwlocKind::Value);
  EXPECT_EQ(c.dwloc, 62500.0);
  EXPECT_FALSE(c.edwcBelow.has_value());  // no cancer EDWC given
  // With the default limit, food and residential alone pass it.
  EXPECT_EQ(CombineAggregate(HandWorked(1e-6), {})[1].subgroups[0].dwlocKind, DwlocKind::None);
}

// A what-if leaves a source out as a run without it would.
TEST(Aggregate, WhatIfLeavesOutWaterScenariosAndRoutes) {
  const AggregateFigures f = HandWorked(0.25);
  AggregateWhatIf noWater;
  noWater.water = true;
  const auto w = CombineAggregate(f, noWater);
  EXPECT_EQ(w[0].subgroups[0].water, 0.0f);
  EXPECT_EQ(w[0].subgroups[0].dose[0], 0.375);
  EXPECT_FALSE(w[0].edwc.has_value());
  AggregateWhatIf noDermal;
  noDermal.routes[Index(Route::Dermal)] = true;
  const auto d = CombineAggregate(f, noDermal);
  EXPECT_EQ(d[0].subgroups[0].dose[1], 0.0);
  EXPECT_EQ(d[0].subgroups[0].hazardIndex, 0.625);
  AggregateWhatIf noYard;
  noYard.scenarios = {"YARD"};
  const auto y = CombineAggregate(f, noYard);
  EXPECT_EQ(y[0].subgroups[0].scenario, "");
  EXPECT_EQ(y[0].subgroups[0].dose[0], 0.375);
  // The scenario asked for, left out: no residential exposure either.
  AggregateFigures forced = f;
  forced.settings.scenario = "yard";
  EXPECT_EQ(CombineAggregate(forced, {})[0].subgroups[1].scenario, "yard");
  const auto z = CombineAggregate(forced, noYard);
  EXPECT_EQ(z[0].subgroups[0].scenario, "");
  EXPECT_EQ(z[0].subgroups[0].dose[1], 0.0);
}

class AggregateCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
    for (const char* name : {"csfii", "nhanes-2005-2010"})
      CopySampleInstallation(name, dir_.path() / name);
  }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }
  CliResult Run(const std::vector<std::string>& args) { return RunCliIn(dir_.path(), args); }
  fs::path P(const std::string& rel) const { return dir_.path() / rel; }
  std::string S(const std::string& rel) const { return P(rel).string(); }

  // An aggregate run of the NHANES sample's example files with `more`.
  CliResult Aggregate(const std::string& residue, std::vector<std::string> more) {
    std::vector<std::string> args = {
        "-C",   NH, "aggregate", S(NH + "/residues/" + residue), "--tox", S(NH + "/tox.csv"),
        "--yes"};
    args.insert(args.end(), more.begin(), more.end());
    return Run(args);
  }
  // The CSV export's rows: (duration, row) -> cells.
  std::map<std::pair<std::string, std::string>, CsvRow> Rows(const fs::path& csv) {
    std::map<std::pair<std::string, std::string>, CsvRow> rows;
    const auto table = ParseCsv(ReadFileBytes(csv));
    for (std::size_t r = 1; r < table.size(); ++r) rows[{table[r][0], table[r][1]}] = table[r];
    return rows;
  }

  const std::string NH = "nhanes-2005-2010";
  const std::string kWater = "8600078001,8600079001";
  TempDir dir_;
  ScopedCurrentDir cwd_{fs::current_path()};
};

// E_food is the long-term run's exposure of the residue file without its
// water foods, E_water that of a residue file of the water foods alone at
// EDWC/1000 ppm, bit for bit, with the second adjustment factor and
// without.
TEST_F(AggregateCli, FoodAndWaterAreTheLongTermRunsOwn) {
  // DEMOFOS carries a residue on the direct water; WET adds one on the
  // indirect water, DRY is DEMOFOS without its water row.
  ASSERT_EQ(
      Run({"-C", NH, "residue", "export", S(NH + "/residues/DEMOFOS.R10"), S("t.csv")}).status, 0);
  const std::string table = ReadFileBytes(P("t.csv"));
  const std::string waterRow = "8600078001,\"Water, direct, all sources\",,,0.008,1,0.8,";
  const std::size_t at = table.find(waterRow);
  ASSERT_NE(at, std::string::npos);
  const std::size_t end = table.find('\n', at) + 1;
  WriteFileBytes(P("wet.csv"),
                 table + "8600079001,\"Water, indirect, all sources\",,,0.7,1,0.5,\r\n");
  WriteFileBytes(P("dry.csv"), table.substr(0, at) + table.substr(end));
  for (const char* name : {"wet", "dry"}) {
    const CliResult imported =
        Run({"-C", NH, "residue", "import", S(std::string(name) + ".csv"),
             S(NH + "/residues/" + (name[0] == 'w' ? "WET.R10" : "DRY.R10"))});
    ASSERT_EQ(imported.status, 0) << imported.err;
  }
  // The water alone at 12.5 ug/L: 0.0125 ppm, adjustment factors 1.
  ResidueFile water;
  water.chemical = "Water";
  water.tag = "05-10-cNH2";
  for (auto [number, code] : {std::pair{347, "8600078001"}, std::pair{349, "8600079001"}}) {
    ResidueFood& food = water.foods.emplace_back();
    food.number = static_cast<std::int16_t>(number);
    food.code = code;
    food.name = "Water";
    food.residue = static_cast<float>(12.5 / 1000.0);
  }
  testdata::WriteResidueFile(water, P(NH + "/residues/WATER.R10"));
  for (bool adj2 : {false, true}) {
    SCOPED_TRACE(adj2 ? "adj2" : "without adj2");
    std::vector<std::string> more = {"--water-ppb", "chronic=12.5", "--water-foods", kWater,
                                     "--export",    S("a.csv"),     "--no-history"};
    if (adj2) more.push_back("--adj2");
    const CliResult r = Aggregate("WET.R10", more);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = Rows(P("a.csv"));
    for (const char* file : {"DRY.R10", "WATER.R10"}) {
      std::vector<std::string> lt = {
          "-C",        NH,      "longterm",    S(NH + "/residues/" + file), "--rfd=1", "--export",
          S("lt.csv"), "--yes", "--no-history"};
      if (adj2) lt.push_back("--adj2");
      ASSERT_EQ(Run(lt).status, 0);
      const auto table = ParseCsv(ReadFileBytes(P("lt.csv")));
      ASSERT_EQ(table.size(), 25u);
      for (std::size_t k = 1; k < table.size(); ++k) {
        const CsvRow& a = rows.at({"chronic", table[k][0]});
        EXPECT_EQ(a[file[0] == 'D' ? 4 : 5], table[k][3]) << file << " " << table[k][1];
      }
    }
    // The short-term rows have no EDWC: no water.
    EXPECT_EQ(rows.at({"short-term", "1"})[5], "0");
  }
}

// Run again with the EDWC at a subgroup's DWLOC, the subgroup's ARI is 1
// within one step of the water residue; just above it, it is of concern.
// Likewise for the cancer risk against its limit.
TEST_F(AggregateCli, TheLevelOfComparisonIsWhereTheLimitIsReached) {
  const CliResult r = Aggregate(
      "DEMOFOS.R10", {"--residential", S(NH + "/residential.csv"), "--water-foods", kWater,
                      "--export", S("a.json"), "--cancer-limit", "1e-5", "--no-history"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json doc = json::parse(ReadFileBytes(P("a.json")));
  int checked = 0, passedAlone = 0;
  for (const json& d : doc["aggregate"]["durations"]) {
    const std::string duration = d["duration"];
    for (const json& s : d["subgroups"]) {
      const int row = s["row"];
      if (row != 1 && row != 6 && row != 11) continue;
      // Children 1-2 pass the chronic limit on food alone: no level.
      if (s["dwloc"] == "none") {
        EXPECT_TRUE(s["of_concern"]) << duration << " " << row;
        ++passedAlone;
        continue;
      }
      ASSERT_EQ(s["dwloc"], "value") << duration << " " << row;
      const double dwloc = s["dwloc_ug_per_l"];
      for (double at : {dwloc, dwloc * (1 + 1e-6)}) {
        SCOPED_TRACE(duration + " row " + std::to_string(row) + " at " + ShortestText(at));
        const CliResult again = Aggregate(
            "DEMOFOS.R10", {"--residential", S(NH + "/residential.csv"), "--water-foods", kWater,
                            "--water-ppb", duration + "=" + ShortestText(at), "--durations",
                            duration, "--subgroups", std::to_string(row), "--export", S("b.json"),
                            "--cancer-limit", "1e-5", "--no-history"});
        ASSERT_EQ(again.status, 0) << again.err;
        const json b =
            json::parse(ReadFileBytes(P("b.json")))["aggregate"]["durations"][0]["subgroups"][0];
        if (duration == "cancer") {
          const double risk = b["lifetime_cancer_risk"];
          if (at == dwloc)
            EXPECT_TRUE(risk <= 1e-5 && risk > 1e-5 * (1 - 1e-6)) << risk;
          else
            EXPECT_GT(risk, 1e-5);
        } else {
          const double ari = b["aggregate_risk_index"];
          if (at == dwloc)
            EXPECT_TRUE(ari >= 1 && ari < 1 + 1e-6) << ShortestText(ari);
          else
            EXPECT_LT(ari, 1.0);
        }
        EXPECT_EQ(b["of_concern"], at != dwloc);
        EXPECT_EQ(b["edwc_below_dwloc"], false);
        ++checked;
      }
    }
  }
  EXPECT_EQ(passedAlone, 1);
  EXPECT_EQ(checked + 2 * passedAlone, 24);
}

// The scenario of the highest aggregate risk, per subgroup and duration;
// --scenario makes every subgroup take the one named.
TEST_F(AggregateCli, TheWorstScenarioUnlessOneIsNamed) {
  ASSERT_EQ(Aggregate("DEMOFOS.R10", {"--residential", S(NH + "/residential.csv"), "--export",
                                      S("worst.csv"), "--durations", "short-term", "--no-history"})
                .status,
            0);
  const auto worst = Rows(P("worst.csv"));
  // Adults 20-49 (row 11) have the garden scenario of their own, the others
  // only the lawn and the indoor ones, of which the lawn is worse.
  EXPECT_EQ(worst.at({"short-term", "11"})[3], "garden, application");
  EXPECT_EQ(worst.at({"short-term", "1"})[3], "lawn, post-application");
  EXPECT_EQ(worst.at({"short-term", "7"})[3], "lawn, post-application");
  for (const char* scenario : {"indoor crack and crevice", "garden, application"}) {
    SCOPED_TRACE(scenario);
    ASSERT_EQ(Aggregate("DEMOFOS.R10",
                        {"--residential", S(NH + "/residential.csv"), "--export", S("one.csv"),
                         "--durations", "short-term", "--scenario", scenario, "--no-history"})
                  .status,
              0);
    // Each scenario run alone gives no higher hazard index than the worst.
    const auto one = Rows(P("one.csv"));
    for (const auto& [key, cells] : one) {
      EXPECT_EQ(cells[3], scenario);
      EXPECT_LE(std::stod(cells[17]), std::stod(worst.at(key)[17])) << key.second;
    }
    // A subgroup the garden scenario has no rows for takes none of it.
    if (scenario[0] == 'g') {
      EXPECT_EQ(one.at({"short-term", "1"})[6], "0");
    }
  }
  EXPECT_EQ(std::stod(Rows(P("one.csv")).at({"short-term", "11"})[17]),
            std::stod(worst.at({"short-term", "11"})[17]));
  const CliResult unknown = Aggregate("DEMOFOS.R10", {"--residential", S(NH + "/residential.csv"),
                                                      "--scenario", "pool", "--no-history"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("--scenario: \"pool\" is not a scenario of"), std::string::npos)
      << unknown.err;
}

// Every problem of the two files and of the options, each with its line,
// exit 2, and nothing written.
TEST_F(AggregateCli, EveryProblemIsListedWithItsLine) {
  struct Case {
    const char* name;
    std::string tox, residential;
    std::vector<std::string> options;
    std::vector<std::string> expected;
  };
  const std::string header = "duration,route,pod_mg_per_kg_bw_day,level_of_concern\n";
  const std::string okTox = header + "chronic,oral,0.5,100\nshort-term,oral,1,100\n";
  const std::string resHeader = "scenario,route,duration,subgroup,exposure_mg_per_kg_bw_day\n";
  const std::vector<Case> cases = {
      {"an unknown and a missing column",
       "duration,route,pod_mg_per_kg_bw_day,loc\n",
       "",
       {},
       {"tox.csv:1: unknown column \"loc\"", "tox.csv:1: the column level_of_concern is missing"}},
      {"durations, routes and numbers",
       header + "weekly,oral,1,100\nchronic,skin,1,100\nchronic,oral,-1,100\n"
                "short-term,oral,1,inf\nshort-term,dermal,abc,10\nchronic,oral,1,100\n",
       "",
       {},
       {"tox.csv:2: duration \"weekly\" is not chronic, short-term, intermediate-term or cancer",
        "tox.csv:3: route \"skin\" is not oral, dermal or inhalation",
        "tox.csv:4: pod_mg_per_kg_bw_day \"-1\" is not above 0",
        "tox.csv:5: level_of_concern \"inf\" is not a finite number",
        "tox.csv:6: pod_mg_per_kg_bw_day \"abc\" is not a number",
        "tox.csv:7: the chronic oral row is already on line 4"}},
      {"a duration without its oral row",
       header + "chronic,oral,1,100\nshort-term,dermal,1,100\n",
       "",
       {},
       {"tox.csv:3: short-term has no oral row; food and drinking water are oral"}},
      {"cancer rows",
       "duration,route,pod_mg_per_kg_bw_day,level_of_concern,absorption_percent,q_star\n"
       "cancer,oral,1,,,\ncancer,dermal,,,150,0.1\n",
       "",
       {},
       {"tox.csv:2: a cancer row takes no pod_mg_per_kg_bw_day: its risk is q_star times the dose",
        "tox.csv:2: q_star is empty",
        "tox.csv:3: q_star belongs on the oral cancer row; a dermal or inhalation dose is "
        "converted by its absorption_percent",
        "tox.csv:3: absorption_percent \"150\" is above 100"}},
      {"residential rows",
       okTox,
       resHeader + "lawn,dermal,chronic,all,0.1\nlawn,oral,intermediate-term,all,0.1\n"
                   "lawn,oral,chronic,Martians,0.1\n,oral,chronic,1,0.1\n"
                   "lawn,oral,chronic,99,-0.1\nLAWN,dermal,chronic,ALL,0.2\n",
       {},
       {"res.csv:2: the toxicology file has no chronic dermal row for this exposure",
        "res.csv:3: the toxicology file has no oral row for intermediate-term",
        "res.csv:4: subgroup \"Martians\" is not a subgroup of the installation (a report row "
        "from 1 to 24, a subgroup's name, or all)",
        "res.csv:5: the scenario is empty",
        "res.csv:6: subgroup \"99\" is not a subgroup of the installation (a report row from 1 "
        "to 24, a subgroup's name, or all)",
        "res.csv:6: exposure_mg_per_kg_bw_day \"-0.1\" is below 0",
        "res.csv:7: the toxicology file has no chronic dermal row for this exposure",
        "res.csv:7: scenario \"LAWN\", dermal, chronic and this subgroup are already on line 2"}},
      {"semicolons, a decimal comma and a byte order mark",
       "\xEF\xBB\xBF"
       "Duration;Route;POD_mg_per_kg_bw_day;Level_Of_Concern\n"
       "chronic;oral;0,5;100\nshort-term;oral;1;x\n",
       "",
       {},
       {"tox.csv:3: level_of_concern \"x\" is not a number"}},
      {"options against the files",
       okTox,
       resHeader + "lawn,oral,chronic,all,0\n",
       {"--water-ppb", "cancer=1", "--water-foods", "8600078001,123", "--durations",
        "intermediate-term"},
       {"--durations: tox.csv has no intermediate-term rows",
        "--water-ppb: tox.csv has no cancer oral row for the drinking water",
        "--water-foods: 123 is not a food of the installation's master food list"}},
      {"a water concentration without the water foods",
       okTox,
       "",
       {"--water-ppb", "chronic=1"},
       {"--water-ppb: a drinking water concentration needs the installation's drinking water "
        "foods (--water-foods CODES)"}},
      {"an empty file",
       "",
       "",
       {},
       {"tox.csv:1: the file is empty; its first row names the columns"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(P("tox.csv"), c.tox);
    std::vector<std::string> args = {
        "-C",          NH,        "aggregate", S(NH + "/residues/DEMOFOS.R10"),
        "--tox",       "tox.csv", "--export",  S("never.csv"),
        "--no-history"};
    if (!c.residential.empty()) {
      WriteFileBytes(P("res.csv"), c.residential);
      args.insert(args.end(), {"--residential", "res.csv"});
    }
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CliResult r = Run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(Lines(r.err), c.expected);
    EXPECT_FALSE(fs::exists(P("never.csv")));
    EXPECT_FALSE(fs::exists(P(NH + "/tempagg.txt")));
  }
  // The command line's own usage errors.
  const std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
      {{"--water-ppb", "weekly=1"}, "--water-ppb takes DURATION=VALUE"},
      {{"--water-ppb", "chronic=-1"}, "the concentration is not a number"},
      {{"--water-ppb", "chronic=1", "--water-ppb", "Chronic=2"}, "--water-ppb gives chronic twice"},
      {{"--durations", "chronic,daily"}, "--durations takes chronic"},
      {{"--durations", "chronic,chronic"}, "--durations names chronic twice"},
      {{"--subgroups", "1,2,1"}, "--subgroups names the row 1 twice"},
      {{"--subgroups", "25"}, "--subgroups takes report rows from 1 to 24"},
      {{"--cancer-limit", "2"}, "--cancer-limit takes a lifetime risk above 0 and at most 1"},
  };
  WriteFileBytes(P("tox.csv"), okTox);
  for (const auto& [options, text] : usage) {
    std::vector<std::string> args = {
        "-C", NH, "aggregate", S(NH + "/residues/DEMOFOS.R10"), "--tox", "tox.csv", "--no-history"};
    args.insert(args.end(), options.begin(), options.end());
    const CliResult r = Run(args);
    EXPECT_EQ(r.status, 2) << text;
    EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
  }
}

// Figures at the ends of the range a run takes stay in their columns: no
// line of the report is wider than the page's 80 characters.
TEST_F(AggregateCli, FiguresAtTheEndsOfTheRangeKeepTheReportsColumns) {
  WriteFileBytes(P("xt.csv"),
                 "duration,route,pod_mg_per_kg_bw_day,level_of_concern,absorption_percent,q_star\n"
                 "chronic,oral,1e-30,1e30,,\nchronic,dermal,1e30,1e-30,1e-30,\n"
                 "short-term,oral,1e30,1,,\ncancer,oral,,,,1e30\ncancer,inhalation,,,,\n");
  WriteFileBytes(P("xr.csv"),
                 "scenario,route,duration,subgroup,exposure_mg_per_kg_bw_day\n"
                 "a scenario of a long name for its column,dermal,chronic,all,1e30\n"
                 "x,inhalation,cancer,1,1e30\ny,oral,chronic,all,1e-30\ny,oral,short-term,2,0\n");
  for (const char* ppb : {"1e30", "0", "1e-30"}) {
    SCOPED_TRACE(ppb);
    const CliResult r = Run({"-C", NH, "aggregate", S(NH + "/residues/DEMOFOS.R10"), "--tox",
                             S("xt.csv"), "--residential", S("xr.csv"), "--water-foods", kWater,
                             "--water-ppb", std::string("chronic=") + ppb, "--water-ppb",
                             std::string("cancer=") + ppb, "--no-history"});
    ASSERT_EQ(r.status, 0) << r.err;
    // After the installation's banner; the lines naming a file hold its path.
    const std::vector<std::string> lines = Lines(ReadFileBytes(P(NH + "/tempagg.txt")));
    for (std::size_t i = 3; i < lines.size(); ++i)
      if (lines[i].find(dir_.path().string()) == std::string::npos) {
        EXPECT_LE(lines[i].size(), 80u) << lines[i];
      }
  }
}

// The documented examples of both samples give the reports stored in
// tests/golden/ byte for byte, the copy's folder written as DIR.
// ORMID_UPDATE_GOLDEN=1 rewrites them (read the diff before committing).
TEST_F(AggregateCli, TheSamplesExamplesAreTheGoldenReports) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"nhanes",
       {"-C",
        NH,
        "aggregate",
        S(NH + "/residues/DEMOFOS.R10"),
        "--tox",
        S(NH + "/tox.csv"),
        "--residential",
        S(NH + "/residential.csv"),
        "--water-foods",
        kWater,
        "--water-ppb",
        "chronic=2",
        "--water-ppb",
        "short-term=30",
        "--water-ppb",
        "intermediate-term=30",
        "--water-ppb",
        "cancer=1.5",
        "--subgroups",
        "1,6,11",
        "--no-history"}},
      {"csfii",
       {"-C", "csfii", "aggregate", S("csfii/residues/DEMOFOS.R98"), "--tox", S("csfii/tox.csv"),
        "--residential", S("csfii/residential.csv"), "--subgroups", "1,27,31", "--no-history"}},
  };
  for (const auto& [name, args] : cases) {
    SCOPED_TRACE(name);
    const CliResult r = Run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string report = ReadFileBytes(P((name == "csfii" ? "csfii" : NH) + "/tempagg.txt"));
    const std::string folder = dir_.path().string();
    for (std::size_t at; (at = report.find(folder)) != std::string::npos;)
      report.replace(at, folder.size(), "DIR");
    const fs::path golden = SourceDir() / "tests/golden" / ("aggregate-" + name + ".txt");
    if (const char* update = std::getenv("ORMID_UPDATE_GOLDEN"); update && *update == '1') {
      WriteFileBytes(golden, report);
      continue;
    }
    ASSERT_TRUE(fs::exists(golden)) << golden;
    EXPECT_EQ(Lines(ReadFileBytes(golden)), Lines(report));
    EXPECT_EQ(ReadFileBytes(golden), report);
  }
}

// The report is the same bytes on every run, its saved copy too; the
// manifest lists every input, which verify checks, and rerun repeats the
// run; the run history shows it again and exports it byte for byte, and
// compares two runs.
TEST_F(AggregateCli, ReproducibleVerifiedRerunAndRecorded) {
  const std::vector<std::string> more = {"--residential", S(NH + "/residential.csv"),
                                         "--water-ppb",   "chronic=2",
                                         "--water-ppb",   "short-term=20",
                                         "--water-foods", kWater,
                                         "--save",        S("saved"),
                                         "--export",      S("a.json"),
                                         "--export",      S("a.csv")};
  ASSERT_EQ(Aggregate("DEMOFOS.R10", more).status, 0);
  const std::string first = ReadFileBytes(P(NH + "/tempagg.txt"));
  EXPECT_EQ(ReadFileBytes(P("saved.AG10")), first);
  std::vector<std::string> changed = more;
  changed[5] = "short-term=40";
  ASSERT_EQ(Aggregate("DEMOFOS.R10", changed).status, 0);
  ASSERT_EQ(Aggregate("DEMOFOS.R10", more).status, 0);
  EXPECT_EQ(ReadFileBytes(P(NH + "/tempagg.txt")), first);

  const json manifest = json::parse(ReadFileBytes(P("saved.AG10.manifest.json")));
  EXPECT_EQ(manifest["toxicology_file"]["path"], "tox.csv");
  EXPECT_EQ(manifest["residential_file"]["path"], "residential.csv");
  // The report, its saved copy and the two exports.
  EXPECT_EQ(manifest["outputs"].size(), 4u);
  for (const char* m : {"saved.AG10.manifest.json", "a.csv.manifest.json"}) {
    const CliResult v = Run({"-C", NH, "verify", S(m)});
    EXPECT_EQ(v.status, 0) << v.out;
    EXPECT_NE(v.out.find("All 10 inputs unchanged."), std::string::npos) << v.out;
    const CliResult again = Run({"rerun", S(m)});
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("Every output is byte-identical"), std::string::npos) << again.out;
  }

  const CliResult list = Run({"-C", NH, "history"});
  EXPECT_NE(list.out.find("aggregate"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("% of limit"), std::string::npos) << list.out;
  const CliResult show = Run({"-C", NH, "history", "show", "3", "--export", S("h.json")});
  ASSERT_EQ(show.status, 0) << show.err;
  EXPECT_EQ(ReadFileBytes(P("h.json")), ReadFileBytes(P("a.json")));
  const CliResult compare = Run({"-C", NH, "compare", "1", "2"});
  ASSERT_EQ(compare.status, 0) << compare.err;
  EXPECT_NE(compare.out.find("Children 1-2 years old (short-term)"), std::string::npos)
      << compare.out;
  EXPECT_NE(compare.out.find("settings.water_ppb.short-term"), std::string::npos) << compare.out;

  // A changed toxicology file: verify names it.
  WriteFileBytes(P(NH + "/tox.csv"), ReadFileBytes(P(NH + "/tox.csv")) + "\n");
  const CliResult v = Run({"-C", NH, "verify", S("saved.AG10.manifest.json")});
  EXPECT_EQ(v.status, 1);
  EXPECT_NE(v.out.find("changed    " + S(NH + "/tox.csv")), std::string::npos) << v.out;
}

// The CSV and the JSON export hold the same figures.
TEST_F(AggregateCli, TheCsvAndJsonAgree) {
  ASSERT_EQ(
      Aggregate("DEMOFOS.R10", {"--residential", S(NH + "/residential.csv"), "--water-ppb",
                                "chronic=2", "--water-ppb", "cancer=1", "--water-foods", kWater,
                                "--export", S("a.json"), "--export", S("a.csv"), "--no-history"})
          .status,
      0);
  const auto rows = Rows(P("a.csv"));
  const json doc = json::parse(ReadFileBytes(P("a.json")));
  std::size_t n = 0;
  auto same = [](const json& v, const std::string& cell, const std::string& where) {
    if (v.is_null())
      EXPECT_EQ(cell, "") << where;
    else if (v.is_boolean())
      EXPECT_EQ(cell, v.get<bool>() ? "yes" : "no") << where;
    else if (v.is_string())
      EXPECT_EQ(cell, v.get<std::string>()) << where;
    else
      EXPECT_EQ(std::stod(cell), v.get<double>()) << where;
  };
  for (const json& d : doc["aggregate"]["durations"])
    for (const json& s : d["subgroups"]) {
      const CsvRow& c = rows.at({d["duration"], std::to_string(s["row"].get<int>())});
      const std::string where = c[0] + " " + c[1];
      same(s["scenario"], c[3], where);
      EXPECT_EQ(ShortestText(static_cast<float>(s["food_mg_per_kg_bw_day"].get<double>())), c[4]);
      EXPECT_EQ(ShortestText(static_cast<float>(s["water_mg_per_kg_bw_day"].get<double>())), c[5]);
      const char* routes[] = {"oral", "dermal", "inhalation"};
      for (std::size_t r = 0; r < 3; ++r) {
        same(s["residential_mg_per_kg_bw_day"][routes[r]], c[6 + r], where);
        same(s["dose_mg_per_kg_bw_day"][routes[r]], c[9 + r], where);
        same(s["moe"][routes[r]], c[12 + r], where);
      }
      same(s["aggregate_moe"], c[15], where);
      same(s["aggregate_risk_index"], c[16], where);
      same(s["hazard_index"], c[17], where);
      same(s["percent_of_cpad"], c[18], where);
      same(s["lifetime_cancer_risk"], c[19], where);
      same(s["of_concern"], c[20], where);
      same(d["edwc_ug_per_l"], c[21], where);
      same(s["dwloc"], c[22], where);
      same(s["dwloc_ug_per_l"], c[23], where);
      same(s["edwc_below_dwloc"], c[24], where);
      same(s["share_percent"]["residential_dermal"], c[28], where);
      ++n;
    }
  EXPECT_EQ(n, rows.size());
  EXPECT_EQ(n, 24u * 4);
}

// A batch scenario row of command aggregate makes the single run's report
// and exports, byte for byte.
TEST_F(AggregateCli, ABatchRowIsTheSingleRun) {
  WriteFileBytes(P(NH + "/agg-scenarios.csv"),
                 "id,residue_file,command,tox_file,residential_file,water_ppb,water_foods,"
                 "scenario,durations,subgroups,adj2,cancer_limit\n"
                 "agg1,residues/DEMOFOS.R10,aggregate,tox.csv,residential.csv,"
                 "chronic=2;short-term=20,8600078001;8600079001,,,1,yes,1e-5\n"
                 "agg2,residues/DEMOFOS.R10,aggregate,tox.csv,residential.csv,,,"
                 "indoor crack and crevice,short-term,,,\n");
  const CliResult b = Run({"-C", NH, "batch", "--scenarios", S(NH + "/agg-scenarios.csv"), "--out",
                           S("out"), "--export", "json", "--no-history"});
  ASSERT_EQ(b.status, 0) << b.out << b.err;
  EXPECT_NE(b.out.find("agg1  done"), std::string::npos) << b.out;
  ASSERT_EQ(Aggregate("DEMOFOS.R10",
                      {"--residential", S(NH + "/residential.csv"), "--water-ppb", "chronic=2",
                       "--water-ppb", "short-term=20", "--water-foods", kWater, "--subgroups", "1",
                       "--adj2", "--cancer-limit", "1e-5", "--save", S("single"), "--export",
                       S("single.json"), "--no-history"})
                .status,
            0);
  EXPECT_EQ(ReadFileBytes(P("out/agg1.AG10")), ReadFileBytes(P("single.AG10")));
  EXPECT_EQ(ReadFileBytes(P("out/agg1.json")), ReadFileBytes(P("single.json")));
  ASSERT_EQ(Aggregate("DEMOFOS.R10", {"--residential", S(NH + "/residential.csv"), "--scenario",
                                      "indoor crack and crevice", "--durations", "short-term",
                                      "--save", S("single2"), "--no-history"})
                .status,
            0);
  EXPECT_EQ(ReadFileBytes(P("out/agg2.AG10")), ReadFileBytes(P("single2.AG10")));
  // The summary: a row per subgroup and duration, the duration as its
  // reference.
  const auto summary = ParseCsv(ReadFileBytes(P("out/summary.csv")));
  ASSERT_EQ(summary.size(), 1u + 4 + 24);
  EXPECT_EQ(summary[1][2], "aggregate");
  EXPECT_EQ(summary[1][8], "chronic");
  // A row whose value no option takes fails alone.
  WriteFileBytes(P(NH + "/bad.csv"),
                 "id,residue_file,command,tox_file,water_ppb\n"
                 "bad,residues/DEMOFOS.R10,aggregate,tox.csv,weekly=2\n"
                 "none,residues/DEMOFOS.R10,aggregate,,\n");
  const CliResult bad = Run(
      {"-C", NH, "batch", "--scenarios", S(NH + "/bad.csv"), "--out", S("out2"), "--no-history"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("--water-ppb takes DURATION=VALUE"), std::string::npos) << bad.out;
  EXPECT_NE(bad.out.find("the row names no toxicology file"), std::string::npos) << bad.out;
}

}  // namespace
}  // namespace ormid::test
