// The assessment group file: one row per chemical of a group with a common
// mechanism of toxicity, its residue file, its point of departure for the
// common effect, and which chemical is the index chemical. CSV with a
// header row (comma or semicolon separated, UTF-8 with or without a
// byte-order mark), read as residue tables are.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ormid {

struct GroupChemical {
  int line = 0;             // of the group file
  std::string chemical;     // the name to report
  std::string residueFile;  // as the file gives it
  std::string residuePath;  // relative to the group file's folder, or absolute
  double pod = 0;           // point of departure, mg/kg bw/day
  // Where the point of departure comes from (a study, BMD10, BMDL), as the
  // file gives it; empty when it does not say.
  std::string podSource;
  // The uncertainty factor: given, or the product of the three factors
  // below when they are given and it is not.
  std::optional<double> uncertaintyFactor;
  // The uncertainty factor named one by one: between species, within the
  // species, and the FQPA safety factor; all three or none.
  std::optional<double> interspeciesFactor, intraspeciesFactor, fqpaFactor;
  bool uncertaintyFromFactors = false;  // the uncertainty factor is their product
  bool HasFactors() const { return interspeciesFactor.has_value(); }
  bool index = false;
  std::optional<double> rpfGiven;
  double rpf = 0;  // the given one, else pod(index) / pod
};

struct AssessmentGroup {
  std::string path;  // the group file
  std::vector<GroupChemical> chemicals;
  std::size_t index = 0;  // of the index chemical in chemicals
  // The index chemical's PAD: its point of departure over its uncertainty
  // factor (cPAD), mg/kg bw/day.
  double Cpad() const {
    const GroupChemical& i = chemicals[index];
    return i.pod / i.uncertaintyFactor.value_or(1.0);
  }
  // The margin of exposure the group's cumulative margin is compared with:
  // the index chemical's uncertainty factor.
  double TargetMargin() const { return chemicals[index].uncertaintyFactor.value_or(1.0); }
  // Whether every chemical has an uncertainty factor (the hazard index
  // needs them all).
  bool AllUncertaintyFactors() const;
};

// The group file's columns; names are matched without case.
inline constexpr const char* kGroupColumns[] = {
    "chemical", "residue_file",        "pod_mg_per_kg_bw_day", "uncertainty_factor", "index",
    "rpf",      "interspecies_factor", "intraspecies_factor",  "fqpa_factor",        "pod_source"};
// A group file is a few KB; a larger one is refused before it is read.
inline constexpr std::size_t kMaxGroupFileBytes = 1 << 20;

// Reads and checks the group file `path` (shown as `shownName` in the
// problems). Every problem found is listed as "NAME:LINE: problem" (line 0:
// "NAME: problem"); false when there is any.
bool ReadAssessmentGroup(const std::string& path, const std::string& shownName,
                         AssessmentGroup& group, std::vector<std::string>& problems);
// The same for the file's bytes; residue files are taken relative to
// `folder` (the group file's).
bool ReadAssessmentGroupText(std::string_view bytes, const std::string& folder,
                             const std::string& path, const std::string& shownName,
                             AssessmentGroup& group, std::vector<std::string>& problems);

}  // namespace ormid
