// The run request's checks, in their fixed order, with their messages and
// the control that gets the focus; the report file name; the run parameters.
#include <gtest/gtest.h>

#include "core/run_host.h"
#include "setup/pad_form.h"
#include "setup/run_request.h"
#include "tests/installation_fixture.h"

namespace ormid::test {
namespace {

TEST(ReportFileName, PathAndExtensionByKind) {
#ifdef _WIN32
  const std::string path = "c:\\res\\", other = "d:\\out\\week1";
#else
  const std::string path = "/res/", other = "/out/week1";
#endif
  struct Case {
    std::string typed;
    RunKind kind;
    std::string name;
  } cases[] = {
      {"week1", RunKind::LongTerm, path + "week1.OR10"},
      {" week1 ", RunKind::LongTerm, path + "week1.OR10"},
      {"week1.or10", RunKind::LongTerm, path + "week1.or10"},
      {"week1.CC10", RunKind::LongTerm, path + "week1.OR10"},
      {other, RunKind::LongTerm, other + ".OR10"},
      {"week1", RunKind::Commodity, path + "week1.CC10"},
      {"week1.OR10", RunKind::Commodity, path + "week1.CC10"},
      {"week1.cc10", RunKind::Commodity, path + "week1.cc10"},
      {"c:week1", RunKind::LongTerm, "c:week1.OR10"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReportFileNameFor(c.typed, path, c.kind), c.name) << c.typed;
}

class RunRequest : public ::testing::Test {
 protected:
  void SetUp() override {
    inst_ = std::make_unique<StartedInstallation>(SmallInstallation(0));
    ASSERT_TRUE(inst_->Open(SmallResidueFile(0)));
    s_.chkStandard.assign(33, 0);
  }
  // Runs the request; returns the one message shown ("" for none).
  std::string Run(RunKind kind = RunKind::LongTerm) {
    inst_->platform.messages.clear();
    host_.focus.clear();
    status_ = host_.Run(inst_->m, inst_->platform, s_, kind);
    if (inst_->platform.messages.empty()) return "";
    EXPECT_EQ(inst_->platform.messages.size(), 1u);
    return inst_->platform.messages[0].title + ": " + inst_->platform.messages[0].text;
  }
  Control Focus() const { return host_.focus.empty() ? Control::None : host_.focus.back(); }
  ModOrmid& m() { return inst_->m; }

  std::unique_ptr<StartedInstallation> inst_;
  WindowSettings s_;
  RecordingHost host_;
  RunStatus status_ = RunStatus::Refused;
};

TEST_F(RunRequest, ChecksInOrderWithMessageAndFocus) {
  m().gResidueFileName.clear();
  EXPECT_EQ(Run(), "Warning: You must open a residue file before you can begin the analysis.");
  ASSERT_TRUE(inst_->Open(SmallResidueFile(0)));

  s_.chkSaveRpt = true;
  s_.txtRptFile = "   ";
  EXPECT_EQ(Run(),
            "Warning: If you want Ormid reports to be saved to a file, you must specify a valid "
            "file name (without path or extension).");
  EXPECT_EQ(Focus(), Control::txtRptFile);
  s_.chkSaveRpt = false;

  struct Case {
    bool noel, rfd, q;
    const char* t1;
    const char* t2;
    const char* t3;
    const char* message;
    Control focus;
  } cases[] = {
      {true, false, false, "abc", "", "",
       "Ormid Analysis: NOEL is checked but value is not specified.", Control::txtMOE1},
      {true, false, false, "0", "", "",
       "Ormid Analysis: NOEL is checked but value is not specified.", Control::txtMOE1},
      {true, false, false, "-1", "", "",
       "Ormid Analysis: NOEL is checked but value is not specified.", Control::txtMOE1},
      // Positive in double, zero in single precision.
      {true, false, false, "1e-50", "", "",
       "Ormid Analysis: NOEL is checked but value is not specified.", Control::txtMOE1},
      {true, true, false, "5", " ", "",
       "Ormid Analysis: RfD is checked but value is not specified.", Control::txtMOE2},
      // Beyond single precision: infinite, every percentage would read 0.
      {false, true, false, "", "1e39", "",
       "Ormid Analysis: RfD is checked but value is not specified.", Control::txtMOE2},
      {true, false, false, "3.5e38", "", "",
       "Ormid Analysis: NOEL is checked but value is not specified.", Control::txtMOE1},
      {false, false, true, "", "", "1e999",
       "Ormid Analysis: Q* is checked but value is not specified.", Control::txtMOE3},
      {false, false, true, "", "", "0.0",
       "Ormid Analysis: Q* is checked but value is not specified.", Control::txtMOE3},
      {false, false, false, "abc", "", "",
       "Warning: At least one toxicology endpoint must be checked and have a value greater than "
       "zero.",
       Control::txtMOE1},
  };
  for (const Case& c : cases) {
    s_.chkMOE1 = c.noel;
    s_.chkMOE2 = c.rfd;
    s_.chkMOE3 = c.q;
    s_.txtMOE1 = c.t1;
    s_.txtMOE2 = c.t2;
    s_.txtMOE3 = c.t3;
    EXPECT_EQ(Run(), c.message) << c.t1 << "|" << c.t2 << "|" << c.t3;
    EXPECT_EQ(Focus(), c.focus);
    EXPECT_EQ(status_, RunStatus::Refused);
  }
  EXPECT_FALSE(std::filesystem::exists("ormdtemp.txt"));
}

TEST_F(RunRequest, PadNeedsAValueInTheRowsOfTheForm) {
  s_.chkMOE2 = s_.chkMOE4 = true;
  s_.txtMOE2 = "0.005";
  m().gPAD[13] = 0.001f;  // below the first PAD row (14 for CSFII)
  const std::string message =
      "No PAD values available: PAD is checked but no PAD values are entered. Use Edit PAD "
      "button to show PAD data entry form.";
  EXPECT_EQ(Run(), message);
  EXPECT_EQ(Focus(), Control::cmdPAD);
  m().gPAD[33] = 0.001f;
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(m().gEndpoint, Endpoint::Pad);
}

TEST_F(RunRequest, EndpointTableAndRunParameters) {
  struct Case {
    bool noel, rfd, q, pad;
    const char* code;
    float n, r, qs;
  } cases[] = {
      {true, false, false, false, "N", 0.5f, 0, 0},
      {false, true, false, false, "R", 0, 0.005f, 0},
      {false, true, false, true, "P", 0, 0.005f, 0},
      {true, true, false, false, "NR", 0.5f, 0.005f, 0},
      {true, true, false, true, "NP", 0.5f, 0.005f, 0},
      {false, false, true, false, "Q", 0, 0, 0.05f},
  };
  m().gPAD[20] = 0.01f;
  s_.txtMOE1 = "0.5";
  s_.txtMOE2 = " 5e-3xyz";  // the leading numeric prefix counts
  s_.txtMOE3 = ".05";
  s_.txtComment = "  spaced comment  ";
  s_.chkSecondAdj = true;
  for (const Case& c : cases) {
    s_.chkMOE1 = c.noel;
    s_.chkMOE2 = c.rfd;
    s_.chkMOE3 = c.q;
    s_.chkMOE4 = c.pad;
    EXPECT_EQ(Run(), "") << c.code;
    EXPECT_EQ(status_, RunStatus::Done);
    EXPECT_EQ(EndpointCode(m().gEndpoint), c.code);
    EXPECT_EQ(m().gNOEL, c.n) << c.code;
    EXPECT_EQ(m().gRefDose, c.r) << c.code;
    EXPECT_EQ(m().gQStar, c.qs) << c.code;
    EXPECT_EQ(m().gUseAdj2, 1);
    EXPECT_EQ(m().gRunComment, "spaced comment");
  }
}

TEST_F(RunRequest, CriticalValuesAndSubgroupSelection) {
  s_.chkMOE2 = true;
  s_.txtMOE2 = "0.005";
  s_.chkCritical = true;
  const std::string food =
      "Ormid Analysis: Please enter a valid critical value for Foods/Foodforms";
  const std::string crop = "Ormid Analysis: Please enter a valid critical value for Crop Groups";
  struct Case {
    const char* c1;
    const char* c2;
    std::string message;
  } cases[] = {
      {"", "5", food},     {"1,5", "5", food},   {"5", "abc", crop},
      {"0.09", "5", food}, {"5", "99.01", crop}, {"0.1", "99", ""},
  };
  for (const Case& c : cases) {
    s_.txtCrit1 = c.c1;
    s_.txtCrit2 = c.c2;
    // Kind 1 checks the critical values as well.
    EXPECT_EQ(Run(RunKind::LongTerm), c.message) << c.c1 << " " << c.c2;
  }
  EXPECT_EQ(m().gCritFoodPct, 0.1f);
  EXPECT_EQ(m().gCritCropPct, 99.0f);

  // No subgroup: refused after the endpoint parameters were set.
  m().gEndpoint = Endpoint::QStar;
  EXPECT_EQ(Run(RunKind::Commodity),
            "Ormid Analysis: You must check at least one population before you perform a "
            "commodity analysis");
  EXPECT_EQ(Focus(), Control::chkStandard1);
  EXPECT_EQ(m().gEndpoint, Endpoint::RfD);

  s_.chkStandard[0] = 1;
  s_.chkStandard[4] = 2;  // grayed counts as selected
  for (auto [complete, critical, kind] :
       {std::tuple{true, false, "A"}, {false, true, "B"}, {true, true, "C"}}) {
    s_.chkComplete = complete;
    s_.chkCritical = critical;
    Run(RunKind::Commodity);
    for (int k = 1; k <= 33; ++k)
      EXPECT_EQ(m().gCommodityKind[static_cast<std::size_t>(k)], k == 1 || k == 5 ? kind : "") << k;
  }
}

TEST_F(RunRequest, OverwriteQuestionComesBeforeTheEndpointChecks) {
  s_.chkSaveRpt = true;
  s_.txtRptFile = "week1";
  std::string name = m().gResiduePath + "week1.OR10";
  WriteFileBytes(name, "old copy");
  const std::string question = "KAVRI-FCID Ormid Module: Report file " + name +
                               " already exists. Do you want to write over this file?";
  inst_->platform.answers = {MsgAnswer::No};
  EXPECT_EQ(Run(), question);
  EXPECT_EQ(Focus(), Control::txtRptFile);
  inst_->platform.answers = {MsgAnswer::Cancel};
  EXPECT_EQ(Run(), question);
  EXPECT_EQ(Focus(), Control::None);
  // Yes, then a missing endpoint stops the run: nothing is written.
  inst_->platform.answers = {MsgAnswer::Yes};
  inst_->platform.messages.clear();
  EXPECT_EQ(host_.Run(m(), inst_->platform, s_, RunKind::LongTerm), RunStatus::Refused);
  ASSERT_EQ(inst_->platform.messages.size(), 2u);
  EXPECT_EQ(inst_->platform.messages[1].text,
            "At least one toxicology endpoint must be checked and have a value greater than "
            "zero.");
  EXPECT_EQ(ReadFileBytes(name), "old copy");
}

TEST(PadForm, RowsKeysAndExitSave) {
  StartedInstallation inst(SmallInstallation(2));
  ModOrmid& m = inst.m;
  auto rows = LoadPadRows(m);
  ASSERT_EQ(rows.size(), 19u);
  EXPECT_EQ(rows.front().subgroup, 6);
  EXPECT_EQ(rows.back().subgroup, 24);
  for (auto& r : rows) EXPECT_EQ(r.text, "");

  rows[0].text = "abc";
  EXPECT_EQ(PadKeyDown(rows, 0, PadKey::Enter), 0);
  EXPECT_EQ(rows[0].text, "");
  rows[1].text = "-1";
  EXPECT_EQ(PadKeyDown(rows, 1, PadKey::Down), 1);
  EXPECT_EQ(rows[1].text, "");
  rows[1].text = "1e39";  // beyond single precision
  EXPECT_EQ(PadKeyDown(rows, 1, PadKey::Down), 1);
  EXPECT_EQ(rows[1].text, "");
  rows[1].text = "0";
  EXPECT_EQ(PadKeyDown(rows, 1, PadKey::Down), 2);
  EXPECT_EQ(PadKeyDown(rows, 18, PadKey::Down), 0);
  EXPECT_EQ(PadKeyDown(rows, 0, PadKey::Up), 18);
  rows[5].text = "xyz";
  EXPECT_EQ(PadKeyDown(rows, 5, PadKey::Other), 5);
  EXPECT_EQ(rows[5].text, "xyz") << "other keys do not validate";

  rows[2].text = "0.25";
  rows[3].text = "1,5";
  rows[4].text = "-2";  // never validated through the keys: stored as it stands
  rows[6].text = "3.5e38";
  StorePadRows(m, rows);
  EXPECT_EQ(m.gPAD[8], 0.25f);
  EXPECT_EQ(m.gPAD[9], 1.0f);
  EXPECT_EQ(m.gPAD[10], -2.0f);
  EXPECT_EQ(m.gPAD[11], 0.0f) << "a word stores 0";
  EXPECT_EQ(m.gPAD[12], 0.0f) << "a value beyond single precision stores 0";
  EXPECT_EQ(LoadPadRows(m)[2].text, "0.25");

  // Fewer subgroups than the form's rows: the rows without a subgroup are left out.
  m.gPopCount = 10;
  EXPECT_EQ(LoadPadRows(m).size(), 5u);
}

}  // namespace
}  // namespace ormid::test
