// The residue build's rules on a small generated installation: every value a
// sample is given, the zeros for the crop not treated, the factors, the
// bounds and the translation to foods and food forms, each against the
// arithmetic done by hand; and the problems of the samples and rules files,
// each on its line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "residue_build/residue_build.h"
#include "residue_table/residue_table.h"
#include "tests/installation_fixture.h"

namespace ormid::test {
namespace {

// Six APPLES samples: two detects, three non-detects with their own limits
// (one marked "no", two by an empty result), one not quantified; PLUMS,
// which no rule names.
const char* const kApples =
    "commodity,sample_id,result_ppm,lod_ppm,loq_ppm,detected\n"
    "APPLES,A1,0.12,0.01,0.03,\n"
    "APPLES,A2,,0.01,0.03,no\n"
    "APPLES,A3,,0.02,0.05,\n"
    "APPLES,A4,,0.01,0.03,nq\n"
    "APPLES,A5,0.4,0.01,0.03,yes\n"
    "APPLES,A6,,0.04,0.1,no\n"
    "PLUMS,P1,0.3,0.01,,\n";

// Ten PEARS samples: two detects and eight non-detects whose LODs tie
// (four at 0.01, two at 0.02).
const char* const kPears =
    "PEARS,R1,0.2,0.01,,\n"
    "PEARS,R2,,0.02,,\n"
    "PEARS,R3,,0.01,,\n"
    "PEARS,R4,,0.01,,\n"
    "PEARS,R5,,0.03,,\n"
    "PEARS,R6,0.3,0.01,,\n"
    "PEARS,R7,,0.01,,\n"
    "PEARS,R8,,0.02,,\n"
    "PEARS,R9,,0.05,,\n"
    "PEARS,R10,,0.01,,\n";

class ResidueBuildRules : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(inst_.started);
    std::string error;
    ASSERT_TRUE(LoadMasterFoods(inst_.m, foods_, error)) << error;
    s_.samples = s_.samplesShown = "samples.csv";
    s_.rules = s_.rulesShown = "rules.csv";
    s_.output = "out.R98";
    s_.chemical = "Testazole";
  }

  ResidueBuild Build(const std::string& samples, const std::string& rules) {
    BuildInputs in;
    BuildProblems problems;
    const bool read = ReadBuildInputText(inst_.m, foods_, s_, samples, rules, in, problems);
    std::string shown;
    for (const std::string& line : problems.lines) shown += line + "\n";
    EXPECT_TRUE(read) << shown;
    return ComputeResidueBuild(inst_.m, foods_, in, s_, "12-05-2026");
  }

  // The problems of both files, or none when they are read.
  std::vector<std::string> Problems(const std::string& samples, const std::string& rules) {
    BuildInputs in;
    BuildProblems problems;
    const bool read = ReadBuildInputText(inst_.m, foods_, s_, samples, rules, in, problems);
    EXPECT_EQ(read, problems.lines.empty());
    EXPECT_EQ(problems.count, problems.lines.size());
    return problems.lines;
  }

  // The row of a food (form 0: the food's own entry) under a bound.
  static const BuildRow& RowOf(const ResidueBuild& b, int food, int form = 0,
                               Bound bound = Bound::Middle) {
    for (const BuildRow& r : b.rows)
      if (r.bound == bound && r.food == food && r.form.value_or(0) == form) return r;
    ADD_FAILURE() << "no row of food " << food << " form " << form;
    static const BuildRow none;
    return none;
  }

  StartedInstallation inst_{SmallInstallation(0)};
  MasterFoods foods_;
  ResidueBuildSettings s_;
};

const char* const kAppleRule =
    "commodity,food_code,food_form,processing_factor,percent_crop_treated,note\n"
    "APPLES,01010000,,,,\n";

