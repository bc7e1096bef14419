#include "tools/installation_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "tests/test_support.h"
#include "tools/sample_generator.h"

namespace ormid::testdata {
namespace {

int Int16At(const std::string& bytes, std::size_t offset) {
  return static_cast<std::int16_t>(static_cast<unsigned char>(bytes[offset]) |
                                   static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

float FloatAt(const std::string& bytes, std::size_t offset) {
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = bits << 8 | static_cast<unsigned char>(bytes[offset + i]);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Food 7 stored at record 9, food 3 without forms, food 8 after food 7's forms.
Installation ThreeFoods(int surveyBase) {
  Installation inst;
  inst.surveyBase = surveyBase;
  inst.foods = {
      {7, 9, "01234567", "13A", 0x01020304, "Blueberry", {{100, {}}, {-2, {}}}, {}},
      {3, 0, "0300009001", "O", 0, "Coffee", {}, {}},
      {8, 0, "08000210012", "8BC", 0, std::string(45, 'n'), {{220, {}}}, {}},
  };
  return inst;
}

TEST(InstallationWriterTest, CsfiiMasterFoodRecords) {
  const std::string bytes = MasterFoodBytes(ThreeFoods(0));
  ASSERT_EQ(bytes.size(), 9u * 60);
  EXPECT_EQ(bytes.substr(0, 60), std::string(60, '\0'));  // record 1: empty, food number 0

  const std::size_t r9 = 8 * 60;
  EXPECT_EQ(Int16At(bytes, r9), 7);
  EXPECT_EQ(bytes.substr(r9 + 2, 8), "01234567");
  EXPECT_EQ(bytes.substr(r9 + 10, 3), "13A");
  EXPECT_EQ(bytes.substr(r9 + 13, 4), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(bytes.substr(r9 + 17, 39), "Blueberry" + std::string(30, ' '));
  EXPECT_EQ(Int16At(bytes, r9 + 56), 2);  // form count
  EXPECT_EQ(Int16At(bytes, r9 + 58), 1);  // first form index

  const std::size_t r3 = 2 * 60;
  EXPECT_EQ(bytes.substr(r3 + 2, 8), "03000090");  // cut to the CSFII width
  EXPECT_EQ(bytes.substr(r3 + 10, 3), "O  ");
  EXPECT_EQ(Int16At(bytes, r3 + 56), 0);
  EXPECT_EQ(Int16At(bytes, r3 + 58), 0);

  EXPECT_EQ(Int16At(bytes, 7 * 60 + 58), 3);  // food 8 follows food 7's two forms
}

TEST(InstallationWriterTest, NhanesMasterFoodRecords) {
  const std::string bytes = MasterFoodBytes(ThreeFoods(2));
  ASSERT_EQ(bytes.size(), 9u * 62);
  const std::size_t r8 = 7 * 62;
  EXPECT_EQ(Int16At(bytes, r8), 8);
  EXPECT_EQ(bytes.substr(r8 + 2, 10), "0800021001");
  EXPECT_EQ(bytes.substr(r8 + 12, 3), "8BC");
  EXPECT_EQ(bytes.substr(r8 + 19, 39), std::string(39, 'n'));
  EXPECT_EQ(Int16At(bytes, r8 + 58), 1);
  EXPECT_EQ(Int16At(bytes, r8 + 60), 3);
  EXPECT_EQ(bytes.substr(2 * 62 + 2, 10), "0300009001");
}

TEST(InstallationWriterTest, MasterFormRecordsFollowTheFoods) {
  const std::string bytes = MasterFormBytes(ThreeFoods(0));
  ASSERT_EQ(bytes.size(), 3u * 6);
  EXPECT_EQ(Int16At(bytes, 0), 100);
  EXPECT_EQ(bytes.substr(6, 2), "\xFE\xFF");  // -2, little-endian
  EXPECT_EQ(Int16At(bytes, 12), 220);
}

TEST(InstallationWriterTest, CsfiiConsumptionRecords) {
  Installation inst = ThreeFoods(0);
  inst.foods[0].consumption.values = {1.5f};
  inst.foods[0].consumption.values.resize(33, 0.0f);
  inst.foods[0].consumption.values[32] = 0.25f;
  inst.foods[0].forms[1].consumption = {{2.0f}, "", std::nullopt, std::nullopt};
  inst.foods[2].forms[0].consumption = {{}, "99", std::int16_t{31}, std::int16_t{-1}};

  const std::string food = FoodConsumptionBytes(inst);
  ASSERT_EQ(food.size(), 8u * 144);  // records by food number, up to food 8
  const std::size_t r7 = 6 * 144;
  EXPECT_EQ(Int16At(food, r7), 7);      // reserved: the food number
  EXPECT_EQ(Int16At(food, r7 + 2), 0);  // no form code in food records
  EXPECT_EQ(food.substr(r7 + 4, 8), "01234567");
  EXPECT_EQ(FloatAt(food, r7 + 12), 1.5f);
  EXPECT_EQ(FloatAt(food, r7 + 12 + 4 * 32), 0.25f);
  EXPECT_EQ(food.substr(144 + 4, 8), std::string(8, ' '));  // food 2 has no record data

  const std::string forms = FormConsumptionBytes(inst);
  ASSERT_EQ(forms.size(), 3u * 144);
  EXPECT_EQ(Int16At(forms, 2), 100);
  EXPECT_EQ(Int16At(forms, 144 + 2), -2);
  EXPECT_EQ(forms.substr(144 + 4, 8), std::string(8, ' '));
  EXPECT_EQ(FloatAt(forms, 144 + 12), 2.0f);
  EXPECT_EQ(Int16At(forms, 288), -1);
  EXPECT_EQ(Int16At(forms, 288 + 2), 31);
  EXPECT_EQ(forms.substr(288 + 4, 8), "99      ");
}

TEST(InstallationWriterTest, NhanesConsumptionRecords) {
  Installation inst = ThreeFoods(2);
  inst.foods[1].consumption.values.assign(24, 0.0f);
  inst.foods[1].consumption.values[23] = 3.0f;
  const std::string food = FoodConsumptionBytes(inst);
  ASSERT_EQ(food.size(), 8u * 110);
  EXPECT_EQ(food.substr(2 * 110 + 4, 10), "0300009001");
  EXPECT_EQ(FloatAt(food, 2 * 110 + 14 + 4 * 23), 3.0f);

  inst.foods[1].consumption.values.push_back(1.0f);  // a 25th column does not fit
  EXPECT_THROW(FoodConsumptionBytes(inst), std::invalid_argument);
}

TEST(InstallationWriterTest, SupportListCountsComeFromTheFiles) {
  Installation inst = ThreeFoods(0);
  inst.dataVersion = "FCID v1";
  inst.supportNote = "note";
  inst.supportFiles = {"d.txt", "f.dat", "r.dat", "s4.txt", "c1.dat", "c2.dat", "s7.txt"};
  inst.supportFirst = 2;
  inst.supportListA = {"a1", "a2"};
  inst.supportListB = {"b1"};
  inst.subgroups = {"U.S. Population (total)", "Children, 1-2 yrs"};
  EXPECT_EQ(SupportListText(inst),
            "KAVRI-FCID support data\r\nSurveyBase=0\r\nFCID v1\r\nnote\r\n"
            "\"d.txt\"\r\n\"f.dat\"\r\n\"r.dat\"\r\n\"s4.txt\"\r\n\"c1.dat\"\r\n\"c2.dat\"\r\n"
            "\"s7.txt\"\r\nSupportFirst=2\r\nSupportLast=3\r\n"
            "Support list A\r\n\"a1\"\r\n\"a2\"\r\nSupport list B\r\n\"b1\"\r\n\"\"\r\n"
            "FoodCount=9\r\nSupportCount2=0\r\nRacCount=3\r\nPopCount=2\r\n"
            "\"U.S. Population (total)\"\r\n\"Children, 1-2 yrs\"\r\n");
}

TEST(InstallationWriterTest, DescriptionFileListsGroupsInOrder) {
  Installation inst;
  inst.formDesc1 = {{0, "N/S"}, {1, "Uncooked"}};
  inst.cropGroups = {{95, "Other"}, {0, "Onion, bulb"}};
  EXPECT_EQ(DescriptionText(inst),
            "\"Cooking\",2\r\n0,\"N/S\"\r\n1,\"Uncooked\"\r\n\"Processing\",0\r\n\"Source\",0\r\n"
            "2\r\n1,95,\"Other\"\r\n2,0,\"Onion, bulb\"\r\n");
}

TEST(InstallationWriterTest, WritesSupportFilesUnderTheirNames) {
  test::TempDir dir;
  Installation inst = ThreeFoods(0);
  inst.supportFiles = {"d.txt", "f.dat", "r.dat", "s4.txt", "c1.dat", "c2.dat", "s7.txt"};
  WriteInstallation(inst, dir.path());
  for (const char* name : {"KavriSupport.txt", "SetupKAVRINH.txt", "d.txt", "f.dat", "r.dat",
                           "s4.txt", "c1.dat", "c2.dat"}) {
    EXPECT_TRUE(std::filesystem::exists(dir.path() / name)) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "s7.txt"));
  EXPECT_EQ(test::ReadFileBytes(dir.path() / "r.dat"), MasterFormBytes(inst));

  inst.surveyBase = 2;  // NHANES support lists name six files
  EXPECT_THROW(WriteInstallation(inst, dir.path()), std::invalid_argument);
}

TEST(InstallationWriterTest, SetupFileHoldsNineItems) {
  SetupItems setup;
  setup.banner = "Lab, Inc.";
  setup.pageNumbers = "N";
  EXPECT_EQ(
      SetupText(setup),
      "\"residues/\"\r\n60\r\n\"\"\r\n\"Lab, Inc.\"\r\n\"\"\r\n\"\"\r\n\"N\"\r\n\"\"\r\n\"\"\r\n");
}

TEST(InstallationWriterTest, FloatTextReadsBackExactly) {
  for (float value : {0.05f, 0.0003f, 1.0f / 3.0f, 123456.7f, 1e-9f, 3e12f, -2.5f, 0.0f}) {
    EXPECT_EQ(std::strtof(FloatText(value).c_str(), nullptr), value) << FloatText(value);
  }
  EXPECT_EQ(FloatText(0.05f), "0.05");
  EXPECT_EQ(FloatText(0.0005f), "0.0005");
  EXPECT_EQ(FloatText(100.0f), "100");
  EXPECT_EQ(FloatText(1e-9f), "1E-09");
}

ResidueFile PlainFile() {
  ResidueFile file;
  file.chemical = "Demofos";
  file.rfd = 0.0003f;
  file.item5 = "acute";
  file.noel = 0.03f;
  file.qStar = 0.012f;
  file.date = "03-14-2024";
  file.comment = "tolerance, %CT";
  ResidueFood apple{11, "1100022001", "11", 0.5f, {}, 0.6f, 0.25f, "Apple, juice", "PDP", {}};
  apple.forms = {{2, "", 0.4f, 1, 1, {}, "juicing"}, {22, "", 0.1f, 0.5f, 1, {}, ""}};
  file.foods = {apple, {3, "101052000", "1C", 0.02f, {}, 1, 1, "Potato", "", {}}};
  return file;
}

TEST(ResidueFileTextTest, PlainFileWithComment) {
  EXPECT_EQ(ResidueFileText(PlainFile()),
            "\"Demofos\",0.0003,\"FCID1\",0,\"acute\",0.03,0,0.012,\"03-14-2024\"\r\n"
            "-1,\"tolerance, %CT\",2\r\n"
            "0\r\n"
            "11,\"1100022001\",\"11\",0.5,0.6,0.25,2,\"Apple, juice\",\"PDP\"\r\n"
            "2,\"\",0.4,1,1,\"juicing\"\r\n"
            "22,\"\",0.1,0.5,1,\"\"\r\n"
            "3,\"101052000\",\"1C\",0.02,1,1,0,\"Potato\",\"\"\r\n");
}

TEST(ResidueFileTextTest, MultiChemicalLinesAndPairs) {
  ResidueFile file = PlainFile();
  file.tag = "05-10-cMCNH2";
  file.comment.reset();
  file.pairCount = 2;
  file.chemicals = {{"\"A\",0.1, 1", "second of A"},
                    {"\"B\",0.2, 0", "never written"},
                    {"\"C\",0.3,xy", "never written"}};
  file.foods.resize(1);
  file.foods[0].pairs = {{0.5f, 1.5f}};
  file.foods[0].forms.resize(1);
  EXPECT_EQ(ResidueFileText(file),
            "\"Demofos\",0.0003,\"05-10-cMCNH2\",0,\"acute\",0.03,0,0.012,\"03-14-2024\"\r\n"
            "3\r\n\"A\",0.1, 1\r\nsecond of A\r\n\"B\",0.2, 0\r\n\"C\",0.3,xy\r\n"
            "1\r\n2\r\n"
            "11,\"1100022001\",\"11\",0.5,0.5,1.5,0,0,0.6,0.25,1,\"Apple, juice\",\"PDP\"\r\n"
            "2,\"\",0.4,0,0,0,0,1,1,\"juicing\"\r\n");

  file.foods[0].pairs.resize(3);
  EXPECT_THROW(ResidueFileText(file), std::invalid_argument);
}

TEST(ResidueFileTextTest, MultiChemicalTagWithoutChemicalsKeepsThePlainLayout) {
  ResidueFile file = PlainFile();
  file.tag = "FCIDMC1";
  file.comment.reset();
  file.pairCount = 1;
  file.foods.resize(1);
  file.foods[0].forms.clear();
  file.foods[0].pairs = {{9, 9}};
  EXPECT_EQ(ResidueFileText(file),
            "\"Demofos\",0.0003,\"FCIDMC1\",0,\"acute\",0.03,0,0.012,\"03-14-2024\"\r\n"
            "0\r\n1\r\n1\r\n"
            "11,\"1100022001\",\"11\",0.5,0.6,0.25,0,\"Apple, juice\",\"PDP\"\r\n");
}

TEST(ResidueFileTextTest, QuoteInTextIsRefused) {
  ResidueFile file = PlainFile();
  file.chemical = "5\" shells";
  EXPECT_THROW(ResidueFileText(file), std::invalid_argument);
}

// The committed samples are what the generator makes of their source tables.
TEST(SampleInstallationsTest, MatchTheirSourceTables) {
  for (const char* sample : {"csfii", "nhanes-2005-2010"}) {
    const std::filesystem::path committed = test::SourceDir() / "samples" / sample;
    test::TempDir out;
    GenerateSample(committed / "source", out.path());
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out.path())) {
      if (!entry.is_regular_file()) continue;
      const auto relative = std::filesystem::relative(entry.path(), out.path());
      EXPECT_EQ(test::ReadFileBytes(entry.path()), test::ReadFileBytes(committed / relative))
          << sample << "/" << relative.string() << " is stale: run tools/regenerate-samples.sh";
      ++files;
    }
    EXPECT_GE(files, 11) << sample;
  }
}

}  // namespace
}  // namespace ormid::testdata
