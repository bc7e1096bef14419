// Crop group classification: places every residue-table food into the crop
// group of its commodity and into the crop subgroups its code names, filling
// the membership tables gGroupFoods and gFoodGroups that the commodity
// reports walk.
//
// The crop group code of a food's master entry selects the group under one of
// three rule sets, chosen by the installation's survey data: CSFII (groups
// 1..38), NHANES 2005-2010 data with a version label beginning "05-10"
// (groups 1..82), and other NHANES data (groups 1..72). Group index k names
// entry k of the crop group list of the food-form description file.
#pragma once

#include <string>

#include "core/mod_ormid.h"

namespace ormid {

enum class CropRuleSet {
  Csfii,       // survey base 0
  Nhanes0510,  // NHANES, data version "05-10..."
  Nhanes,      // other NHANES data
};

// The rule set that the installation's survey base and data version select.
CropRuleSet SelectCropRuleSet(const ModOrmid& m);

// The largest crop group index the rule set in use can assign (38, 82 or 72):
// the crop group list must hold at least that many groups.
int RuleSetGroupCount(const ModOrmid& m);

// One more member food f of group k; the first one is remembered.
void CountGroupMember(ModOrmid& m, int k, int f);
// Food f belongs to main group k (its first membership).
void SetMainGroup(ModOrmid& m, int f, int k);
// Food f also belongs to subgroup k. A food holds at most three memberships;
// a fourth is not recorded (false).
bool AddSubgroup(ModOrmid& m, int f, int k);

// Rebuilds gGroupFoods (0..groups) and gFoodGroups (0..gResFoodCount), all
// zero, and classifies foods 1..gResFoodCount in residue-table order. A food
// whose code matches no rule stays in no group. Subgroup letters beyond the
// two a food can hold are ignored: they are neither recorded nor counted.
void ClassifyCropGroups(ModOrmid& m);

// The code a risk assessor names crop group k by: the group number of the
// crop group list ("10" for citrus fruits), or for a subgroup without a
// number of its own the code of its main group and the subgroup letter
// ("1A", "13B"). Empty when the group has neither.
std::string CropGroupCode(const ModOrmid& m, int k);

// True when food f lists group k among its memberships.
bool FoodInGroup(const ModOrmid& m, int f, int k);

}  // namespace ormid
