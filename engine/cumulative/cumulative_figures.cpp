#include "cumulative/cumulative_figures.h"

#include <algorithm>

#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "core/names.h"
#include "core/worst_subgroup.h"

namespace ormid {

bool LeaveOutChemicals(AssessmentGroup& group, const std::vector<std::string>& names,
                       const std::string& shownName, std::vector<std::string>& problems) {
  const std::size_t before = problems.size();
  std::vector<bool> out(group.chemicals.size(), false);
  for (const std::string& name : names) {
    const auto it =
        std::find_if(group.chemicals.begin(), group.chemicals.end(),
                     [&](const GroupChemical& g) { return SameName(g.chemical, name); });
    if (it == group.chemicals.end()) {
      problems.push_back("--exclude: chemical:" + name + " is not a chemical of " + shownName);
    } else if (it->index) {
      problems.push_back("--exclude: " + it->chemical +
                         " is the index chemical, which the group's figures are expressed in");
    } else {
      out[static_cast<std::size_t>(it - group.chemicals.begin())] = true;
    }
  }
  if (problems.size() != before) return false;
  std::vector<GroupChemical> kept;
  for (std::size_t j = 0; j < group.chemicals.size(); ++j) {
    if (out[j]) continue;
    if (group.chemicals[j].index) group.index = kept.size();
    kept.push_back(std::move(group.chemicals[j]));
  }
  group.chemicals = std::move(kept);
  return true;
}

bool ComputeCumulativeFigures(const ModOrmid& started, const AssessmentGroup& group, bool adj2,
                              const std::vector<int>& rows, std::optional<HeadroomBy> by,
                              const CumulativeWhatIf& whatIf, const std::string& shownName,
                              CumulativeFigures& out, std::vector<std::string>& problems,
                              ChemicalRuns* runs) {
  out = CumulativeFigures();
  out.group = group;
  if (!LeaveOutChemicals(out.group, whatIf.chemicals, shownName, problems) ||
      !ComputeChemicalExposures(
          started, out.group, adj2, shownName, out.exposures, problems, whatIf.codes,
          by ? std::optional<CommodityBreakdown>(CommodityBreakdown{*by, rows, {}}) : std::nullopt,
          runs))
    return false;
  out.subgroups = CombineExposures(started, out.group, out.exposures, rows);
  return true;
}

std::vector<std::string> CumulativeArguments(const ModOrmid& m, const CumulativeSettings& s) {
  std::vector<std::string> a = {"cumulative", s.group};
  if (s.adj2) a.push_back("--adj2");
  bool every = static_cast<int>(s.rows.size()) == m.gPopCount;
  for (std::size_t i = 0; every && i < s.rows.size(); ++i)
    every = s.rows[i] == static_cast<int>(i) + 1;
  if (!s.rows.empty() && !every) {
    std::string rows;
    for (int row : s.rows) rows += (rows.empty() ? "" : ",") + std::to_string(row);
    a.push_back("--subgroups=" + rows);
  }
  std::string excluded;
  for (const std::string& c : s.whatIf.chemicals)
    excluded += (excluded.empty() ? "chemical:" : ",chemical:") + c;
  for (const std::string& c : s.whatIf.codes) excluded += (excluded.empty() ? "" : ",") + c;
  if (!excluded.empty()) a.push_back("--exclude=" + excluded);
  if (s.by) a.push_back(std::string("--by=") + HeadroomByName(*s.by));
  if (s.target) a.push_back("--target=" + ShortestText(*s.target));
  return a;
}

int MostExposedSubgroup(const std::vector<CumulativeSubgroup>& subgroups) {
  std::vector<SubgroupStanding> standings;
  for (const CumulativeSubgroup& s : subgroups)
    standings.push_back(StandingOf(
        CumulativeSubgroupFigures{s.indexEquivalent, s.percentCpad, 0, s.moet, s.hazardIndex}));
  return WorstSubgroup(standings);
}

}  // namespace ormid
