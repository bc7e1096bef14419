// Headroom and what-if, checked against real long-term runs: residue files
// regenerated from the residue table with a commodity's residues scaled by
// the reported multiplier (or with commodities left out) are run as any
// residue file is, and the report as printed is read back.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <functional>
#include <optional>

#include "commodity/crop_groups.h"
#include "core/run_host.h"
#include "exposure/exposure_rows.h"
#include "exposure/exposure_terms.h"
#include "exposure/long_term_report.h"
#include "exposure/total_exposure.h"
#include "headroom/headroom.h"
#include "headroom/headroom_text.h"
#include "headroom/what_if.h"
#include "residue/residue_reader.h"
#include "setup/run_request.h"
#include "setup/startup.h"
#include "tests/installation_fixture.h"
#include "tests/sample_run.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;
namespace td = testdata;

double Number(std::string text) {
  std::string digits;
  for (char c : text)
    if (c != ' ' && c != ',' && c != '%') digits += c;
  double value = NAN;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return value;
}

// Every subgroup row's figure as the long-term report prints it: the percent
// of RfD or PAD, the margin of exposure (infinite when capped) or the
// lifetime risk; nullopt for a row without exposure.
std::vector<std::optional<double>> PrintedFigures(const std::string& report, char endpoint,
                                                  int rows) {
  const std::vector<std::string> lines = Lines(report);
  std::size_t at = 0;
  while (at < lines.size() && lines[at].rfind("--------------------------------------   ", 0) != 0)
    ++at;
  std::vector<std::optional<double>> figures(1);
  for (int k = 1; k <= rows; ++k) {
    // A name past column 42 (a PAD marker) puts the figures on a line of
    // their own, at the same columns.
    std::string line = lines.at(++at);
    if (line.size() < 50) line = lines.at(++at);
    if (line.find("o exposure") != std::string::npos ||
        line.find("o Exposure") != std::string::npos)
      figures.emplace_back();
    else if (endpoint == 'N' && line.find(">1,000,000") != std::string::npos)
      figures.emplace_back(INFINITY);
    else if (endpoint == 'N')
      figures.emplace_back(Number(line.substr(68)));
    else if (endpoint == 'Q')
      figures.emplace_back(Number(line.substr(59)));
    else
      figures.emplace_back(Number(line.substr(63)));
  }
  return figures;
}

bool Within(char endpoint, const std::optional<double>& figure, double target) {
  if (!figure) return true;
  return endpoint == 'N' ? *figure >= target : *figure <= target;
}

struct HeadroomCase {
  const char* name;
  const char* sample;
  const char* residue;
  char endpoint;
  HeadroomBy by;
  double target;
  std::vector<int> subgroups;  // empty = all
};

class HeadroomAgainstRuns : public ::testing::TestWithParam<HeadroomCase> {};

