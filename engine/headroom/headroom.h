// Headroom: for every crop group, food or food form of a long-term run, the
// residue multiplier m that brings the most constrained of the chosen
// subgroups exactly to a target (100% of the reference dose, a margin of
// exposure of 100, a lifetime risk of one in a million) while every other
// commodity stays as it is.
//
// The multiplier is exact in the program's own arithmetic. Scaling the
// commodity's residues by m gives residues single(r x m); the long-term
// figures are then made again from the run's terms exactly as the run adds
// them, and compared with the target as the long-term report prints them.
// m is printed with four significant digits and rounded down: scaled by the
// printed m every chosen subgroup stays at or within the target, scaled by
// the next four-digit value above it at least one goes past it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/endpoint.h"

namespace ormid {

struct ModOrmid;
struct ExposureTerms;

enum class HeadroomBy { CropGroup, Food, Form };
// "cropgroup", "food", "form": the name --by takes and manifests record.
const char* HeadroomByName(HeadroomBy by);
// The breakdown a name gives; nullopt for any other text.
std::optional<HeadroomBy> HeadroomByFrom(std::string_view name);

// A crop group, food or food form of a run's residue table, with the
// entries of the run's exposure terms it is made of.
struct Commodity {
  std::string code;  // "5A"; "01010000"; "01010000 110"
  std::string name;
  int group = 0;
  int food = 0;
  int form = 0;
  std::vector<std::size_t> entries;  // its entries of the terms, in order
};

// The crop groups (classified first), foods or food forms that have entries
// in the terms, in report order.
std::vector<Commodity> Commodities(ModOrmid& m, const ExposureTerms& terms, HeadroomBy by);
// A commodity's exposure in consumption column c: its terms added in entry
// order, in single precision as the run adds.
float CommodityExposure(const ExposureTerms& terms, const Commodity& c, int column);

// A run's consumption-column totals made again with the residues of some of
// its entries scaled, every other term as the run added it: the totals a run
// of the residue table with those residues scaled gives, bit for bit. Keeps
// the entries' residues and adjustment factors; the terms must outlive it.
class ScaledTotals {
 public:
  ScaledTotals(const ModOrmid& m, const ExposureTerms& terms);

  // The entries whose residues are scaled, in entry order (none: the run as
  // it stands); until Scale, they keep their own residues.
  void Select(const std::vector<std::size_t>& entries);
  bool empty() const { return selection_.empty(); }
  // The selected entries' exposure in consumption column c, unscaled.
  float ExposureIn(int c) const;
  // Their residues become single(residue x multiplier).
  void Scale(double multiplier);
  // Column c's total with the selected residues as scaled.
  float Total(int c);
  // Every column's total (element c for column c, element 0 unused), as
  // Total gives each, in one pass over the entries.
  void Totals(std::vector<float>& out);

 private:
  static constexpr float kUnknown = -1.0f;
  // The sum of the terms before the first selected entry, kept by column.
  float Prefix(int c);

  const ExposureTerms& terms_;
  bool useAdj2_ = false;
  std::vector<float> residue_, adj1_, adj2_;  // by entry
  std::vector<char> inSelection_;
  std::vector<std::size_t> selection_;
  std::size_t first_ = 0;
  std::vector<float> prefix_;
  std::vector<float> scaled_;
  std::vector<float> prefixAll_;  // every column's prefix; empty until needed
};

// What the target limits: the percent of the RfD or PAD (endpoints R, P, NR,
// NP; at most the target), the margin of exposure (N; at least the target),
// the lifetime risk (Q; at most the target).
enum class TargetKind { PercentRef, Moe, Risk };

struct HeadroomTarget {
  TargetKind kind = TargetKind::PercentRef;
  double value = 100;
};

TargetKind TargetKindFor(Endpoint endpoint);
// 100 (% of RfD or PAD), 100 (margin of exposure), 1E-06 (lifetime risk).
double DefaultTargetValue(TargetKind kind);

// A multiplier as printed: four significant digits, digits x 10^exponent,
// digits 1000..9999.
struct Multiplier {
  int digits = 1000;
  int exponent = -3;

