// The per-subgroup figures of the long-term analysis.
#pragma once

#include <string>
#include <vector>

#include "core/endpoint_figures.h"
#include "core/run_results.h"

namespace ormid {

struct ModOrmid;

struct ExposureRow {
  std::string name;
  float exposure = 0;
  float percentRef = 0;
  float percentNoel = 0;
  float moe = 0;
  float risk = 0;
  bool noExposure = false;
};

struct ExposureTable {
  std::vector<ExposureRow> rows;  // report rows 1..gPopCount, in order
  bool padFootnote = false;
  // Report row whose figures came out infinite or not a number (0 = none).
  int nonFiniteRow = 0;
};

// The margin of exposure at and above which the reports print a capped text.
inline constexpr float kMoeCap = 1000000.0f;

ExposureTable BuildExposureRows(const ModOrmid& m);
// The rows for other totals (by consumption column, like gPopExposure): a
// what-if's.
ExposureTable BuildExposureRows(const ModOrmid& m, const std::vector<float>& popExposure);

// Report row k of the table as data: the figures the report prints for the
// run's endpoint; a row without exposure keeps only its exposure of 0.
LongTermResult LongTermResultOf(const ModOrmid& m, const ExposureTable& table, int k);

}  // namespace ormid
