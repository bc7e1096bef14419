// ormid-cli residue export RESIDUE_FILE TABLE and ormid-cli residue import
// TABLE OUTPUT: residue files as spreadsheet tables and back.
#pragma once

namespace ormid::cli {

class CommandLine;

void AddResidueCommands(CommandLine& cl);

}  // namespace ormid::cli
