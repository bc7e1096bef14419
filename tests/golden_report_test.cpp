// Golden reports: whole reports of generated installations compared byte for
// byte with the expected reports stored in tests/golden/. On a difference the
// first differing line is printed. ORMID_UPDATE_GOLDEN=1 rewrites them (read
// the diff before committing a change).
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "core/run_host.h"
#include "residue/residue_listing.h"
#include "setup/run_request.h"
#include "tests/installation_fixture.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;

struct QuietHost : RunHost {};

// The first line where two reports differ, for the failure message.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
  std::size_t line = 1, start = 0;
  for (std::size_t i = 0; i < std::min(expected.size(), actual.size()); ++i) {
    if (expected[i] != actual[i]) {
      auto lineOf = [&](const std::string& s) {
        return s.substr(start, s.find('\n', start) - start);
      };
      return "line " + std::to_string(line) + ", byte " + std::to_string(i) +
             "\n  expected: " + lineOf(expected) + "\n  actual:   " + lineOf(actual);
    }
    if (expected[i] == '\n') {
      ++line;
      start = i + 1;
    }
  }
  return "lengths differ: expected " + std::to_string(expected.size()) + " bytes, actual " +
         std::to_string(actual.size());
}

void CompareWithGolden(const std::string& name, const std::string& actual) {
  fs::path golden = SourceDir() / "tests" / "golden" / name;
  if (const char* update = std::getenv("ORMID_UPDATE_GOLDEN"); update && *update == '1') {
    fs::create_directories(golden.parent_path());
    WriteFileBytes(golden, actual);
    return;
  }
  ASSERT_TRUE(fs::exists(golden)) << golden;
  std::string expected = ReadFileBytes(golden);
  if (expected != actual) ADD_FAILURE() << name << ": " << FirstDifference(expected, actual);
}

struct GoldenCase {
  const char* name;
  int base;
  std::function<void(WindowSettings&)> settings;
  RunKind kind;
  const char* report;
};

class GoldenReports : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenReports, MatchByteForByte) {
  const GoldenCase& c = GetParam();
  auto installation = SmallInstallation(c.base);
  installation.setup.pageLength = 40;
  installation.setup.pageNumbers = c.base == 0 ? "Y" : "N";
  StartedInstallation inst(installation);
  ASSERT_TRUE(inst.started);
  ASSERT_TRUE(inst.Open(SmallResidueFile(c.base), c.base == 0 ? "golden.R98" : "golden.R10"));
  // The report names the residue file; a fixed name keeps it independent of the folder.
  inst.m.gResidueFileName =
      c.base == 0 ? "C:\\KAVRI\\residues\\golden.R98" : "C:\\KAVRI\\residues\\golden.R10";
  inst.m.gPAD[c.base == 0 ? 17 : 7] = 0.0025f;
  WindowSettings s;
  s.txtMOE1 = "0.5";
  s.txtMOE2 = "0.005";
  s.txtMOE3 = "0.05";
  s.txtComment = "Golden run";
  s.chkStandard.assign(static_cast<std::size_t>(inst.m.gPopCount), 0);
  c.settings(s);
  QuietHost host;
  if (c.kind == RunKind::Listing) {
    Control focus;
    ASSERT_TRUE(CheckResidueListing(inst.m, inst.platform, s, focus));
    ASSERT_TRUE(WriteResidueListing(inst.m, inst.platform, s, "tempres.fil"));
  } else {
    ASSERT_EQ(RunThroughSession(inst.m, inst.platform, host, s, c.kind).status, RunStatus::Done);
  }
  EXPECT_TRUE(inst.platform.messages.empty());
  CompareWithGolden(c.name, ReadFileBytes(c.report));
}

INSTANTIATE_TEST_SUITE_P(
    Reports, GoldenReports,
    ::testing::Values(
        GoldenCase{"longterm-csfii-NR.txt", 0,
                   [](WindowSettings& s) { s.chkMOE1 = s.chkMOE2 = s.chkSecondAdj = true; },
                   RunKind::LongTerm, "ormdtemp.txt"},
        GoldenCase{"longterm-nhanes-P.txt", 2,
                   [](WindowSettings& s) { s.chkMOE2 = s.chkMOE4 = true; }, RunKind::LongTerm,
                   "ormdtemp.txt"},
        GoldenCase{"longterm-nhanes-Q.txt", 2, [](WindowSettings& s) { s.chkMOE3 = true; },
                   RunKind::LongTerm, "ormdtemp.txt"},
        GoldenCase{"commodity-csfii-N.txt", 0,
                   [](WindowSettings& s) {
                     s.chkMOE1 = s.chkComplete = s.chkCritical = true;
                     s.txtCrit1 = "5";
                     s.txtCrit2 = "10";
                     s.chkStandard[0] = s.chkStandard[16] = 1;
                   },
                   RunKind::Commodity, "tempcomm.txt"},
        GoldenCase{"commodity-nhanes-NP.txt", 2,
                   [](WindowSettings& s) {
                     s.chkMOE1 = s.chkMOE2 = s.chkMOE4 = s.chkCritical = true;
                     s.txtCrit1 = "2";
                     s.txtCrit2 = "50";
                     s.chkStandard[6] = 1;
                   },
                   RunKind::Commodity, "tempcomm.txt"},
        GoldenCase{"commodity-nhanes-R.txt", 2,
                   [](WindowSettings& s) {
                     s.chkMOE2 = s.chkComplete = true;
                     s.chkStandard[2] = 1;
                   },
                   RunKind::Commodity, "tempcomm.txt"},
        GoldenCase{"listing-csfii.txt", 0, [](WindowSettings& s) { s.chkMOE1 = s.chkMOE2 = true; },
                   RunKind::Listing, "tempres.fil"}),
    [](const ::testing::TestParamInfo<GoldenCase>& info) {
      std::string n = info.param.name;
      for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

}  // namespace
}  // namespace ormid::test
