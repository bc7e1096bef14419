#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "commodity/commodity_run.h"
#include "core/mod_ormid.h"
#include "core/run_host.h"
#include "tests/test_support.h"

namespace ormid {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

class FakeHost : public RunHost {
 public:
  void ShowLastOrmidReport() override {}
  void ShowLastCommodityReport() override { ++commodityShown; }
  void SetFocus(Control c) override { focus.push_back(c); }
  int commodityShown = 0;
  std::vector<Control> focus;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t i = 0, e; i < text.size(); i = e + 2) {
    e = std::min(text.find("\r\n", i), text.size());
    lines.push_back(text.substr(i, e - i));
  }
  return lines;
}

// Index of the first line at or after `from` that starts with prefix; -1 if none.
int Find(const std::vector<std::string>& lines, const std::string& prefix, int from = 0) {
  for (int n = from; n < static_cast<int>(lines.size()); ++n)
    if (lines[static_cast<std::size_t>(n)].rfind(prefix, 0) == 0) return n;
  return -1;
}
std::string After(const std::vector<std::string>& lines, const std::string& prefix, int skip = 1) {
  const int n = Find(lines, prefix);
  return n < 0 ? "<" + prefix + " missing>" : lines[static_cast<std::size_t>(n + skip)];
}

std::string PageLine(int page) {
  return std::string(38, ' ') + " " + std::to_string(page) + " ";
}
// Page numbers in the order the report prints them.
std::vector<int> PageNumbers(const std::vector<std::string>& lines) {
  std::vector<int> pages;
  for (std::size_t n = 0; n + 1 < lines.size(); ++n)
    if (lines[n + 1] == "\f") pages.push_back(std::stoi(lines[n].substr(38)));
  return pages;
}

// Consumption giving exposure 2^-10 mg/kg bw/day at residue 1 and factors 1:
// every figure of the reports below is exact in single precision.
constexpr float kUnit = 0.9765625f;

struct TestForm {
  Int16 code;
  float cons1;  // consumption in column 1 (report row 1) and column 2
  float cons2 = 0;
};
struct TestFood {
  std::string crop;
  std::string name;
  float cons1;
  float cons2 = 0;
  std::vector<TestForm> forms = {};
};

// An NHANES consumption record: master number, form code, code, columns 1 and 2.
std::string Record(int master, int form, const std::string& code, float c1, float c2) {
  std::string r(110, '\0');
  const std::int16_t head[2] = {static_cast<std::int16_t>(master), static_cast<std::int16_t>(form)};
  std::memcpy(r.data(), head, sizeof head);  // little-endian hosts
  r.replace(4, 10, code);
  std::memcpy(r.data() + 14, &c1, 4);
  std::memcpy(r.data() + 18, &c2, 4);
  return r;
}

// A commodity run over an NHANES "05-10" installation held in memory: two
// population subgroups, crop groups "Group k" numbered k, residues and factors
// of 1, consumption files in a scratch working folder.
class CommodityRunTest : public ::testing::Test {
 protected:
  CommodityRunTest() : cd_(dir_.path()) {
    m_.gSurveyBase = 2;
    m_.gDataVersion = "05-10";
    m_.gProgramVersion = "4.01";
    m_.gReportBanner = "KAVRI-FCID";
    m_.gPageLength = 60;
    m_.gPageNumbers = "Y";
    m_.gFoodFormFile = "FoodForm.txt";
    m_.gConsumptionFile1 = "cons1.bin";
    m_.gConsumptionFile2 = "cons2.bin";
    m_.gPopCount = 2;
    m_.gPopNames2 = {"", "Total US", "Children 1-2"};
    m_.gPopOrder = {0, 1, 2};
    m_.gPAD = {0, 0, 0};
    m_.gCommodityKind = {"", "C", ""};
    m_.gCropGroupCount = 82;
    for (int k = 0; k <= 82; ++k) {
      m_.gCropGroupNames.push_back("Group " + std::to_string(k));
      m_.gCropGroupNumber.push_back(static_cast<Int16>(k));
    }
    m_.gFormDesc1.clear();
    for (int d = 0; d < 10; ++d) {
      m_.gFormDesc1.push_back("a" + std::to_string(d));
      m_.gFormDesc2.push_back("b" + std::to_string(d));
      m_.gFormDesc3.push_back("c" + std::to_string(d));
    }
    m_.gChemicalName = "Testchem";
    m_.gResidueFileName = "TEST.R10";
    m_.gResidueFileDate = "01-15-2024";
    m_.gEndpoint = "R";
    m_.gRefDose = 0.0078125f;
    m_.gCritFoodPct = m_.gCritCropPct = 10;
  }

