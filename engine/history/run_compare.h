// Two recorded runs side by side: every subgroup's exposure and headline
// figure with the change, the subgroups that cross 100% of their reference
// dose, the settings that differ, the inputs whose SHA-256 differs and, for
// commodity runs, the crop groups whose share changed most.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "history/recorded_run.h"

namespace ormid {

class Platform;

// Which way a subgroup's percent of its reference dose crossed 100.
enum class Crossing { None, Above, Below };
// "rises above 100%", "falls to 100% or below", "".
const char* CrossingText(Crossing c);
Crossing CrossingOf(const std::optional<float>& percentA, const std::optional<float>& percentB);

struct SubgroupChange {
  int row = 0;
  std::string subgroup;
  std::optional<float> exposureA, exposureB;
  FigureKind figureA = FigureKind::None, figureB = FigureKind::None;
  std::optional<float> valueA, valueB;
  Crossing crossing = Crossing::None;
};

// Whether the two headline figures measure the same thing, so that their
// difference means something: both a percent of a reference dose (RfD or
// PAD), both margins of exposure, both lifetime risks or both percents of
// the NOEL. A margin against a risk is shown side by side, never subtracted.
bool Comparable(const SubgroupChange& s);
// "not comparable": what the change columns say of figures that are not.
inline constexpr const char* kNotComparable = "not comparable";

struct SettingChange {
  std::string name;  // "settings.endpoint", "settings.pad[0].pad_mg_per_kg_bw_day"
  std::string a, b;  // the values as JSON text; "" when absent
};

struct InputChange {
  std::string role;
  std::string pathA, pathB;
  std::string sha256A, sha256B;  // "" when absent
};

struct CropGroupChange {
  int row = 0;
  std::string subgroup, cropGroup;
  std::optional<float> shareA, shareB;  // % of the subgroup's exposure
  double change = 0;                    // percentage points
};

struct Comparison {
  RunSummary a, b;
  std::vector<SubgroupChange> subgroups;
  std::vector<SettingChange> settings;
  std::vector<InputChange> inputs;
  std::vector<CropGroupChange> cropGroups;  // largest change first
};

// How many crop groups the comparison of two commodity runs keeps.
inline constexpr std::size_t kCropGroupsShown = 10;

Comparison CompareRuns(const RecordedRun& a, const RecordedRun& b);

// b - a, and (b - a) / a in percent (none when a is 0).
std::optional<double> Change(const std::optional<float>& a, const std::optional<float>& b);
std::optional<double> RelativeChange(const std::optional<float>& a, const std::optional<float>& b);

// Prints the comparison for a terminal.
std::string ComparisonText(const Comparison& c);

// Writes the subgroup table (CSV, JSON or Excel by the extension); the JSON
// and Excel files also hold the settings, inputs and crop groups. False with
// error when the file cannot be written.
bool ExportComparison(Platform& p, const Comparison& c, const std::string& path,
                      std::string& error);

}  // namespace ormid
