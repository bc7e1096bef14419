#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/installation_fixture.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;
namespace td = testdata;

// A damaged installation: a change to its description before it is written,
// or an edit of its files after.
struct Damage {
  std::function<void(td::Installation&)> change = nullptr;
  std::function<void(const fs::path&)> edit = nullptr;
};

bool StartIn(const TempDir& dir, td::Installation inst, const Damage& damage, FakePlatform& p,
             ModOrmid& m) {
  if (damage.change) damage.change(inst);
  td::WriteInstallation(inst, dir.path());
  if (damage.edit) damage.edit(dir.path());
  ScopedCurrentDir cwd(dir.path());
  return StartUp(m, p, false);
}

Damage Set(std::function<void(td::Installation&)> change) {
  return {.change = change};
}
// Replaces the first occurrence of from in the file.
Damage Swap(std::string file, std::string from, std::string to) {
  return {.edit = [=](const fs::path& dir) {
    std::string text = ReadFileBytes(dir / file);
    auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    WriteFileBytes(dir / file, text.replace(at, from.size(), to));
  }};
}
// Keeps the first n lines of the file.
Damage Cut(std::string file, int n) {
  return {.edit = [=](const fs::path& dir) {
    std::string text = ReadFileBytes(dir / file);
    std::size_t at = 0;
    for (int i = 0; i < n; ++i) at = text.find('\n', at) + 1;
    WriteFileBytes(dir / file, text.substr(0, at));
  }};
}

TEST(StartUpTest, FillsTheEnvironment) {
  for (int base : {0, 2}) {
    SCOPED_TRACE(base);
    StartedInstallation s(SmallInstallation(base));
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

    EXPECT_EQ(m.gRacValue, (std::vector<Int16>{0, 110, 120, 130, 200, 210}));
    EXPECT_EQ(m.gFoodFormCode1, (std::vector<Int16>{0, 0, 3, 2, 0, 0, 0}));
    EXPECT_EQ(m.gFoodFormCode2, (std::vector<Int16>{0, 0, 1, 4, 0, 0, 0}));
    EXPECT_EQ(m.gFoodCropGroup, (std::vector<std::string>{"", "11", "1A", "15", "M", "4A", "20"}));
  }
}