  // Food f is master food f with code "10000000ff"; forms are numbered in order.
  void SetFoods(const std::vector<TestFood>& foods) {
    ModOrmid& m = m_;
    const std::size_t n = foods.size();
    m.gResFoodCount = m.gFoodCount = static_cast<Int16>(n);
    m.gFoodCropGroup = m.gFoodCode = m.gFoodName = std::vector<std::string>(n + 1);
    m.gFoodConsRec = m.gFoodFormCount = m.gFoodFirstForm = std::vector<Int16>(n + 1);
    m.gFoodResidue = m.gFoodAdj1 = m.gFoodAdj2 = std::vector<float>(n + 1, 1);
    m.gFormCode = m.gFormConsRec = {0};
    std::string file1, file2;
    for (std::size_t f = 1; f <= n; ++f) {
      const TestFood& food = foods[f - 1];
      const std::string code = "10000000" + std::string(f < 10 ? "0" : "") + std::to_string(f);
      m.gFoodCropGroup[f] = food.crop;
      m.gFoodConsRec[f] = static_cast<Int16>(f);
      m.gFoodCode[f] = code;
      m.gFoodName[f] = food.name;
      m.gFoodFormCount[f] = static_cast<Int16>(food.forms.size());
      m.gFoodFirstForm[f] = food.forms.empty() ? 0 : static_cast<Int16>(m.gFormCode.size());
      file1 += Record(static_cast<int>(f), 0, code, food.cons1, food.cons2);
      for (const TestForm& form : food.forms) {
        m.gFormConsRec.push_back(static_cast<Int16>(m.gFormCode.size()));
        m.gFormCode.push_back(form.code);
        file2 += Record(static_cast<int>(f), form.code, code, form.cons1, form.cons2);
      }
    }
    m.gFormResidue = m.gFormAdj1 = m.gFormAdj2 = std::vector<float>(m.gFormCode.size(), 1);
    WriteFileBytes(dir_.path() / "cons1.bin", file1);
    WriteFileBytes(dir_.path() / "cons2.bin", file2);
  }

  std::string Run(const std::string& reportFile = "") {
    ok_ = RunCommodityAnalysis(m_, p_, host_, reportFile);
    return ReadFileBytes(dir_.path() / kCommodityReportFile);
  }
  // The complete and the critical reports of the run, as lines.
  std::pair<std::vector<std::string>, std::vector<std::string>> RunBoth() {
    const std::string text = Run();
    const std::size_t split = std::min(text.find("Critical Commodity"), text.size());
    return {Lines(text.substr(0, split)), Lines(text.substr(split))};
  }

  test::TempDir dir_;
  test::ScopedCurrentDir cd_;
  test::FakePlatform p_;
  FakeHost host_;
  ModOrmid m_;
  bool ok_ = false;
};

TEST(CentringBlanks, HalvesGoToTheEvenNeighbour) {
  const std::pair<std::size_t, int> cases[] = {{5, 36}, {7, 36}, {6, 36}, {8, 35},
                                               {3, 38}, {0, 39}, {77, 0}, {120, 0}};
  for (const auto& [length, blanks] : cases) EXPECT_EQ(CentringBlanks(length), blanks) << length;
}

