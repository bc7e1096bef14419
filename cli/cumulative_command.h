// ormid-cli cumulative: the cumulative long-term assessment of an
// assessment group file.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ormid {
struct ModOrmid;
}

namespace ormid::cli {

class CommandLine;

void AddCumulativeCommand(CommandLine& cl);

// The report rows of a cumulative run: those --subgroups names, or every
// row without it (or with "all"); a UsageError names rows the installation
// does not have.
std::vector<int> CumulativeRows(const ModOrmid& m, const std::optional<std::string>& subgroups);

}  // namespace ormid::cli