// The reported multiplier (as printed) keeps every chosen subgroup within the
// target in a real run; the next printed value puts the limiting subgroup past
// it.
TEST_P(HeadroomAgainstRuns, MultiplierIsTheLastPrintedStepWithinTheTarget) {
  const HeadroomCase& c = GetParam();
  SampleRun run(c.sample, c.residue, c.endpoint);
  if (c.endpoint == 'P') {
    run.m.gPAD[1] = 0.004f;
    run.m.gPAD[19] = 0.003f;
  }
  const ExposureTerms terms = run.Terms();
  HeadroomRequest request;
  request.by = c.by;
  request.subgroups = c.subgroups;
  request.target = {TargetKindFor(run.m.gEndpoint), c.target};
  const HeadroomTable table = ComputeHeadroom(run.m, terms, request);
  std::vector<int> chosen = table.subgroups;

  // The largest contributors and the smallest one with a multiplier.
  std::vector<const HeadroomRow*> picked;
  for (const HeadroomRow& row : table.rows)
    if (row.outcome == HeadroomOutcome::Multiplier && picked.size() < 3) picked.push_back(&row);
  for (auto it = table.rows.rbegin(); it != table.rows.rend(); ++it)
    if (it->outcome == HeadroomOutcome::Multiplier && it->share > 0) {
      picked.push_back(&*it);
      break;
    }
  ASSERT_GE(picked.size(), 2u) << HeadroomText(run.m, table);

  const ModOrmid original = run.m;
  for (const HeadroomRow* row : picked) {
    // The text read back is the multiplier the run uses.
    double printed = NAN;
    const std::string text = row->multiplier.Text();
    std::from_chars(text.data(), text.data() + text.size(), printed);
    EXPECT_EQ(printed, row->multiplier.Value()) << text;

    auto inCommodity = [&](int f, int j) {
      if (c.by == HeadroomBy::CropGroup) return FoodInGroup(original, f, row->group);
      if (c.by == HeadroomBy::Food) return f == row->food;
      return f == row->food && (row->form == 0 || j == row->form);
    };
    for (const Multiplier& mult : {row->multiplier, row->multiplier.Next()}) {
      run.m = original;
      run.Reopen([&](int f, int j, float r) {
        return inCommodity(f, j) ? ScaledResidue(r, mult.Value()) : r;
      });
      const auto figures = PrintedFigures(run.LongTermReport(), c.endpoint, run.m.gPopCount);
      if (mult.Index() == row->multiplier.Index()) {
        for (int k : chosen)
          EXPECT_TRUE(Within(c.endpoint, figures[static_cast<std::size_t>(k)], c.target))
              << row->code << " x" << mult.Text() << ": subgroup " << k << " prints "
              << figures[static_cast<std::size_t>(k)].value_or(0);
      } else {
        EXPECT_FALSE(
            Within(c.endpoint, figures[static_cast<std::size_t>(row->limitingRow)], c.target))
            << row->code << " x" << mult.Text() << ": subgroup " << row->limitingRow;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, HeadroomAgainstRuns,
    ::testing::Values(
        HeadroomCase{
            "csfii_R_cropgroup", "csfii", "DEMOFOS.R98", 'R', HeadroomBy::CropGroup, 200, {}},
        HeadroomCase{"csfii_N_food", "csfii", "DEMOFOS.R98", 'N', HeadroomBy::Food, 50, {}},
        HeadroomCase{"csfii_Q_form", "csfii", "DEMOFOS.R98", 'Q', HeadroomBy::Form, 5e-4, {}},
        HeadroomCase{"csfii_P_food_some",
                     "csfii",
                     "DEMOFOS.R98",
                     'P',
                     HeadroomBy::Food,
                     100,
                     {1, 19, 20, 25}},
        HeadroomCase{"nhanes_R_food_adults",
                     "nhanes-2005-2010",
                     "DEMOFOS.R10",
                     'R',
                     HeadroomBy::Food,
                     100,
                     {1, 2, 3}},
        HeadroomCase{"nhanes_N_cropgroup",
                     "nhanes-2005-2010",
                     "DEMOFOS.R10",
                     'N',
                     HeadroomBy::CropGroup,
                     40,
                     {}},
        HeadroomCase{"nhanes_Q_cropgroup",
                     "nhanes-2005-2010",
                     "DEMOFOS.R10",
                     'Q',
                     HeadroomBy::CropGroup,
                     1e-3,
                     {}}),
    [](const ::testing::TestParamInfo<HeadroomCase>& info) { return info.param.name; });

// The share is the commodity's exposure in the most exposed subgroup over that
// subgroup's total: a run on the commodity's foods alone gives the same
// exposure to the bit.
TEST(Headroom, ShareIsTheExposureOfARunOnTheCommodityAlone) {
  for (const auto& [sample, residue] :
       {std::pair{"csfii", "DEMOFOS.R98"}, std::pair{"nhanes-2005-2010", "DEMOFOS.R10"}}) {
    SampleRun run(sample, residue, 'R');
    const ExposureTerms terms = run.Terms();
    HeadroomRequest request;
    const HeadroomTable table = ComputeHeadroom(run.m, terms, request);
    const int column = run.m.gPopOrder[static_cast<std::size_t>(table.mostExposedRow)];
    float worst = 0;
    for (int k = 1; k <= run.m.gPopCount; ++k)
      worst = std::max(worst, run.m.gPopExposure[static_cast<std::size_t>(
                                  run.m.gPopOrder[static_cast<std::size_t>(k)])]);
    EXPECT_EQ(table.mostExposedExposure, worst) << sample;
    const ModOrmid original = run.m;
    for (std::size_t i = 0; i < 4 && i < table.rows.size(); ++i) {
      const HeadroomRow& row = table.rows[i];
      run.m = original;
      run.Reopen([](int, int, float r) { return r; },
                 [&](int f) { return FoodInGroup(original, f, row.group); });
      run.LongTermReport();
      const float alone = run.m.gPopExposure[static_cast<std::size_t>(column)];
      EXPECT_EQ(row.exposure, alone) << sample << " " << row.code;
      EXPECT_EQ(row.share,
                static_cast<float>(static_cast<double>(alone) * 100.0 / static_cast<double>(worst)))
          << sample << " " << row.code;
      if (i > 0) {
        EXPECT_LE(row.share, table.rows[i - 1].share);
      }
    }
  }
}

// Past the target without the commodity, and no exposure at all.
TEST(Headroom, SaysPastTheTargetOrUnlimitedInsteadOfAMultiplier) {
  SampleRun run("csfii", "DEMOFOS.R98", 'R');
  const ExposureTerms terms = run.Terms();
  HeadroomRequest request;
  request.by = HeadroomBy::Food;
  const HeadroomTable table = ComputeHeadroom(run.m, terms, request);
  const HeadroomRow* past = nullptr;
  const HeadroomRow* unlimited = nullptr;
  for (const HeadroomRow& row : table.rows) {
    if (row.outcome == HeadroomOutcome::PastTarget && !past) past = &row;
    if (row.outcome == HeadroomOutcome::Unlimited && !unlimited) unlimited = &row;
  }
  ASSERT_TRUE(past && unlimited);
  EXPECT_EQ(unlimited->exposure, 0.0f);
  // Without the food the subgroup it names is still past 100% of the RfD.
  const ModOrmid original = run.m;
  run.Reopen([](int, int, float r) { return r; }, [&](int f) { return f != past->food; });
  const auto figures = PrintedFigures(run.LongTermReport(), 'R', run.m.gPopCount);
  EXPECT_GT(*figures[static_cast<std::size_t>(past->limitingRow)], 100.0) << past->code;

  // The same food with only the adult subgroups chosen has a multiplier.
  run.m = original;
  request.subgroups = {20, 25};
  const HeadroomTable adults = ComputeHeadroom(run.m, terms, request);
  for (const HeadroomRow& row : adults.rows) {
    if (row.food != past->food) continue;
    EXPECT_EQ(row.outcome, HeadroomOutcome::Multiplier);
    EXPECT_TRUE(row.limitingRow == 20 || row.limitingRow == 25) << row.limitingRow;
  }
  const std::string text = HeadroomText(run.m, table);
  EXPECT_NE(text.find("past the target without it"), std::string::npos);
  EXPECT_NE(text.find("unlimited"), std::string::npos);
  EXPECT_NE(text.find("Most exposed subgroup: Children 1-2 yrs (0.009047 mg/kg bw/day, 180.9% of "
                      "the RfD)"),
            std::string::npos)
      << text;
}

TEST(Multiplier, PrintsFourSignificantDigitsAndStepsByTheLast) {
  struct Case {
    int digits, exponent;
    const char* text;
    const char* next;
  };
  for (const Case& c :
       {Case{3271, -3, "3.271", "3.272"}, Case{9999, -3, "9.999", "10.00"},
        Case{1000, -3, "1.000", "1.001"}, Case{4500, -7, "0.0004500", "0.0004501"},
        Case{1234, 0, "1234", "1235"}, Case{9999, 3, "9999000", "1.000E+07"},
        Case{1500, 5, "1.500E+08", "1.501E+08"}, Case{9999, -8, "9.999E-05", "0.0001000"}}) {
    const Multiplier m{c.digits, c.exponent};
    EXPECT_EQ(m.Text(), c.text);
    EXPECT_EQ(m.Next().Text(), c.next);
    EXPECT_EQ(Multiplier::FromIndex(m.Index()).Text(), c.text);
    EXPECT_EQ(m.Value(), std::stod(c.text)) << c.text;
    // Rounded down: the value itself and anything below the next step.
    EXPECT_EQ(Multiplier::FloorOf(m.Value()).Text(), c.text);
    EXPECT_EQ(Multiplier::FloorOf(std::nextafter(m.Next().Value(), 0.0)).Text(), c.text);
  }
}

// A maximum residue prints rounded down, so that the residue typed from the
// table never exceeds the one the multiplier gives.
TEST(Multiplier, MaximumResiduesPrintRoundedDown) {
  struct Case {
    float residue;
    const char* text;
  };
  for (const Case& c : {Case{0.21047999f, "0.2104"}, Case{0.941f, "0.9409"}, Case{1.0f, "1.000"},
                        Case{1234.5f, "1234"}, Case{0.0f, "0"}}) {
    EXPECT_EQ(MaxResidueText(c.residue), c.text) << c.residue;
    if (c.residue > 0) {
      EXPECT_LE(std::stof(c.text), c.residue);
    }
  }
}

// The search for the largest multiplier within the target finds it from any
// start estimate: below it, on it, one step past it, far past it, at either
// end of the range.
TEST(Headroom, TheSearchFindsTheLimitFromAnyStart) {
  for (std::int64_t limit : {0, 1, 7, 500, 998, 999}) {
    for (std::int64_t start : {std::int64_t{-5}, std::int64_t{0}, limit - 1, limit, limit + 1,
                               limit + 2, std::int64_t{999}, std::int64_t{2000}}) {
      std::int64_t found = -1;
      ASSERT_TRUE(LargestIndexWithin(
          0, 1000, start, [&](std::int64_t i) { return i <= limit; }, found))
          << limit << " from " << start;
      EXPECT_EQ(found, limit) << "from " << start;
    }
  }
  std::int64_t found = -1;
  EXPECT_FALSE(LargestIndexWithin(
      0, 1000, 3, [](std::int64_t) { return true; }, found));
  EXPECT_FALSE(LargestIndexWithin(
      0, 1000, 3, [](std::int64_t) { return false; }, found));
}

// A margin of exposure above a million prints as ">1,000,000": it is within
// a target of a million exactly, and past any larger one.
TEST(Headroom, ACappedMarginIsWithinAMillion) {
  ModOrmid m;
  m.gNOEL = 1;
  const float e = 1e-7f;  // margin 10,000,000
  EXPECT_TRUE(WithinTarget(m, {TargetKind::Moe, 1000000}, 1, e));
  EXPECT_TRUE(WithinTarget(m, {TargetKind::Moe, 999999}, 1, e));
  EXPECT_FALSE(WithinTarget(m, {TargetKind::Moe, 1000001}, 1, e));
}

TEST(Headroom, TargetsFollowTheEndpoint) {
  EXPECT_EQ(TargetKindFor(*EndpointFromCode("R")), TargetKind::PercentRef);
  EXPECT_EQ(TargetKindFor(*EndpointFromCode("NP")), TargetKind::PercentRef);
  EXPECT_EQ(TargetKindFor(*EndpointFromCode("N")), TargetKind::Moe);
  EXPECT_EQ(TargetKindFor(*EndpointFromCode("Q")), TargetKind::Risk);
  EXPECT_EQ(DefaultTargetValue(TargetKind::PercentRef), 100);
  EXPECT_EQ(DefaultTargetValue(TargetKind::Moe), 100);
  EXPECT_EQ(DefaultTargetValue(TargetKind::Risk), 1e-6);
  EXPECT_EQ(TargetText({TargetKind::Risk, 1e-6}), "a lifetime risk of at most 1.00E-06");
  EXPECT_EQ(TargetText({TargetKind::Moe, 100}), "a margin of exposure of at least 100");
}

// --- What-if ---

// Totals made again from the terms equal the run's, and leaving commodities
// out equals a run on a residue file without them, figure for figure.
TEST(WhatIf, MatchesARunWithoutTheExcludedCommodities) {
  struct Case {
    const char* sample;
    const char* residue;
    char endpoint;
    bool adj2;
    std::vector<std::string> codes;
  };
  for (const Case& c : {Case{"csfii", "DEMOFOS.R98", 'R', false, {"10", "01000601"}},
                        Case{"csfii", "DEMOFOS.R98", 'N', true, {"1A", "95"}},
                        Case{"nhanes-2005-2010", "DEMOFOS.R10", 'Q', true, {"3A", "11"}},
                        Case{"nhanes-2005-2010", "DEMOFOS.R10", 'R', false, {"1", "0100006001"}}}) {
    SampleRun run(c.sample, c.residue, c.endpoint);
    run.settings.chkSecondAdj = c.adj2;
    const ExposureTerms terms = run.Terms();
    EXPECT_EQ(TotalsWithout(run.m, terms, {}), run.m.gPopExposure) << c.sample;

    Exclusion exclusion;
    std::string unknown;
    ASSERT_TRUE(ResolveExclusion(run.m, c.codes, exclusion, unknown)) << unknown;
    int excluded = 0;
    for (int f = 1; f <= run.m.gResFoodCount; ++f) excluded += exclusion.Excludes(f) ? 1 : 0;
    EXPECT_GT(excluded, 1) << c.sample;
    const WhatIfFigures whatIf = WhatIf(run.m, terms, exclusion.foods);
    EXPECT_NE(whatIf.popExposure, run.m.gPopExposure);

    run.Reopen([](int, int, float r) { return r; }, [&](int f) { return !exclusion.Excludes(f); });
    run.LongTermReport();
    EXPECT_EQ(whatIf.popExposure, run.m.gPopExposure) << c.sample << " " << c.endpoint;
    const ExposureTable real = BuildExposureRows(run.m);
    ASSERT_EQ(whatIf.table.rows.size(), real.rows.size());
    for (std::size_t k = 0; k < real.rows.size(); ++k) {
      EXPECT_EQ(whatIf.table.rows[k].percentRef, real.rows[k].percentRef);
      EXPECT_EQ(whatIf.table.rows[k].moe, real.rows[k].moe);
      EXPECT_EQ(whatIf.table.rows[k].risk, real.rows[k].risk);
      EXPECT_EQ(whatIf.table.rows[k].noExposure, real.rows[k].noExposure);
    }
  }
}

TEST(WhatIf, ResolvesCropGroupAndCommodityCodes) {
  SampleRun run("nhanes-2005-2010", "DEMOFOS.R10", 'R');
  struct Case {
    std::vector<std::string> codes;
    bool known;
    std::string unknown;
  };
  for (const Case& c : {Case{{"1a"}, true, ""}, Case{{"86"}, true, ""},
                        Case{{"0100005001"}, true, ""},  // written with nine digits in the file
                        Case{{"10", "99"}, false, "99"}, Case{{"0199999999"}, false, "0199999999"},
                        Case{{}, true, ""}}) {
    Exclusion exclusion;
    std::string unknown;
    EXPECT_EQ(ResolveExclusion(run.m, c.codes, exclusion, unknown), c.known);
    EXPECT_EQ(unknown, c.unknown);
  }
  // Crop group codes: the list's number, or the main group's and a letter.
  ClassifyCropGroups(run.m);
  EXPECT_EQ(CropGroupCode(run.m, 1), "95");
  EXPECT_EQ(CropGroupCode(run.m, 3), "1A");
  EXPECT_EQ(CropGroupCode(run.m, 9), "3B");
  EXPECT_EQ(CropGroupCode(run.m, 82), "86B");
}

TEST(WhatIf, ExclusionNoteStaysWithinTheCommentLine) {
  auto with = [](std::vector<std::string> codes) {
    Exclusion e;
    e.codes = std::move(codes);
    return e;
  };
  const std::string longComment = "Demofos, tolerance and monitoring residues, %CT applied";
  std::vector<std::string> many;
  for (int i = 0; i < 12; ++i) many.push_back("0100060" + std::to_string(i % 10));
  struct Case {
    std::string comment;
    Exclusion exclusion;
    std::string expected;
  };
  for (const Case& c :
       {Case{"Week 1", with({}), "Week 1"}, Case{"", with({"10"}), "(excluded: 10)"},
        Case{"Week 1", with({"10", "01000601"}), "Week 1 (excluded: 10, 01000601)"},
        Case{longComment, with({"10", "01000601"}),
             "Demofos, tolerance and monitoring residu... (excluded: 10, 01000601)"},
        Case{"", with(many), "(excluded: 01000600, 01000601, 01000602, 01000603 and 8 more)"}}) {
    const std::string comment = CommentWithExclusion(c.comment, c.exclusion);
    EXPECT_EQ(comment, c.expected);
    EXPECT_LE(11 + comment.size(), 79u) << comment;
  }
  EXPECT_EQ(SplitCodes(" 10, ,01000601 ,"), (std::vector<std::string>{"10", "01000601"}));
  EXPECT_TRUE(SplitCodes("").empty());
}

}  // namespace
}  // namespace ormid::test
