// The residue file listing ("tempres.fil"): the listing button's checks and
// the writer of the listing.
#pragma once

#include <string>

#include "core/platform.h"
#include "core/run_host.h"

namespace ormid {

struct ModOrmid;
struct WindowSettings;

// The listing button's checks: a residue file is loaded, an endpoint is
// checked, and the checked endpoints have values. Sets gEndpoint (also when
// a missing value refuses the listing). False after a message, with the
// control to correct in `focus` (None when there is none).
bool CheckResidueListing(ModOrmid& m, Platform& p, const WindowSettings& s, Control& focus);

// The listing text of the open residue file with the window's settings.
// Sets gUseAdj2 and gRunComment from the window as the analyses do.
std::string ListResidueFile(ModOrmid& m, const WindowSettings& s, const DateTime& now);

// Writes the listing to the named file; false after a message naming it.
bool WriteResidueListing(ModOrmid& m, Platform& p, const WindowSettings& s,
                         const std::string& fileName);

}  // namespace ormid
