// The long-term run: consumption records checked against the residue table,
// the single-precision totals, every endpoint code's rows, and the report.
#include <gtest/gtest.h>

#include "core/run_host.h"
#include "exposure/exposure_rows.h"
#include "exposure/long_term_report.h"
#include "exposure/total_exposure.h"
#include "report/report_writer.h"
#include "setup/run_request.h"
#include "tests/installation_fixture.h"

namespace ormid::test {
namespace {

namespace td = testdata;

float Total(const ModOrmid& m, int column) {
  return m.gPopExposure[static_cast<std::size_t>(column)];
}

// Exposure of column c in the small installation, term by term in residue
// table order, each term rounded to single precision as the run does.
float ExpectedTotal(int c, bool adj2) {
  auto fc = static_cast<float>(c);
  float e = 0;
  auto add = [&](float cons, float r, float a1, float a2) {
    e = static_cast<float>(static_cast<double>(e) + ExposureTerm(cons, r, a1, a2, adj2));
  };
  add(0.5f * fc, 1.5f, 1, 1);
  add(0.11f * fc, 0.2f, 1, 0.5f);
  add(0.12f * fc, 0.3f, 2, 1);
  add(0.13f * fc, 0.4f, 1, 1);
  add(0.25f * fc, 0.1f, 1, 1);
  add(0.125f * fc, 0.02f, 1, 1);
  add(0.05f * fc, 3.0f, 0.5f, 0.25f);
  return e;
}

TEST(TotalExposure, SumsEveryFoodAndFormInTableOrderForBothLayouts) {
  for (int base : {0, 2}) {
    for (bool adj2 : {false, true}) {
      StartedInstallation inst(SmallInstallation(base));
      ASSERT_TRUE(inst.started);
      ASSERT_TRUE(inst.Open(SmallResidueFile(base), base == 0 ? "t.R98" : "t.R10"));
      inst.m.gUseAdj2 = adj2 ? 1 : 0;
      int failed = 0;
      ComputeTotalExposure(inst.m, inst.platform, failed);
      ASSERT_EQ(failed, 0);
      for (int c = 1; c <= inst.m.gPopCount; ++c)
        EXPECT_EQ(Total(inst.m, c), ExpectedTotal(c, adj2)) << "base " << base << " column " << c;
      EXPECT_TRUE(inst.platform.messages.empty());
    }
  }
}

TEST(ExposureTerm, RoundsProductOnceThenSecondFactor) {
  // 0.1 * 0.3 * 0.7 / 1000 formed in double and rounded once differs from
  // rounding after every step.
  float once = static_cast<float>(0.1f * static_cast<double>(0.3f) * 0.7f / 1000.0);
  EXPECT_EQ(ExposureTerm(0.1f, 0.3f, 0.7f, 9.0f, false), once);
  EXPECT_EQ(ExposureTerm(0.1f, 0.3f, 0.7f, 3.0f, true),
            static_cast<float>(static_cast<double>(once) * 3.0));
}

TEST(TotalExposure, BlankRecordEndsTheFoodButNotTheWalk) {
  auto inst = SmallInstallation(0);
  inst.foods[1].forms[1].consumption.code = "";  // carrot's second form: no data
  StartedInstallation s(inst);
  ASSERT_TRUE(s.Open(SmallResidueFile(0)));
  int failed = 0;
  ComputeTotalExposure(s.m, s.platform, failed);
  ASSERT_EQ(failed, 0);
  // Column 1 without carrot forms 120 and 130, everything else as before.
  float e = 0;
  for (auto [c, r, a1] : {std::tuple{0.5f, 1.5f, 1.0f},
                          {0.11f, 0.2f, 1.0f},
                          {0.25f, 0.1f, 1.0f},
                          {0.125f, 0.02f, 1.0f},
                          {0.05f, 3.0f, 0.5f}})
    e = static_cast<float>(static_cast<double>(e) + ExposureTerm(c, r, a1, 1, false));
  EXPECT_EQ(Total(s.m, 1), e);
}

TEST(TotalExposure, MismatchedRecordsStopWithTheMeanFileMessage) {
  struct Case {
    int base;
    void (*damage)(td::Installation&);
    const char* text;
  } cases[] = {
      {0, [](td::Installation& i) { i.foods[0].consumption.code = "01019999"; },
       "MEAN FILE ERROR: 01019999 <> 01010000. Call Halvern Software."},
      {0, [](td::Installation& i) { i.foods[1].forms[0].consumption.formCode = 31; },
       "MEAN FILE ERROR:  31 <>  110. Call Halvern Software."},
      {0, [](td::Installation& i) { i.foods[1].forms[2].consumption.formCode = -4; },
       "MEAN FILE ERROR: -4 <>  130. Call Halvern Software."},
      {2, [](td::Installation& i) { i.foods[2].forms[0].consumption.code = "0909090900"; },
       "MEAN FILE ERROR: 0909090900 <> 0303000000. Call Halvern Software."},
  };
  for (const Case& c : cases) {
    auto inst = SmallInstallation(c.base);
    c.damage(inst);
    StartedInstallation s(inst);
    ASSERT_TRUE(s.Open(SmallResidueFile(c.base), c.base == 0 ? "t.R98" : "t.R10"));
    int failed = 0;
    ComputeTotalExposure(s.m, s.platform, failed);
    EXPECT_EQ(failed, 1);
    ASSERT_EQ(s.platform.messages.size(), 1u);
    EXPECT_EQ(s.platform.messages[0].text, c.text);
    EXPECT_EQ(s.platform.messages[0].title, "support file error");
    EXPECT_EQ(s.platform.messages[0].icon, MsgIcon::Critical);
  }
}

TEST(TotalExposure, NineDigitRecordCodeMatchesTheTenCharacterResidueCode) {
  auto inst = SmallInstallation(2);
  inst.foods[0].consumption.code = " 101000000";  // 9 digits after trimming
  StartedInstallation s(inst);
  auto file = SmallResidueFile(2);
  file.foods[0].code = "101000000";  // stored with its leading 0
  ASSERT_TRUE(s.Open(file, "t.R10"));
  int failed = 0;
  ComputeTotalExposure(s.m, s.platform, failed);
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(Total(s.m, 1), ExpectedTotal(1, false));
}

// --- Rows and report lines, from chosen totals ---

// A started installation with chosen totals per report row, ready to write.
class LongTermRows : public ::testing::Test {
 protected:
  void SetUp() override {
    inst_ = std::make_unique<StartedInstallation>(SmallInstallation(2));
    ASSERT_TRUE(inst_->started);
    ASSERT_TRUE(inst_->Open(SmallResidueFile(2), "t.R10"));
    m().gResidueFileName = "/data/residues/test.R10";
    m().gPopExposure.assign(25, 0.001f);
  }
  ModOrmid& m() { return inst_->m; }
  // The report line of report row k.
  std::string RowLine(int k) {
    auto table = BuildExposureRows(m());
    m().gLineCount = 1;
    auto lines = Lines(LongTermReportText(m(), table, DateTime{2024, 3, 5, 9, 7, 1}));
    // Header (1 blank + 7..10 lines), titles and heads: rows follow the
    // heading's dashes line, which is the last line starting with "-----".
    std::size_t first = 0;
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (lines[i].rfind("--------------------------------------   ", 0) == 0) first = i + 1;
    return lines.at(first + static_cast<std::size_t>(k) - 1);
  }
  std::unique_ptr<StartedInstallation> inst_;
};

TEST_F(LongTermRows, EveryEndpointLayout) {
  struct Case {
    const char* code;
    float noel, rfd, q;
    float exposure;
    float pad;
    const char* line;
  } cases[] = {
      {"R", 0, 0.005f, 0, 0.00123f, 0,
       "Subgroup 6                                  0.001230                24.6%"},
      {"R", 0, 0.005f, 0, 0, 0, "Subgroup 6                                  no exposure"},
      // A half after the last decimal rounds away from zero: 12.25 -> 12.3.
      {"R", 0, 0.004f, 0, 0.00049f, 0,
       "Subgroup 6                                  0.000490                12.3%"},
      {"P", 0, 0.005f, 0, 0.001f, 0.002f,
       "Subgroup 6 (.002*)                          0.001000                50.0%"},
      {"P", 0, 0.005f, 0, 0.001f, 0,
       "Subgroup 6                                  0.001000                20.0%"},
      {"N", 5, 0, 0, 0.001f, 0,
       "Subgroup 6                                  0.001000        0.02%       5,000"},
      {"N", 500000, 0, 0, 0.5f, 0,
       "Subgroup 6                                  0.500000        0.00% >1,000,000)"},
      {"N", 5, 0, 0, 0, 0, "Subgroup 6                                  No Exposure"},
      {"NR", 5, 0.005f, 0, 0.001f, 0,
       "Subgroup 6                                  0.001000        5,000       20.0%"},
      {"NR", 5000, 0.005f, 0, 0.001f, 0,
       "Subgroup 6                                  0.001000  >1,000,000        20.0%"},
      {"NP", 5, 0.005f, 0, 0.001f, 0.0025f,
       "Subgroup 6 (.0025*)                         0.001000        5,000       40.0%"},
      {"NP", 5, 0.005f, 0, 0, 0.0025f, "Subgroup 6 (.0025*)                         no exposure"},
      {"Q", 0, 0, 0.05f, 0.0000123f, 0,
       "Subgroup 6                                  0.000012         6.15E-07"},
      {"Q", 0, 0, 0.05f, 0, 0, "Subgroup 6                                  No Exposure"},
      // Below half a millionth prints as zero but is an exposure.
      {"Q", 0, 0, 1.0f, 0.0000004f, 0,
       "Subgroup 6                                  0.000000         4.00E-07"},
      // Wider than the pattern: a percent of 123,400,000 keeps all its digits.
      {"R", 0, 0.0001f, 0, 123.4f, 0,
       "Subgroup 6                                123.400000           123,400,000.%"},
      // Too wide for its column: written as formatted, the next item still at its column.
      {"N", 5, 0, 0, 1234.5f, 0,
       "Subgroup 6                                1234.5        24,690.%            0"},
  };
  for (const Case& c : cases) {
    m().gEndpoint = *EndpointFromCode(c.code);
    m().gNOEL = c.noel;
    m().gRefDose = c.rfd;
    m().gQStar = c.q;
    m().gPopExposure[6] = c.exposure;
    m().gPAD.assign(25, 0.0f);
    m().gPAD[6] = c.pad;
    EXPECT_EQ(RowLine(6), c.line) << c.code << " " << c.exposure;
  }
}

TEST_F(LongTermRows, LongNameMovesTheExposureToTheNextLine) {
  m().gEndpoint = Endpoint::RfD;
  m().gRefDose = 0.005f;
  m().gPopNames2[6] = std::string(43, 'N');
  EXPECT_EQ(RowLine(6), std::string(43, 'N'));
  EXPECT_EQ(RowLine(7), std::string(42, ' ') + "  0.001000                20.0%");
}

TEST_F(LongTermRows, MoeCapComparesTheSingleValueAtOneMillion) {
  m().gEndpoint = Endpoint::Noel;
  m().gNOEL = 500000;
  for (auto [e, capped] : {std::pair{0.5f, true}, {0.50000006f, false}}) {
    m().gPopExposure[3] = e;
    auto rows = BuildExposureRows(m());
    EXPECT_EQ(rows.rows[2].moe >= kMoeCap, capped) << e;
  }
}

// The golden reports hold the NR, P and Q tables; the other codes here.
TEST_F(LongTermRows, ColumnHeadsAndFootnotePerEndpoint) {
  struct Case {
    const char* code;
    const char* second;
    bool footnote;
  } cases[] = {
      {"R", "           Subgroup                       body wt/day             Rfd       ", false},
      {"N", "           Subgroup                       body wt/day    of NOEL   Exposure ", false},
      {"NP", "           Subgroup                       body wt/day    Exposure    of PAD ", true},
  };
  for (const Case& c : cases) {
    m().gEndpoint = *EndpointFromCode(c.code);
    m().gNOEL = 5;
    m().gRefDose = 0.005f;
    m().gPAD.assign(25, 0.0f);
    m().gPAD[10] = 0.01f;
    m().gLineCount = 0;
    auto lines =
        Lines(LongTermReportText(m(), BuildExposureRows(m()), DateTime{2024, 3, 5, 9, 7, 1}));
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.second), lines.end()) << c.code;
    EXPECT_EQ(lines[lines.size() - 2] == " *PAD in mg/kg-bw-day", c.footnote) << c.code;
    // The line count covers every line after the opening blank line.
    EXPECT_EQ(m().gLineCount, static_cast<int>(lines.size())) << c.code;
  }
}

