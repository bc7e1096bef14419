#include "report/food_form_label.h"

#include <string_view>
#include <vector>

#include "core/mod_ormid.h"
#include "core/numbers.h"

namespace ormid {

namespace {

// The description of the code's character at `index`, read as a digit. A
// character that is not a digit, or one past the code's end, counts as 0; a
// digit the list has no description for gives an empty description.
std::string DigitDescription(const std::vector<std::string>& descriptions, const std::string& code,
                             size_t index) {
  std::string_view digit = index < code.size() ? std::string_view(code).substr(index, 1) : "";
  const double value = LeadingNumber(digit);
  const size_t position = static_cast<size_t>(value);
  return position < descriptions.size() ? descriptions[position] : std::string();
}

}  // namespace

void FoodFormLabel(const ModOrmid& m, std::string& code, std::string& label) {
  const double value = LeadingNumber(code);
  if (value < 10) {
    code.insert(0, "00");
  } else if (value < 100) {
    code.insert(0, "0");
  }
  label = code + "-" + DigitDescription(m.gFormDesc1, code, 0) + " " +
          DigitDescription(m.gFormDesc2, code, 1) + " " + DigitDescription(m.gFormDesc3, code, 2);
}

}  // namespace ormid
