#include "exposure/exposure_terms.h"

#include <algorithm>

#include "core/mod_ormid.h"

namespace ormid {

namespace {

bool Flagged(const std::vector<bool>& flags, int food) {
  const auto fi = static_cast<std::size_t>(food);
  return fi < flags.size() && flags[fi];
}

}  // namespace

void ExposureTerms::Reset(int columns) {
  columns_ = std::max(columns, 0);
  entries_.clear();
  consumption_.clear();
  terms_.clear();
}

ExposureTerms::Slot ExposureTerms::Add(int food, int form) {
  entries_.push_back({food, form});
  const std::size_t start = consumption_.size();
  consumption_.resize(start + static_cast<std::size_t>(columns_), 0.0f);
  terms_.resize(start + static_cast<std::size_t>(columns_), 0.0f);
  return Slot(consumption_.data() + start, terms_.data() + start);
}

std::vector<float> TotalsWithout(const ModOrmid& m, const ExposureTerms& terms,
                                 const std::vector<bool>& leftOut) {
  const int columns = terms.columns();
  const auto size =
      static_cast<std::size_t>(std::max<int>(m.gPopCount, m.ConsumptionColumns())) + 1;
  std::vector<float> totals(std::max<std::size_t>(size, static_cast<std::size_t>(columns) + 1),
                            0.0f);
  for (std::size_t e = 0; e < terms.size(); ++e) {
    if (Flagged(leftOut, terms.entry(e).food)) continue;
    for (int c = 1; c <= columns; ++c) {
      const auto ci = static_cast<std::size_t>(c);
      totals[ci] = AddTerm(totals[ci], terms.Term(e, c));
    }
  }
  return totals;
}

float ExposureOfFoods(const ExposureTerms& terms, const std::vector<bool>& foods, int c) {
  float sum = 0.0f;
  for (std::size_t e = 0; e < terms.size(); ++e)
    if (Flagged(foods, terms.entry(e).food)) sum = AddTerm(sum, terms.Term(e, c));
  return sum;
}

}  // namespace ormid
