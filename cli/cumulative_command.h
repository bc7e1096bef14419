// ormid-cli cumulative: the cumulative long-term assessment of an
// assessment group file.
#pragma once

namespace ormid::cli {

class CommandLine;

void AddCumulativeCommand(CommandLine& cl);

}  // namespace ormid::cli
