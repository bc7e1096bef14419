#include "cumulative/cumulative_run.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "core/collecting_platform.h"
#include "core/mod_ormid.h"
#include "core/platform.h"
#include "core/utf8.h"
#include "exposure/exposure_terms.h"
#include "exposure/total_exposure.h"
#include "headroom/what_if.h"
#include "residue/residue_reader.h"

namespace ormid {

bool ComputeChemicalExposures(const ModOrmid& started, const AssessmentGroup& group, bool adj2,
                              const std::string& shownName, ChemicalExposures& out,
                              std::vector<std::string>& problems,
                              const std::vector<std::string>& excluded,
                              const std::optional<CommodityBreakdown>& breakdown,
                              ChemicalRuns* runs) {
  out = ChemicalExposures();
  if (runs) {
    runs->runs.clear();
    runs->commodities.clear();
  }
  std::map<std::string, std::size_t> commodityOf;  // the headroom's, by code
  out.breakdown = breakdown;
  std::map<std::string, std::size_t> partOf;  // by code
  const std::size_t before = problems.size();
  std::vector<bool> known(excluded.size(), false);
  for (const GroupChemical& g : group.chemicals) {
    // Its messages are kept for the group file's problems instead of shown.
    CollectingPlatform p;
    ModOrmid m = started;
    int failed = 0;
    // Only a file is read: a device or a pipe named as a residue file would
    // not end.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(g.residuePath, ec)) {
      problems.push_back(
          shownName + ":" + std::to_string(g.line) + ": the residue file " +
          TerminalText(g.residuePath) +
          (std::filesystem::exists(g.residuePath, ec) ? " is not a file" : " cannot be found"));
      out.exposure.emplace_back();
      out.files.emplace_back();
      continue;
    }
    if (OpenNamedResidueFile(m, p, g.residuePath)) {
      m.gUseAdj2 = adj2 ? 1 : 0;
      // The codes this file knows, each resolved as the long-term run's
      // --exclude resolves it, then cleared together.
      Exclusion all;
      for (std::size_t c = 0; c < excluded.size(); ++c) {
        Exclusion one;
        std::string unknown;
        if (!ResolveExclusion(m, {excluded[c]}, one, unknown)) continue;
        known[c] = true;
        all.codes.push_back(one.codes.front());
        all.foods.resize(std::max(all.foods.size(), one.foods.size()), false);
        for (std::size_t f = 0; f < one.foods.size(); ++f)
          if (one.foods[f]) all.foods[f] = true;
      }
      if (!all.empty()) ClearExcludedResidues(m, all);
      auto run = std::make_unique<ChemicalRuns::Run>();
      ExposureTerms& terms = run->terms;
      ComputeTotalExposure(m, p, failed, out.breakdown || runs ? &terms : nullptr);
      // The headroom's commodities in this chemical's terms.
      if (failed == 0 && runs) {
        for (Commodity& c : Commodities(m, terms, runs->by)) {
          auto [it, added] = commodityOf.try_emplace(c.code, runs->commodities.size());
          if (added) runs->commodities.emplace_back(c.code, c.name);
          if (run->entries.size() <= it->second) run->entries.resize(it->second + 1);
          run->entries[it->second] = std::move(c.entries);
        }
        run->totals = std::make_unique<ScaledTotals>(m, terms);
        runs->runs.push_back(std::move(run));
      }
      // The chemical's part of every commodity, weighted by its potency, added
      // in the group file's row order.
      if (failed == 0 && out.breakdown) {
        CommodityBreakdown& b = *out.breakdown;
        for (const Commodity& c : Commodities(m, terms, b.by)) {
          auto [it, added] = partOf.try_emplace(c.code, b.parts.size());
          if (added) b.parts.push_back({c.code, c.name, std::vector<double>(b.rows.size(), 0.0)});
          CommodityPart& part = b.parts[it->second];
          for (std::size_t r = 0; r < b.rows.size(); ++r) {
            const int column = m.gPopOrder[static_cast<std::size_t>(b.rows[r])];
            part.equivalent[r] += g.rpf * static_cast<double>(CommodityExposure(terms, c, column));
          }
        }
      }
    } else {
      failed = 1;
    }
    const std::string where = shownName + ":" + std::to_string(g.line) + ": ";
    if (failed != 0) {
      if (p.messages.empty()) p.messages.push_back("the residue file cannot be read");
      for (const std::string& message : p.messages) problems.push_back(where + message);
      out.exposure.emplace_back();
      out.files.emplace_back();
      continue;
    }
    // The long-term run's figure of report row k: the total of its
    // consumption column.
    std::vector<float> e(static_cast<std::size_t>(m.gPopCount) + 1, 0.0f);
    for (int k = 1; k <= m.gPopCount; ++k)
      e[static_cast<std::size_t>(k)] =
          m.gPopExposure[static_cast<std::size_t>(m.gPopOrder[static_cast<std::size_t>(k)])];
    // What opening the file told without stopping it (as a long-term run
    // of it shows), kept as warnings.
    for (const std::string& message : p.messages) out.warnings.push_back(where + message);
    out.exposure.push_back(std::move(e));
    out.files.push_back({m.gChemicalName, m.gResidueFileDate});
  }
  for (std::size_t c = 0; c < excluded.size(); ++c)
    if (!known[c] && problems.size() == before)
      problems.push_back("--exclude: " + excluded[c] +
                         " is neither a crop group code nor a commodity code of any residue file "
                         "of " +
                         shownName);
  return problems.size() == before;
}

std::vector<CumulativeSubgroup> CombineExposures(const ModOrmid& m, const AssessmentGroup& group,
                                                 const ChemicalExposures& e,
                                                 const std::vector<int>& rows) {
  std::vector<CumulativeSubgroup> out;
  const double cpad = group.Cpad();
  const double indexPod = group.chemicals[group.index].pod;
  const bool hazardIndex = group.AllUncertaintyFactors();
  const std::size_t n = group.chemicals.size();
  for (int row : rows) {
    const auto k = static_cast<std::size_t>(row);
    CumulativeSubgroup s;
    s.row = row;
    s.subgroup = m.gPopNames2[k];
    s.column = k < m.gPopOrder.size() ? m.gPopOrder[k] : 0;
    double perPod = 0, hi = 0;
    for (std::size_t j = 0; j < n; ++j) {
      const GroupChemical& g = group.chemicals[j];
      const float x = e.exposure[j][k];
      const double ej = static_cast<double>(x);
      s.exposure.push_back(x);
      s.equivalent.push_back(g.rpf * ej);
      s.indexEquivalent += g.rpf * ej;
      perPod += ej / g.pod;
      if (hazardIndex) hi += ej * *g.uncertaintyFactor / g.pod;
    }
    for (std::size_t j = 0; j < n; ++j)
      s.share.push_back(s.indexEquivalent != 0
                            ? std::optional<double>(100.0 * s.equivalent[j] / s.indexEquivalent)
                            : std::nullopt);
    s.percentCpad = 100.0 * s.indexEquivalent / cpad;
    if (perPod != 0) s.moet = 1.0 / perPod;
    if (hazardIndex) s.hazardIndex = hi;
    if (s.indexEquivalent != 0) s.margin = indexPod / s.indexEquivalent;
    s.targetMargin = group.TargetMargin();
    out.push_back(std::move(s));
  }
  return out;
}

}  // namespace ormid
