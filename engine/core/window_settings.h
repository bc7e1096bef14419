// The main window's controls that a run request and the residue file
// listing read, as plain values.
#pragma once

#include <string>
#include <vector>

namespace ormid {

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

// The text box value: its leading numeric prefix, rounded to single precision.
float BoxValue(const std::string& text);

}  // namespace ormid
