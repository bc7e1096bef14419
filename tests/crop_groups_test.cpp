#include "commodity/crop_groups.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace ormid {
namespace {

struct DataKind {
  Int16 surveyBase;
  const char* dataVersion;
};
constexpr DataKind kCsfii{0, "05-10"};  // CSFII whatever the version label says
constexpr DataKind kNhanes0510{2, "05-10 NHANES"};
constexpr DataKind kNhanesOther{1, "99-06"};

// A residue table whose food f has master food f with the given crop code.
ModOrmid WithCodes(DataKind kind, const std::vector<std::string>& codes) {
  ModOrmid m;
  m.gSurveyBase = kind.surveyBase;
  m.gDataVersion = kind.dataVersion;
  m.gCropGroupCount = 82;
  m.gResFoodCount = static_cast<Int16>(codes.size());
  m.gFoodConsRec.assign(codes.size() + 1, 0);
  m.gFoodCropGroup.assign(codes.size() + 1, "");
  for (std::size_t f = 1; f <= codes.size(); ++f) {
    m.gFoodConsRec[f] = static_cast<Int16>(f);
    m.gFoodCropGroup[f] = codes[f - 1];
  }
  return m;
}

std::vector<int> Memberships(const ModOrmid& m, int f) {
  const auto& g = m.gFoodGroups[static_cast<std::size_t>(f)];
  return std::vector<int>(g.begin() + 1, g.begin() + 1 + g[0]);
}

struct ClassCase {
  DataKind kind;
  const char* code;
  std::vector<int> groups;  // main group first, then subgroups
};

void PrintTo(const ClassCase& c, std::ostream* os) {
  *os << "base " << c.kind.surveyBase << " \"" << c.kind.dataVersion << "\" code \"" << c.code
      << "\"";
}

class ClassifyTest : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ClassifyTest, PlacesCodeInItsGroups) {
  const ClassCase& c = GetParam();
  ModOrmid m = WithCodes(c.kind, {c.code});
  ClassifyCropGroups(m);
  EXPECT_EQ(Memberships(m, 1), c.groups);
  // Every membership is counted once, and nothing else is.
  int counted = 0;
  for (const auto& g : m.gGroupFoods) counted += g[1];
  EXPECT_EQ(counted, static_cast<int>(c.groups.size()));
  for (int k : c.groups) {
    EXPECT_EQ(m.gGroupFoods[static_cast<std::size_t>(k)][1], 1) << "group " << k;
    EXPECT_EQ(m.gGroupFoods[static_cast<std::size_t>(k)][2], 1) << "group " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(
    RuleSets, ClassifyTest,
    ::testing::Values(
        // CSFII: exact codes before the contains rules, "13" and "19" before "1".
        ClassCase{kCsfii, "12", {29}}, ClassCase{kCsfii, "12A", {6, 7}},
        ClassCase{kCsfii, "10", {27}}, ClassCase{kCsfii, "13B", {30, 32}},
        ClassCase{kCsfii, "19A", {35, 36}}, ClassCase{kCsfii, "1AB", {6, 7, 8}},
        ClassCase{kCsfii, "1CD", {6, 9, 10}}, ClassCase{kCsfii, "20", {38}},
        ClassCase{kCsfii, "6C", {19, 22}}, ClassCase{kCsfii, "95", {16}},
        ClassCase{kCsfii, "D", {5}}, ClassCase{kCsfii, "o", {}}, ClassCase{kCsfii, "7", {}},
        // NHANES "05-10": "95" and the bare "5" and "8" are groups, no letter D
        // under "1CD", the contains "10" before "11" and "12".
        ClassCase{kNhanes0510, "95", {1}}, ClassCase{kNhanes0510, "1CD", {2, 5}},
        ClassCase{kNhanes0510, "1AB", {2, 3, 4}}, ClassCase{kNhanes0510, "8BC", {18, 20, 21}},
        ClassCase{kNhanes0510, "8", {18}}, ClassCase{kNhanes0510, "5", {13}},
        ClassCase{kNhanes0510, "5A", {}}, ClassCase{kNhanes0510, "86AB", {80, 81, 82}},
        ClassCase{kNhanes0510, "110", {25}}, ClassCase{kNhanes0510, "13H", {34, 42}},
        ClassCase{kNhanes0510, "22A", {54, 55}}, ClassCase{kNhanes0510, "24E", {61, 66}},
        ClassCase{kNhanes0510, "80", {79}}, ClassCase{kNhanes0510, "7", {}},
        // Other NHANES data.
        ClassCase{kNhanesOther, "95", {}}, ClassCase{kNhanesOther, "1CD", {2, 5, 6}},
        ClassCase{kNhanesOther, "8", {}}, ClassCase{kNhanesOther, "8BC", {21, 23, 24}},
        ClassCase{kNhanesOther, "5A", {14, 15}}, ClassCase{kNhanesOther, "22", {}},
        ClassCase{kNhanesOther, "86B", {70, 72}}, ClassCase{kNhanesOther, "80", {69}},
        ClassCase{kNhanesOther, "1ABCD", {}},
        // Codes longer than the master list holds: letters past the second
        // subgroup are dropped, not counted.
        ClassCase{kCsfii, "1ABC", {6, 7, 8}}, ClassCase{kNhanes0510, "13ABC", {34, 35, 36}}));

TEST(CropRuleSet, ChosenBySurveyBaseAndVersionLabel) {
  struct Case {
    DataKind kind;
    CropRuleSet set;
    int groups;
  };
  for (const Case& c :
       {Case{kCsfii, CropRuleSet::Csfii, 38}, Case{kNhanes0510, CropRuleSet::Nhanes0510, 82},
        Case{{2, "05-1"}, CropRuleSet::Nhanes, 72}, Case{{1, "05-10"}, CropRuleSet::Nhanes0510, 82},
        Case{kNhanesOther, CropRuleSet::Nhanes, 72}}) {
    ModOrmid m = WithCodes(c.kind, {});
    EXPECT_EQ(SelectCropRuleSet(m), c.set) << c.kind.dataVersion;
    EXPECT_EQ(RuleSetGroupCount(m), c.groups) << c.kind.dataVersion;
  }
}

TEST(ClassifyCropGroups, KeepsFirstMemberInResidueTableOrder) {
  ModOrmid m = WithCodes(kCsfii, {"1A", "O", "1B", "1AB", "X"});
  m.gFoodConsRec.push_back(0);  // food 6 has no master food
  m.gResFoodCount = 6;
  ClassifyCropGroups(m);
  struct Expect {
    int group, count, first;
  };
  for (const Expect& e :
       {Expect{6, 3, 1}, Expect{7, 2, 1}, Expect{8, 2, 3}, Expect{1, 1, 2}, Expect{9, 0, 0}}) {
    EXPECT_EQ(m.gGroupFoods[static_cast<std::size_t>(e.group)][1], e.count) << e.group;
    EXPECT_EQ(m.gGroupFoods[static_cast<std::size_t>(e.group)][2], e.first) << e.group;
  }
  EXPECT_EQ(Memberships(m, 5), std::vector<int>{});
  EXPECT_EQ(Memberships(m, 6), std::vector<int>{});
  EXPECT_TRUE(FoodInGroup(m, 4, 8));
  EXPECT_FALSE(FoodInGroup(m, 3, 7));

  // A second run starts from empty tables.
  ClassifyCropGroups(m);
  EXPECT_EQ(m.gGroupFoods[6][1], 3);
  EXPECT_EQ(m.gFoodGroups[4][0], 3);
}

TEST(ClassifyCropGroups, TablesCoverTheRuleSetEvenForAShortGroupList) {
  ModOrmid m = WithCodes(kNhanes0510, {"86AB"});
  m.gCropGroupCount = 10;
  ClassifyCropGroups(m);
  ASSERT_GE(m.gGroupFoods.size(), 83u);
  EXPECT_EQ(m.gGroupFoods[82][1], 1);
  EXPECT_EQ(m.gFoodGroups.size(), 2u);
}

TEST(AddSubgroup, RefusesAFourthMembership) {
  ModOrmid m = WithCodes(kCsfii, {"1"});
  m.gFoodGroups.assign(2, {0, 0, 0, 0});
  SetMainGroup(m, 1, 6);
  EXPECT_TRUE(AddSubgroup(m, 1, 7));
  EXPECT_TRUE(AddSubgroup(m, 1, 8));
  EXPECT_FALSE(AddSubgroup(m, 1, 9));
  EXPECT_EQ(Memberships(m, 1), (std::vector<int>{6, 7, 8}));
}

}  // namespace
}  // namespace ormid
