// The run history on the command line: `history` lists recorded runs,
// `history show ID` prints one with its manifest and figures, `compare ID1
// ID2` sets two side by side.
#pragma once

#include <optional>

namespace ormid::cli {

class CommandLine;

void AddHistoryCommands(CommandLine& cl);

// How long a recording waits for another program holding the history;
// tests shorten it (nullopt gives the default back).
int HistoryBusyMilliseconds();
void OverrideHistoryBusyTimeout(std::optional<int> milliseconds);

}  // namespace ormid::cli