  // The double nearest to the printed value.
  double Value() const;
  // "3.271", "0.0004500", "12340", "1.500E+08": plain decimals from 0.0001 up
  // to 10,000,000, the exponent form outside.
  std::string Text() const;
  // The next printed value above this one.
  Multiplier Next() const;
  // The largest printed value not above v (v > 0, finite).
  static Multiplier FloorOf(double v);

  // Consecutive printed values have consecutive indexes.
  std::int64_t Index() const;
  static Multiplier FromIndex(std::int64_t index);
};

// A residue scaled by a multiplier: single(residue x multiplier).
float ScaledResidue(float residue, double multiplier);

// True when exposure e of report row `row` is within the target as the
// long-term report prints the row (a row without exposure always is).
bool WithinTarget(const ModOrmid& m, const HeadroomTarget& target, int row, float e);

// The largest index from lowest to highest for which `within` holds, where it
// holds up to some index and not past it; the search starts at `start` (an
// estimate) and steps up or down from there. False when it holds even at
// `highest` or not even at `lowest`.
bool LargestIndexWithin(std::int64_t lowest, std::int64_t highest, std::int64_t start,
                        const std::function<bool(std::int64_t)>& within, std::int64_t& found);

enum class HeadroomOutcome {
  Multiplier,  // the multiplier below
  PastTarget,  // a chosen subgroup is past the target without the commodity
  Unlimited,   // the commodity gives the chosen subgroups no exposure
};

struct HeadroomRow {
  std::string code;    // crop group code, commodity code, or commodity code and form code
  std::string name;    // crop group name, food name, or food name and form label
  int group = 0;       // crop group index (by crop group)
  int food = 0;        // residue-table food (by food and by form)
  int form = 0;        // food-form entry (by form; 0 for a food without forms)
  float exposure = 0;  // in the most exposed subgroup, mg/kg bw/day
  float share = 0;     // percent of the most exposed subgroup's exposure
  HeadroomOutcome outcome = HeadroomOutcome::Unlimited;
  Multiplier multiplier;
  // The subgroup that reaches the target first, or that is past it.
  int limitingRow = 0;
  // The residue (ppm) of a food (its own line of the residue file; its forms
  // scale alike) or of a food form, scaled by the multiplier:
  // single(residue x multiplier).
  bool hasMaxResidue = false;
  float maxResidue = 0;
};

struct HeadroomRequest {
  HeadroomBy by = HeadroomBy::CropGroup;
  std::vector<int> subgroups;  // report rows; empty = every subgroup
  HeadroomTarget target;
};

// What a headroom run is asked before its endpoint is known: the breakdown,
// the subgroups that must stay within the target (report rows; empty: every
// subgroup) and the target's value (none: the endpoint's default).
struct HeadroomOptions {
  HeadroomBy by = HeadroomBy::CropGroup;
  std::vector<int> subgroups;
  std::optional<double> target;
};

struct HeadroomTable {
  HeadroomBy by = HeadroomBy::CropGroup;
  HeadroomTarget target;
  std::vector<int> subgroups;  // the chosen report rows
  int mostExposedRow = 0;
  float mostExposedExposure = 0;
  // Rows by decreasing share, in residue-table (or crop group) order among
  // equal shares.
  std::vector<HeadroomRow> rows;
};

// The headroom of every crop group with foods in the residue table, every
// food, or every food and food form of a run whose terms are given (terms of
// ComputeTotalExposure on the same residue table and run parameters).
// Classifies the crop groups for HeadroomBy::CropGroup.
HeadroomTable ComputeHeadroom(ModOrmid& m, const ExposureTerms& terms,
                              const HeadroomRequest& request);

}  // namespace ormid
