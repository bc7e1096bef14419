// verify and rerun: a run manifest checked against the disk, and its run
// made again.
#pragma once

namespace ormid::cli {

class CommandLine;

void AddManifestCommands(CommandLine& cl);

}  // namespace ormid::cli
