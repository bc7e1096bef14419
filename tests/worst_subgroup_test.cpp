// The worst subgroup: one rule, and every window and listing that names a
// run's worst subgroup names the same one.
#include <gtest/gtest.h>

#include <cstdlib>

#include "batch/batch_run.h"
#include "core/worst_subgroup.h"
#include "results/run_figures.h"
#include "tests/cli_runner.h"
#include "tests/sample_run.h"

namespace ormid::test {
namespace {

// The percent of the reference dose decides where there is one, then the
// lowest margin of exposure, then the highest risk, then the exposure;
// rows without a figure of the family that decides are passed over, and of
// equals the first wins.
TEST(WorstSubgroup, OneFamilyAfterTheOther) {
  using S = SubgroupStanding;
  EXPECT_EQ(WorstSubgroup(std::vector<SubgroupStanding>{}), -1);
  EXPECT_EQ(WorstSubgroup({S{9, {}, 10, {}}, S{1, 150, {}, {}}, S{2, 120, {}, {}}}), 1);
  EXPECT_EQ(WorstSubgroup({S{1, 50, {}, {}}, S{0, {}, {}, {}}, S{2, 50, {}, {}}}), 0);
  EXPECT_EQ(WorstSubgroup({S{1, {}, 500, {}}, S{3, {}, 90, {}}, S{0, {}, {}, {}}}), 1);
  EXPECT_EQ(WorstSubgroup({S{1, {}, {}, 1e-6f}, S{3, {}, {}, 2e-6f}, S{5, {}, {}, {}}}), 1);
  EXPECT_EQ(WorstSubgroup({S{1, {}, {}, {}}, S{3, {}, {}, {}}, S{3, {}, {}, {}}}), 1);
}

// The first subgroup can be the worst: the batch and the headroom table name
// it as any other.
TEST(WorstSubgroup, TheFirstSubgroupCanBeTheWorst) {
  ScenarioOutcome o;
  LongTermResult first, second;
  first.row = 1;
  first.subgroup = "U.S. Population (total)";
  first.exposure = 0.002f;
  first.percentReference = 120.0f;
  second.row = 2;
  second.subgroup = "Infants";
  second.exposure = 0.003f;
  second.percentReference = 60.0f;
  o.subgroups = {SubgroupFigures(first), SubgroupFigures(second)};
  ASSERT_EQ(WorstSubgroup(o), &o.subgroups[0]);

  SampleRun run("csfii", "DEMOFOS.R98", 'R');
  const std::string dir = run.dir.str();
  const CliResult r = RunCliIn(
      run.dir.path().parent_path(),
      {"-C", dir, "headroom", dir + "/residues/DEMOFOS.R98", "--rfd", "--subgroups", "27"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Most exposed subgroup: Children 1-2 yrs ("), std::string::npos) << r.out;
}

// A PAD run where the subgroup with the highest exposure (Children 1-2) is
// not the one furthest past its reference dose (Children 1-6, with a PAD a
// fifth of the RfD): the Results window, the headroom table, the run
// history and the batch all name Children 1-6.
TEST(WorstSubgroup, TheSameSubgroupEverywhere) {
  ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
  SampleRun run("csfii", "DEMOFOS.R98", 'P');
  const std::string pad = "17=0.001";
  run.m.gPAD[17] = 0.001f;
  KeepingHost host;
  ASSERT_EQ(RunThroughSession(run.m, run.platform, host, run.settings, RunKind::LongTerm).status,
            RunStatus::Done);
  const auto& rows = host.figures.longTerm;
  const int worst = MostExposed(rows);
  ASSERT_GE(worst, 0);
  EXPECT_EQ(rows[static_cast<std::size_t>(worst)].figures.row, 17);
  int highest = 0;
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i].figures.exposure > rows[static_cast<std::size_t>(highest)].figures.exposure)
      highest = static_cast<int>(i);
  EXPECT_NE(rows[static_cast<std::size_t>(highest)].figures.row, 17);
  const std::string name = rows[static_cast<std::size_t>(worst)].name;

  const auto folder = run.dir.path().parent_path();
  const std::string dir = run.dir.str(), residue = dir + "/residues/DEMOFOS.R98";
  const CliResult headroom =
      RunCliIn(folder, {"-C", dir, "headroom", residue, "--pad", "--pad-value", pad});
  ASSERT_EQ(headroom.status, 0) << headroom.err;
  EXPECT_NE(headroom.out.find("Most exposed subgroup: " + name + " ("), std::string::npos)
      << headroom.out;

  ASSERT_EQ(RunCliIn(folder, {"-C", dir, "longterm", residue, "--pad", "--pad-value", pad}).status,
            0);
  const CliResult list = RunCliIn(folder, {"-C", dir, "history"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find(name + "  "), std::string::npos) << list.out;

  const CliResult batch = RunCliIn(folder, {"-C", dir, "batch", residue, "--pad", "--pad-value",
                                            pad, "--out", dir + "/out", "--no-history"});
  ASSERT_EQ(batch.status, 0) << batch.err;
  EXPECT_NE(batch.out.find("worst: " + name + " (row 17)"), std::string::npos) << batch.out;
  ::unsetenv("SOURCE_DATE_EPOCH");
}

}  // namespace
}  // namespace ormid::test