TEST_F(ResidueBuildRules, EachNonDetectRuleTakesTheSamplesOwnLimits) {
  // The detects and the not-quantified result at half its LOQ stay; the
  // three non-detects (LOD 0.01, 0.02, 0.04; LOQ 0.03, 0.05, 0.1) change.
  const double fixed = 0.12 + 0.4 + 0.03 / 2;
  const struct {
    NonDetectRule rule;
    double nonDetects;  // the three values added up
    double low, high;   // the lowest and highest of them
  } cases[] = {
      {NonDetectRule::Zero, 0, 0, 0},
      {NonDetectRule::HalfLod, 0.01 / 2 + 0.02 / 2 + 0.04 / 2, 0.005, 0.02},
      {NonDetectRule::Lod, 0.01 + 0.02 + 0.04, 0.01, 0.04},
      {NonDetectRule::HalfLoq, 0.03 / 2 + 0.05 / 2 + 0.1 / 2, 0.015, 0.05},
      {NonDetectRule::Loq, 0.03 + 0.05 + 0.1, 0.03, 0.1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(OptionText(c.rule));
    s_.nonDetects = c.rule;
    const ResidueBuild b = Build(kApples, kAppleRule);
    const BuildRow& r = RowOf(b, 1);
    EXPECT_EQ(r.samples, 6);
    EXPECT_EQ(r.detected, 2);
    EXPECT_EQ(r.notQuantified, 1);
    EXPECT_EQ(r.nonDetects, 3);
    EXPECT_EQ(r.zeros, 0);
    const double mean = (fixed + c.nonDetects) / 6;
    EXPECT_DOUBLE_EQ(r.mean, mean);
    EXPECT_EQ(r.residue, static_cast<float>(mean));
    ASSERT_TRUE(r.nonDetectLow && r.nonDetectHigh);
    EXPECT_DOUBLE_EQ(*r.nonDetectLow, c.low);
    EXPECT_DOUBLE_EQ(*r.nonDetectHigh, c.high);
    // The file holds what the row says.
    ASSERT_EQ(b.files.size(), 1u);
    ASSERT_EQ(b.files[0].foods.size(), 1u);
    EXPECT_EQ(b.files[0].foods[0].code, "01010000");
    EXPECT_EQ(b.files[0].foods[0].residue, r.residue);
  }
}

TEST_F(ResidueBuildRules, EachNotQuantifiedRule) {
  // A4: LOD 0.01, LOQ 0.03; the non-detects at half their LOD.
  const double fixed = 0.12 + 0.4 + 0.01 / 2 + 0.02 / 2 + 0.04 / 2;
  const struct {
    NotQuantifiedRule rule;
    double value;
  } cases[] = {
      {NotQuantifiedRule::HalfLoq, 0.015},
      {NotQuantifiedRule::Loq, 0.03},
      {NotQuantifiedRule::LodPlusHalf, 0.01 + (0.03 - 0.01) / 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(OptionText(c.rule));
    s_.notQuantified = c.rule;
    const ResidueBuild b = Build(kApples, kAppleRule);
    EXPECT_DOUBLE_EQ(RowOf(b, 1).mean, (fixed + c.value) / 6);
  }
}

TEST_F(ResidueBuildRules, TheBoundsAndTheirOrder) {
  s_.bound = BoundChoice::All;
  // PLUMS has no LOQ: its upper bound takes the LOD.
  const std::string rules = std::string(kAppleRule) + "PLUMS,05050000,,,,\n";
  const std::string samples = std::string(kApples) + "PLUMS,P2,,0.02,,\n";
  const ResidueBuild b = Build(samples, rules);
  ASSERT_EQ(b.files.size(), 3u);
  EXPECT_EQ(b.files[0].chemical, "Testazole-lower");
  EXPECT_EQ(b.files[1].chemical, "Testazole-middle");
  EXPECT_EQ(b.files[2].chemical, "Testazole-upper");
  EXPECT_EQ(ResidueFileOfBound(s_, Bound::Upper), "out-upper.R98");

  // Lower: the non-detects and the not quantified as 0.
  EXPECT_DOUBLE_EQ(RowOf(b, 1, 0, Bound::Lower).mean, (0.12 + 0.4) / 6);
  EXPECT_DOUBLE_EQ(RowOf(b, 1, 0, Bound::Middle).mean,
                   (0.12 + 0.4 + 0.015 + 0.005 + 0.01 + 0.02) / 6);
  // Upper: the non-detects at their LOQ, the not quantified at its LOQ.
  EXPECT_DOUBLE_EQ(RowOf(b, 1, 0, Bound::Upper).mean, (0.12 + 0.4 + 0.03 + 0.03 + 0.05 + 0.1) / 6);
  EXPECT_DOUBLE_EQ(RowOf(b, 5, 0, Bound::Lower).mean, 0.3 / 2);
  EXPECT_DOUBLE_EQ(RowOf(b, 5, 0, Bound::Middle).mean, (0.3 + 0.01) / 2);
  EXPECT_DOUBLE_EQ(RowOf(b, 5, 0, Bound::Upper).mean, (0.3 + 0.02) / 2);

  for (const BuildRow& r : b.rows) {
    if (r.bound != Bound::Middle) continue;
    const int form = r.form.value_or(0);
    EXPECT_LE(RowOf(b, r.food, form, Bound::Lower).residue, r.residue);
    EXPECT_LE(r.residue, RowOf(b, r.food, form, Bound::Upper).residue);
  }
}

TEST_F(ResidueBuildRules, TheCropNotTreatedAsZerosOfTheLowestLimits) {
  // One commodity, four foods, four percents: (100 - PCT) x 10 / 100 of the
  // eight non-detects are zeros, halves up, at most eight.
  const std::string samples = "commodity,sample_id,result_ppm,lod_ppm\n" + std::string(kPears);
  const std::string rules =
      "commodity,food_code,percent_crop_treated\n"
      "PEARS,01010000,75\n"  // 2.5 -> 3 zeros
      "pears,04040000,65\n"  // 3.5 -> 4
      "PEARS,05050000,85\n"  // 1.5 -> 2
      "Pears,06060000,0\n";  // 10 -> the 8 non-detects
  const ResidueBuild b = Build(samples, rules);
  const double detects = 0.2 + 0.3;
  const struct {
    int food, zeros;
    double nonDetects, low, high;
  } cases[] = {
      // Three of the four at 0.01 are zeros; the fourth counts.
      {1, 3, (0.01 + 0.02 + 0.03 + 0.02 + 0.05) / 2, 0.005, 0.025},
      {4, 4, (0.02 + 0.03 + 0.02 + 0.05) / 2, 0.01, 0.025},
      {5, 2, (0.02 + 0.01 + 0.03 + 0.02 + 0.05 + 0.01) / 2, 0.005, 0.025},
      {6, 8, 0, -1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.food);
    const BuildRow& r = RowOf(b, c.food);
    EXPECT_EQ(r.zeros, c.zeros);
    EXPECT_DOUBLE_EQ(r.mean, (detects + c.nonDetects) / 10);
    EXPECT_EQ(r.adj2, 1.0f);
    if (c.low < 0) {
      EXPECT_FALSE(r.nonDetectLow);
    } else {
      ASSERT_TRUE(r.nonDetectLow && r.nonDetectHigh);
      EXPECT_DOUBLE_EQ(*r.nonDetectLow, c.low);
      EXPECT_DOUBLE_EQ(*r.nonDetectHigh, c.high);
    }
  }
  EXPECT_EQ(CropTreatedZeros(50, 7, 7), 4);   // 3.5 -> 4
  EXPECT_EQ(CropTreatedZeros(95, 10, 3), 1);  // 0.5 -> 1
  EXPECT_EQ(CropTreatedZeros(96, 10, 3), 0);  // 0.4 -> 0
  EXPECT_EQ(CropTreatedZeros(100, 10, 3), 0);
  EXPECT_EQ(CropTreatedZeros(10, 10, 3), 3);  // 9, at most the non-detects

  // The upper bound zeros the lowest of the limits it uses.
  s_.bound = BoundChoice::Upper;
  EXPECT_DOUBLE_EQ(RowOf(Build(samples, rules), 1, 0, Bound::Upper).mean,
                   (detects + 0.01 + 0.02 + 0.03 + 0.02 + 0.05) / 10);
}

TEST_F(ResidueBuildRules, TheCropTreatedAsAFactor) {
  s_.cropTreated = CropTreatedRule::Factor;
  const std::string samples = "commodity,sample_id,result_ppm,lod_ppm\n" + std::string(kPears);
  const ResidueBuild b = Build(samples,
                               "commodity,food_code,percent_crop_treated\n"
                               "PEARS,01010000,75\nPEARS,05050000,\n");
  // Every non-detect at half its LOD, none a zero; the share treated is
  // adjustment factor #2.
  const double all = (0.02 + 0.01 + 0.01 + 0.03 + 0.01 + 0.02 + 0.05 + 0.01) / 2;
  for (const int food : {1, 5}) {
    const BuildRow& r = RowOf(b, food);
    EXPECT_EQ(r.zeros, 0);
    EXPECT_DOUBLE_EQ(r.mean, (0.2 + 0.3 + all) / 10);
  }
  EXPECT_EQ(RowOf(b, 1).adj2, 0.75f);
  EXPECT_EQ(RowOf(b, 5).adj2, 1.0f);  // 100 unless the rule says
  EXPECT_EQ(b.files[0].foods[0].adj2, 0.75f);
}

TEST_F(ResidueBuildRules, ProcessingFactorsPerFormAndOneCommodityForManyFoods) {
  const std::string samples = std::string(kApples) + kPears;
  const std::string rules =
      "commodity,food_code,food_form,processing_factor,percent_crop_treated,note\n"
      "APPLES,01010000,,,,raw\n"
      "APPLES,05050000,,2.5,,as lettuce\n"
      "PEARS,02020000,,1.5,75,carrot\n"
      "PEARS,02020000,120,0.5,65,cooked\n"
      "APPLES,03030000,210,0.25,,\n";
  const ResidueBuild b = Build(samples, rules);
  const double apples = (0.12 + 0.4 + 0.015 + 0.005 + 0.01 + 0.02) / 6;

  // One commodity, two foods: one mean, each with its factor, which is
  // written as adjustment factor #1 and not multiplied in.
  EXPECT_DOUBLE_EQ(RowOf(b, 1).mean, apples);
  EXPECT_DOUBLE_EQ(RowOf(b, 5).mean, apples);
  EXPECT_EQ(RowOf(b, 5).residue, static_cast<float>(apples));
  EXPECT_EQ(RowOf(b, 1).adj1, 1.0f);
  EXPECT_EQ(RowOf(b, 5).adj1, 2.5f);
  EXPECT_EQ(RowOf(b, 5).note, "as lettuce");

  // The carrot: forms 110 and 130 by the food's rule, 120 by its own.
  const double pears75 = (0.5 + (0.01 + 0.02 + 0.03 + 0.02 + 0.05) / 2) / 10;
  const double pears65 = (0.5 + (0.02 + 0.03 + 0.02 + 0.05) / 2) / 10;
  for (const int form : {110, 130}) {
    const BuildRow& r = RowOf(b, 2, form);
    EXPECT_TRUE(r.fromFoodRule);
    EXPECT_DOUBLE_EQ(r.mean, pears75);
    EXPECT_EQ(r.adj1, 1.5f);
    EXPECT_EQ(r.ruleLine, 4);
  }
  EXPECT_FALSE(RowOf(b, 2, 120).fromFoodRule);
  EXPECT_DOUBLE_EQ(RowOf(b, 2, 120).mean, pears65);
  EXPECT_EQ(RowOf(b, 2, 120).adj1, 0.5f);
  EXPECT_EQ(RowOf(b, 2, 120).ruleLine, 5);

  // The wheat: only its form 210 is named; the food's own entry holds it.
  EXPECT_FALSE(RowOf(b, 3).rule);
  EXPECT_EQ(RowOf(b, 3).residue, 0.0f);
  EXPECT_EQ(RowOf(b, 3, 210).adj1, 0.25f);
  EXPECT_EQ(std::count_if(b.rows.begin(), b.rows.end(),
                          [](const BuildRow& r) { return r.food == 3 && r.form == 200; }),
            0);

  // The file: foods in master order, forms in the food's master order.
  const ResidueFile& f = b.files[0];
  ASSERT_EQ(f.foods.size(), 4u);
  EXPECT_EQ(f.foods[0].code, "01010000");
  EXPECT_EQ(f.foods[1].code, "02020000");
  ASSERT_EQ(f.foods[1].forms.size(), 3u);
  EXPECT_EQ(f.foods[1].forms[0].code, 110);
  EXPECT_EQ(f.foods[1].forms[1].code, 120);
  EXPECT_EQ(f.foods[1].forms[1].adj1, 0.5f);
  EXPECT_EQ(f.foods[1].forms[1].residue, static_cast<float>(pears65));
  EXPECT_EQ(f.foods[1].forms[1].comment, "cooked");
  ASSERT_EQ(f.foods[2].forms.size(), 1u);
  EXPECT_EQ(f.foods[2].forms[0].code, 210);
  EXPECT_EQ(f.foods[3].code, "05050000");

  // What is left out, listed.
  ASSERT_EQ(b.unruled.size(), 1u);
  EXPECT_EQ(b.unruled[0].commodity, "PLUMS");
  EXPECT_EQ(b.unruled[0].samples, 1);
  ASSERT_EQ(b.noData.size(), 2u);
  EXPECT_EQ(b.noData[0].code, "04040000");
  EXPECT_EQ(b.noData[1].code, "06060000");
}

TEST_F(ResidueBuildRules, SemicolonsDecimalCommasAndAByteOrderMark) {
  std::string semicolons = "\xEF\xBB\xBF";
  for (char c : std::string(kApples)) semicolons += c == ',' ? ';' : c == '.' ? ',' : c;
  const ResidueBuild comma = Build(kApples, kAppleRule);
  const ResidueBuild semi = Build(semicolons,
                                  "\xEF\xBB\xBF"
                                  "commodity;food_code\nAPPLES;1010000\n");
  EXPECT_EQ(RowOf(semi, 1).mean, RowOf(comma, 1).mean);
  EXPECT_EQ(RowOf(semi, 1).residue, RowOf(comma, 1).residue);
}

TEST_F(ResidueBuildRules, EveryProblemOfTheSamplesOnItsLine) {
  const std::string head = "commodity,sample_id,result_ppm,lod_ppm,loq_ppm,detected\n";
  EXPECT_EQ(Problems(head + "APPLES,A1,0.1,0.01,0.03,no\n"       // 2
                            "APPLES,A2,-0.1,0.01,,\n"            // 3
                            "APPLES,A3,abc,0.01,,\n"             // 4
                            "APPLES,A4,inf,0.01,,\n"             // 5
                            "APPLES,A5,,,0.03,\n"                // 6
                            "APPLES,A6,,0.01,,nq\n"              // 7
                            "APPLES,A1,0.2,0.01,,\n"             // 8
                            "APPLES,A8,0.2,0.01,,maybe\n"        // 9
                            "APPLES,A9,,0.05,0.03,\n"            // 10
                            ",A10,0.1,0.01,,\n"                  // 11
                            "APPLES,A11,nan,0.01,,yes,extra\n",  // 12
                     kAppleRule),
            (std::vector<std::string>{
                "samples.csv:2: sample \"A1\" of \"APPLES\" has a result_ppm but is marked no "
                "(not detected): leave the result empty",
                "samples.csv:3: result_ppm -0.1 is negative",
                "samples.csv:4: result_ppm \"abc\" is not a number",
                "samples.csv:5: result_ppm \"inf\" is not a finite number",
                "samples.csv:6: sample \"A5\" of \"APPLES\" is a non-detect without its LOD, "
                "which --non-detects half-lod needs",
                "samples.csv:7: sample \"A6\" of \"APPLES\" is not quantified (nq) and has no "
                "LOQ, which --not-quantified half-loq needs",
                "samples.csv:8: sample \"A1\" of \"APPLES\" is already on line 2",
                "samples.csv:9: detected \"maybe\" is not yes, no or nq",
                "samples.csv:10: the LOQ 0.03 is below the LOD 0.05",
                "samples.csv:11: the commodity is empty",
                "samples.csv:12: a value in column 7, which has no heading",
                "samples.csv:12: result_ppm \"nan\" is not a finite number",
            }));
  EXPECT_EQ(Problems("commodity,sample,result_ppm\nAPPLES,A1,0.1\n", kAppleRule),
            (std::vector<std::string>{
                "samples.csv:1: unknown column \"sample\"",
                "samples.csv:1: the column sample_id is missing",
                "samples.csv:1: the column lod_ppm is missing",
                // The rules cannot be checked against samples not read.
                "rules.csv:2: commodity \"APPLES\" has no samples in samples.csv",
            }));
  EXPECT_EQ(Problems("", kAppleRule).front(),
            "samples.csv:1: the samples file is empty; its first row names the columns "
            "(commodity, sample_id, result_ppm, lod_ppm, loq_ppm, detected)");
  EXPECT_EQ(Problems(head + "\n,,,,,\n", kAppleRule).front(),
            "samples.csv:1: the samples file has no samples below its column headings");
  // A file that is not text.
  const std::vector<std::string> binary =
      Problems(head + "APPLES,A1,0.1,0.01,,\n\xff\xfe\x00\x01,x\n", kAppleRule);
  ASSERT_FALSE(binary.empty());
  EXPECT_TRUE(binary.front().starts_with("samples.csv:3: ")) << binary.front();

  // The upper bound needs a limit for every non-detect, and the LOQ of
  // every result not quantified.
  s_.nonDetects = NonDetectRule::Zero;
  EXPECT_TRUE(Problems(head + "APPLES,A1,,,,\n", kAppleRule).empty());
  s_.bound = BoundChoice::Upper;
  EXPECT_EQ(Problems(head + "APPLES,A1,,,,\nAPPLES,A2,,0.01,,nq\n", kAppleRule),
            (std::vector<std::string>{
                "samples.csv:2: sample \"A1\" of \"APPLES\" is a non-detect without its LOD or "
                "LOQ, which the upper bound needs",
                "samples.csv:3: sample \"A2\" of \"APPLES\" is not quantified (nq) and has no "
                "LOQ, which the upper bound needs",
            }));
}

TEST_F(ResidueBuildRules, TheFirstThousandProblemsAreKeptAndAllCounted) {
  std::string samples = "commodity,sample_id,result_ppm,lod_ppm\n";
  for (int i = 0; i < 1200; ++i) samples += "APPLES,A" + std::to_string(i) + ",-1,0.01\n";
  BuildInputs in;
  BuildProblems problems;
  EXPECT_FALSE(ReadBuildInputText(inst_.m, foods_, s_, samples, kAppleRule, in, problems));
  EXPECT_EQ(problems.count, 1200u);
  ASSERT_EQ(problems.lines.size(), kBuildProblemsKept);
  EXPECT_EQ(problems.lines.back(), "samples.csv:1001: result_ppm -1 is negative");
}

TEST_F(ResidueBuildRules, EveryProblemOfTheRulesOnItsLine) {
  EXPECT_EQ(Problems(kApples,
                     "commodity,food_code,food_form,processing_factor,percent_crop_treated\n"
                     "PEACHES,01010000,,,\n"    // 2
                     "APPLES,09090000,,,\n"     // 3
                     "APPLES,02020000,140,,\n"  // 4
                     "APPLES,02020000,x,,\n"    // 5
                     "APPLES,02020000,110,,\n"  // 6
                     "apples,02020000,110,,\n"  // 7
                     "APPLES,01010000,,-1,\n"   // 8
                     "APPLES,05050000,,,101\n"  // 9
                     "APPLES,04040000,,,\n"     // 10
                     "APPLES,4040000,,,\n"),    // 11
            (std::vector<std::string>{
                "rules.csv:2: commodity \"PEACHES\" has no samples in samples.csv",
                "rules.csv:3: food code \"09090000\" is not in the installation's master food "
                "list",
                "rules.csv:4: food form 140 is not a food form of 02020000 (its food forms: 110, "
                "120, 130)",
                "rules.csv:5: food form \"x\" is not a food-form code",
                "rules.csv:7: food form 110 of 02020000 is already named on line 6",
                "rules.csv:8: food 01010000 is already named on line 2",
                "rules.csv:8: processing_factor -1 is negative",
                "rules.csv:9: percent_crop_treated 101 is above 100",
                // A code a spreadsheet wrote without its leading zero.
                "rules.csv:11: food 04040000 is already named on line 10",
            }));
  EXPECT_EQ(Problems(kApples, "commodity,food\nAPPLES,01010000\n"),
            (std::vector<std::string>{"rules.csv:1: unknown column \"food\"",
                                      "rules.csv:1: the column food_code is missing"}));
  EXPECT_EQ(Problems(kApples, "commodity,food_code,note\nAPPLES,01010000,\"a \"\"b\"\"\"\n"),
            (std::vector<std::string>{
                "rules.csv:2: the note holds a double quote, which a residue file cannot hold"}));
}

}  // namespace
}  // namespace ormid::test
