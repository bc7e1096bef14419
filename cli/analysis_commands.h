// The commands of the main window's jobs: info, longterm, commodity and
// listing.
#pragma once

namespace ormid::cli {

class CommandLine;

void AddAnalysisCommands(CommandLine& cl);

}  // namespace ormid::cli
