#include "setup/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/installation_fixture.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;
namespace td = testdata;

// Edits of an installation's files after it is written.
using Edit = std::function<void(const fs::path&)>;

// Replaces the first occurrence of from in the file.
Edit Swap(std::string file, std::string from, std::string to) {
  return [=](const fs::path& dir) {
    std::string text = ReadFileBytes(dir / file);
    auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    WriteFileBytes(dir / file, text.replace(at, from.size(), to));
  };
}
Edit Remove(std::vector<std::string> files) {
  return [=](const fs::path& dir) {
    for (const auto& f : files) fs::remove(dir / f);
  };
}
// Keeps the first n lines of the file.
Edit Cut(std::string file, int n) {
  return [=](const fs::path& dir) {
    std::string text = ReadFileBytes(dir / file);
    std::size_t at = 0;
    for (int i = 0; i < n; ++i) at = text.find('\n', at) + 1;
    WriteFileBytes(dir / file, text.substr(0, at));
  };
}

// Both survey kinds; an empty record (food number 0, whatever else it holds)
// at record 8 and food 7 at record 9: foods are stored by food number.
TEST(StartUpTest, FillsTheEnvironment) {
  for (int base : {0, 2}) {
    SCOPED_TRACE(base);
    td::Installation inst = SmallInstallation(base);
    inst.foods.push_back({0, 8, "", "XX", 0, "", {}, {}});
    inst.foods.push_back({7, 9, "", "9B", 0, "", {}, {}});
    StartedInstallation s(inst);
    const ModOrmid& m = s.m;
    ASSERT_TRUE(s.started);  // a CSFII list's seventh file need not exist
    EXPECT_TRUE(s.platform.messages.empty());
    EXPECT_TRUE(fs::equivalent(m.gWorkingDir, s.dir.path()));
    EXPECT_EQ(m.gDataVersion, base == 0 ? "94-98-test" : "05-10-c");
    EXPECT_EQ(m.gSupportFile7, base == 0 ? "Support7.dat" : "");
    EXPECT_EQ(m.gConsumptionFile2, "Cons2.dat");  // the names after the seventh are in step
    EXPECT_EQ(m.gSupportListB, (std::vector<std::string>{"", "b1", "b2"}));
    const int columns = base == 0 ? 33 : 24;
    ASSERT_EQ(m.gPopCount, columns);
    EXPECT_EQ(m.gPopNames[columns], "Subgroup " + std::to_string(columns));
    EXPECT_EQ(m.gPopNames2, m.gPopNames);
    EXPECT_EQ(m.gPAD, std::vector<float>(columns + 1u, 0.0f));
    EXPECT_EQ(m.gPADRowCount, base == 0 ? 20 : 19);
    EXPECT_EQ(m.gPADFirstPop, base == 0 ? 14 : 6);
    EXPECT_EQ(m.gResiduePath, "residues/");

    EXPECT_EQ(m.gFormDesc1.size(), 10u);
    EXPECT_EQ(m.gFormDesc2, (std::vector<std::string>{"Fresh", "Frozen", "Dried", ""}));
    const int groups = base == 0 ? 38 : 82;
    ASSERT_EQ(m.gCropGroupCount, groups);
    EXPECT_EQ(m.gCropGroupNames[0], "All crop groups");
    EXPECT_EQ(m.gCropGroupNames[groups], "Crop group " + std::to_string(groups));

    EXPECT_EQ(m.gFoodCount, 9);
    EXPECT_EQ(m.gRacValue, (std::vector<Int16>{0, 110, 120, 130, 200, 210}));
    EXPECT_EQ(m.gFoodFormCode1, (std::vector<Int16>{0, 0, 3, 2, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(m.gFoodFormCode2, (std::vector<Int16>{0, 0, 1, 4, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(m.gFoodCropGroup,
              (std::vector<std::string>{"", "11", "1A", "15", "M", "4A", "20", "9B", "", ""}));
  }
}

TEST(StartUpTest, WindowCaption) {
  const std::pair<int, std::string> cases[] = {
      {0, "Kavri-FCID Ormid Analysis for CSFII 1994-96, 1998 (ver. 4.01, V) "},
      {1, "Kavri-FCID Ormid Analysis NHANES 1999-2006 1-day analysis (ver. 4.01, V) "},
      {2, "Kavri-FCID Ormid Analysis NHANES 2005-2010 2-day analysis (ver. 4.01, V) "},
      {3, "Kavri-FCID Ormid Analysis for CSFII 1994-96, 1998"}};
  for (const auto& [base, caption] : cases) {
    ModOrmid m;
    m.gSurveyBase = static_cast<Int16>(base);
    m.gProgramVersion = ProgramVersionText();
    m.gDataVersion = "V";
    EXPECT_EQ(WindowCaption(m), caption);
  }
}

TEST(StartUpTest, FolderPromptRepeatsUntilTheSupportListIsFound) {
  TempDir install, elsewhere, startHere;
  td::WriteInstallation(SmallInstallation(2), install.path());
  ScopedCurrentDir cwd(startHere.path());
  FakePlatform p;
  p.inputAnswers = {"KAVRI", (elsewhere.path() / "missing").string(), elsewhere.str(),
                    install.str()};
  ModOrmid m;
  ASSERT_TRUE(StartUp(m, p, true));
  ASSERT_EQ(p.prompts.size(), 4u);
  EXPECT_EQ(p.prompts[0],
            "Can't find file KavriSupport.txt in default directory. Enter directory location of "
            "VUVEVIZOZ or press cancel to end.");
  ASSERT_EQ(p.messages.size(), 2u);
  EXPECT_EQ(p.messages[0].title, "Directory path error");
  EXPECT_EQ(p.messages[1].title + ": " + p.messages[1].text, "Error: Invalid directory");
  EXPECT_EQ(p.messages[0].icon, MsgIcon::Exclamation);
  EXPECT_TRUE(fs::equivalent(m.gWorkingDir, install.path()));
  EXPECT_TRUE(fs::equivalent(fs::current_path(), install.path()));

  FakePlatform found;  // the support list is here: no prompt
  ModOrmid m1;
  EXPECT_TRUE(StartUp(m1, found, true));
  EXPECT_TRUE(found.prompts.empty());

  FakePlatform cancelling;  // no answer: Cancel
  ModOrmid m2;
  ScopedCurrentDir back(startHere.path());
  EXPECT_FALSE(StartUp(m2, cancelling, true));
  EXPECT_EQ(cancelling.prompts.size(), 1u);
  EXPECT_TRUE(cancelling.messages.empty());
}

// Every start that ends with a message: a missing or a damaged file.
TEST(StartUpTest, MissingOrDamagedFilesEndTheStart) {
  struct Case {
    std::string file;     // the damaged file; "" for a missing one
    std::string problem;  // in the message
    std::function<void(td::Installation&)> change;
    Edit edit = nullptr;
    std::string title = "Fatal error!";
    MsgIcon icon = MsgIcon::Critical;
  } cases[] = {
      {"",
       "The following support file(s) are missing from the KAVRI directory:  Food.dat "
       "Cons2.dat.   Can't continue.",
       nullptr, Remove({"Food.dat", "Cons2.dat"})},
      {"",
       "Can't find file SetupKAVRINH.txtin VUVEVIZOZ folder. Run VUVEVIZOZ and use File|Setup "
       "feature to create this file.",
       nullptr, Remove({"SetupKAVRINH.txt"}), "Missing Set Up File", MsgIcon::Information},
      {"",
       "File KavriSupport.txt is not located in the current directory, can't proceed without "
       "this file.",
       nullptr, Remove({"KavriSupport.txt"}), "Starting KAVRI-FCID", MsgIcon::Information},
      {"KavriSupport.txt", "line 13: the file ends here (last support list index)", nullptr,
       Cut("KavriSupport.txt", 12)},
      {"KavriSupport.txt", "the number of population subgroups is 34, but the consumption",
       [](auto& i) { i.popCountOverride = 34; }},
      {"KavriSupport.txt", "a negative number of master foods",
       [](auto& i) { i.foodCountOverride = -1; }},
      {"SetupKAVRINH.txt", "line 2: \"sixty\" where a number belongs", nullptr,
       Swap("SetupKAVRINH.txt", "\r\n60\r\n", "\r\nsixty\r\n")},
      {"Desc.txt", "digit 12 lies outside the first description list (0 to 9)",
       [](auto& i) {
         i.formDesc1.push_back({12, "Twelve"});
       }},
      {"Desc.txt", "digit 5 lies outside the second description list (0 to 4)",
       [](auto& i) {
         i.formDesc2.push_back({5, "Five"});
       }},
      {"Desc.txt", "the file ends here (crop group 3)", nullptr, Cut("Desc.txt", 14)},
      {"Food.dat", "it holds 6 foods, the support list names 9",
       [](auto& i) { i.foodCountOverride = 9; }},
      {"Food.dat", "record 6: food number 40 lies outside 1 to 6", nullptr,
       Swap("Food.dat", std::string("\x06\0", 2) + "0606", std::string("\x28\0", 2) + "0606")},
      {"Food.dat", "food 3 names food-form entries 4 to 5, outside the 4 entries of Rac.dat",
       [](auto& i) { i.racCountOverride = 4; }},
      {"Rac.dat", "it holds 5 food-form entries, the support list names 8",
       [](auto& i) { i.racCountOverride = 8; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    TempDir dir;
    td::Installation inst = SmallInstallation(0);
    if (c.change) c.change(inst);
    td::WriteInstallation(inst, dir.path());
    if (c.edit) c.edit(dir.path());
    ScopedCurrentDir cwd(dir.path());
    FakePlatform p;
    ModOrmid m;
    EXPECT_FALSE(StartUp(m, p, false));
    ASSERT_EQ(p.messages.size(), 1u);
    const RecordedMessage& msg = p.messages[0];
    if (!c.file.empty()) {
      EXPECT_TRUE(msg.text.starts_with("File " + c.file + " can't be read: ")) << msg.text;
      EXPECT_TRUE(msg.text.ends_with(".   Can't continue.")) << msg.text;
    }
    EXPECT_NE(msg.text.find(c.problem), std::string::npos) << msg.text;
    EXPECT_EQ(msg.title, c.title);
    EXPECT_EQ(msg.icon, c.icon);
  }
}

}  // namespace
}  // namespace ormid::test