TEST(EndReportPage, FillsUpToFourLinesAboveThePageEnd) {
  struct Case {
    Int16 lineCount;
    const char* pageNumbers;
    std::string expected;
  };
  const std::string numbered = PageLine(4) + "\r\n\f\r\n";
  for (const Case& c : {Case{11, "Y", "\r\n" + numbered}, Case{12, "Y", numbered},
                        Case{30, "Y", numbered}, Case{10, "N", "\r\n\r\n\r\n"}}) {
    ModOrmid m;
    m.gLineCount = c.lineCount;
    m.gPageLength = 16;
    m.gPageNumbers = c.pageNumbers;
    m.gPageNumber = 3;
    ReportWriter w;
    EndReportPage(m, w);
    EXPECT_EQ(w.str(), c.expected) << c.lineCount << " " << c.pageNumbers;
    EXPECT_EQ(m.gLineCount, 1);
    EXPECT_EQ(m.gPageNumber, 4);
  }
}

TEST_F(CommodityRunTest, CompleteReportByteForByte) {
  m_.gCommodityKind = {"", "A", ""};
  SetFoods({{"2", "Food A", kUnit}, {"O", "Food B", 0, 0, {{1, kUnit}, {305, 0}}}});
  const std::vector<std::string> heading = {
      "                                                          Exposure Analysis    ",
      "                                                        -----------------------",
      "                                Residue     Adjustment     mg/kg     Percent of",
      "       Food Name                 (ppm)       Factors    body wt/day     RfD    ",
      "----------------------------  ----------  ------------- -----------  ----------"};
  const std::string rule =
      "                                                        -----------  ----------";
  const std::string subtotal =
      "       Crop group subtotal                                0.0009766       12.5%";
  std::vector<std::string> x = {
      "",
      "",
      "KAVRI-FCID                                                      Ver. 4.01, 05-10",
      "KAVRI-FCID Ormid analysis for TESTCHEM                     NHANES 2005-2010 2-day",
      "Residue file name: TEST.R10                      Adjustment factor #2 NOT used.",
      "Analysis Date 12-05-2026/14:03:09     Residue file dated: 01-15-2024",
      "Reference dose (RfD, Ormid) = .0078125 mg/kg bw/day",
      std::string(79, '='),
      "                 Complete commodity contribution analysis for ",
      "                                   Total US",
      std::string(79, '-'),
      "",
      "Crop Group = Group 1"};
  x.insert(x.end(), heading.begin(), heading.end());
  x.insert(x.end(),
           {"Food B (1000000002):",
            "   001-a0 b0 c1                 1.000000   1.000  1.000   0.0009766       12.5%",
            "   305-a3 b0 c5                 1.000000   1.000  1.000   no exposure", rule, subtotal,
            "", "Crop Group = Group 6"});
  x.insert(x.end(), heading.begin(), heading.end());
  x.insert(x.end(),
           {"Food A (1000000001):",
            "   FoodForm N/S                 1.000000   1.000  1.000   0.0009766       12.5%", rule,
            subtotal, "",
            "     Population subgroup total                            0.0019531       25.0%",
            std::string(79, '-')});
  // The count stands at 36 (a food line and its row count once): filler
  // lines 37 to 56, then the page number.
  x.insert(x.end(), 20, "");
  x.insert(x.end(), {PageLine(1), "\f"});

  const std::string text = Run();
  const std::vector<std::string> got = Lines(text);
  for (std::size_t n = 0; n < std::min(got.size(), x.size()); ++n)
    ASSERT_EQ(got[n], x[n]) << "first difference at line " << n + 1;
  EXPECT_EQ(got.size(), x.size());
  EXPECT_EQ(text.substr(text.size() - 3), "\f\r\n");
  EXPECT_EQ(host_.commodityShown, 1);
  EXPECT_TRUE(p_.messages.empty());
}

