// The figures an exposure gives a subgroup under the run's endpoint: the one
// home of "the PAD applies to this row", the dose its percents refer to and
// the percents, margin of exposure and lifetime risk themselves, for the
// long-term rows, the commodity breakdowns and the headroom alike. Every
// figure is formed in double precision from single-precision operands and
// rounded once to single precision, where the reports round it.
#pragma once

#include <optional>

#include "core/endpoint.h"

namespace ormid {

struct ModOrmid;

// Single-precision quotient, percent and product of single-precision
// operands, formed at double precision and rounded once.
inline float Quotient(float a, float b) {
  return static_cast<float>(static_cast<double>(a) / static_cast<double>(b));
}
inline float Percent(float a, float b) {
  return static_cast<float>(static_cast<double>(a) * 100.0 / static_cast<double>(b));
}
inline float Product(float a, float b) {
  return static_cast<float>(static_cast<double>(a) * static_cast<double>(b));
}

// Whether report row `row`'s percents refer to its PAD: a PAD endpoint (P,
// NP) and a PAD entered for the row.
bool PadApplies(const ModOrmid& m, int row);
// The dose the percents of report row `row` refer to: its PAD where the PAD
// applies, the RfD otherwise.
float ReferenceDose(const ModOrmid& m, int row);
// NOEL / e; 0 for no exposure.
float MarginOfExposure(const ModOrmid& m, float e);
// e x Q*.
float LifetimeRisk(const ModOrmid& m, float e);

// The figures one exposure gives a report row. Only those of the run's
// endpoint are formed, the others stay 0: the percent of the RfD or PAD for
// the endpoints with a reference dose (R, P, NR, NP), the percent of the
// NOEL and the margin of exposure for those with a NOEL (N, NR, NP), the
// lifetime risk for Q*.
struct ExposureFigures {
  float e = 0;
  float pctRef = 0;
  float pctNoel = 0;
  float moe = 0;
  float risk = 0;
};
ExposureFigures FiguresFor(const ModOrmid& m, int row, float e);

// Whether the figures read "no exposure" under the endpoint: a margin of
// exposure of 0 for the NOEL endpoints, an exposure of 0 for the others.
bool NoExposure(Endpoint endpoint, const ExposureFigures& x);

// The figures the endpoint reports, as the exports, the run history and the
// Results windows keep them: none for "no exposure"; else the percent of the
// RfD or PAD (R, P, NR, NP), the percent of the NOEL (N), the margin of
// exposure (N, NR, NP) and the lifetime risk (Q).
struct ReportedFigures {
  std::optional<float> percentReference, percentNoel, marginOfExposure, lifetimeRisk;
};
ReportedFigures ReportedOf(Endpoint endpoint, const ExposureFigures& x);

}  // namespace ormid
