#include "residue/residue_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/installation_fixture.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;
namespace td = testdata;

fs::path ResiduePath(const StartedInstallation& s, const std::string& name) {
  return s.dir.path() / "residues" / name;
}

// Writes text as a residue file of the installation and opens it.
bool OpenText(StartedInstallation& s, const std::string& text, const std::string& name = "t.R98") {
  WriteFileBytes(ResiduePath(s, name), text);
  s.platform.openAnswers.push_back(ResiduePath(s, name).string());
  int cancelled = 0;
  OpenResidueFile(s.m, s.platform, cancelled);
  EXPECT_EQ(s.m.gResidueLoaded, cancelled == 0 ? 1 : 0);
  return cancelled == 0;
}

// The small residue file's text with the first occurrence of from replaced.
std::string SmallText(const std::string& from = "", const std::string& to = "") {
  std::string text = td::ResidueFileText(SmallResidueFile(0));
  if (from.empty()) return text;
  auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The small residue file's text up to (not including) the marker.
std::string CutBefore(const std::string& marker) {
  std::string text = SmallText();
  return text.substr(0, text.find(marker));
}

// A plain CSFII file with a comment of two lines, and an NHANES file of
// several chemicals without a comment: a chemical line whose last two
// characters read as a number other than 0 has a second line (whole lines, so
// commas and quotes in them don't matter), and the value pairs are skipped.
TEST(ResidueReaderTest, FillsTheTable) {
  for (int base : {0, 2}) {
    SCOPED_TRACE(base);
    StartedInstallation s(SmallInstallation(base));
    ASSERT_TRUE(s.started);
    td::ResidueFile file = SmallResidueFile(base);
    file.comment = "Tolerance residues,\r\nfrom a multi-line box";
    if (base == 2) {
      file.tag = "05-10-cMCNH2";
      file.chemicals = {{"\"Chem A\", 1", "5,\"second line, skipped\""},
                        {"Chem B 0", "not written"},
                        {"Chem Cab", "not written"},
                        {"Chem D 10", "\"D\",\"more\""}};
      file.pairCount = 2;
      file.foods[0].pairs = {{9, 9}, {8, 8}};
      file.foods[1].forms[1].pairs = {{7, 7}};
      file.comment.reset();  // item 11 is then the food count
    }
    ASSERT_TRUE(s.Open(file, base == 0 ? "small.R98" : "small.R10"));
    const ModOrmid& m = s.m;
    EXPECT_TRUE(s.platform.messages.empty());
    ASSERT_EQ(s.platform.openRequests.size(), 1u);
    const FileDialogRequest& request = s.platform.openRequests[0];
    EXPECT_EQ(request.filter, base == 0 ? "Residue files (*.R98)|*.R98;*.r98"
                                        : "Residue files (*.R10)|*.R10;*.r10");
    EXPECT_EQ(request.initialDir, "residues/");
    EXPECT_EQ(m.gResiduePath, (s.dir.path() / "residues" / "").string());
    EXPECT_EQ(m.gChemicalName, "Testazole");
    EXPECT_EQ(m.gRefDose, 0.005f);
    EXPECT_EQ(m.gNOEL, 0.5f);
    EXPECT_EQ(m.gQStar, 0.05f);
    EXPECT_EQ(m.gResidueFileDate, "03-15-2024");
    EXPECT_EQ(m.gRunComment, base == 0 ? "Tolerance residues,\r\nfrom a multi-line box" : "");
    ASSERT_EQ(m.gResFoodCount, 5);
    EXPECT_EQ(m.gFoodName[5], "Lettuce");
    EXPECT_EQ(m.gFoodAdj1, (std::vector<float>{0, 1, 1, 1, 1, 0.5f, 0}));
    EXPECT_EQ(m.gFoodAdj2, (std::vector<float>{0, 1, 1, 1, 1, 0.25f, 0}));
    EXPECT_EQ(m.gFormResidue, (std::vector<float>{0, 0.2f, 0.3f, 0.4f, 0.1f, 0}));
    EXPECT_EQ(m.gFormAdj1, (std::vector<float>{0, 1, 2, 1, 1, 0}));
  }
}

// Residue files as they are opened: the tags accepted, with or without a
// message, and the files refused with the message that says why. Refusals of
// invalid or damaged files are exclamations, every other message information.
TEST(ResidueReaderTest, OpensOrRefusesFiles) {
  auto tagged = [](int base, const std::string& tag) {
    td::ResidueFile file = SmallResidueFile(base);
    file.tag = tag;
    file.pairCount = 2;  // value pairs only with chemicals
    return td::ResidueFileText(file);
  };
  td::ResidueFile manyForms = SmallResidueFile(0);
  manyForms.foods[2].forms.resize(3);
  td::ResidueFile headerOnly = SmallResidueFile(0);
  headerOnly.foods.clear();
  const std::string empty = td::ResidueFileText(headerOnly);
  std::string badChemicals = SmallText("\"FCID1\"", "\"FCIDMC1\""), badPairs = badChemicals;
  badChemicals.insert(badChemicals.find("\r\n-1,") + 2, "-2\r\n");
  badPairs.insert(badPairs.find("\r\n-1,") + 2, "1\r\nChem 0\r\n");
  badPairs.replace(badPairs.find(",5\r\n0\r\n") + 4, 1, "-1");

  const std::string update = "R98 File Update Not Completed", invalid = "Reading R98 file";
  const std::string reading = "Reading Residue File", bad = "can't be read: ";
  const std::string oneDay = "Reading 1-day NHANES residue file.";
  const std::string oneDayText =
      "Can't read residue files made with 1-day NHANES database at present.";
  const std::string noFoods =
      " has no foods or foodforms with residue values. No analysis can be performed.";
  auto version = [](const std::string& v) {
    return "This residue file was saved with the set of RAC and Foodforms at version " + v +
           ". Please load this file into the KAVRI residue file editor and resave it before you "
           "use it to perform a dietary exposure assessment.  Review RAC/FF additions since "
           "that version. Can't use this file until this is done.";
  };
  struct Case {
    int base;
    std::string text;
    bool accepted;
    std::string title, part;  // of the one message, if any
  } cases[] = {
      {0, tagged(0, "FCID1"), true, "", ""},
      {0, tagged(0, "FCID"), true, update, "reasons:\r\n\r\nThis R98 file was created"},
      {0, tagged(0, "FCIDMC"), true, update, "Editor.\r\n\r\nThis R98 file was generated"},
      {0, tagged(0, "fcid1"), false, invalid, "This is an invalid R98 file."},
      {0, tagged(0, "FCID1 "), false, invalid, "This is an invalid R98 file."},
      {1, tagged(1, "FCID1"), false, oneDay, oneDayText},
      // One-day files are refused right after the tag, whatever follows.
      {1, "\"Chem\",0.1,\"FCID1\"", false, oneDay, oneDayText},
      {2, tagged(2, "05-10-cNH2"), true, "", ""},
      {2, tagged(2, "x05-10-bMCNH2"), true, "", ""},
      {2, tagged(2, "04-01-aMCNH2"), false, reading, version("04-01-a")},
      {2, tagged(2, "R10-04-01-a"), false, reading, version("R10-04-01-a")},
      {2, tagged(2, "05-10-CNH2"), false, reading, version("05-10-C")},
      {0, empty, false, "Empty Residue File", noFoods},
      {0, empty + "0\r\n0,\r\n\r\n", false, "Empty Residue File", noFoods},
      {0, CutBefore(",0.5,"), false, reading, bad + "line 1: the file ends here (NOEL)"},
      {0, CutBefore("-1,"), false, reading, bad + "line 2: the file ends here (comment flag)"},
      {0, CutBefore("\"Lettuce\""), false, reading,
       bad + "line 12: the file ends here (food name of food entry 5)"},
      {0, CutBefore("120,") + "120,", false, reading,
       bad + "line 7: the file ends here (food form 2 of food entry 2)"},
      {0, SmallText(",1.5,", ",abc,"), false, reading,
       bad + "line 4: \"abc\" where a number belongs (residue of food entry 1)"},
      {0, SmallText("\r\n5,", "\r\n7,"), false, reading,
       bad + "line 12: food number 7 of food entry 5 lies outside the master food list (1 to 6)"},
      {0, SmallText("1,0,\"Apple\"", "1,-1,\"Apple\""), false, reading,
       bad + "line 4: food entry 1 has a negative number of food forms"},
      {0, SmallText() + SmallText().substr(SmallText().find("\r\n4,") + 2), false, reading,
       bad + "it holds more food entries than the 6 foods of the master food list"},
      {0, td::ResidueFileText(manyForms), false, reading,
       bad + "it holds more food-form entries than the 5 entries of the master food-form list"},
      {0, badChemicals, false, reading, bad + "a negative number of chemicals"},
      {0, badPairs, false, reading, bad + "a negative number of chemical value pairs"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.part.empty() ? c.text.substr(0, 40) : c.part);
    StartedInstallation s(SmallInstallation(c.base));
    EXPECT_EQ(OpenText(s, c.text), c.accepted);
    EXPECT_EQ(s.m.gResFoodCount, c.accepted ? 5 : 0);
    EXPECT_EQ(s.m.gResiduePath == "residues/", !c.accepted);
    ASSERT_EQ(s.platform.messages.size(), c.title.empty() ? 0u : 1u);
    if (c.title.empty()) continue;
    const RecordedMessage& msg = s.platform.messages[0];
    EXPECT_EQ(msg.title, c.title);
    EXPECT_NE(msg.text.find(c.part), std::string::npos) << msg.text;
    const bool refusal = c.title == invalid || c.part.starts_with(bad);
    EXPECT_EQ(msg.icon, refusal ? MsgIcon::Exclamation : MsgIcon::Information);
    EXPECT_EQ(msg.buttons, MsgButtons::OK);
  }
}

TEST(ResidueReaderTest, EntryLayout) {
  StartedInstallation s(SmallInstallation(0));
  // A food number 0 is one item: the items 0, 4, ... start an entry for food 4.
  std::string text = SmallText("\r\n4,", "\r\n0,4,") + "0\r\n\r\n";
  ASSERT_TRUE(OpenText(s, text));
  EXPECT_EQ(s.m.gFoodConsRec, (std::vector<Int16>{0, 1, 2, 3, 4, 5, 0}));

  // EPA codes are trimmed; nine characters get a leading 0.
  td::ResidueFile file = SmallResidueFile(0);
  const std::pair<std::string, std::string> codes[] = {{" 123456789", "0123456789"},
                                                       {"123456789 ", "0123456789"},
                                                       {" 12345678", "12345678"},
                                                       {"12345678901", "12345678901"},
                                                       {" 1234567890 ", "1234567890"}};
  for (std::size_t i = 0; i < 5; ++i) file.foods[i].code = codes[i].first;
  // Food-form codes outside the food's own master entries match nothing.
  file.foods[1].forms[1].code = 999;
  file.foods[1].forms[2].code = 200;  // a master entry of food 3
  ASSERT_TRUE(s.Open(file));
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(s.m.gFoodCode[i + 1], codes[i].second);
  EXPECT_EQ(s.m.gFormCode, (std::vector<Int16>{0, 110, 999, 200, 200, 0}));
  EXPECT_EQ(s.m.gFormConsRec, (std::vector<Int16>{0, 1, 0, 0, 4, 0}));
  EXPECT_EQ(s.m.gFoodFirstForm[3], 4);
}

TEST(ResidueReaderTest, PathErrorLoop) {
  StartedInstallation s(SmallInstallation(0));
  const std::string missing = ResiduePath(s, "missing.R98").string();
  const std::string good = ResiduePath(s, "good.R98").string();
  td::WriteResidueFile(SmallResidueFile(0), good);
  FakePlatform& p = s.platform;

  // OK returns to the dialog, pre-filled with the name not found.
  p.openAnswers = {missing, good};
  int cancelled = 0;
  OpenResidueFile(s.m, p, cancelled);
  EXPECT_EQ(cancelled, 0);
  ASSERT_EQ(p.messages.size(), 1u);
  EXPECT_TRUE(p.messages[0].text.starts_with("Can't find file " + missing + ". The pathname"));
  EXPECT_EQ(p.messages[0].title, "Path Error");
  EXPECT_EQ(p.messages[0].buttons, MsgButtons::OKCancel);
  ASSERT_EQ(p.openRequests.size(), 2u);
  EXPECT_EQ(p.openRequests[1].fileName, missing);

  // Cancel on the message, or in the dialog, ends the open.
  p.openAnswers = {missing};
  p.answers = {MsgAnswer::Cancel};
  OpenResidueFile(s.m, p, cancelled);
  EXPECT_EQ(cancelled, 1);
  EXPECT_EQ(s.m.gResidueLoaded, 0);
  EXPECT_EQ(p.openRequests.size(), 3u);
  cancelled = 0;
  OpenResidueFile(s.m, p, cancelled);
  EXPECT_EQ(cancelled, 1);
  EXPECT_EQ(p.messages.size(), 2u);
}

TEST(ResidueReaderTest, FileLabel) {
  const std::string sixty = std::string(56, 'a') + ".R98";
  const std::string fifty = std::string(46, 'b') + ".R98";
  const std::pair<std::string, std::string> cases[] = {
      {"/x/y/short.R98", "short.R98"},
      {"/x/" + fifty, fifty},
      {"/x/" + sixty, "..." + sixty.substr(13)},
  };
  for (const auto& [path, label] : cases) EXPECT_EQ(ResidueFileLabel(path), label) << path;
}

}  // namespace
}  // namespace ormid::test
