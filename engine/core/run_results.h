// A finished run's figures as data: the same single-precision values the
// reports round, handed row by row to whoever keeps them (exports, the run
// history) while the run writes its reports.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ormid {

struct ModOrmid;

// Which dose a subgroup's percent figure refers to.
enum class ReferenceKind { None, RfD, PAD };

// One subgroup row of the long-term analysis. Figures the run's endpoint
// does not report are empty.
struct LongTermResult {
  int row = 0;  // report row, 1-based
  std::string_view subgroup;
  int column = 0;      // consumption column
  float exposure = 0;  // mg/kg bw/day
  ReferenceKind reference = ReferenceKind::None;
  std::optional<float> referenceDose;  // mg/kg bw/day
  std::optional<float> percentReference, percentNoel, marginOfExposure, lifetimeRisk;
};

enum class ContributionKind { Food, FoodForm, CropGroupSubtotal, SubgroupTotal };

// One row of a subgroup's commodity contribution breakdown, in the complete
// report's order: a crop group's foods and food forms, its subtotal, and at
// the end the subgroup's total.
struct ContributionResult {
  ContributionKind kind = ContributionKind::Food;
  int row = 0;  // subgroup report row
  std::string_view subgroup;
  int cropGroup = 0;  // crop group index (0 on the subgroup total)
  std::string_view cropGroupName;
  std::string_view cropGroupCode;                 // "5", "5A"; empty when the group has none
  std::string_view commodityCode, commodityName;  // foods and food forms
  int formCode = 0;                               // food forms only
  std::string_view formLabel;
  std::optional<float> residue, adj1, adj2;  // foods and food forms: ppm and factors
  float exposure = 0;                        // mg/kg bw/day
  std::optional<float> sharePercent;         // % of the subgroup's total (none when it is 0)
  ReferenceKind reference = ReferenceKind::None;
  std::optional<float> referenceDose;
  std::optional<float> percentReference, percentNoel, marginOfExposure, lifetimeRisk;
};

// A cumulative subgroup's figures, in double precision as the cumulative
// run forms them: the exposure in index-chemical equivalents, its percent of
// the index chemical's PAD (cPAD), the total margin of exposure and the
// hazard index.
struct CumulativeSubgroupFigures {
  double indexEquivalent = 0, percentCpad = 0, cpad = 0;
  std::optional<double> moet, hazardIndex;
};

// An aggregate run's subgroup in one duration: its total dose (oral plus
// the absorbed dermal and inhaled doses), the aggregate risk index or the
// lifetime risk, and the percent of its limit (100 / ARI; for cancer, of the
// risk limit), by which it is ranked as percents of a reference dose are.
struct AggregateSubgroupFigures {
  const char* duration = "";  // "chronic", ...
  double totalDose = 0, percentOfLimit = 0;
  std::optional<double> ari, aggregateMoe, risk;
};

// A subgroup's headline figures, owning its name: what the batch summary and
// the most exposed subgroup are made from, whatever the kind of run. A
// cumulative run's subgroup has only the row, name and consumption column in
// `figures`; its figures are in `cumulative`.
struct SubgroupFigures {
  LongTermResult figures;  // figures.subgroup views name
  std::string name;
  std::optional<CumulativeSubgroupFigures> cumulative;
  std::optional<AggregateSubgroupFigures> aggregate;
  SubgroupFigures() = default;
  SubgroupFigures(const LongTermResult& r) : figures(r), name(r.subgroup) {
    figures.subgroup = name;
  }
  SubgroupFigures(const SubgroupFigures& o)
      : figures(o.figures), name(o.name), cumulative(o.cumulative), aggregate(o.aggregate) {
    figures.subgroup = name;
  }
  SubgroupFigures& operator=(const SubgroupFigures& o) {
    figures = o.figures;
    name = o.name;
    cumulative = o.cumulative;
    aggregate = o.aggregate;
    figures.subgroup = name;
    return *this;
  }
};

// Takes a run's figures as it goes. A run that stops on a message after it
// began sending leaves the rows sent so far; the caller decides from the
// run's outcome whether to keep them.
class ResultsSink {
 public:
  virtual ~ResultsSink() = default;
  virtual void LongTerm(const ModOrmid&, const LongTermResult&) {}
  virtual void Contribution(const ModOrmid&, const ContributionResult&) {}
  // A sink that keeps only each subgroup's total (a batch's summary) spares
  // the commodity run the rows of every food and crop group.
  virtual bool TotalsOnly() const { return false; }
  // The run has sent its last row. The texts the rows point into (food-form
  // labels, names) may go away once this returns: a sink that holds rows
  // must have done with them.
  virtual void Sent() {}
};

// Hands every row to several sinks in turn (the exports and the run
// history).
class ResultsFanOut : public ResultsSink {
 public:
  void Add(ResultsSink* sink) {
    if (sink) sinks_.push_back(sink);
  }
  bool Empty() const { return sinks_.empty(); }
  void LongTerm(const ModOrmid& m, const LongTermResult& r) override {
    for (ResultsSink* s : sinks_) s->LongTerm(m, r);
  }
  void Contribution(const ModOrmid& m, const ContributionResult& r) override {
    for (ResultsSink* s : sinks_) s->Contribution(m, r);
  }
  // Only totals when every sink takes only totals.
  bool TotalsOnly() const override {
    for (ResultsSink* s : sinks_)
      if (!s->TotalsOnly()) return false;
    return !sinks_.empty();
  }
  void Sent() override {
    for (ResultsSink* s : sinks_) s->Sent();
  }

 private:
  std::vector<ResultsSink*> sinks_;
};

}  // namespace ormid
