// ormid-cli headroom: how far each crop group's, food's or food form's
// residues could be multiplied before the most constrained chosen subgroup
// reaches the target.
#pragma once

namespace ormid::cli {

class CommandLine;

void AddHeadroomCommand(CommandLine& cl);

}  // namespace ormid::cli
