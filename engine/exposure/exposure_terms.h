// The terms a long-term run's totals are made of, kept so that the totals can
// be made again without reading the consumption files: with some commodities
// left out (what-if) or with one commodity's residues scaled (headroom).
//
// An entry is a food without forms or one food form that added to the totals,
// in the order it was added. For every consumption column 1..columns it holds
// the consumption and the exposure term that went into the column's total.
// Folding the terms of a column in entry order, each sum rounded to single
// precision, gives the run's total bit for bit.
#pragma once

#include <cstddef>
#include <vector>

namespace ormid {

struct ModOrmid;

struct ExposureTerms {
  struct Entry {
    int food = 0;  // residue-table food
    int form = 0;  // food-form entry; 0 for a food without forms
  };

  // Where ComputeTotalExposure writes one entry's values.
  class Slot {
   public:
    Slot() = default;
    Slot(float* consumption, float* term) : consumption_(consumption), term_(term) {}
    explicit operator bool() const { return term_ != nullptr; }
    void Set(int column, float consumption, float term) {
      consumption_[column - 1] = consumption;
      term_[column - 1] = term;
    }

   private:
    float* consumption_ = nullptr;
    float* term_ = nullptr;
  };

  // Forgets every entry; the next entries hold `columns` columns.
  void Reset(int columns);
  // A new entry, all its consumption values and terms 0.
  Slot Add(int food, int form);

  int columns() const { return columns_; }
  std::size_t size() const { return entries_.size(); }
  const Entry& entry(std::size_t e) const { return entries_[e]; }
  // Consumption (g/kg bw/day) and exposure term (mg/kg bw/day) of entry e in
  // consumption column c (1-based); 0 beyond the columns held.
  float Consumption(std::size_t e, int c) const { return Value(consumption_, e, c); }
  float Term(std::size_t e, int c) const { return Value(terms_, e, c); }

 private:
  float Value(const std::vector<float>& values, std::size_t e, int c) const {
    if (c < 1 || c > columns_) return 0.0f;
    return values[e * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(c - 1)];
  }

  int columns_ = 0;
  std::vector<Entry> entries_;
  std::vector<float> consumption_;  // entry by entry, columns_ values each
  std::vector<float> terms_;
};

// One single-precision step of a total: single(sum + term), as the run adds.
inline float AddTerm(float sum, float term) {
  return static_cast<float>(static_cast<double>(sum) + static_cast<double>(term));
}

// The totals of every consumption column (element 0 unused, sized like
// gPopExposure) with the entries of the foods flagged in `leftOut` (indexed
// by residue-table food; may be empty) taken out. Without foods left out they
// equal gPopExposure of the run that kept the terms.
std::vector<float> TotalsWithout(const ModOrmid& m, const ExposureTerms& terms,
                                 const std::vector<bool>& leftOut);

// The exposure of the foods flagged in `foods` in consumption column c: their
// terms added in entry order.
float ExposureOfFoods(const ExposureTerms& terms, const std::vector<bool>& foods, int c);

}  // namespace ormid