// Food A (group 6) and food B's one form (group 1) each give half the total.
struct LayoutCase {
  const char* endpoint;
  float noel, qStar, pad;
  const char* head;                   // the food table's fourth heading line
  std::vector<std::string> complete;  // food row, subtotal, population total
  std::vector<std::string> critical;  // food row, form row, listed total
};

const LayoutCase kLayouts[] = {
    {"P",
     0,
     0,
     0.015625f,
     "       Food Name                 (ppm)       Factors    body wt/day     PAD    ",
     {"   FoodForm N/S                 1.000000   1.000  1.000   0.0009766        6.3%",
      "       Crop group subtotal                                0.0009766        6.3%",
      "     Population subgroup total                            0.0019531       12.5%"},
     {"        FoodForm N/S                       0.0009766     50.00%       6.25%",
      "      001-a0 b0 c1                         0.0009766     50.00%       6.25%",
      "Total for crop groups listed above:        0.0019531    100.00%      12.5%"}},
    {"N",
     0.125f,
     0,
     0,
     "       Food name            (ppm)     Factors      body wt/day|of NOEL|of Expsr",
     {"   FoodForm N/S            1.000000   1.000  1.000   0.0009766    0.8%      128",
      "       Crop group subtotal                           0.0009766    0.8%      128",
      "     Population subgroup total                       0.0019531    1.6%       64"},
     {"        FoodForm N/S                  0.0009766    50.00%       0.8%       128",
      "      001-a0 b0 c1                    0.0009766    50.00%       0.8%       128",
      "Total for crop groups listed above:   0.0019531   100.00%       1.6%        64"}},
    {"N",
     2048,
     0,
     0,
     "       Food name            (ppm)     Factors      body wt/day|of NOEL|of Expsr",
     {"   FoodForm N/S            1.000000   1.000  1.000   0.0009766    0.0% >1000000",
      "       Crop group subtotal                           0.0009766    0.0% >1000000",
      "     Population subgroup total                       0.0019531    0.0% >1000000"},
     {"        FoodForm N/S                  0.0009766    50.00%       0.0%>1,000,000",
      "      001-a0 b0 c1                    0.0009766    50.00%       0.0%>1,000,000",
      "Total for crop groups listed above:   0.0019531   100.00%       0.0%>1,000,000"}},
    {"NR",
     0.125f,
     0,
     0,
     "       Food name             (ppm)      Factors    body wt/day|Exposure |of RfD",
     {"   FoodForm N/S            1.000000   1.000  1.000   0.0009766      128   12.5%",
      "       Crop group subtotal                           0.0009766      128   12.5%",
      "     Population subgroup total                       0.0019531       64   25.0%"},
     {"        FoodForm N/S                  0.0009766   50.00%         128     12.5%",
      "      001-a0 b0 c1                    0.0009766   50.00%         128     12.5%",
      "Total for crop groups listed above:   0.0019531  100.00%          64     25.0%"}},
    // A capped row carries no residue and factor cells; the total's capped
    // text stands one column further right.
    {"NP",
     2048,
     0,
     0.015625f,
     "       Food name             (ppm)      Factors    body wt/day|Exposure |of PAD",
     {"   FoodForm N/S                                      0.0009766 >1000000    6.3%",
      "       Crop group subtotal                           0.0009766 >1000000    6.3%",
      "     Population subgroup total                       0.0019531  >1000000  12.5%"},
     {"        FoodForm N/S                  0.0009766   50.00%  >1,000,000      6.3%",
      "      001-a0 b0 c1                    0.0009766   50.00%  >1,000,000      6.3%",
      "Total for crop groups listed above:   0.0019531  100.00%  >1,000,000     12.5%"}},
    {"Q",
     0,
     2,
     0,
     "       Food name                (ppm)      Factors    body wt/day (Q*= 2)",
     {"   FoodForm N/S               1.000000   1.000  1.000   0.0009766      1.95E-03",
      "       Crop group subtotal                              0.0009766      1.95E-03",
      "     Population subgroup total                          0.0019531      3.91E-03"},
     {"        FoodForm N/S                       0.0009766    50.00%        1.95E-03",
      "      001-a0 b0 c1                         0.0009766    50.00%        1.95E-03",
      "Total for crop groups listed above:        0.0019531   100.00%        3.91E-03"}},
};

