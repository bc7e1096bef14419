// The headroom table as text for a terminal: a short heading (what the
// target is, which subgroups count, the most exposed one) and one line per
// crop group, food or food form.
#pragma once

#include <string>

namespace ormid {

struct ModOrmid;
struct HeadroomTable;
struct HeadroomRow;
struct HeadroomTarget;

// "at most 100% of the RfD or PAD", "a margin of exposure of at least 100",
// "a lifetime risk of at most 1.00E-06".
std::string TargetText(const HeadroomTarget& target);

// What a row says in place of a multiplier: its multiplier text, "past the
// target without it" or "unlimited".
std::string MultiplierCell(const HeadroomRow& row);

// A maximum residue as the table prints it: four significant digits,
// rounded down, so that the residue typed from it stays within the target.
std::string MaxResidueText(float residue);

// The name of report row `row` as the headroom table shows it ("" for 0).
std::string SubgroupName(const ModOrmid& m, int row);

// The whole table; lines end with "\n".
std::string HeadroomText(const ModOrmid& m, const HeadroomTable& table);

}  // namespace ormid
