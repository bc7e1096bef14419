// Consumption data and the total long-term exposure of every subgroup.
#pragma once

#include <string>
#include <string_view>

#include "core/record_file.h"

namespace ormid {

struct ModOrmid;
class Platform;
struct ExposureTerms;

// One record of a consumption file, decoded for the installation's layout.
struct ConsumptionRecord {
  std::int16_t formCode = 0;
  std::string_view code;    // 8 (CSFII) or 10 (NHANES) characters
  std::string_view values;  // consumption columns, 4 bytes each

  // Consumption of column c (1-based), g/kg bw/day.
  float Consumption(int c) const {
    return ReadFloatLE(values, static_cast<std::size_t>(c - 1) * 4);
  }
};

ConsumptionRecord DecodeConsumptionRecord(const ModOrmid& m, std::string_view record);
// Consumption of column c (1-based) of a whole record, read directly; 0 for
// a column the installation's layout lacks.
float ConsumptionIn(const ModOrmid& m, std::string_view record, int c);

// The two consumption files, opened for direct look-ups.
struct ConsumptionFiles {
  RecordFile foods;  // one record per food
  RecordFile forms;  // one record per food form
  bool Open(const ModOrmid& m, std::string& failedFile);
};

// A code field normalised for comparison: blanks stripped and a 9-character
// code given a leading "0". False when the field does not hold a number.
bool NormaliseRecordCode(std::string_view field, std::string& code);

// Accumulates gPopExposure over the residue table. Sets failed to 1 (after
// its message) when a consumption record does not match the residue table.
// With terms, also keeps every entry's consumption and exposure term, in the
// order they were added, so that the totals can be made again without the
// files (what-if, headroom).
void ComputeTotalExposure(ModOrmid& m, Platform& p, int& failed, ExposureTerms* terms = nullptr);

// One exposure term: single(c * r * a1 / 1000), then single(t * a2) when
// the second adjustment factor is used.
float ExposureTerm(float c, float residue, float adj1, float adj2, bool useAdj2);

}  // namespace ormid
