// The PAD entry form's logic: its rows, the key handling of a PAD box and
// the Exit/Save that stores every row into gPAD.
#pragma once

#include <string>
#include <vector>

namespace ormid {

struct ModOrmid;

struct PadRow {
  int subgroup = 0;  // report row the box stands for
  std::string name;
  std::string text;  // the box's text
};

// The form's rows as they load: one per subgroup from gPADFirstPop on, at
// most gPADRowCount, leaving out rows beyond the installation's subgroups.
std::vector<PadRow> LoadPadRows(const ModOrmid& m);

// Exit/Save: every row's leading numeric value (0 for a blank or a word),
// rounded to single precision, into gPAD.
void StorePadRows(ModOrmid& m, const std::vector<PadRow>& rows);

enum class PadKey { Enter, Up, Down, Other };

// A key in the box of row `row`: validates the entry (an invalid or
// negative entry is emptied and the focus stays) and returns the row that
// gets the focus next (wrapping around); `row` itself when it stays.
int PadKeyDown(std::vector<PadRow>& rows, int row, PadKey key);

}  // namespace ormid
