// The installation and residue file writers: the byte layouts and text lines
// Ormid's readers take apart, and the bundled samples made from them.
#include "tools/installation_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "tests/test_support.h"
#include "tools/sample_generator.h"

namespace ormid::testdata {
namespace {

// Little-endian 16-bit integers and floats, and blank-padded text.
std::string I16(int value) {
  return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8 & 0xFF)};
}
std::string F32(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return I16(static_cast<int>(bits & 0xFFFF)) + I16(static_cast<int>(bits >> 16));
}
std::string Pad(const std::string& text, std::size_t width) {
  return text + std::string(width - text.size(), ' ');
}
std::string Zeros(std::size_t n) {
  return std::string(n, '\0');
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

TEST(InstallationWriterTest, MasterFoodAndFormRecords) {
  struct Case {
    int base;
    std::size_t size, width;
    std::string code3, code8;  // cut to the width
  };
  for (const Case& c :
       {Case{0, 60, 8, "03000090", "08000210"}, Case{2, 62, 10, "0300009001", "0800021001"}}) {
    SCOPED_TRACE(c.base);
    const std::string bytes = MasterFoodBytes(ThreeFoods(c.base));
    ASSERT_EQ(bytes.size(), 9 * c.size);
    auto record = [&](std::size_t n) { return bytes.substr((n - 1) * c.size, c.size); };
    EXPECT_EQ(record(1), Zeros(c.size));  // empty: food number 0
    EXPECT_EQ(record(9), I16(7) + Pad("01234567", c.width) + "13A\x04\x03\x02\x01" +
                             Pad("Blueberry", 39) + I16(2) + I16(1));
    EXPECT_EQ(record(3), I16(3) + c.code3 + "O  " + Zeros(4) + Pad("Coffee", 39) + Zeros(4));
    // Food 8's first form index follows food 7's two forms.
    EXPECT_EQ(record(8),
              I16(8) + c.code8 + "8BC" + Zeros(4) + std::string(39, 'n') + I16(1) + I16(3));
  }
  EXPECT_EQ(MasterFormBytes(ThreeFoods(0)), I16(100) + I16(7) + Zeros(2) + I16(-2) + I16(7) +
                                                Zeros(2) + I16(220) + I16(8) + Zeros(2));
}

TEST(InstallationWriterTest, ConsumptionRecords) {
  for (int base : {0, 2}) {
    SCOPED_TRACE(base);
    const std::size_t width = base == 0 ? 8 : 10, columns = base == 0 ? 33 : 24;
    const std::string noValues = Zeros(4 * columns);
    Installation inst = ThreeFoods(base);
    inst.foods[0].consumption.values.assign(columns, 0.0f);
    inst.foods[0].consumption.values[0] = 1.5f;
    inst.foods[0].consumption.values[columns - 1] = 0.25f;
    inst.foods[0].forms[1].consumption = {{2.0f}, "", std::nullopt, std::nullopt};
    inst.foods[2].forms[0].consumption = {{}, "99", std::int16_t{31}, std::int16_t{-1}};

    // Records by food number up to food 8, the food number in front.
    const std::size_t size = 4 + width + 4 * columns;
    const std::string food = FoodConsumptionBytes(inst);
    ASSERT_EQ(food.size(), 8 * size);
    EXPECT_EQ(food.substr(6 * size, size), I16(7) + I16(0) + Pad("01234567", width) + F32(1.5f) +
                                               Zeros(4 * columns - 8) + F32(0.25f));
    EXPECT_EQ(food.substr(0, size), Zeros(4) + Pad("", width) + noValues);  // no food 1
    EXPECT_EQ(FormConsumptionBytes(inst),
              I16(7) + I16(100) + Pad("01234567", width) + noValues +                   //
                  I16(7) + I16(-2) + Pad("", width) + F32(2.0f) + noValues.substr(4) +  //
                  I16(-1) + I16(31) + Pad("99", width) + noValues);

    inst.foods[0].consumption.values.push_back(1.0f);  // one column too many
    EXPECT_THROW(FoodConsumptionBytes(inst), std::invalid_argument);
  }
}

// List B is padded to the length of list A; an NHANES support list names six
// files.
TEST(InstallationWriterTest, SupportList) {
  Installation inst = ThreeFoods(0);
  inst.supportListA = {"a1", "a2"};
  inst.supportListB = {"b1"};
  EXPECT_NE(SupportListText(inst).find("SupportLast=2\r\nSupport list A\r\n\"a1\"\r\n\"a2\"\r\n"
                                       "Support list B\r\n\"b1\"\r\n\"\"\r\nFoodCount=9\r\n"),
            std::string::npos);
  inst.surveyBase = 2;
  inst.supportFiles.assign(7, "x.dat");
  EXPECT_THROW(WriteInstallation(inst, "unused"), std::invalid_argument);
}

TEST(InstallationWriterTest, FloatTextReadsBackExactly) {
  for (float value : {0.05f, 0.0003f, 1.0f / 3.0f, 123456.7f, 1e-9f, 3e12f, -2.5f, 0.0f}) {
    EXPECT_EQ(std::strtof(FloatText(value).c_str(), nullptr), value) << FloatText(value);
  }
  EXPECT_EQ(FloatText(0.0005f), "0.0005");  // the exponent form only when much shorter
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

TEST(ResidueFileTextTest, PlainAndMultiChemicalLayouts) {
  const std::string head = "\"Demofos\",0.0003,\"";
  const std::string rest = "\",0,\"acute\",0.03,0,0.012,\"03-14-2024\"\r\n";
  EXPECT_EQ(ResidueFileText(PlainFile()),
            head + "FCID1" + rest + "-1,\"tolerance, %CT\",2\r\n0\r\n" +
                "11,\"1100022001\",\"11\",0.5,0.6,0.25,2,\"Apple, juice\",\"PDP\"\r\n"
                "2,\"\",0.4,1,1,\"juicing\"\r\n22,\"\",0.1,0.5,1,\"\"\r\n"
                "3,\"101052000\",\"1C\",0.02,1,1,0,\"Potato\",\"\"\r\n");

  ResidueFile file = PlainFile();
  file.tag = "FCIDMC1";
  file.comment.reset();
  file.pairCount = 2;
  file.foods.resize(1);
  file.foods[0].forms.resize(1);
  file.foods[0].pairs = {{0.5f, 1.5f}};
  // A chemical line whose last two characters read as a number other than 0
  // has a second line.
  file.chemicals = {{"\"A\",0.1, 1", "second of A"},
                    {"\"B\",0.2, 0", "never written"},
                    {"\"C\",0.3,xy", "never written"},
                    {"\"D\",0.4,-1", "second of D"}};
  EXPECT_EQ(ResidueFileText(file),
            head + "FCIDMC1" + rest + "4\r\n\"A\",0.1, 1\r\nsecond of A\r\n\"B\",0.2, 0\r\n" +
                "\"C\",0.3,xy\r\n\"D\",0.4,-1\r\nsecond of D\r\n1\r\n2\r\n" +
                "11,\"1100022001\",\"11\",0.5,0.5,1.5,0,0,0.6,0.25,1,\"Apple, juice\",\"PDP\"\r\n"
                "2,\"\",0.4,0,0,0,0,1,1,\"juicing\"\r\n");
  file.foods[0].pairs.resize(3);
  EXPECT_THROW(ResidueFileText(file), std::invalid_argument);
  file.chemicals.clear();  // a multi-chemical tag alone keeps the plain entries
  EXPECT_NE(ResidueFileText(file).find("\r\n0\r\n1\r\n2\r\n11,\"1100022001\",\"11\",0.5,0.6,"),
            std::string::npos);
  file = PlainFile();
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
