#include "commodity/crop_groups.h"

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <string_view>

namespace ormid {

namespace {

// A subgroup test: when the code contains the letter, the food also belongs
// to the subgroup.
struct SubgroupTest {
  char letter;
  Int16 group;
};

// One classification rule. An exact rule matches a code equal to any of its
// literals; a contains rule matches a code in which its literal occurs.
struct CropRule {
  bool contains;
  std::array<std::string_view, 5> literals;
  Int16 group;
  std::array<SubgroupTest, 8> subgroups;  // letter 0 ends the list
};

constexpr bool kIs = false;
constexpr bool kContains = true;

// CSFII crop groups. The exact codes come first; among the contains rules
// "13" and "19" are tried before "1".
constexpr CropRule kCsfiiRules[] = {
    {kIs, {"O"}, 1, {}},
    {kIs, {"M"}, 2, {}},
    {kIs, {"P"}, 3, {}},
    {kIs, {"F"}, 4, {}},
    {kIs, {"D"}, 5, {}},
    {kIs, {"2"}, 11, {}},
    {kIs, {"3"}, 12, {}},
    {kIs, {"8"}, 23, {}},
    {kIs, {"10"}, 27, {}},
    {kIs, {"11"}, 28, {}},
    {kIs, {"12"}, 29, {}},
    {kIs, {"14"}, 33, {}},
    {kIs, {"15"}, 34, {}},
    {kIs, {"20"}, 38, {}},
    {kContains, {"13"}, 30, {{{'A', 31}, {'B', 32}}}},
    {kContains, {"19"}, 35, {{{'A', 36}, {'B', 37}}}},
    {kContains, {"1"}, 6, {{{'A', 7}, {'B', 8}, {'C', 9}, {'D', 10}}}},
    {kContains, {"4"}, 13, {{{'A', 14}, {'B', 15}}}},
    {kContains, {"5"}, 16, {{{'A', 17}, {'B', 18}}}},
    {kContains, {"6"}, 19, {{{'A', 20}, {'B', 21}, {'C', 22}}}},
    {kContains, {"9"}, 24, {{{'A', 25}, {'B', 26}}}},
};

// NHANES 2005-2010 crop groups ("05-10" data).
constexpr CropRule kNhanes0510Rules[] = {
    {kIs, {"95", "O"}, 1, {}},
    {kIs, {"1A", "1AB", "1C", "1CD"}, 2, {{{'A', 3}, {'B', 4}, {'C', 5}}}},
    {kIs, {"2"}, 6, {}},
    {kIs, {"3A", "3B"}, 7, {{{'A', 8}, {'B', 9}}}},
    {kIs, {"4A", "4B"}, 10, {{{'A', 11}, {'B', 12}}}},
    {kIs, {"5"}, 13, {}},
    {kIs, {"6A", "6B", "6C", "6", "6AB"}, 14, {{{'A', 15}, {'B', 16}, {'C', 17}}}},
    {kIs, {"8A", "8B", "8C", "8BC", "8"}, 18, {{{'A', 19}, {'B', 20}, {'C', 21}}}},
    {kIs, {"9A", "9B"}, 22, {{{'A', 23}, {'B', 24}}}},
    {kContains, {"10"}, 25, {{{'A', 26}, {'B', 27}, {'C', 28}}}},
    {kIs, {"11"}, 29, {}},
    {kContains, {"12"}, 30, {{{'A', 31}, {'B', 32}, {'C', 33}}}},
    {kContains,
     {"13"},
     34,
     {{{'A', 35}, {'B', 36}, {'C', 37}, {'D', 38}, {'E', 39}, {'F', 40}, {'G', 41}, {'H', 42}}}},
    {kIs, {"14"}, 43, {}},
    {kIs, {"15"}, 44, {}},
    {kIs, {"18"}, 45, {}},
    {kContains, {"19"}, 46, {{{'A', 47}, {'B', 48}}}},
    {kContains, {"20"}, 49, {{{'A', 50}, {'B', 51}, {'C', 52}}}},
    {kIs, {"21"}, 53, {}},
    {kContains, {"22"}, 54, {{{'A', 55}, {'B', 56}}}},
    {kContains, {"23"}, 57, {{{'A', 58}, {'B', 59}, {'C', 60}}}},
    {kContains, {"24"}, 61, {{{'A', 62}, {'B', 63}, {'C', 64}, {'D', 65}, {'E', 66}}}},
    {kIs, {"31"}, 67, {}},
    {kIs, {"32"}, 68, {}},
    {kIs, {"33"}, 69, {}},
    {kIs, {"34"}, 70, {}},
    {kIs, {"35"}, 71, {}},
    {kIs, {"36"}, 72, {}},
    {kIs, {"38"}, 73, {}},
    {kIs, {"39"}, 74, {}},
    {kIs, {"40"}, 75, {}},
    {kIs, {"50"}, 76, {}},
    {kIs, {"60"}, 77, {}},
    {kIs, {"70"}, 78, {}},
    {kIs, {"80"}, 79, {}},
    {kContains, {"86"}, 80, {{{'A', 81}, {'B', 82}}}},
};

// Crop groups of the other NHANES data.
constexpr CropRule kNhanesRules[] = {
    {kIs, {"O"}, 1, {}},
    {kIs, {"1A", "1AB", "1C", "1CD"}, 2, {{{'A', 3}, {'B', 4}, {'C', 5}, {'D', 6}}}},
    {kIs, {"2"}, 7, {}},
    {kIs, {"3A", "3B"}, 8, {{{'A', 9}, {'B', 10}}}},
    {kIs, {"4A", "4B"}, 11, {{{'A', 12}, {'B', 13}}}},
    {kIs, {"5A", "5B"}, 14, {{{'A', 15}, {'B', 16}}}},
    {kIs, {"6A", "6B", "6C", "6", "6AB"}, 17, {{{'A', 18}, {'B', 19}, {'C', 20}}}},
    {kIs, {"8A", "8B", "8C", "8BC"}, 21, {{{'A', 22}, {'B', 23}, {'C', 24}}}},
    {kIs, {"9A", "9B"}, 25, {{{'A', 26}, {'B', 27}}}},
    {kContains, {"10"}, 28, {{{'A', 29}, {'B', 30}, {'C', 31}}}},
    {kIs, {"11"}, 32, {}},
    {kContains, {"12"}, 33, {{{'A', 34}, {'B', 35}, {'C', 36}}}},
    {kContains,
     {"13"},
     37,
     {{{'A', 38}, {'B', 39}, {'C', 40}, {'D', 41}, {'E', 42}, {'F', 43}, {'G', 44}, {'H', 45}}}},
    {kIs, {"14"}, 46, {}},
    {kIs, {"15"}, 47, {}},
    {kIs, {"18"}, 48, {}},
    {kContains, {"19"}, 49, {{{'A', 50}, {'B', 51}}}},
    {kContains, {"20"}, 52, {{{'A', 53}, {'B', 54}, {'C', 55}}}},
    {kIs, {"21"}, 56, {}},
    {kIs, {"31"}, 57, {}},
    {kIs, {"32"}, 58, {}},
    {kIs, {"33"}, 59, {}},
    {kIs, {"34"}, 60, {}},
    {kIs, {"35"}, 61, {}},
    {kIs, {"36"}, 62, {}},
    {kIs, {"38"}, 63, {}},
    {kIs, {"39"}, 64, {}},
    {kIs, {"40"}, 65, {}},
    {kIs, {"50"}, 66, {}},
    {kIs, {"60"}, 67, {}},
    {kIs, {"70"}, 68, {}},
    {kIs, {"80"}, 69, {}},
    {kContains, {"86"}, 70, {{{'A', 71}, {'B', 72}}}},
};

std::span<const CropRule> RulesOf(CropRuleSet set) {
  switch (set) {
    case CropRuleSet::Csfii:
      return kCsfiiRules;
    case CropRuleSet::Nhanes0510:
      return kNhanes0510Rules;
    case CropRuleSet::Nhanes:
      break;
  }
  return kNhanesRules;
}

bool Matches(const CropRule& rule, std::string_view code) {
  for (std::string_view literal : rule.literals) {
    if (literal.empty()) break;
    if (rule.contains ? code.find(literal) != std::string_view::npos : code == literal) return true;
  }
  return false;
}

// The crop group code of food f's master entry; empty for a food without a
// master number (or one the master list does not hold).
std::string_view CropCodeOf(const ModOrmid& m, int f) {
  const auto fi = static_cast<std::size_t>(f);
  if (fi >= m.gFoodConsRec.size()) return {};
  const int master = m.gFoodConsRec[fi];
  if (master <= 0 || static_cast<std::size_t>(master) >= m.gFoodCropGroup.size()) return {};
  return m.gFoodCropGroup[static_cast<std::size_t>(master)];
}

}  // namespace

CropRuleSet SelectCropRuleSet(const ModOrmid& m) {
  if (m.gSurveyBase == 0) return CropRuleSet::Csfii;
  if (std::string_view(m.gDataVersion).substr(0, 5) == "05-10") return CropRuleSet::Nhanes0510;
  return CropRuleSet::Nhanes;
}

int RuleSetGroupCount(const ModOrmid& m) {
  int largest = 0;
  for (const CropRule& rule : RulesOf(SelectCropRuleSet(m))) {
    largest = std::max<int>(largest, rule.group);
    for (const SubgroupTest& test : rule.subgroups) largest = std::max<int>(largest, test.group);
  }
  return largest;
}

void CountGroupMember(ModOrmid& m, int k, int f) {
  auto& group = m.gGroupFoods[static_cast<std::size_t>(k)];
  ++group[1];
  if (group[1] == 1) group[2] = static_cast<Int16>(f);
}

void SetMainGroup(ModOrmid& m, int f, int k) {
  auto& groups = m.gFoodGroups[static_cast<std::size_t>(f)];
  groups[0] = 1;
  groups[1] = static_cast<Int16>(k);
}

bool AddSubgroup(ModOrmid& m, int f, int k) {
  auto& groups = m.gFoodGroups[static_cast<std::size_t>(f)];
  if (groups[0] >= 3) return false;
  ++groups[0];
  groups[static_cast<std::size_t>(groups[0])] = static_cast<Int16>(k);
  return true;
}

void ClassifyCropGroups(ModOrmid& m) {
  // Sized for the rule set as well, so that a short crop group list cannot
  // send a membership outside the table.
  const int groups = std::max<int>(m.gCropGroupCount, RuleSetGroupCount(m));
  m.gGroupFoods.assign(static_cast<std::size_t>(groups) + 1, {0, 0, 0});
  m.gFoodGroups.assign(static_cast<std::size_t>(std::max<int>(m.gResFoodCount, 0)) + 1,
                       {0, 0, 0, 0});

  const std::span<const CropRule> rules = RulesOf(SelectCropRuleSet(m));
  for (int f = 1; f <= m.gResFoodCount; ++f) {
    const std::string_view code = CropCodeOf(m, f);
    const auto rule = std::find_if(rules.begin(), rules.end(),
                                   [code](const CropRule& r) { return Matches(r, code); });
    if (rule == rules.end()) continue;
    CountGroupMember(m, rule->group, f);
    SetMainGroup(m, f, rule->group);
    for (const SubgroupTest& test : rule->subgroups) {
      if (test.letter == 0) break;
      if (code.find(test.letter) == std::string_view::npos) continue;
      // A membership the food cannot hold is not counted either, so that the
      // group's count stays the number of foods that list it.
      if (m.gFoodGroups[static_cast<std::size_t>(f)][0] >= 3) break;
      CountGroupMember(m, test.group, f);
      AddSubgroup(m, f, test.group);
    }
  }
}

std::string CropGroupCode(const ModOrmid& m, int k) {
  const auto ki = static_cast<std::size_t>(k);
  if (k < 1 || ki >= m.gCropGroupNumber.size()) return {};
  if (m.gCropGroupNumber[ki] != 0) return std::to_string(m.gCropGroupNumber[ki]);
  for (const CropRule& rule : RulesOf(SelectCropRuleSet(m))) {
    for (const SubgroupTest& test : rule.subgroups) {
      if (test.letter == 0) break;
      if (test.group != k) continue;
      std::string main = rule.group != k ? CropGroupCode(m, rule.group) : std::string();
      return main.empty() ? main : main + test.letter;
    }
  }
  return {};
}

bool FoodInGroup(const ModOrmid& m, int f, int k) {
  const auto& groups = m.gFoodGroups[static_cast<std::size_t>(f)];
  const int count = std::min<int>(groups[0], 3);
  for (int n = 1; n <= count; ++n)
    if (groups[static_cast<std::size_t>(n)] == k) return true;
  return false;
}

}  // namespace ormid
