// The aggregate assessment of one pesticide: per population subgroup and
// duration, the exposure from food (the long-term run's figure of the
// residue file without its drinking water foods), from drinking water (a
// long-term run of the water foods alone, at the estimated drinking water
// concentration), and from the assessor's residential scenarios, by route;
// the route margins of exposure, the aggregate margin and risk index, the
// hazard index, the percent of the cPAD (chronic), the lifetime cancer risk
// (cancer) and the drinking water level of comparison. See
// docs/aggregate.md for the method.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "aggregate/aggregate_inputs.h"
#include "exposure/exposure_terms.h"

namespace ormid {

struct ModOrmid;

// What an aggregate run is asked.
struct AggregateSettings {
  std::string tox;          // the toxicology file, absolute
  std::string toxShown;     // as the problems name it
  std::string residential;  // "" for none
  std::string residentialShown;
  std::array<std::optional<double>, 4> waterPpb;  // EDWC by duration, µg/L
  std::vector<std::string> waterFoods;            // the drinking water foods' codes, as given
  std::optional<std::string> scenario;            // the one residential scenario to use
  std::vector<Duration> durations;                // in report order; empty: every one of the file
  std::vector<int> rows;                          // report rows; empty: every subgroup
  bool adj2 = false;
  double cancerLimit = 1e-6;
};
inline constexpr double kDefaultCancerLimit = 1e-6;

// What a what-if of the Results window leaves out: the drinking water, some
// residential scenarios, some residential routes.
struct AggregateWhatIf {
  bool water = false;
  std::vector<std::string> scenarios;
  std::array<bool, 3> routes{};  // residential exposure of the route left out
  bool Empty() const;
};

// The arguments of `ormid-cli aggregate` that repeat the run: the command,
// the residue file (as `residueFile` gives it), then the options that
// differ from their defaults.
std::vector<std::string> AggregateArguments(const ModOrmid& m, const AggregateSettings& s,
                                            const std::string& residueFile);

// The exposures that do not depend on the toxicology or the residential
// scenarios, by report row (element 0 unused), in single precision.
struct AggregateExposures {
  std::vector<float> food;
  std::array<std::vector<float>, 4> water;  // empty for a duration without EDWC
  // The water foods as the master food list names them.
  std::vector<std::string> waterCodes, waterNames;
  // The entries of the water-only residue table and their consumption, for
  // the drinking water level of comparison.
  ExposureTerms waterTerms;
  bool useAdj2 = false;
  std::vector<int> columns;        // consumption column of each report row
  std::vector<std::string> names;  // the subgroup of each report row
  // The residue file's chemical and date.
  std::string chemical, residueDate;
  // Water exposure in report row `row` at the residue `ppm` on every water
  // food, as a long-term run of the water-only file gives it.
  float WaterAt(int row, float ppm) const;
};

// How the drinking water level of comparison came out.
enum class DwlocKind {
  Value,        // the concentration at which the aggregate reaches its limit
  None,         // food and residential alone pass the limit
  Unlimited,    // no concentration brings the subgroup to the limit
  NoWaterFoods  // the run names no drinking water foods
};

// One subgroup's figures for one duration, in double from the single-
// precision exposures.
struct AggregateSubgroup {
  int row = 0;
  std::string subgroup;
  int column = 0;
  float food = 0, water = 0;
  std::string scenario;                      // "" when no scenario applies
  std::array<double, 3> residential{};       // E_res by route, as given
  std::array<double, 3> dose{};              // D_r: the oral dose, the absorbed dermal and inhaled
  std::array<std::optional<double>, 3> moe;  // none where the dose is 0
  std::optional<double> aggregateMoe;        // none where the LOCs differ or there is no dose
  std::optional<double> ari;                 // none for cancer and where there is no dose
  double hazardIndex = 0;                    // sum_r 1/ARI_r
  std::optional<double> percentCpad;         // chronic
  std::optional<double> risk;                // cancer
  bool ofConcern = false;
  DwlocKind dwlocKind = DwlocKind::NoWaterFoods;
  double dwloc = 0;               // µg/L
  std::optional<bool> edwcBelow;  // none without an EDWC
  // Each source's share of the hazard index (cancer: of the risk), %:
  // food, water, residential oral, dermal, inhalation; none without any.
  std::array<std::optional<double>, 5> share;
  // Each source's part of the limit, %: what the Results window's bars
  // stack (100 is the limit).
  std::array<double, 5> ofLimit{};
};
inline constexpr const char* kSourceNames[] = {"food", "water", "residential oral",
                                               "residential dermal", "residential inhalation"};

struct AggregateDurationFigures {
  Duration duration = Duration::Chronic;
  bool sameLoc = true;
  std::optional<double> edwc;  // µg/L
  std::vector<AggregateSubgroup> subgroups;
};

struct AggregateFigures {
  AggregateSettings settings;  // as run: rows and durations given
  ToxTable tox;
  ResidentialTable residential;  // as read
  AggregateExposures exposures;
  std::vector<AggregateDurationFigures> durations;
};

// Reads and checks the toxicology and residential files and the settings
// against them, computes the exposures on the residue file open in `m`
// (which keeps its residue table) and combines them: the one path the run
// and its what-ifs take. Every problem is listed ("FILE:LINE: problem", or
// "--OPTION: problem"); false when there is any.
bool ComputeAggregateFigures(const ModOrmid& m, const AggregateSettings& settings,
                             AggregateFigures& out, std::vector<std::string>& problems);

// The figures again with the what-if made, from the exposures and files the
// run kept (nothing is read).
std::vector<AggregateDurationFigures> CombineAggregate(const AggregateFigures& run,
                                                       const AggregateWhatIf& whatIf);

// The most exposed subgroup of one duration by the program's one rule: the
// lowest ARI (cancer: the highest risk), the first of equals; -1 for none.
int MostExposedAggregate(const AggregateDurationFigures& d);

}  // namespace ormid
