// The run request: turns the main window's settings into the run
// parameters, checks them in a fixed order, stops at the first problem with
// its message and the control to correct, and starts the analysis.
#pragma once

#include <optional>
#include <string>

#include "core/platform.h"
#include "core/run_host.h"
#include "core/run_kind.h"
#include "core/window_settings.h"

namespace ormid {

struct ModOrmid;

enum class RunStatus {
  Refused,  // a check failed, with its message and the control to correct
  Stopped,  // the analysis stopped on a message
  Done,     // the report was written
};

// The outcome of the run request's checks: Done with the run's parameters
// set, or Refused with the message (none when the user cancelled a
// question) and the control that gets the keyboard.
struct RequestCheck {
  RunStatus status = RunStatus::Refused;
  std::optional<Notice> refusal;
  Control focus = Control::None;
  std::string savedReport;  // the user's report file, when the report is to be saved
};

// The user's report file name for a typed name, the residue path and the
// kind of run: the residue path prefixed when the name has none, the kind's
// extension (".OR10", ".CC10", ".CU10", ...) put in place of the other
// kind's. The one rule for where every kind's saved report goes.
std::string ReportFileNameFor(const std::string& typed, const std::string& residuePath,
                              RunKind kind);

// The saved report of the settings (chkSaveRpt, txtRptFile) for a run of the
// kind: a name must be typed; an existing file is replaced only when the
// user says so. Done with savedReport ("" when none is asked for), or
// Refused with the message and the control.
RequestCheck CheckSavedReport(const ModOrmid& m, Platform& p, const WindowSettings& s,
                              RunKind kind);

// The run request's checks, in their fixed order: the first problem refuses
// the run. Questions (a saved report file that exists) are asked through the
// platform. The run's parameters are set as the checks pass them. Only a
// commodity run needs a subgroup; a headroom run is checked as a long-term
// run is, without running an analysis.
RequestCheck checkstart(ModOrmid& m, Platform& p, const WindowSettings& s, RunKind kind);

}  // namespace ormid