TEST_F(CommodityRunTest, RowLayoutsOfEveryEndpoint) {
  for (const LayoutCase& c : kLayouts) {
    SCOPED_TRACE(testing::Message() << c.endpoint << " NOEL " << c.noel);
    m_.gEndpoint = c.endpoint;
    m_.gNOEL = c.noel;
    m_.gQStar = c.qStar;
    m_.gPAD = {0, c.pad, 0};
    SetFoods({{"2", "Food A", kUnit}, {"O", "Food B", 0, 0, {{1, kUnit}}}});
    auto [complete, critical] = RunBoth();
    ASSERT_TRUE(ok_);
    EXPECT_GE(Find(complete, c.head), 0);
    EXPECT_EQ(After(complete, "Food A (1000000001):"), c.complete[0]);
    // The form row carries the same cells behind its label.
    EXPECT_EQ(After(complete, "   001-a0 b0 c1", 0), "   001-a0 b0 c1" + c.complete[0].substr(15));
    EXPECT_EQ(After(complete, "Food A (1000000001):", 3), c.complete[1]);
    EXPECT_EQ(After(complete, "     Population", 0), c.complete[2]);
    EXPECT_EQ(After(critical, "   Food A (1000000001):"), c.critical[0]);
    EXPECT_EQ(After(critical, "      001-a0 b0 c1", 0), c.critical[1]);
    // Group 6 holds food A alone: its total repeats the food's cells.
    EXPECT_EQ(After(critical, "   Food A (1000000001):", 3),
              "  Total for crop group" + c.critical[0].substr(22));
    EXPECT_EQ(After(critical, "Total for crop groups", 0), c.critical[2]);
    const bool footnote = c.noel != 0;
    EXPECT_EQ(Find(complete, "1. Margin of Exposure = NOEL / Dietary Exposure") >= 0, footnote);
    EXPECT_EQ(Find(critical, "1. Margin of Exposure = NOEL / Dietary Exposure") >= 0, footnote);
  }
}

