// The cumulative long-term assessment of an assessment group: each
// chemical's long-term exposure from its residue file (the figure the
// long-term run gives for that file, bit for bit), and per subgroup the
// exposure in index-chemical equivalents with the percent of the index
// chemical's PAD, the total margin of exposure, the hazard index and the
// cumulative margin of exposure against its target.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cumulative/assessment_group.h"
#include "exposure/exposure_terms.h"
#include "headroom/headroom.h"

namespace ormid {

struct ModOrmid;

// What a chemical's residue file holds beside its table, as the report and
// the manifest name it.
struct ChemicalFile {
  std::string chemical;  // as the residue file names it
  std::string date;      // the residue file's date
};

// The commodities that drive a group's exposure: each crop group, food or
// food form (as the commodity analysis and the headroom break them down) of
// any chemical's residue table, with its exposure in index-chemical
// equivalents summed over the chemicals, sum_j RPF_j * E_j(commodity), per
// report row asked for. A food is under each crop group it belongs to.
struct CommodityPart {
  std::string code, name;
  std::vector<double> equivalent;  // by position in `rows`
};
struct CommodityBreakdown {
  HeadroomBy by = HeadroomBy::CropGroup;
  std::vector<int> rows;
  std::vector<CommodityPart> parts;  // in the order first met, chemical by chemical
};

// Every chemical's long-term exposure, E[j][k] for chemical j and report
// row k (1..gPopCount; element 0 unused), in single precision.
struct ChemicalExposures {
  std::vector<std::vector<float>> exposure;
  std::vector<ChemicalFile> files;
  // "NAME:LINE: TITLE: TEXT" of the messages a residue file's open gave
  // without stopping (as a long-term run of the file shows them).
  std::vector<std::string> warnings;
  // With a breakdown asked for: the commodities' parts.
  std::optional<CommodityBreakdown> breakdown;
};

// What the headroom needs of the chemicals' runs: each one's exposure terms,
// so that its totals can be made again with residues scaled, and the entries
// of every commodity (crop group, food or food form) in them.
struct ChemicalRuns {
  HeadroomBy by = HeadroomBy::CropGroup;
  struct Run {
    ExposureTerms terms;
    std::unique_ptr<ScaledTotals> totals;  // on `terms`
    // The entries of each commodity, by position in `commodities` (none
    // where the chemical's residue table does not have it).
    std::vector<std::vector<std::size_t>> entries;
  };
  std::vector<std::unique_ptr<Run>> runs;  // by chemical
  // Code and name of each commodity, in the order first met, chemical by
  // chemical.
  std::vector<std::pair<std::string, std::string>> commodities;
};

// Opens each chemical's residue file on a copy of the started installation
// and computes its total exposure as the long-term run does, with the
// second adjustment factor or without. A residue file that cannot be read
// (or is of another survey than the installation's) is a problem
// "NAME:LINE: its message". False when there is any.
// `excluded` names crop groups and commodities (codes, as the long-term
// run's --exclude takes them) whose residues count as 0 in every residue
// file that has them; a code no residue file of the group knows is a
// problem.
bool ComputeChemicalExposures(const ModOrmid& started, const AssessmentGroup& group, bool adj2,
                              const std::string& shownName, ChemicalExposures& out,
                              std::vector<std::string>& problems,
                              const std::vector<std::string>& excluded = {},
                              const std::optional<CommodityBreakdown>& breakdown = {},
                              ChemicalRuns* runs = nullptr);

// One subgroup's cumulative figures. Sums and ratios are formed in double
// precision from the single-precision exposures, in the group file's row
// order.
struct CumulativeSubgroup {
  int row = 0;
  std::string subgroup;
  int column = 0;                  // consumption column
  std::vector<float> exposure;     // E_j, mg/kg bw/day
  std::vector<double> equivalent;  // RPF_j * E_j
  // Each chemical's share of the index-chemical equivalent exposure, %;
  // none when that exposure is 0.
  std::vector<std::optional<double>> share;
  double indexEquivalent = 0;  // E_cum = sum_j RPF_j * E_j
  double percentCpad = 0;      // 100 * E_cum / cPAD
  // 1 / sum_j (E_j / pod_j); none when there is no exposure.
  std::optional<double> moet;
  // sum_j E_j * UF_j / pod_j; none unless every chemical has an
  // uncertainty factor.
  std::optional<double> hazardIndex;
  // The cumulative margin of exposure PoD(index) / E_cum; none when there
  // is no exposure.
  std::optional<double> margin;
  // The margin it is compared with: the index chemical's uncertainty factor
  // (none only for a run the history recorded before it kept the margin).
  std::optional<double> targetMargin;
};

// The figures of the report rows `rows` (in that order).
std::vector<CumulativeSubgroup> CombineExposures(const ModOrmid& m, const AssessmentGroup& group,
                                                 const ChemicalExposures& e,
                                                 const std::vector<int>& rows);

}  // namespace ormid
