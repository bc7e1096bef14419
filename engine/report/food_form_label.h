// Food-form labels: a food-form code and the descriptions of its three digits.
#pragma once

#include <string>

namespace ormid {

struct ModOrmid;

// `code` holds the food-form code as decimal digits without blanks; on return
// it holds the code padded to three digits and `label` the code, "-" and the
// descriptions of the first three digits joined by blanks.
void FoodFormLabel(const ModOrmid& m, std::string& code, std::string& label);

}  // namespace ormid