// Report row 1 eats nothing: every no-exposure text, and the critical
// report's short form.
TEST_F(CommodityRunTest, NoExposureTextsWhenTheTotalIsZero) {
  struct Case {
    const char* endpoint;
    std::vector<std::string> lines;  // food row, form row, subtotal, population total
  };
  const Case cases[] = {
      {"R",
       {"   FoodForm N/S                 1.000000   1.000  1.000   no exposure",
        "   001-a0 b0 c1                 1.000000   1.000  1.000   no exposure",
        "       Crop group subtotal", "     Population subgroup total"}},
      {"N",
       {"   FoodForm N/S            1.000000   1.000  1.000   no exposure",
        "   001-a0 b0 c1            1.000000   1.000  1.000   no exposure",
        "       Crop group subtotal",
        "     Population subgroup total                       no exposure"}},
      {"NR",
       {"   FoodForm N/S            1.000000   1.000  1.000   no exposure",
        "   001-a0 b0 c1            1.000000   1.000  1.000   no exposure using survey",
        "       Crop group subtotal                           no exposure",
        "     Population subgroup total                       no exposure"}},
      {"Q",
       {"   FoodForm N/S               1.000000   1.000  1.000   no exposure",
        "   001-a0 b0 c1               1.000000   1.000  1.000   no exposure",
        "       Crop group subtotal                             no exposure",
        "     Population subgroup total                          no exposure"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.endpoint);
    m_.gEndpoint = c.endpoint;
    m_.gNOEL = 0.125f;
    m_.gQStar = 2;
    SetFoods({{"2", "Food A", 0, kUnit}, {"2", "Food B", 0, kUnit, {{1, 0, kUnit}}}});
    auto [complete, critical] = RunBoth();
    ASSERT_TRUE(ok_);
    EXPECT_EQ(After(complete, "Food A (1000000001):"), c.lines[0]);
    EXPECT_EQ(After(complete, "   001-", 0), c.lines[1]);
    EXPECT_EQ(After(complete, "       Crop group subtotal", 0), c.lines[2]);
    EXPECT_EQ(After(complete, "     Population", 0), c.lines[3]);
    const std::vector<std::string> expected = {"Critical Commodity Contribution Analysis for",
                                               "                                   Total US",
                                               "",
                                               "                 Total Exposure =. mg/kg bw/day",
                                               "",
                                               "         No exposure for this subpopulation"};
    ASSERT_GE(critical.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(critical.begin(), critical.begin() + 6), expected);
    EXPECT_EQ(critical[static_cast<std::size_t>(Find(critical, "\f") - 1)], PageLine(2));
  }
}

TEST_F(CommodityRunTest, ShareEqualToTheCriticalPercentIsListed) {
  const float above = std::nextafter(25.0f, 100.0f);
  struct Case {
    float foodPct, cropPct;
    bool foodListed, groupShown;
  };
  for (const Case& c :
       {Case{25, 25, true, true}, Case{above, 25, false, true}, Case{above, above, false, false}}) {
    SCOPED_TRACE(testing::Message() << c.foodPct << " / " << c.cropPct);
    m_.gCritFoodPct = c.foodPct;
    m_.gCritCropPct = c.cropPct;
    // Food A is a quarter of the total, food B's form three quarters.
    SetFoods({{"2", "Food A", kUnit}, {"O", "Food B", 0, 0, {{1, 3 * kUnit}}}});
    auto [complete, critical] = RunBoth();
    EXPECT_EQ(Find(critical, "   Food A (1000000001):") >= 0, c.foodListed);
    EXPECT_EQ(Find(critical, "Crop Group = Group 6") >= 0, c.groupShown);
    if (c.groupShown && !c.foodListed) {
      // The group's heading, its total (over all members) and an empty line; no rule.
      EXPECT_EQ(After(critical, "Crop Group = Group 6"),
                "  Total for crop group                     0.0009766     25.00%      12.50%");
      EXPECT_EQ(After(critical, "Crop Group = Group 6", 2), "");
    }
    EXPECT_EQ(After(critical, "Total for crop groups", 0).substr(40, 12),
              c.groupShown ? "   0.0039063" : "   0.0029297");
  }
}

TEST_F(CommodityRunTest, GroupsNumberedZeroAreShownButNotTotalled) {
  m_.gCropGroupNumber[6] = 0;
  SetFoods({{"2", "Food A", kUnit}});
  auto [complete, critical] = RunBoth();
  EXPECT_GE(Find(critical, "Crop Group = Group 6"), 0);
  EXPECT_GE(Find(critical, "No critical crop commodities for this case"), 0);
}

TEST_F(CommodityRunTest, FoodLineOnceRightBeforeItsFirstListedForm) {
  const float tiny = kUnit / 64;
  SetFoods({{"O", "Food B", 0, 0, {{1, tiny}, {2, kUnit}, {3, tiny}, {4, kUnit}}}});
  auto [complete, critical] = RunBoth();
  const int food = Find(critical, "   Food B (1000000001):");
  ASSERT_GE(food, 1);
  EXPECT_EQ(critical[static_cast<std::size_t>(food - 1)], "Crop Group = Group 1");
  EXPECT_EQ(critical[static_cast<std::size_t>(food + 1)].substr(0, 18), "      002-a0 b0 c2");
  EXPECT_EQ(critical[static_cast<std::size_t>(food + 2)].substr(0, 18), "      004-a0 b0 c4");
  EXPECT_EQ(critical[static_cast<std::size_t>(food + 3)], m_.gCropTableRule);
}

// Header 8 lines for endpoint R, title 3: the first crop group starts at 11.
TEST_F(CommodityRunTest, CompleteReportBreaksBeforeAGroupThatWouldNotFit) {
  m_.gCommodityKind = {"", "A", ""};
  for (Int16 pageLength : {28, 29}) {
    m_.gPageLength = pageLength;
    SetFoods({{"2", "Food A", kUnit}});
    const std::vector<std::string> lines = Lines(Run());
    EXPECT_EQ(Find(lines, PageLine(1)) < Find(lines, "Crop Group = Group 6"), pageLength == 28)
        << pageLength;
  }
}

// On a page of 15 lines the group starts a fresh page (count 1); its heading
// takes the count to 8, the first food to 9 = 15 - 6.
TEST_F(CommodityRunTest, CompleteReportContinuesAGroupOnANewPage) {
  m_.gCommodityKind = {"", "A", ""};
  for (Int16 pageLength : {15, 16}) {
    m_.gPageLength = pageLength;
    SetFoods({{"2", "Food A", kUnit}, {"2", "Food C", kUnit}});
    const std::vector<std::string> lines = Lines(Run());
    const int continued = Find(lines, "Crop Group = Group 6 (continued)");
    ASSERT_EQ(continued >= 0, pageLength == 15) << pageLength;
    if (continued < 0) continue;
    EXPECT_EQ(lines[static_cast<std::size_t>(continued - 3)], PageLine(2));
    EXPECT_EQ(Find(lines, "Food C (1000000002):"), continued + 6);
  }
}

// A critical report reaches its first crop group at count 22, whether it
// follows a complete report (count 1) or opens the run (count 0).
TEST_F(CommodityRunTest, CriticalReportBreaksRightBeforeTheListedFood) {
  for (const char* kind : {"B", "C"}) {
    for (Int16 pageLength : {32, 33}) {
      m_.gCommodityKind = {"", kind, ""};
      m_.gPageLength = pageLength;
      SetFoods({{"2", "Food A", kUnit}});
      auto [complete, critical] = RunBoth();
      const int group = Find(critical, "Crop Group = Group 6");
      ASSERT_GE(group, 2);
      EXPECT_EQ(critical[static_cast<std::size_t>(group - 2)], m_.gCropTableRule);
      EXPECT_EQ(Find(critical, "\f") < group, pageLength == 32) << kind << " " << pageLength;
    }
  }
}

TEST_F(CommodityRunTest, CriticalGroupWithNothingToShowCostsNoPageBreak) {
  m_.gCommodityKind = {"", "B", ""};
  m_.gPageLength = 32;  // a break is due at the first group
  m_.gCritFoodPct = m_.gCritCropPct = 100;
  SetFoods({{"2", "Food A", kUnit}, {"O", "Food B", kUnit}});
  const std::vector<std::string> lines = Lines(Run());
  EXPECT_EQ(PageNumbers(lines), std::vector<int>{1});
  EXPECT_GE(Find(lines, "No critical crop commodities for this case"), 0);
}

// On a page of 15 lines the first group breaks at once; after food A the
// count is 9: a food with forms then breaks (9 + 1 > 15 - 6), at 16 not.
TEST_F(CommodityRunTest, CriticalFoodWithFormsBreaksOneLineEarlier) {
  m_.gCommodityKind = {"", "B", ""};
  for (Int16 pageLength : {15, 16}) {
    m_.gPageLength = pageLength;
    SetFoods({{"O", "Food A", kUnit}, {"O", "Food B", 0, 0, {{1, kUnit}}}});
    const std::vector<std::string> lines = Lines(Run());
    const int cont = Find(lines, "Crop Group = Group 1 (cont.)");
    EXPECT_EQ(cont >= 0, pageLength == 15) << pageLength;
    if (cont >= 0) {
      EXPECT_EQ(lines[static_cast<std::size_t>(cont + 1)], "   Food B (1000000002):");
    }
  }
}

TEST_F(CommodityRunTest, PageNumbersRunOnAcrossAllReportsOfTheRun) {
  m_.gCommodityKind = {"", "C", "C"};
  SetFoods({{"2", "Food A", kUnit, kUnit}});
  const std::string text = Run();
  EXPECT_EQ(PageNumbers(Lines(text)), (std::vector<int>{1, 2, 3, 4}));
  // A complete report starts a fresh line count and so opens with two empty
  // lines; a critical report keeps the count of the page break and has one.
  const auto count = [&text](const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(text.rfind("\r\n\r\nKAVRI-FCID", 0), 0u);
  EXPECT_EQ(count("\f\r\n\r\n\r\nKAVRI-FCID"), 1);
  EXPECT_EQ(count("\f\r\n\r\nKAVRI-FCID"), 2);
  EXPECT_NE(text.find(std::string(33, ' ') + "Children 1-2"), std::string::npos);
}

TEST_F(CommodityRunTest, ShortCropGroupListStopsBeforeTheReportIsTouched) {
  WriteFileBytes(dir_.path() / kCommodityReportFile, "earlier report\r\n");
  m_.gCropGroupCount = 81;
  SetFoods({{"2", "Food A", kUnit}});
  EXPECT_EQ(Run("out.CC10"), "earlier report\r\n");
  EXPECT_FALSE(ok_);
  ASSERT_EQ(p_.messages.size(), 1u);
  EXPECT_EQ(p_.messages[0].title, "Commodity Analysis");
  EXPECT_EQ(p_.messages[0].icon, MsgIcon::Exclamation);
  for (const char* part : {"FoodForm.txt", " 81 ", " 82"})
    EXPECT_NE(p_.messages[0].text.find(part), std::string::npos) << part;
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "out.CC10"));
}

