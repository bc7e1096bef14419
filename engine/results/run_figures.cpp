#include "results/run_figures.h"

#include <algorithm>
#include <map>

#include "commodity/commodity_run.h"
#include "commodity/critical_report.h"
#include "commodity/crop_groups.h"
#include "core/worst_subgroup.h"
#include "headroom/what_if.h"

namespace ormid {

ChartFigure ChartFigureFor(Endpoint endpoint) {
  if (endpoint == Endpoint::Noel) return ChartFigure::MarginOfExposure;
  if (endpoint == Endpoint::QStar) return ChartFigure::LifetimeRisk;
  return ChartFigure::PercentReference;
}

float FigureOf(const LongTermResult& r, ChartFigure figure) {
  std::optional<float> value;
  switch (figure) {
    case ChartFigure::PercentReference:
      value = r.percentReference;
      break;
    case ChartFigure::MarginOfExposure:
      value = r.marginOfExposure;
      break;
    case ChartFigure::LifetimeRisk:
      value = r.lifetimeRisk;
      break;
  }
  return value.value_or(0.0f);
}

bool PastLimit(float value, ChartFigure figure) {
  switch (figure) {
    case ChartFigure::PercentReference:
      return value > 100.0f;
    case ChartFigure::MarginOfExposure:
      // A row without exposure has no margin: nothing to warn of.
      return value > 0.0f && value < 100.0f;
    case ChartFigure::LifetimeRisk:
      return value > 1e-6f;
  }
  return false;
}

int MostExposed(const std::vector<ShownSubgroup>& rows) {
  std::vector<SubgroupStanding> standings;
  for (const ShownSubgroup& row : rows) standings.push_back(StandingOf(row.figures));
  return WorstSubgroup(standings);
}

// --- RunFigures ---

void RunFigures::Clear() {
  longTerm.clear();
  lines.clear();
  subtotals.clear();
  rows.clear();
  foodOfCode_.clear();
}

void RunFigures::LongTerm(const ModOrmid&, const LongTermResult& r) {
  ShownSubgroup row{std::string(r.subgroup), r};
  row.figures.subgroup = {};
  longTerm.push_back(std::move(row));
}

void RunFigures::Contribution(const ModOrmid& m, const ContributionResult& r) {
  if (rows.empty() || rows.back() != r.row) rows.push_back(r.row);
  if (r.kind == ContributionKind::CropGroupSubtotal) {
    subtotals.push_back({r.row, r.cropGroup, r.exposure});
    return;
  }
  if (r.kind == ContributionKind::SubgroupTotal) return;
  ContributionLine line;
  line.kind = r.kind;
  line.row = r.row;
  line.group = r.cropGroup;
  line.code = std::string(r.commodityCode);
  line.name = std::string(r.commodityName);
  line.formLabel = std::string(r.formLabel);
  line.exposure = r.exposure;
  line.share = r.sharePercent;
  if (foodOfCode_.empty())
    for (int f = m.gResFoodCount; f >= 1; --f)
      foodOfCode_[m.gFoodCode[static_cast<std::size_t>(f)]] = f;
  if (auto found = foodOfCode_.find(line.code); found != foodOfCode_.end())
    line.food = found->second;
  lines.push_back(std::move(line));
}

// --- CommodityWhatIf ---

CommodityWhatIf::CommodityWhatIf(const ModOrmid& m, ExposureTerms terms, RunFigures figures)
    : m_(m), terms_(std::move(terms)), figures_(std::move(figures)) {
  // Every food under its first crop group, in crop group order.
  std::map<int, Group> byGroup;
  for (int f = 1; f <= m_.gResFoodCount; ++f) {
    const auto fi = static_cast<std::size_t>(f);
    if (fi >= m_.gFoodGroups.size() || m_.gFoodGroups[fi][0] < 1) continue;
    const int k = m_.gFoodGroups[fi][1];
    Group& g = byGroup[k];
    if (g.group == 0) {
      g.group = k;
      g.code = CropGroupCode(m_, k);
      g.name = GroupName(m_, k);
    }
    g.commodities.push_back({f, m_.gFoodCode[fi], m_.gFoodName[fi]});
  }
  for (auto& [k, g] : byGroup) groups_.push_back(std::move(g));
  LeaveOut({});
}

std::string CommodityWhatIf::SubgroupName(int row) const {
  const auto ri = static_cast<std::size_t>(row);
  return ri < m_.gPopNames2.size() ? m_.gPopNames2[ri] : std::string();
}

void CommodityWhatIf::LeaveOut(const std::vector<bool>& foods) {
  leftOut_ = foods;
  leftOut_.resize(static_cast<std::size_t>(std::max<int>(m_.gResFoodCount, 0)) + 1, false);
  WhatIfFigures w = WhatIf(m_, terms_, leftOut_);
  popExposure_ = std::move(w.popExposure);
  // The names live in the state kept here, which does not move.
  subgroups_.clear();
  for (int k = 1; k <= m_.gPopCount; ++k) {
    LongTermResult r = LongTermResultOf(m_, w.table, k);
    ShownSubgroup row{std::string(r.subgroup), r};
    row.figures.subgroup = {};
    subgroups_.push_back(std::move(row));
  }
}

bool CommodityWhatIf::IsLeftOut(int food) const {
  const auto fi = static_cast<std::size_t>(food);
  return food > 0 && fi < leftOut_.size() && leftOut_[fi];
}

float CommodityWhatIf::Total(int row) const {
  const auto ri = static_cast<std::size_t>(row);
  if (row < 1 || ri >= m_.gPopOrder.size()) return 0.0f;
  const auto c = static_cast<std::size_t>(m_.gPopOrder[ri]);
  return c < popExposure_.size() ? popExposure_[c] : 0.0f;
}

std::vector<CommodityWhatIf::Bar> CommodityWhatIf::Pareto(int row) const {
  const float total = Total(row);
  std::vector<Bar> bars;
  for (const Group& g : groups_) {
    // The group's lines added in the report's order, as its subtotal is.
    float e = 0;
    for (const ContributionLine& line : figures_.lines)
      if (line.row == row && line.group == g.group && !IsLeftOut(line.food)) e += line.exposure;
    if (e <= 0) continue;
    Bar bar{g.group, g.code, g.name, e, std::nullopt, 0};
    if (total != 0) bar.share = ShareOfTotal(e, total);
    bars.push_back(std::move(bar));
  }
  std::stable_sort(bars.begin(), bars.end(),
                   [](const Bar& a, const Bar& b) { return a.exposure > b.exposure; });
  double running = 0;
  for (Bar& bar : bars) {
    running += bar.share.value_or(0.0f);
    bar.cumulative = running;
  }
  return bars;
}

std::vector<CommodityWhatIf::Item> CommodityWhatIf::Items(int row, int group) const {
  const float total = Total(row);
  std::vector<Item> items;
  for (const ContributionLine& line : figures_.lines) {
    if (line.row != row || line.group != group) continue;
    Item item{line.code,     line.name,    line.formLabel,
              line.exposure, std::nullopt, IsLeftOut(line.food)};
    if (item.leftOut) item.exposure = 0;
    if (total != 0) item.share = ShareOfTotal(item.exposure, total);
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace ormid
