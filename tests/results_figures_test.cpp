// The Results windows' figures: kept from a run as it sends them, and remade
// with commodities left out. A what-if must give what a real run gives when
// those commodities carry no residue, bit for bit.
#include <gtest/gtest.h>

#include <algorithm>

#include "commodity/crop_groups.h"
#include "headroom/what_if.h"
#include "results/run_figures.h"
#include "tests/sample_run.h"

namespace ormid::test {
namespace {

// A commodity run of every subgroup (complete breakdown) on the open file.
std::unique_ptr<CommodityWhatIf> CommodityRunOf(SampleRun& run) {
  KeepingHost host;
  WindowSettings s = run.settings;
  s.chkComplete = true;
  s.chkStandard.assign(static_cast<std::size_t>(run.m.gPopCount), 1);
  const std::size_t before = run.platform.messages.size();
  EXPECT_EQ(RunThroughSession(run.m, run.platform, host, s, RunKind::Commodity).status,
            RunStatus::Done);
  EXPECT_EQ(run.platform.messages.size(), before) << run.platform.messages.back().text;
  EXPECT_FALSE(host.figures.rows.empty());
  return std::make_unique<CommodityWhatIf>(run.m, std::move(host.terms), std::move(host.figures));
}

// The long-term rows a real long-term run sends.
std::vector<ShownSubgroup> LongTermRunOf(SampleRun& run) {
  KeepingHost host;
  EXPECT_EQ(RunThroughSession(run.m, run.platform, host, run.settings, RunKind::LongTerm).status,
            RunStatus::Done)
      << (run.platform.messages.empty() ? "" : run.platform.messages.back().text);
  return host.figures.longTerm;
}

void ExpectSameSubgroups(const std::vector<ShownSubgroup>& a, const std::vector<ShownSubgroup>& b,
                         const std::string& what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const LongTermResult &x = a[i].figures, &y = b[i].figures;
    SCOPED_TRACE(what + ", row " + std::to_string(x.row));
    EXPECT_EQ(a[i].name, b[i].name);
    EXPECT_EQ(x.row, y.row);
    EXPECT_EQ(x.exposure, y.exposure);
    EXPECT_EQ(x.percentReference, y.percentReference);
    EXPECT_EQ(x.percentNoel, y.percentNoel);
    EXPECT_EQ(x.marginOfExposure, y.marginOfExposure);
    EXPECT_EQ(x.lifetimeRisk, y.lifetimeRisk);
  }
}

void ExpectSameBreakdowns(const CommodityWhatIf& a, const CommodityWhatIf& b,
                          const std::string& what) {
  ASSERT_EQ(a.BreakdownRows(), b.BreakdownRows()) << what;
  for (int row : a.BreakdownRows()) {
    SCOPED_TRACE(what + ", subgroup " + std::to_string(row));
    EXPECT_EQ(a.Total(row), b.Total(row));
    const auto x = a.Pareto(row), y = b.Pareto(row);
    ASSERT_EQ(x.size(), y.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
      EXPECT_EQ(x[i].group, y[i].group);
      EXPECT_EQ(x[i].exposure, y[i].exposure);
      EXPECT_EQ(x[i].share, y[i].share);
      const auto p = a.Items(row, x[i].group), q = b.Items(row, y[i].group);
      ASSERT_EQ(p.size(), q.size());
      for (std::size_t j = 0; j < p.size(); ++j) {
        EXPECT_EQ(p[j].exposure, q[j].exposure) << p[j].code;
        EXPECT_EQ(p[j].share, q[j].share) << p[j].code;
      }
    }
  }
}

struct Case {
  const char* sample;
  const char* residue;
  char endpoint;
};

const Case kCases[] = {
    {"csfii", "DEMOFOS.R98", 'R'},
    {"csfii", "CYCLOFOS.R98", 'N'},
    {"nhanes-2005-2010", "DEMOGRP.R10", 'Q'},
    {"nhanes-2005-2010", "DEMOFOS.R10", 'P'},
};

// A sample run; a PAD run with PADs for two subgroups, the RfD for the rest.
std::unique_ptr<SampleRun> Start(const Case& c) {
  auto run = std::make_unique<SampleRun>(c.sample, c.residue, c.endpoint);
  if (c.endpoint == 'P') {
    const auto first = static_cast<std::size_t>(run->m.gPADFirstPop);
    run->m.gPAD[first] = 0.004f;
    run->m.gPAD[first + 1] = 0.003f;
  }
  return run;
}

std::string Name(const Case& c) {
  return std::string(c.sample) + " " + c.residue + " " + c.endpoint;
}

TEST(ResultsFigures, NothingLeftOutGivesTheRunsOwnFigures) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(Name(c));
    auto started = Start(c);
    SampleRun& run = *started;
    const std::vector<ShownSubgroup> longTerm = LongTermRunOf(run);
    KeepingHost host;
    WindowSettings s = run.settings;
    s.chkComplete = true;
    s.chkStandard.assign(static_cast<std::size_t>(run.m.gPopCount), 1);
    ASSERT_EQ(RunThroughSession(run.m, run.platform, host, s, RunKind::Commodity).status,
              RunStatus::Done);
    const RunFigures sent = host.figures;
    CommodityWhatIf figures(run.m, std::move(host.terms), std::move(host.figures));

