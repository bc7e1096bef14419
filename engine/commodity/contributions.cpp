#include "commodity/contributions.h"

#include "commodity/commodity_run.h"
#include "commodity/critical_report.h"
#include "commodity/crop_groups.h"
#include "core/run_results.h"

namespace ormid {

namespace {

// The dose a subgroup's percent figures refer to, the same for all its rows.
struct SubgroupReference {
  bool shown = false;
  ReferenceKind kind = ReferenceKind::None;
  float dose = 0;
};

SubgroupReference ReferenceOf(const ModOrmid& m, int row) {
  if (!UsesReferenceDose(m.gEndpoint)) return {};
  return {true, PadApplies(m, row) ? ReferenceKind::PAD : ReferenceKind::RfD,
          ReferenceDose(m, row)};
}

// A row's exposure, its share of the subgroup's total and the figures the
// endpoint reports. Every figure of r is set, so that one row can be filled
// again for the next.
void SetFigures(Endpoint endpoint, const SubgroupReference& ref, const ExposureFigures& x,
                float total, ContributionResult& r) {
  r.exposure = x.e;
  r.sharePercent.reset();
  if (total != 0) r.sharePercent = ShareOfTotal(x.e, total);
  r.reference = ref.kind;
  r.referenceDose.reset();
  if (ref.shown) r.referenceDose = ref.dose;
  const ReportedFigures f = ReportedOf(endpoint, x);
  r.percentReference = f.percentReference;
  r.percentNoel = f.percentNoel;
  r.marginOfExposure = f.marginOfExposure;
  r.lifetimeRisk = f.lifetimeRisk;
}

}  // namespace

void SendContributions(CommodityRun& run, int row, ResultsSink& sink) {
  const ModOrmid& m = run.m;
  const auto ri = static_cast<std::size_t>(row);
  const float total = m.gPopExposure[static_cast<std::size_t>(m.gPopOrder[ri])];
  const SubgroupReference ref = ReferenceOf(m, row);
  ContributionResult r;
  r.row = row;
  r.subgroup = m.gPopNames2[ri];

  for (int k = 1; !sink.TotalsOnly() && k <= m.gCropGroupCount; ++k) {
    const int members = m.gGroupFoods[static_cast<std::size_t>(k)][1];
    if (members == 0) continue;
    r.cropGroup = k;
    r.cropGroupName = GroupName(m, k);
    const std::string code = CropGroupCode(m, k);
    r.cropGroupCode = code;
    const std::vector<int>& foods = run.GroupFoods(k);
    ExposureSums sums;
    // One row filled again for every food and food form of the group.
    ContributionResult e = r;
    auto send = [&](ContributionKind kind, std::size_t food, int entry, const ExposureFigures& x) {
      e.kind = kind;
      e.commodityCode = m.gFoodCode[food];
      e.commodityName = m.gFoodName[food];
      const auto i = static_cast<std::size_t>(entry);
      if (kind == ContributionKind::FoodForm) {
        e.formCode = m.gFormCode[i];
        e.formLabel = run.FormLabel(entry);
        e.residue = m.gFormResidue[i];
        e.adj1 = m.gFormAdj1[i];
        e.adj2 = m.gFormAdj2[i];
      } else {
        e.formCode = 0;
        e.formLabel = {};
        e.residue = m.gFoodResidue[food];
        e.adj1 = m.gFoodAdj1[food];
        e.adj2 = m.gFoodAdj2[food];
      }
      SetFigures(m.gEndpoint, ref, x, total, e);
      sink.Contribution(m, e);
    };
    for (std::size_t n = 0; n < foods.size() && static_cast<int>(n) < members; ++n) {
      const int f = foods[n];
      const auto fi = static_cast<std::size_t>(f);
      if (m.gFoodFormCount[fi] == 0) {
        const ExposureFigures x = FoodExposure(run, row, f);
        sums.Add(m, x);
        send(ContributionKind::Food, fi, f, x);
      } else {
        const int first = m.gFoodFirstForm[fi];
        for (int j = first; j < first + m.gFoodFormCount[fi]; ++j) {
          const ExposureFigures x = FormExposure(run, row, j);
          sums.Add(m, x);
          send(ContributionKind::FoodForm, fi, j, x);
        }
      }
    }
    ContributionResult g = r;
    g.kind = ContributionKind::CropGroupSubtotal;
    SetFigures(
        m.gEndpoint, ref,
        {sums.e, sums.pctRef, sums.pctNoel, MarginOfExposure(m, sums.e), LifetimeRisk(m, sums.e)},
        total, g);
    sink.Contribution(m, g);
  }

  ContributionResult t = r;
  t.kind = ContributionKind::SubgroupTotal;
  t.cropGroup = 0;
  t.cropGroupName = {};
  t.cropGroupCode = {};
  const ExposureFigures x = FiguresFor(m, row, total);
  SetFigures(m.gEndpoint, ref, x, total, t);
  sink.Contribution(m, t);
}

}  // namespace ormid
