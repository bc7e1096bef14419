// What-if: a long-term run's figures as if some commodities carried no
// residue, made again from the run's own terms without reading a file.
//
// Commodities are named by crop group codes ("10", "1A": every food of the
// group) or by commodity codes of the residue file ("01000601").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "exposure/exposure_rows.h"

namespace ormid {

struct ModOrmid;
struct ExposureTerms;

struct Exclusion {
  std::vector<std::string> codes;  // as resolved, in the order given, each once
  std::vector<bool> foods;         // by residue-table food 0..gResFoodCount

  bool empty() const { return codes.empty(); }
  bool Excludes(int food) const {
    const auto fi = static_cast<std::size_t>(food);
    return fi < foods.size() && foods[fi];
  }
};

// The codes of a comma-separated list, blanks around them dropped and empty
// items skipped ("10, 01000601" gives "10" and "01000601").
std::vector<std::string> SplitCodes(std::string_view list);

// The foods of crop group k, flagged by residue-table food. Needs the crop
// groups classified (ClassifyCropGroups).
std::vector<bool> FoodsOfGroup(const ModOrmid& m, int k);

// Resolves crop group codes (any case) and commodity codes of the residue
// table (a nine-digit code matches the ten-digit code with a leading 0) into
// the foods they name. Classifies the residue table's foods into crop groups
// first. False when a code names neither; `unknown` is that code.
bool ResolveExclusion(ModOrmid& m, const std::vector<std::string>& codes, Exclusion& out,
                      std::string& unknown);

// Gives the excluded foods and all their food forms a residue of 0: the
// residue table as if those commodities carried no residue.
void ClearExcludedResidues(ModOrmid& m, const Exclusion& exclusion);

// The run comment a report carries for a run with commodities excluded: the
// comment followed by "(excluded: CODE, CODE)", so that "COMMENT 1: " and the
// whole stays within a report line of 79 characters. The comment gives way
// first (cut, ending in "..."); when the codes alone do not fit, the last ones
// are counted instead ("(excluded: 10, 11 and 5 more)"). Without exclusions
// the comment is returned as it is.
std::string CommentWithExclusion(const std::string& comment, const Exclusion& exclusion);

// The figures of every subgroup (report rows 1..gPopCount) with the flagged
// foods left out, and the totals by consumption column they come from.
struct WhatIfFigures {
  std::vector<float> popExposure;
  ExposureTable table;
};
WhatIfFigures WhatIf(const ModOrmid& m, const ExposureTerms& terms,
                     const std::vector<bool>& leftOut);

}  // namespace ormid
