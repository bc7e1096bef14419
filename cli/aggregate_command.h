// ormid-cli aggregate: the aggregate assessment of one pesticide in food,
// drinking water and residential uses, on a residue file.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ormid {
struct ModOrmid;
struct AggregateSettings;
}  // namespace ormid

namespace ormid::cli {

class CommandLine;

void AddAggregateCommand(CommandLine& cl);

// The aggregate options as given (on the command line, or a batch
// scenario's row as its options).
struct AggregateOptionValues {
  std::string tox, residential;       // as given; "" for none
  std::vector<std::string> waterPpb;  // DURATION=VALUE each
  std::optional<std::string> waterFoods, scenario, durations, subgroups, cancerLimit;
  bool adj2 = false;
};

// The settings the values ask for, file names made absolute from where the
// command was started (a batch row's are already); everything but the report
// rows. Throws UsageError for a value no run can take.
void AggregateSettingsFrom(const AggregateOptionValues& v, AggregateSettings& s);

// A batch scenario row's options ("--tox=FILE", "--water-ppb=chronic=2", ...)
// as values.
AggregateOptionValues AggregateValuesOf(const std::vector<std::string>& arguments);

}  // namespace ormid::cli