    // Every subgroup's figures are those of the long-term run.
    ExpectSameSubgroups(figures.Subgroups(), longTerm, "long-term");

    for (int row : figures.BreakdownRows()) {
      const auto bars = figures.Pareto(row);
      ASSERT_FALSE(bars.empty()) << row;
      for (std::size_t i = 0; i < bars.size(); ++i) {
        // A bar is the run's own subtotal of its crop group.
        auto subtotal = std::find_if(sent.subtotals.begin(), sent.subtotals.end(), [&](auto& t) {
          return t.row == row && t.group == bars[i].group;
        });
        ASSERT_NE(subtotal, sent.subtotals.end());
        EXPECT_EQ(bars[i].exposure, subtotal->exposure) << bars[i].code;
        if (i > 0) {
          EXPECT_GE(bars[i - 1].exposure, bars[i].exposure);
        }
        // Its foods and food forms carry the shares the run sent.
        for (const auto& item : figures.Items(row, bars[i].group)) {
          auto line = std::find_if(sent.lines.begin(), sent.lines.end(), [&](auto& l) {
            return l.row == row && l.group == bars[i].group && l.code == item.code &&
                   l.formLabel == item.formLabel;
          });
          ASSERT_NE(line, sent.lines.end()) << item.code;
          EXPECT_EQ(item.share, line->share) << item.code;
          EXPECT_EQ(item.exposure, line->exposure) << item.code;
        }
      }
      // Every food has one first crop group: the shares make up the whole.
      EXPECT_NEAR(bars.back().cumulative, 100.0, 0.01) << row;
    }
  }
}

TEST(ResultsFigures, LeavingOutMatchesARunWithoutTheCommodity) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(Name(c));
    auto started = Start(c);
    SampleRun& run = *started;
    auto figures = CommodityRunOf(run);
    // The most exposed subgroup's largest crop group, and the largest single
    // commodity of its second group.
    const int most = figures->BreakdownRows().front();
    const auto bars = figures->Pareto(most);
    ASSERT_GE(bars.size(), 2u);
    const std::vector<bool> group = FoodsOfGroup(figures->State(), bars[0].group);
    std::vector<bool> commodity(group.size(), false);
    const auto items = figures->Items(most, bars[1].group);
    const auto largest = std::max_element(items.begin(), items.end(),
                                          [](auto& a, auto& b) { return a.exposure < b.exposure; });
    ASSERT_NE(largest, items.end());
    for (const auto& g : figures->Groups())
      for (const auto& k : g.commodities)
        if (k.code == largest->code) commodity[static_cast<std::size_t>(k.food)] = true;

    for (const auto& leftOut : {group, commodity}) {
      figures->LeaveOut(leftOut);
      auto isLeftOut = [&](int f) { return leftOut[static_cast<std::size_t>(f)]; };
      // The real run: the same residue file with those foods at 0 ppm.
      auto realRun = Start(c);
      SampleRun& real = *realRun;
      real.Reopen([&](int f, int, float r) { return isLeftOut(f) ? 0.0f : r; });
      auto without = CommodityRunOf(real);
      ExpectSameSubgroups(figures->Subgroups(), without->Subgroups(), "what-if");
      ExpectSameSubgroups(figures->Subgroups(), LongTermRunOf(real), "long-term run");
      ExpectSameBreakdowns(*figures, *without, "breakdown");
      // And the figures did change.
      EXPECT_LT(figures->Total(most), CommodityRunOf(run)->Total(most));
    }
    // Ticking everything again gives the run's own figures back.
    figures->LeaveOut({});
    ExpectSameBreakdowns(*figures, *CommodityRunOf(run), "all back");
  }
}

TEST(ResultsFigures, LimitsOfTheChartedFigures) {
  struct Limit {
    ChartFigure figure;
    float value;
    bool past;
  };
  const Limit limits[] = {
      {ChartFigure::PercentReference, 99.99f, false},
      {ChartFigure::PercentReference, 100.0f, false},
      {ChartFigure::PercentReference, 100.01f, true},
      {ChartFigure::MarginOfExposure, 100.0f, false},
      {ChartFigure::MarginOfExposure, 99.9f, true},
      {ChartFigure::MarginOfExposure, 0.0f, false},
      {ChartFigure::LifetimeRisk, 1e-6f, false},
      {ChartFigure::LifetimeRisk, 1.01e-6f, true},
      {ChartFigure::LifetimeRisk, 3e-7f, false},
  };
  for (const Limit& l : limits)
    EXPECT_EQ(PastLimit(l.value, l.figure), l.past) << static_cast<int>(l.figure) << " " << l.value;
  EXPECT_EQ(ChartFigureFor(*EndpointFromCode("NP")), ChartFigure::PercentReference);
  EXPECT_EQ(ChartFigureFor(*EndpointFromCode("N")), ChartFigure::MarginOfExposure);
  EXPECT_EQ(ChartFigureFor(*EndpointFromCode("Q")), ChartFigure::LifetimeRisk);
}

}  // namespace
}  // namespace ormid::test
