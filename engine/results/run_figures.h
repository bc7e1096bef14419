// The figures a Results window shows, kept from the run that made them: the
// long-term rows as the run sent them, and for a commodity run its breakdown
// rows and the terms of its totals, so that leaving commodities out (what-if)
// needs no file read.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/endpoint.h"
#include "core/mod_ormid.h"
#include "core/run_results.h"
#include "exposure/exposure_terms.h"

namespace ormid {

// A long-term row that owns its subgroup name.
struct ShownSubgroup {
  std::string name;
  LongTermResult figures;  // figures.subgroup is not kept: use name
};

// Which figure a chart of the subgroups draws, by the run's endpoint.
enum class ChartFigure { PercentReference, MarginOfExposure, LifetimeRisk };
ChartFigure ChartFigureFor(Endpoint endpoint);

// The value of that figure for a row (0 when the row reports none), and
// whether it is past the usual limit: above 100% of the reference dose, a
// margin of exposure below 100, a lifetime risk above one in a million.
float FigureOf(const LongTermResult& r, ChartFigure figure);
bool PastLimit(float value, ChartFigure figure);
// The worst subgroup of the rows (see core/worst_subgroup.h); -1 when
// empty.
int MostExposed(const std::vector<ShownSubgroup>& rows);

// A long-term run's state and the terms of its totals: what the headroom of
// its commodities is worked out from.
struct LongTermRun {
  ModOrmid m;
  ExposureTerms terms;
};

// One food or food-form line of a subgroup's breakdown, kept for what-if.
struct ContributionLine {
  ContributionKind kind = ContributionKind::Food;
  int row = 0;
  int group = 0;
  int food = 0;  // residue-table food
  std::string code, name, formLabel;
  float exposure = 0;
  std::optional<float> share;  // as the run sent it
};

// Keeps a run's rows as they come.
class RunFigures : public ResultsSink {
 public:
  void Clear();
  void LongTerm(const ModOrmid& m, const LongTermResult& r) override;
  void Contribution(const ModOrmid& m, const ContributionResult& r) override;

  std::vector<ShownSubgroup> longTerm;
  std::vector<ContributionLine> lines;  // foods and food forms
  // Crop group subtotals as sent: (row, group) -> exposure.
  struct Subtotal {
    int row = 0, group = 0;
    float exposure = 0;
  };
  std::vector<Subtotal> subtotals;
  std::vector<int> rows;  // subgroups with a breakdown, in report order

 private:
  std::unordered_map<std::string, int> foodOfCode_;  // residue-table food by code
};

// A commodity run's figures, remade with some foods left out.
class CommodityWhatIf {
 public:
  // m is the run's state after the run (crop groups classified); terms and
  // figures are the run's own.
  CommodityWhatIf(const ModOrmid& m, ExposureTerms terms, RunFigures figures);

  struct Commodity {
    int food = 0;
    std::string code, name;
  };
  // A crop group that is the first group of at least one food, with those
  // foods: every food of the residue table is in one such group at most.
  struct Group {
    int group = 0;
    std::string code, name;
    std::vector<Commodity> commodities;
  };
  const std::vector<Group>& Groups() const { return groups_; }
  const std::vector<int>& BreakdownRows() const { return figures_.rows; }
  const ModOrmid& State() const { return m_; }
  std::string SubgroupName(int row) const;

  // Leaves out the flagged foods (by residue-table food) and remakes every
  // figure; an empty vector leaves nothing out.
  void LeaveOut(const std::vector<bool>& foods);
  const std::vector<bool>& LeftOut() const { return leftOut_; }
  bool IsLeftOut(int food) const;

  // Every subgroup's long-term figures with the foods left out.
  const std::vector<ShownSubgroup>& Subgroups() const { return subgroups_; }
  // Subgroup row's total exposure with the foods left out.
  float Total(int row) const;

  struct Bar {
    int group = 0;
    std::string code, name;
    float exposure = 0;
    std::optional<float> share;  // % of the subgroup's total
    double cumulative = 0;       // % of the total of this bar and those before it
  };
  // The crop groups with exposure in subgroup row, by decreasing exposure.
  std::vector<Bar> Pareto(int row) const;

  struct Item {
    std::string code, name, formLabel;
    float exposure = 0;
    std::optional<float> share;
    bool leftOut = false;
  };
  // The foods and food forms of a crop group in subgroup row.
  std::vector<Item> Items(int row, int group) const;

 private:
  ModOrmid m_;
  ExposureTerms terms_;
  RunFigures figures_;
  std::vector<Group> groups_;
  std::vector<bool> leftOut_;
  std::vector<float> popExposure_;
  std::vector<ShownSubgroup> subgroups_;
};

}  // namespace ormid