TEST(StartUpTest, ReportingOrder) {
  ModOrmid m;
  BuildPopOrder(m);
  ASSERT_EQ(m.gPopOrder.size(), 34u);
  const std::pair<int, int> csfii[] = {{1, 1},   {13, 13}, {14, 25}, {15, 14}, {17, 18},
                                       {21, 26}, {22, 16}, {26, 24}, {27, 27}, {33, 33}};
  for (auto [row, column] : csfii) EXPECT_EQ(m.gPopOrder[row], column) << row;
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

TEST(StartUpTest, MasterFoodsStoredByFoodNumber) {
  td::Installation inst = SmallInstallation(0);
  td::MasterFood empty;
  empty.recordPosition = 8;  // food number 0: an empty record, whatever else it holds
  empty.cropGroup = "XX";
  td::MasterFood seven;
  seven.number = 7;
  seven.recordPosition = 9;
  seven.cropGroup = "9B";
  inst.foods.push_back(empty);
  inst.foods.push_back(seven);
  StartedInstallation s(inst);
  ASSERT_TRUE(s.started);
  EXPECT_EQ(s.m.gFoodCount, 9);
  EXPECT_EQ(s.m.gFoodCropGroup,
            (std::vector<std::string>{"", "11", "1A", "15", "M", "4A", "20", "9B", "", ""}));
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

TEST(StartUpTest, MissingFilesEndTheStart) {
  struct Case {
    std::string title;
    MsgIcon icon;
    std::vector<std::string> removed;
    std::string text;
  } cases[] = {
      {"Fatal error!",
       MsgIcon::Critical,
       {"Food.dat", "Cons1.dat"},
       "The following support file(s) are missing from the KAVRI directory:  Food.dat "
       "Cons1.dat.   Can't continue."},
      {"Missing Set Up File",
       MsgIcon::Information,
       {"SetupKAVRINH.txt"},
       "Can't find file SetupKAVRINH.txtin VUVEVIZOZ folder. Run VUVEVIZOZ and use File|Setup "
       "feature to create this file."},
      {"Starting KAVRI-FCID",
       MsgIcon::Information,
       {"KavriSupport.txt"},
       "File KavriSupport.txt is not located in the current directory, can't proceed without "
       "this file."},
  };
  for (const auto& c : cases) {
    TempDir dir;
    FakePlatform p;
    ModOrmid m;
    Damage remove{.edit = [&](const fs::path& d) {
      for (const auto& f : c.removed) fs::remove(d / f);
    }};
    EXPECT_FALSE(StartIn(dir, SmallInstallation(0), remove, p, m));
    ASSERT_EQ(p.messages.size(), 1u) << c.title;
    EXPECT_EQ(p.messages[0].text, c.text);
    EXPECT_EQ(p.messages[0].title, c.title);
    EXPECT_EQ(p.messages[0].icon, c.icon);
  }
}

TEST(StartUpTest, DamagedInstallationFilesEndTheStart) {
  struct Case {
    const char* file;
    std::string problem;
    Damage damage;
  } cases[] = {
      {"KavriSupport.txt", "line 13: the file ends here (last support list index)",
       Cut("KavriSupport.txt", 12)},
      {"KavriSupport.txt", "the number of population subgroups is 40, but the consumption",
       Set([](auto& i) { i.popCountOverride = 40; })},
      {"KavriSupport.txt", "a negative number of master foods",
       Set([](auto& i) { i.foodCountOverride = -1; })},
      {"SetupKAVRINH.txt", "line 2: \"sixty\" where a number belongs",
       Swap("SetupKAVRINH.txt", "\r\n60\r\n", "\r\nsixty\r\n")},
      {"SetupKAVRINH.txt", "line 5: the file ends here", Cut("SetupKAVRINH.txt", 4)},
      {"Desc.txt", "digit 12 lies outside the first description list (0 to 9)", Set([](auto& i) {
         i.formDesc1.push_back({12, "Twelve"});
       })},
      {"Desc.txt", "digit 5 lies outside the second description list (0 to 4)", Set([](auto& i) {
         i.formDesc2.push_back({5, "Five"});
       })},
      {"Desc.txt", "the file ends here (crop group 3)", Cut("Desc.txt", 14)},
      {"Desc.txt", "\"x\" where a number belongs (crop group 1)",
       Swap("Desc.txt", "\r\n1,1,", "\r\n1,x,")},
      {"Food.dat", "it holds 6 foods, the support list names 9",
       Set([](auto& i) { i.foodCountOverride = 9; })},
      {"Food.dat", "record 6: food number 40 lies outside 1 to 6",
       Swap("Food.dat", std::string("\x06\0", 2) + "0606", std::string("\x28\0", 2) + "0606")},
      {"Food.dat", "food 3 names food-form entries 4 to 5, outside the 4 entries of Rac.dat",
       Set([](auto& i) { i.racCountOverride = 4; })},
      {"Rac.dat", "it holds 5 food-form entries, the support list names 8",
       Set([](auto& i) { i.racCountOverride = 8; })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    TempDir dir;
    FakePlatform p;
    ModOrmid m;
    EXPECT_FALSE(StartIn(dir, SmallInstallation(0), c.damage, p, m));
    ASSERT_EQ(p.messages.size(), 1u);
    const RecordedMessage& msg = p.messages[0];
    EXPECT_EQ(msg.text.rfind("File " + std::string(c.file) + " can't be read: ", 0), 0u)
        << msg.text;
    EXPECT_NE(msg.text.find(c.problem), std::string::npos) << msg.text;
    EXPECT_TRUE(msg.text.ends_with(".   Can't continue.")) << msg.text;
    EXPECT_EQ(msg.title, "Fatal error!");
    EXPECT_EQ(msg.icon, MsgIcon::Critical);
  }
}

}  // namespace
}  // namespace ormid::test
