// Commodity runs over a small installation held in memory: the row layouts of
// every endpoint, the no-exposure texts, the critical thresholds, the page
// breaks and the run's end. Whole reports are compared in golden_report_test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "commodity/commodity_run.h"
#include "core/mod_ormid.h"
#include "core/run_host.h"
#include "tests/test_support.h"

namespace ormid {
namespace {

using test::Lines;
using test::ReadFileBytes;
using test::WriteFileBytes;

// What a front end does with the run's end: the report shown, the closing
// message, the control focused.
class FakeHost : public RunHost {
 public:
  void Ended(const AnalysisEnd& end, Platform& p) {
    if (end.showReport) ++commodityShown;
    if (end.closing) ShowNotice(p, *end.closing);
    if (end.focus != Control::None) focus.push_back(end.focus);
  }
  int commodityShown = 0;
  std::vector<Control> focus;
};

// Index of the first line that starts with prefix; -1 if none.
int Find(const std::vector<std::string>& lines, const std::string& prefix) {
  for (std::size_t n = 0; n < lines.size(); ++n)
    if (lines[n].rfind(prefix, 0) == 0) return static_cast<int>(n);
  return -1;
}
// The line skip lines after the first one starting with prefix.
std::string After(const std::vector<std::string>& lines, const std::string& prefix, int skip = 1) {
  const int n = Find(lines, prefix) + skip;
  const bool there = n >= skip && n < static_cast<int>(lines.size());
  return there ? lines[static_cast<std::size_t>(n)] : "<" + prefix + " missing>";
}

std::string PageLine(int page) {
  return std::string(38, ' ') + " " + std::to_string(page) + " ";
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
// Food A in crop group 6, food B's one form in group 1: each half the total.
const std::vector<TestFood> kTwoHalves = {{"2", "Food A", kUnit},
                                          {"O", "Food B", 0, 0, {{1, kUnit}}}};

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
    m_.gPageLength = 60;
    m_.gPageNumbers = "Y";
    m_.gConsumptionFile1 = "cons1.bin";
    m_.gConsumptionFile2 = "cons2.bin";
    m_.gPopCount = 2;
    m_.gPopNames2 = {"", "Total US", "Children 1-2"};
    m_.gPopOrder = {0, 1, 2};
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
    m_.gEndpoint = Endpoint::RfD;
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
    const AnalysisEnd end = RunCommodityAnalysis(m_, p_, host_, reportFile);
    ok_ = end.done;
    host_.Ended(end, p_);
    return ReadFileBytes(dir_.path() / kCommodityReportFile);
  }
  // The pages of the run, as lines, without their form feeds.
  std::vector<std::vector<std::string>> RunPages() {
    const std::string text = Run();
    std::vector<std::vector<std::string>> pages;
    for (std::size_t at = 0, end; at < text.size(); at = end + 3) {
      end = std::min(text.find("\f\r\n", at), text.size());
      pages.push_back(Lines(text.substr(at, end - at)));
    }
    return pages;
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

struct EndpointCase {
  const char* code;
  float noel, qStar, pad;
};
struct LayoutCase {
  EndpointCase endpoint;
  const char* head;                   // the food table's fourth heading line
  std::vector<std::string> complete;  // food row, subtotal, population total
  std::vector<std::string> critical;  // food row, listed total
  std::vector<std::string> zero;      // no exposure: food row, form row, subtotal, total
};

const std::vector<std::string> kZeroRefDose = {
    "   FoodForm N/S                 1.000000   1.000  1.000   no exposure",
    "   001-a0 b0 c1                 1.000000   1.000  1.000   no exposure",
    "       Crop group subtotal", "     Population subgroup total"};
const std::vector<std::string> kZeroNoelRef = {
    "   FoodForm N/S            1.000000   1.000  1.000   no exposure",
    "   001-a0 b0 c1            1.000000   1.000  1.000   no exposure using survey",
    "       Crop group subtotal                           no exposure",
    "     Population subgroup total                       no exposure"};

const LayoutCase kLayouts[] = {
    {{"P", 0, 0, 0.015625f},
     "       Food Name                 (ppm)       Factors    body wt/day     PAD    ",
     {"   FoodForm N/S                 1.000000   1.000  1.000   0.0009766        6.3%",
      "       Crop group subtotal                                0.0009766        6.3%",
      "     Population subgroup total                            0.0019531       12.5%"},
     {"        FoodForm N/S                       0.0009766     50.00%       6.25%",
      "Total for crop groups listed above:        0.0019531    100.00%      12.5%"},
     kZeroRefDose},
    {{"N", 2048, 0, 0},
     "       Food name            (ppm)     Factors      body wt/day|of NOEL|of Expsr",
     {"   FoodForm N/S            1.000000   1.000  1.000   0.0009766    0.0% >1000000",
      "       Crop group subtotal                           0.0009766    0.0% >1000000",
      "     Population subgroup total                       0.0019531    0.0% >1000000"},
     {"        FoodForm N/S                  0.0009766    50.00%       0.0%>1,000,000",
      "Total for crop groups listed above:   0.0019531   100.00%       0.0%>1,000,000"},
     {"   FoodForm N/S            1.000000   1.000  1.000   no exposure",
      "   001-a0 b0 c1            1.000000   1.000  1.000   no exposure",
      "       Crop group subtotal",
      "     Population subgroup total                       no exposure"}},
    {{"NR", 0.125f, 0, 0},
     "       Food name             (ppm)      Factors    body wt/day|Exposure |of RfD",
     {"   FoodForm N/S            1.000000   1.000  1.000   0.0009766      128   12.5%",
      "       Crop group subtotal                           0.0009766      128   12.5%",
      "     Population subgroup total                       0.0019531       64   25.0%"},
     {"        FoodForm N/S                  0.0009766   50.00%         128     12.5%",
      "Total for crop groups listed above:   0.0019531  100.00%          64     25.0%"},
     kZeroNoelRef},
    // A capped row carries no residue and factor cells; the total's capped
    // text stands one column further right.
    {{"NP", 2048, 0, 0.015625f},
     "       Food name             (ppm)      Factors    body wt/day|Exposure |of PAD",
     {"   FoodForm N/S                                      0.0009766 >1000000    6.3%",
      "       Crop group subtotal                           0.0009766 >1000000    6.3%",
      "     Population subgroup total                       0.0019531  >1000000  12.5%"},
     {"        FoodForm N/S                  0.0009766   50.00%  >1,000,000      6.3%",
      "Total for crop groups listed above:   0.0019531  100.00%  >1,000,000     12.5%"},
     kZeroNoelRef},
    {{"Q", 0, 2, 0},
     "       Food name                (ppm)      Factors    body wt/day (Q*= 2)",
     {"   FoodForm N/S               1.000000   1.000  1.000   0.0009766      1.95E-03",
      "       Crop group subtotal                              0.0009766      1.95E-03",
      "     Population subgroup total                          0.0019531      3.91E-03"},
     {"        FoodForm N/S                       0.0009766    50.00%        1.95E-03",
      "Total for crop groups listed above:        0.0019531   100.00%        3.91E-03"},
     {"   FoodForm N/S               1.000000   1.000  1.000   no exposure",
      "   001-a0 b0 c1               1.000000   1.000  1.000   no exposure",
      "       Crop group subtotal                             no exposure",
      "     Population subgroup total                          no exposure"}},
};

// Both reports of report row 1, and of row 2, which eats nothing (T = 0): its
// no-exposure texts, and the critical report's short form.
TEST_F(CommodityRunTest, RowLayoutsOfEveryEndpoint) {
  m_.gCommodityKind = {"", "C", "C"};
  for (const LayoutCase& c : kLayouts) {
    const EndpointCase& e = c.endpoint;
    SCOPED_TRACE(testing::Message() << e.code << " NOEL " << e.noel);
    m_.gEndpoint = *EndpointFromCode(e.code);
    m_.gNOEL = e.noel;
    m_.gQStar = e.qStar;
    m_.gPAD = {0, e.pad, 0};
    SetFoods(kTwoHalves);
    const auto pages = RunPages();
    ASSERT_TRUE(ok_);
    ASSERT_EQ(pages.size(), 4u);
    const auto& complete = pages[0];
    const auto& critical = pages[1];
    EXPECT_GE(Find(complete, c.head), 0);
    EXPECT_EQ(After(complete, "Food A (1000000001):"), c.complete[0]);
    // The form row carries the same cells behind its label.
    EXPECT_EQ(After(complete, "   001-a0 b0 c1", 0), "   001-a0 b0 c1" + c.complete[0].substr(15));
    EXPECT_EQ(After(complete, "Food A (1000000001):", 3), c.complete[1]);
    EXPECT_EQ(After(complete, "     Population", 0), c.complete[2]);
    EXPECT_EQ(After(critical, "   Food A (1000000001):"), c.critical[0]);
    // The form row's narrower exposure cell stands one column further right.
    EXPECT_EQ(After(critical, "      001-a0 b0 c1", 0),
              "      001-a0 b0 c1  " + c.critical[0].substr(20));
    // Group 6 holds food A alone: its total repeats the food's cells.
    EXPECT_EQ(After(critical, "   Food A (1000000001):", 3),
              "  Total for crop group" + c.critical[0].substr(22));
    EXPECT_EQ(After(critical, "Total for crop groups", 0), c.critical[1]);
    const bool footnote = e.noel != 0;
    EXPECT_EQ(Find(complete, "1. Margin of Exposure = NOEL / Dietary Exposure") >= 0, footnote);
    EXPECT_EQ(Find(critical, "1. Margin of Exposure = NOEL / Dietary Exposure") >= 0, footnote);

    const auto& zero = pages[2];
    EXPECT_EQ(After(zero, "Food A (1000000001):"), c.zero[0]);
    EXPECT_EQ(After(zero, "   001-", 0), c.zero[1]);
    EXPECT_EQ(After(zero, "       Crop group subtotal", 0), c.zero[2]);
    EXPECT_EQ(After(zero, "     Population", 0), c.zero[3]);
    // Row 2 has no PAD: its table names the RfD.
    std::string head = c.head;
    if (const auto pad = head.find("PAD"); pad != std::string::npos) head.replace(pad, 3, "RfD");
    EXPECT_GE(Find(zero, head), 0);
    // Pages end at the same line with exposure or without; on the critical
    // page of row 1 food A's line and row count as one line.
    EXPECT_EQ(pages[2].size(), pages[0].size());
    EXPECT_EQ(pages[3].size(), pages[1].size() - 1);
    EXPECT_EQ(After(pages[3], std::string(17, ' ') + "Total Exposure =. mg/kg bw/day", 2),
              std::string(9, ' ') + "No exposure for this subpopulation");
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
    const auto critical = RunPages().at(1);
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

TEST_F(CommodityRunTest, CriticalGroupsListedAndTotalled) {
  // A group numbered 0 is shown but not totalled.
  m_.gCropGroupNumber[6] = 0;
  SetFoods({{"2", "Food A", kUnit}});
  const auto unnumbered = RunPages().at(1);
  EXPECT_GE(Find(unnumbered, "Crop Group = Group 6"), 0);
  EXPECT_GE(Find(unnumbered, "No critical crop commodities for this case"), 0);

  // The food line once, right before its first listed form.
  const float tiny = kUnit / 64;
  SetFoods({{"O", "Food B", 0, 0, {{1, tiny}, {2, kUnit}, {3, tiny}, {4, kUnit}}}});
  const auto critical = RunPages().at(1);
  EXPECT_EQ(After(critical, "Crop Group = Group 1"), "   Food B (1000000001):");
  EXPECT_EQ(After(critical, "   Food B").substr(0, 18), "      002-a0 b0 c2");
  EXPECT_EQ(After(critical, "   Food B", 2).substr(0, 18), "      004-a0 b0 c4");
  EXPECT_EQ(After(critical, "   Food B", 3), m_.gCropTableRule);
}

// Page breaks at the line count that triggers them and one line before. The
// report header takes 8 lines for endpoint R. A complete report's title takes
// 3, a crop group's heading 7: a group breaks at count 11 when the page holds
// 28 lines, and a page of 15 breaks at once and continues after food A (count
// 9 = 15 - 6). A critical report reaches its first group at count 22, whether
// it follows a complete report (count 1) or opens the run (count 0). On a page
// of 15 it breaks there, and the count after food A is 9: the next food breaks
// at 9 > 14 - 6, a food with forms already at 9 + 1 > 15 - 6. A group shown
// without members breaks when the count stays above the page length - 6.
TEST_F(CommodityRunTest, PageBreaksAtTheirThresholds) {
  const std::string groupBreak = "\f\r\n\r\nCrop Group = Group 6\r\n";
  const std::string criticalBreak = "\f\r\n\r\nCrop group ";
  const std::string continued = PageLine(2) + "\r\n\f\r\n\r\nCrop Group = Group 6 (continued)\r\n";
  const std::vector<TestFood> twoFoods = {{"2", "Food A", kUnit}, {"2", "Food C", kUnit}};
  const std::vector<TestFood> unlisted = {kTwoHalves[0], {"O", "Food B", kUnit}};
  const std::vector<TestFood> foodAndForms = {{"O", "Food A", kUnit},
                                              {"O", "Food B", 0, 0, {{1, kUnit}}}};
  struct Case {
    const char* kind;
    std::vector<TestFood> foods;
    Int16 pageLength;
    bool breaks;
    std::vector<std::string> parts;  // in the report exactly when it breaks
    float foodPct = 10, cropPct = 10;
  };
  const Case cases[] = {
      {"A", {kTwoHalves[0]}, 28, true, {groupBreak}},
      {"A", {kTwoHalves[0]}, 29, false, {groupBreak}},
      {"A", twoFoods, 15, true, {continued, "-\r\nFood C (1000000002):"}},
      {"A", twoFoods, 16, false, {"(continued)", "-\r\nFood C (1000000002):"}},
      {"B", {kTwoHalves[0]}, 32, true, {criticalBreak}},
      {"B", {kTwoHalves[0]}, 33, false, {criticalBreak}},
      {"C", {kTwoHalves[0]}, 32, true, {criticalBreak}},
      {"C", {kTwoHalves[0]}, 33, false, {criticalBreak}},
      // A group with nothing to show costs no page break; one shown by its
      // own share alone does.
      {"B", unlisted, 32, false, {"\f\r\n\r\nCrop"}, 100, 100},
      {"B", {kTwoHalves[0]}, 27, true, {criticalBreak}, 101, 10},
      {"B", {kTwoHalves[0]}, 28, false, {criticalBreak}, 101, 10},
      {"B", twoFoods, 14, true, {"Crop Group = Group 6 (cont.)\r\n   Food C (1000000002):"}},
      {"B", twoFoods, 15, false, {"(cont.)"}},
      {"B", foodAndForms, 15, true, {"Crop Group = Group 1 (cont.)\r\n   Food B (1000000002):"}},
      {"B", foodAndForms, 16, false, {"(cont.)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kind << " " << c.pageLength << " " << c.parts[0]);
    m_.gCommodityKind = {"", c.kind, ""};
    m_.gPageLength = c.pageLength;
    m_.gCritFoodPct = c.foodPct;
    m_.gCritCropPct = c.cropPct;
    SetFoods(c.foods);
    const std::string text = Run();
    ASSERT_TRUE(ok_);
    for (const std::string& part : c.parts)
      EXPECT_EQ(text.find(part) != std::string::npos, c.breaks) << part;
  }
}

// The run's end: Show Last without a report file name, else the copy and its
// message, or, when the copy fails, the report kept and the name's field. A
// short crop group list or figures that are not finite stop the run before
// the report file is touched. The pages of the four reports of two subgroups
// are numbered on.
TEST_F(CommodityRunTest, EndsOfTheRun) {
  struct Case {
    std::function<void(ModOrmid&)> change;
    std::string target;
    bool ok;
    int shown;
    std::vector<Control> focus;
    std::string message;  // in the one message, if any
  };
  const std::string good = (dir_.path() / "out.CC10").string();
  const std::string bad = (dir_.path() / "missing" / "out.CC10").string();
  const std::string copied =
      "Commodity analysis completed. Press 'Show Last Commodity Rpt' to view report. \r\n"
      "Commodity analysis report also saved as file " +
      good;
  const std::string notCopied = "The commodity report file " + bad + " could not be written";
  const std::string shortList =
      "holds 81 crop groups, but the survey data of this installation needs 82";
  const Case cases[] = {
      {nullptr, "", true, 1, {}, ""},
      {nullptr, good, true, 0, {Control::cmdCommodity}, copied},
      {nullptr, bad, false, 0, {Control::txtRptFile}, notCopied},
      {[](ModOrmid& m) { m.gCropGroupCount = 81; }, good, false, 0, {}, shortList},
      {[](ModOrmid& m) { m.gRefDose = 0; }, good, false, 0, {}, "Total US are not finite"},
  };
  m_.gCommodityKind = {"", "C", "C"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::filesystem::remove(good);
    WriteFileBytes(dir_.path() / kCommodityReportFile, "earlier report\r\n");
    host_ = FakeHost();
    p_.messages.clear();
    ModOrmid saved = m_;
    if (c.change) c.change(m_);
    SetFoods({{"2", "Food A", kUnit, kUnit}});
    const std::string text = Run(c.target);
    m_ = saved;
    EXPECT_EQ(ok_, c.ok);
    EXPECT_EQ(text == "earlier report\r\n", c.change != nullptr);
    if (!c.change) {
      for (std::size_t page = 1, at = 0; page <= 5; ++page) {
        at = text.find(PageLine(static_cast<int>(page)) + "\r\n\f\r\n", at);
        EXPECT_EQ(at == std::string::npos, page == 5) << page;
      }
    }
    EXPECT_EQ(std::filesystem::exists(good), c.target == good && c.ok);
    EXPECT_EQ(host_.commodityShown, c.shown);
    EXPECT_EQ(host_.focus, c.focus);
    ASSERT_EQ(p_.messages.size(), c.message.empty() ? 0u : 1u);
    if (c.message.empty()) continue;
    EXPECT_NE(p_.messages[0].text.find(c.message), std::string::npos) << p_.messages[0].text;
    EXPECT_EQ(p_.messages[0].title, "Commodity Analysis");
    EXPECT_EQ(p_.messages[0].icon, c.ok ? MsgIcon::Information : MsgIcon::Exclamation);
    if (c.ok) {
      EXPECT_EQ(ReadFileBytes(c.target), text);
    }
  }
}

}  // namespace
}  // namespace ormid
