#include "setup/run_request.h"

#include <cmath>

#include "core/mod_ormid.h"
#include "core/numbers.h"
#include "core/paths.h"
#include "core/platform.h"

namespace ormid {

namespace {

// An endpoint value a run can use: above zero, and within single precision
// (a value beyond it reads as infinite and every percentage as 0).
bool Usable(float value) {
  return value > 0 && std::isfinite(value);
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Refused without a message: the user answered No to a question.
RequestCheck Refuse(Control focus) {
  RequestCheck check;
  check.focus = focus;
  return check;
}

RequestCheck Refuse(const std::string& text, const std::string& title, Control focus) {
  RequestCheck check;
  check.refusal = Notice{text, title, MsgIcon::Information};
  check.focus = focus;
  return check;
}

}  // namespace

std::string ReportFileNameFor(const std::string& typed, const std::string& residuePath,
                              RunKind kind) {
  std::string t = TrimBlanks(typed);
  std::string name = ContainsPath(t) ? t : residuePath + t;
  const std::string own = SavedReportExtensionOf(kind);
  const std::string upper = ToUpper(name);
  if (EndsWith(upper, own)) return name;
  // The long-term and the commodity report take each other's extension's
  // place; a report of the later kinds takes the place of any other saved
  // report's.
  const bool original = kind == RunKind::LongTerm || kind == RunKind::Commodity;
  for (RunKind other : kRunKinds) {
    if (other == kind || other == RunKind::Listing) continue;
    if (original && other != RunKind::LongTerm && other != RunKind::Commodity) continue;
    const std::string extension = SavedReportExtensionOf(other);
    if (EndsWith(upper, extension)) {
      name.resize(name.size() - extension.size());
      break;
    }
  }
  return name + own;
}

RequestCheck CheckSavedReport(const ModOrmid& m, Platform& p, const WindowSettings& s,
                              RunKind kind) {
  RequestCheck done;
  done.status = RunStatus::Done;
  if (!s.chkSaveRpt) return done;
  if (TrimBlanks(s.txtRptFile).empty())
    return Refuse(
        "If you want Ormid reports to be saved to a file, you must specify a valid "
        "file name (without path or extension).",
        "Warning", Control::txtRptFile);
  done.savedReport = ReportFileNameFor(s.txtRptFile, m.gResiduePath, kind);
  if (p.FileExists(done.savedReport)) {
    auto answer = p.MessageBox(
        "Report file " + done.savedReport + " already exists. Do you want to write over this file?",
        "KAVRI-FCID Ormid Module", MsgIcon::None, MsgButtons::YesNoCancel);
    if (answer == MsgAnswer::No) return Refuse(Control::txtRptFile);
    if (answer != MsgAnswer::Yes) return RequestCheck{};
  }
  return done;
}

RequestCheck checkstart(ModOrmid& m, Platform& p, const WindowSettings& s, RunKind kind) {
  RequestCheck done;
  done.status = RunStatus::Done;
  if (m.gResidueFileName.empty())
    return Refuse("You must open a residue file before you can begin the analysis.", "Warning",
                  Control::None);

  const RequestCheck saved = CheckSavedReport(m, p, s, kind);
  if (saved.status != RunStatus::Done) return saved;
  const std::string name = saved.savedReport;

  if (s.chkMOE1 && !Usable(BoxValue(s.txtMOE1)))
    return Refuse("NOEL is checked but value is not specified.", "Ormid Analysis",
                  Control::txtMOE1);
  if (s.chkMOE2 && !Usable(BoxValue(s.txtMOE2)))
    return Refuse("RfD is checked but value is not specified.", "Ormid Analysis", Control::txtMOE2);
  if (s.chkMOE3 && !Usable(BoxValue(s.txtMOE3)))
    return Refuse("Q* is checked but value is not specified.", "Ormid Analysis", Control::txtMOE3);
  if (s.chkMOE4) {
    bool any = false;
    for (int k = m.gPADFirstPop; k <= m.gPopCount; ++k)
      if (k >= 0 && static_cast<std::size_t>(k) < m.gPAD.size() &&
          m.gPAD[static_cast<std::size_t>(k)] != 0)
        any = true;
    if (!any)
      return Refuse(
          "PAD is checked but no PAD values are entered. Use Edit PAD button to show "
          "PAD data entry form.",
          "No PAD values available", Control::cmdPAD);
  }
  if (!s.chkMOE1 && !s.chkMOE2 && !s.chkMOE3)
    return Refuse(
        "At least one toxicology endpoint must be checked and have a value greater "
        "than zero.",
        "Warning", Control::txtMOE1);

  const bool noel = s.chkMOE1, rfd = s.chkMOE2, qstar = s.chkMOE3, pad = s.chkMOE4;
  auto set = [&](Endpoint code, float n, float r, float q) {
    m.gEndpoint = code;
    m.gNOEL = n;
    m.gRefDose = r;
    m.gQStar = q;
  };
  if (noel && !rfd && !pad)
    set(Endpoint::Noel, BoxValue(s.txtMOE1), 0, 0);
  else if (rfd && !noel && !pad)
    set(Endpoint::RfD, 0, BoxValue(s.txtMOE2), 0);
  else if (rfd && pad && !noel)
    set(Endpoint::Pad, 0, BoxValue(s.txtMOE2), 0);
  else if (noel && rfd && !pad)
    set(Endpoint::NoelRfD, BoxValue(s.txtMOE1), BoxValue(s.txtMOE2), 0);
  else if (noel && rfd && pad)
    set(Endpoint::NoelPad, BoxValue(s.txtMOE1), BoxValue(s.txtMOE2), 0);
  else if (qstar)
    set(Endpoint::QStar, 0, 0, BoxValue(s.txtMOE3));
  m.gUseAdj2 = s.chkSecondAdj ? 1 : 0;

  if (s.chkCritical) {
    const char* foodMsg = "Please enter a valid critical value for Foods/Foodforms";
    const char* cropMsg = "Please enter a valid critical value for Crop Groups";
    std::string c1 = TrimBlanks(s.txtCrit1), c2 = TrimBlanks(s.txtCrit2);
    if (c1.empty() || !IsValidNumber(c1))
      return Refuse(foodMsg, "Ormid Analysis", Control::txtCrit1);
    if (c2.empty() || !IsValidNumber(c2))
      return Refuse(cropMsg, "Ormid Analysis", Control::txtCrit2);
    double v1 = LeadingNumber(s.txtCrit1), v2 = LeadingNumber(s.txtCrit2);
    if (v1 < 0.1 || v1 > 99) return Refuse(foodMsg, "Ormid Analysis", Control::txtCrit1);
    if (v2 < 0.1 || v2 > 99) return Refuse(cropMsg, "Ormid Analysis", Control::txtCrit2);
    m.gCritFoodPct = static_cast<float>(v1);
    m.gCritCropPct = static_cast<float>(v2);
  }

  m.gCommodityKind.assign(static_cast<std::size_t>(m.gPopCount) + 1, std::string());
  if (kind == RunKind::Commodity) {
    bool any = false;
    for (int k = 0; k < m.gPopCount && static_cast<std::size_t>(k) < s.chkStandard.size(); ++k) {
      if (s.chkStandard[static_cast<std::size_t>(k)] == 0) continue;
      any = true;
      std::string kind;
      if (s.chkCritical && s.chkComplete)
        kind = "C";
      else if (s.chkCritical)
        kind = "B";
      else if (s.chkComplete)
        kind = "A";
      m.gCommodityKind[static_cast<std::size_t>(k) + 1] = kind;
    }
    if (!any)
      return Refuse(
          "You must check at least one population before you perform a commodity "
          "analysis",
          "Ormid Analysis", Control::chkStandard1);
  }

  m.gRunComment = TrimBlanks(s.txtComment);
  done.savedReport = name;
  return done;
}

}  // namespace ormid
