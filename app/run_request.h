// The run request: turns the main window's settings into the run
// parameters, checks them in a fixed order, stops at the first problem with
// its message and the control to correct, and starts the analysis.
#pragma once

#include <string>
#include <vector>

namespace ormid {

struct ModOrmid;
class Platform;
class RunHost;

// The main window's controls that a run request reads.
struct WindowSettings {
  bool chkMOE1 = false;  // NOEL
  bool chkMOE2 = false;  // RfD
  bool chkMOE3 = false;  // Q*
  bool chkMOE4 = false;  // PAD
  std::string txtMOE1;
  std::string txtMOE2 = " ";
  std::string txtMOE3;
  bool chkSecondAdj = false;
  bool chkSaveRpt = false;
  std::string txtRptFile;
  std::string txtComment = " ";
  bool chkComplete = false;
  bool chkCritical = false;
  std::string txtCrit1;
  std::string txtCrit2;
  // One value per subgroup check box (element k is subgroup k + 1):
  // 0 unchecked, 1 checked, 2 grayed.
  std::vector<int> chkStandard;
};

enum class RunStatus {
  Refused,  // a check failed (its message shown, focus moved)
  Stopped,  // the analysis stopped on a message
  Done,     // the report was written and handed on
};

inline constexpr int kRunLongTerm = 1;
inline constexpr int kRunCommodity = 2;
// Checks the settings and sets the run parameters, then stops (Done) without
// running an analysis: for what works on the run's figures itself (headroom).
inline constexpr int kRunParametersOnly = 3;

// The user's report file name for a typed name, the residue path and the
// report kind: the path prefixed when the name has none, the kind's
// extension (".OR10" or ".CC10") put in place of the other kind's.
std::string ReportFileNameFor(const std::string& typed, const std::string& residuePath, int report);

// The text box value: its leading numeric prefix, rounded to single precision.
float BoxValue(const std::string& text);

RunStatus checkstart(ModOrmid& m, Platform& p, RunHost& host, const WindowSettings& s, int report);

}  // namespace ormid
