// A cumulative run's figures computed without writing anything: what the
// desktop program's Results window shows after a run, and shows again for a
// what-if (chemicals left out, crop groups' or commodities' residues as 0)
// as a run of the group with that change gives them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cumulative/assessment_group.h"
#include "cumulative/cumulative_run.h"

namespace ormid {

struct ModOrmid;

// Takes the chemicals named (compared without case) out of the group, as if
// its file did not list them; the others keep the potencies the whole group
// gives them. A name that is not a chemical of the group, and the index
// chemical, are problems ("--exclude: ..."); false when there is any, the
// group then unchanged.
bool LeaveOutChemicals(AssessmentGroup& group, const std::vector<std::string>& names,
                       const std::string& shownName, std::vector<std::string>& problems);

// What a what-if leaves out.
struct CumulativeWhatIf {
  std::vector<std::string> chemicals;  // by name; never the index chemical
  // Crop group or commodity codes whose residues count as 0 in every
  // residue file of the group.
  std::vector<std::string> codes;
  bool Empty() const { return chemicals.empty() && codes.empty(); }
};

// What a cumulative run is asked: the group file, the second adjustment
// factor, the report rows, what a what-if leaves out, the commodity
// breakdown and the headroom's target percent of the cPAD.
struct CumulativeSettings {
  std::string group;      // the group file, absolute
  std::string shownName;  // how problems name it ("GROUP.csv")
  bool adj2 = false;
  std::vector<int> rows;  // report rows, in order; empty: every subgroup
  CumulativeWhatIf whatIf;
  std::optional<HeadroomBy> by;  // none: no breakdown
  std::optional<double> target;  // none: no headroom
};

// The arguments of `ormid-cli cumulative` that repeat the run: the command,
// the group file, then the options that differ from their defaults.
std::vector<std::string> CumulativeArguments(const ModOrmid& m, const CumulativeSettings& s);

struct CumulativeFigures {
  AssessmentGroup group;  // the chemicals kept
  ChemicalExposures exposures;
  std::vector<CumulativeSubgroup> subgroups;  // by position in the rows asked for
};

// The figures a cumulative run of `group` (as read from its file) gives for
// the report rows `rows` with the what-if made, with the commodity
// breakdown `by` when asked for: the one path a cumulative run's figures are
// made along, the run's own and its what-ifs'. Every residue file is read;
// nothing is written. With `runs`, each chemical's run is kept for the
// headroom. False with the problems a run would refuse with.
bool ComputeCumulativeFigures(const ModOrmid& started, const AssessmentGroup& group, bool adj2,
                              const std::vector<int>& rows, std::optional<HeadroomBy> by,
                              const CumulativeWhatIf& whatIf, const std::string& shownName,
                              CumulativeFigures& out, std::vector<std::string>& problems,
                              ChemicalRuns* runs = nullptr);

// The most exposed subgroup by the program's one rule (core/worst_subgroup.h),
// as the run history names it: the highest percent of the cPAD, the first of
// equals. An index into `subgroups`; -1 when there are none.
int MostExposedSubgroup(const std::vector<CumulativeSubgroup>& subgroups);

}  // namespace ormid