TEST_F(LongTermRows, HeaderBlockForEachEndpoint) {
  m().gResidueFileName = "c:\\res\\t.R10";
  m().gRunComment = "Anticipated residues";
  m().gUseAdj2 = 1;
  m().gNOEL = 0.5f;
  m().gRefDose = 0.005f;
  m().gQStar = 0.05f;
  m().gPAD.assign(25, 0.0f);
  m().gPAD[7] = 0.0025f;
  const std::string head =
      "\r\n"
      "TEST BANNER                                                     Ver. 4.01, 05-10-c\r\n"
      "KAVRI-FCID Ormid analysis for TESTAZOLE                    NHANES 2005-2010 2-day\r\n"
      "Residue file name: c:\\res\\t.R10                      Adjustment factor #2 used.\r\n"
      "Analysis Date 03-05-2024/09:07:01     Residue file dated: 03-15-2024\r\n";
  const std::string tail = "COMMENT 1: Anticipated residues\r\n" + std::string(79, '=') + "\r\n";
  struct Case {
    const char* code;
    int pop;
    const char* doses;
  } cases[] = {
      {"R", 7, "Reference dose (RfD, Ormid) = .005 mg/kg bw/day\r\n"},
      {"P", 7, "Pop Adj dose (PAD, Ormid) = .0025 mg/kg bw/day\r\n"},
      {"P", 0, "Reference dose (RfD, Ormid) = .005 mg/kg bw/day\r\n"},
      {"NP", 7,
       "Pop Adj dose (PAD, Ormid) = .0025 mg/kg bw/day\r\nNOEL (Ormid) = .5 mg/kg bw/day\r\n"},
      {"N", 7, "NOEL (Ormid) = .5 mg/kg bw/day\r\n"},
      {"Q", 7, "Q* = .05 \r\n"},
  };
  for (const Case& c : cases) {
    m().gEndpoint = *EndpointFromCode(c.code);
    ReportWriter w;
    Int16 count = 3;
    WriteReportHeader(m(), w, count, c.pop, DateTime{2024, 3, 5, 9, 7, 1});
    EXPECT_EQ(w.str(), head + c.doses + tail) << c.code;
    EXPECT_EQ(count, 3 + 7 + (c.code == std::string("NP") ? 2 : 1)) << c.code;
  }
  // A first report opens with one more blank line; long names wrap to the
  // column on the next line and still count as one header step.
  m().gEndpoint = Endpoint::RfD;
  m().gChemicalName = std::string(30, 'x');
  m().gResidueFileName = std::string(40, 'r');
  m().gUseAdj2 = 0;
  ReportWriter w;
  Int16 count = 0;
  WriteReportHeader(m(), w, count, 0, DateTime{2024, 3, 5, 9, 7, 1});
  auto lines = Lines(w.str());
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[3], "KAVRI-FCID Ormid analysis for " + std::string(30, 'X'));
  EXPECT_EQ(lines[4], std::string(59, ' ') + "NHANES 2005-2010 2-day");
  EXPECT_EQ(lines[6], std::string(49, ' ') + "Adjustment factor #2 NOT used.");
  EXPECT_EQ(count, 9);
}

