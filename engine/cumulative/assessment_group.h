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
  std::optional<double> uncertaintyFactor;
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
  // Whether every chemical has an uncertainty factor (the hazard index
  // needs them all).
  bool AllUncertaintyFactors() const;
};

// The group file's columns; names are matched without case.
inline constexpr const char* kGroupColumns[] = {
    "chemical", "residue_file", "pod_mg_per_kg_bw_day", "uncertainty_factor", "index", "rpf"};
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