TEST_F(CommodityRunTest, NonFiniteFiguresStopTheRunWithoutAReport) {
  WriteFileBytes(dir_.path() / kCommodityReportFile, "earlier report\r\n");
  m_.gRefDose = 0;
  SetFoods({{"2", "Food A", kUnit}});
  EXPECT_EQ(Run(), "earlier report\r\n");
  EXPECT_FALSE(ok_);
  ASSERT_EQ(p_.messages.size(), 1u);
  EXPECT_NE(p_.messages[0].text.find("Total US"), std::string::npos);
  EXPECT_EQ(host_.commodityShown, 0);
}

TEST_F(CommodityRunTest, CopiesToTheReportFileAndAnnouncesIt) {
  SetFoods({{"2", "Food A", kUnit}});
  const std::string target = (dir_.path() / "out.CC10").string();
  const std::string text = Run(target);
  ASSERT_TRUE(ok_);
  EXPECT_EQ(ReadFileBytes(target), text);
  ASSERT_EQ(p_.messages.size(), 1u);
  EXPECT_EQ(p_.messages[0].text,
            "Commodity analysis completed. Press 'Show Last Commodity Rpt' to view report. \r\n"
            "Commodity analysis report also saved as file " +
                target);
  EXPECT_EQ(p_.messages[0].icon, MsgIcon::Information);
  EXPECT_EQ(host_.focus, std::vector<Control>{Control::cmdCommodity});
  EXPECT_EQ(host_.commodityShown, 0);
}

TEST_F(CommodityRunTest, ReportFileThatCannotBeWrittenKeepsTheReport) {
  SetFoods({{"2", "Food A", kUnit}});
  const std::string target = (dir_.path() / "missing" / "out.CC10").string();
  EXPECT_NE(Run(target).find("Complete commodity contribution"), std::string::npos);
  EXPECT_FALSE(ok_);
  ASSERT_EQ(p_.messages.size(), 1u);
  EXPECT_NE(p_.messages[0].text.find(target), std::string::npos);
  EXPECT_EQ(host_.focus, std::vector<Control>{Control::txtRptFile});
}

}  // namespace
}  // namespace ormid