// --- The run ---

TEST(LongTermRun, OpeningBlankLinesAndAnUncreatableCopy) {
  StartedInstallation inst(SmallInstallation(0));
  ASSERT_TRUE(inst.Open(SmallResidueFile(0)));
  WindowSettings s;
  s.chkMOE2 = true;
  s.txtMOE2 = "0.005";
  RecordingHost host;
  // No report file name: no message, the report is offered at once.
  ASSERT_EQ(host.Run(inst.m, inst.platform, s, RunKind::LongTerm), RunStatus::Done);
  EXPECT_EQ(host.shows, 1);
  EXPECT_TRUE(inst.platform.messages.empty());
  EXPECT_EQ(ReadFileBytes("ormdtemp.txt").substr(0, 4), "\r\n\r\n") << "first of a program run";

  // A report file that cannot be created: the message, focus to the name,
  // and the temporary report stands.
  s.chkSaveRpt = true;
  s.txtRptFile = inst.dir.str() + "/no-such-folder/week2";
  EXPECT_EQ(host.Run(inst.m, inst.platform, s, RunKind::LongTerm), RunStatus::Stopped);
  ASSERT_EQ(inst.platform.messages.size(), 1u);
  EXPECT_EQ(inst.platform.messages[0].title, "KAVRI-FCID Ormid");
  EXPECT_EQ(inst.platform.messages[0].text,
            "Report file name (or path\\filename) " + s.txtRptFile +
                ".OR10 is invalid. Specifiy a valid filename or path\\filename.");
  EXPECT_EQ(host.focus.back(), Control::txtRptFile);
  EXPECT_EQ(ReadFileBytes("ormdtemp.txt").substr(0, 3), "\r\nT") << "later ones: one blank line";
}

TEST(LongTermRun, FailedRunLeavesThePreviousReport) {
  auto installation = SmallInstallation(0);
  installation.foods[3].consumption.code = "04049999";
  StartedInstallation inst(installation);
  ASSERT_TRUE(inst.Open(SmallResidueFile(0)));
  WriteFileBytes("ormdtemp.txt", "previous report\r\n");
  WindowSettings s;
  s.chkMOE2 = true;
  s.txtMOE2 = "0.005";
  RecordingHost host;
  EXPECT_EQ(host.Run(inst.m, inst.platform, s, RunKind::LongTerm), RunStatus::Stopped);
  EXPECT_EQ(ReadFileBytes("ormdtemp.txt"), "previous report\r\n");
  EXPECT_EQ(host.shows, 0);
}

}  // namespace
}  // namespace ormid::test
