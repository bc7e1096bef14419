#include "setup/pad_form.h"

#include <cmath>

#include "core/mod_ormid.h"
#include "core/numbers.h"
#include "core/paths.h"
#include "report/number_format.h"

namespace ormid {

std::vector<PadRow> LoadPadRows(const ModOrmid& m) {
  std::vector<PadRow> rows;
  for (int k = 0; k < m.gPADRowCount; ++k) {
    int s = m.gPADFirstPop + k;
    if (s < 1 || s > m.gPopCount) break;
    auto si = static_cast<std::size_t>(s);
    float pad = m.gPAD[si];
    rows.push_back({s, m.gPopNames[si], pad == 0 ? std::string() : DefaultNumberText(pad)});
  }
  return rows;
}

void StorePadRows(ModOrmid& m, const std::vector<PadRow>& rows) {
  for (const PadRow& row : rows) {
    const auto pad = static_cast<float>(LeadingNumber(row.text));
    // Never stored beyond single precision (as infinite).
    m.gPAD[static_cast<std::size_t>(row.subgroup)] = std::isfinite(pad) ? pad : 0.0f;
  }
}

int PadKeyDown(std::vector<PadRow>& rows, int row, PadKey key) {
  if (key == PadKey::Other || rows.empty()) return row;
  auto& text = rows[static_cast<std::size_t>(row)].text;
  // A value beyond single precision is as unusable as a word: every
  // percentage of it would read 0.
  if (!TrimBlanks(text).empty() && (!IsValidNumber(text) || LeadingNumber(text) < 0 ||
                                    !std::isfinite(static_cast<float>(LeadingNumber(text))))) {
    text.clear();
    return row;
  }
  int last = static_cast<int>(rows.size()) - 1;
  if (key == PadKey::Up) return row == 0 ? last : row - 1;
  return row == last ? 0 : row + 1;
}

}  // namespace ormid
