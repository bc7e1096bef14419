// The inputs of an aggregate assessment beside the residue file: the
// toxicology file (a point of departure, level of concern and absorption per
// duration and route; the cancer potency) and the residential file (the
// assessor's residential exposures per scenario, route, duration and
// subgroup). Both are CSV tables read as the assessment group file is: a
// header row naming the columns (without case), comma or semicolon
// separated with a decimal comma, UTF-8 with or without a byte-order mark,
// every problem listed as "FILE:LINE: problem".
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ormid {

struct ModOrmid;

// The durations of an aggregate assessment, in the order they are reported.
enum class Duration { Chronic, ShortTerm, IntermediateTerm, Cancer };
inline constexpr std::array<Duration, 4> kDurations = {
    Duration::Chronic, Duration::ShortTerm, Duration::IntermediateTerm, Duration::Cancer};
// The routes of exposure.
enum class Route { Oral, Dermal, Inhalation };
inline constexpr std::array<Route, 3> kRoutes = {Route::Oral, Route::Dermal, Route::Inhalation};

// "chronic", "short-term", "intermediate-term", "cancer": as the files and
// the command line write a duration.
const char* DurationName(Duration d);
// "Chronic", "Short-term", ...: as the report titles it.
const char* DurationTitle(Duration d);
std::optional<Duration> DurationFromName(std::string_view name);  // without case
const char* RouteName(Route r);                                   // "oral", "dermal", "inhalation"
std::optional<Route> RouteFromName(std::string_view name);        // without case
inline std::size_t Index(Duration d) {
  return static_cast<std::size_t>(d);
}
inline std::size_t Index(Route r) {
  return static_cast<std::size_t>(r);
}

// One row of the toxicology file: the hazard of one route for one duration.
struct ToxRow {
  int line = 0;
  Duration duration = Duration::Chronic;
  Route route = Route::Oral;
  double pod = 0;  // mg/kg bw/day; 0 on a cancer row
  double loc = 0;  // the target margin of exposure; 0 on a cancer row
  double absorptionPercent = 100;
  bool absorptionGiven = false;
  double qStar = 0;  // per mg/kg bw/day, the oral cancer row's
};

struct ToxTable {
  std::string path;
  std::vector<ToxRow> rows;  // in the file's order
  // The row of a duration and route; nullptr when the file has none.
  const ToxRow* Find(Duration d, Route r) const;
  bool Has(Duration d) const { return Find(d, Route::Oral) != nullptr; }
  // Whether every route the file gives for the duration has one level of
  // concern (the aggregate margin of exposure is then compared with it).
  bool SameLoc(Duration d) const;
};

inline constexpr const char* kToxColumns[] = {
    "duration",           "route", "pod_mg_per_kg_bw_day", "level_of_concern",
    "absorption_percent", "q_star"};

// One row of the residential file.
struct ResidentialRow {
  int line = 0;
  std::string scenario;
  Route route = Route::Oral;
  Duration duration = Duration::Chronic;
  int row = 0;          // report row of the subgroup; 0 for all
  double exposure = 0;  // mg/kg bw/day
};

struct ResidentialTable {
  std::string path;  // "" when the run has none
  std::vector<ResidentialRow> rows;
  std::vector<std::string> scenarios;  // as first written, in the file's order
};

inline constexpr const char* kResidentialColumns[] = {"scenario", "route", "duration", "subgroup",
                                                      "exposure_mg_per_kg_bw_day"};

// A toxicology or residential file is a few KB; a larger one is refused
// before it is read.
inline constexpr std::size_t kMaxAggregateFileBytes = 1 << 20;

// Reads the toxicology file `path` (named `shownName` in the problems).
// False when there is any problem; each is appended.
bool ReadToxTable(const std::string& path, const std::string& shownName, ToxTable& tox,
                  std::vector<std::string>& problems);
bool ReadToxText(std::string_view bytes, const std::string& path, const std::string& shownName,
                 ToxTable& tox, std::vector<std::string>& problems);

// Reads the residential file against the installation's subgroups and the
// toxicology file read before it (a duration needs its oral row, a route its
// own row).
bool ReadResidentialTable(const ModOrmid& m, const ToxTable& tox, const std::string& path,
                          const std::string& shownName, ResidentialTable& res,
                          std::vector<std::string>& problems);
bool ReadResidentialText(const ModOrmid& m, const ToxTable& tox, std::string_view bytes,
                         const std::string& path, const std::string& shownName,
                         ResidentialTable& res, std::vector<std::string>& problems);

}  // namespace ormid
