// What a front end sees of a run while it goes (its progress, its figures)
// and what the run leaves for it to show once it has returned.
#pragma once

#include <optional>
#include <string>

#include "core/platform.h"
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

// A message a run leaves for the front end to show once the run has
// returned: a refusal, or the closing message of a run that saved its report.
struct Notice {
  std::string text;
  std::string title;
  MsgIcon icon = MsgIcon::Information;
};

// Shows a notice as a message box with an OK button.
inline void ShowNotice(Platform& p, const Notice& notice) {
  p.MessageBox(notice.text, notice.title, notice.icon, MsgButtons::OK);
}

// How an analysis that wrote its report ended: the report is shown (it was
// not saved), or the closing message says where it was saved; and the
// control that gets the keyboard after.
struct AnalysisEnd {
  bool done = false;
  bool showReport = false;
  std::optional<Notice> closing;
  Control focus = Control::None;
};

class RunHost {
 public:
  virtual ~RunHost() = default;
  // A long run reports how far it has come (done of total steps).
  virtual void Progress(int /*done*/, int /*total*/) {}
  // True once the user has asked a long run to stop (a progress dialog's
  // Cancel): the run then ends without replacing its report.
  virtual bool StopRequested() { return false; }
  // The run request's checks have passed and the analysis starts computing.
  virtual void Computing() {}
  // Where a run sends its figures as data; nullptr when nobody keeps them.
  virtual ResultsSink* Results() { return nullptr; }
  // Where a run keeps the terms of its totals, for what-if and headroom
  // without reading the files again; nullptr when nobody keeps them.
  virtual ExposureTerms* Terms() { return nullptr; }
};

}  // namespace ormid
