// What a run needs from the window that started it: the Show Last actions
// and the control that should get the keyboard focus.
#pragma once

#include "core/run_results.h"

namespace ormid {

struct ExposureTerms;

// Controls of the main window that a run request or a run may focus.
enum class Control {
  None,
  txtMOE1,
  txtMOE2,
  txtMOE3,
  chkMOE1,
  cmdPAD,
  txtRptFile,
  txtCrit1,
  txtCrit2,
  chkStandard1,
  cmdPrintOrmidAnalysis,
  cmdCommodity,
};

class RunHost {
 public:
  virtual ~RunHost() = default;
  // "Show Last Ormid Rpt" and "Show Last Commodity Rpt".
  virtual void ShowLastOrmidReport() = 0;
  virtual void ShowLastCommodityReport() = 0;
  virtual void SetFocus(Control control) = 0;
  // A long run reports how far it has come (done of total steps).
  virtual void Progress(int /*done*/, int /*total*/) {}
  // The run request's checks have passed and the analysis starts computing.
  virtual void Computing() {}
  // Where a run sends its figures as data; nullptr when nobody keeps them.
  virtual ResultsSink* Results() { return nullptr; }
  // Where a run keeps the terms of its totals, for what-if and headroom
  // without reading the files again; nullptr when nobody keeps them.
  virtual ExposureTerms* Terms() { return nullptr; }
};

}  // namespace ormid
