#include "residue/residue_listing.h"

#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/run_host.h"
#include "core/window_settings.h"
#include "report/food_form_label.h"
#include "report/number_format.h"
#include "report/report_writer.h"

namespace ormid {

bool CheckResidueListing(ModOrmid& m, Platform& p, const WindowSettings& s, Control& focus) {
  focus = Control::None;
  if (m.gResidueLoaded == 0) {
    p.MessageBox("You need to open a residue file before you print the file.", "Warning",
                 MsgIcon::Information, MsgButtons::OK);
    return false;
  }
  if (!s.chkMOE1 && !s.chkMOE2 && !s.chkMOE3 && !s.chkMOE4) {
    p.MessageBox(
        "You must indicate the toxicology endpoint(s) that will be used so that it can be "
        "printed with residue file listing.",
        "KAVRI-FCID Ormid Module", MsgIcon::Information, MsgButtons::OK);
    focus = Control::chkMOE1;
    return false;
  }
  const bool noel0 = BoxValue(s.txtMOE1) == 0;
  const bool rfd0 = BoxValue(s.txtMOE2) == 0;
  const bool q0 = BoxValue(s.txtMOE3) == 0;
  std::string missing;
  if (s.chkMOE1 && s.chkMOE2) {
    m.gEndpoint = Endpoint::NoelRfD;
    if (noel0) missing += "NOEL ";
    if (rfd0) missing += "RfD";
  } else if (s.chkMOE1 && s.chkMOE4) {
    m.gEndpoint = Endpoint::NoelPad;
    if (noel0) missing += "NOEL ";
  } else if (s.chkMOE1) {
    m.gEndpoint = Endpoint::Noel;
    if (noel0) missing += "NOEL";
  } else if (s.chkMOE2) {
    m.gEndpoint = Endpoint::RfD;
    if (rfd0) missing += "RfD";
  } else if (s.chkMOE3) {
    m.gEndpoint = Endpoint::QStar;
    if (q0) missing += "Q*";
  } else {
    m.gEndpoint = Endpoint::Pad;
  }
  if (missing.empty()) return true;
  p.MessageBox("You must enter a valid value for " + missing, "KAVRI-FCID Ormid Module",
               MsgIcon::Information, MsgButtons::OK);
  if (missing.find("NOEL") != std::string::npos)
    focus = Control::txtMOE1;
  else if (missing.find("RfD") != std::string::npos)
    focus = Control::txtMOE2;
  else if (missing.find("Q*") != std::string::npos)
    focus = Control::txtMOE3;
  return false;
}

std::string ListResidueFile(ModOrmid& m, const WindowSettings& s, const DateTime& now) {
  ReportWriter w;
  w.Col(1).Text(m.gReportBanner).Col(65).Text("Ver. " + m.gProgramVersion + ", " + m.gDataVersion);
  w.End();
  w.Line("KAVRI-FCID Ormid analysis for " + ToUpper(m.gChemicalName));
  m.gUseAdj2 = s.chkSecondAdj ? 1 : 0;
  w.Text("Residue file: " + m.gResidueFileName);
  if (m.gUseAdj2 == 1)
    w.Col(64).Text("Adjust. #2 used");
  else
    w.Col(60).Text("Adjust. #2 NOT used");
  w.End();
  w.Line("Analysis Date " + FormatReportDate(now) +
         "             Residue file dated: " + m.gResidueFileDate);
  const Endpoint code = m.gEndpoint;
  if (code == Endpoint::NoelRfD || code == Endpoint::NoelPad)
    w.Line("Reference dose (RfD) = " + s.txtMOE2 + "  (NOEL) = " + s.txtMOE1 + " mg/kg bw/day");
  else if (code == Endpoint::RfD || code == Endpoint::Pad)
    w.Line("Reference dose (RfD) = " + s.txtMOE2 + " mg/kg bw/day");
  else if (code == Endpoint::Noel)
    w.Line("Reference dose (NOEL) = " + s.txtMOE1 + " mg/kg bw/day");
  else if (code == Endpoint::QStar)
    w.Line("Q* = " + s.txtMOE3);
  m.gRunComment = TrimBlanks(s.txtComment);
  if (!m.gRunComment.empty())
    w.Line("Comment:" + m.gRunComment);
  else
    w.End();
  w.Line(std::string(82, '-'));
  w.Col(2).Text("Food").Col(12).Text("Crop").Col(50).Text(" Residue").Col(58).Text("   ");
  w.Col(64).Text(" Adj.Factors").End();
  w.Col(1).Text("EPA Code").Col(12).Text(" Grp").Col(17).Text(" Food Name").Col(49);
  w.Text("  (ppm) ").Col(62).Text("  #1 ").Col(73).Text("  #2 ").End();
  w.Col(1).Text(std::string(10, '-')).Col(12).Text(std::string(4, '-')).Col(17);
  w.Text(std::string(31, '-')).Col(51).Text(std::string(10, '-')).Col(62);
  w.Text(std::string(6, '-')).Col(73).Text(std::string(6, '-')).End();

  auto cells = [&w](float residue, float adj1, float adj2) {
    w.Col(50).Text(AlignedCell(residue, "###.######"));
    w.Col(62).Text(AlignedCell(adj1, "##.###"));
    w.Col(73).Text(AlignedCell(adj2, "##.###")).Col(82).End();
  };
  for (int i = 1; i <= m.gResFoodCount; ++i) {
    auto fi = static_cast<std::size_t>(i);
    const std::string& group = m.gFoodCropGroup[static_cast<std::size_t>(m.gFoodConsRec[fi])];
    w.Col(1).Text(m.gFoodCode[fi]).Col(12).Text(group).Col(17);
    if (m.gFoodFormCount[fi] == 0) {
      w.Text(m.gFoodName[fi].substr(0, 32));
      cells(m.gFoodResidue[fi], m.gFoodAdj1[fi], m.gFoodAdj2[fi]);
      continue;
    }
    w.Text(m.gFoodName[fi].substr(0, 36)).End();
    int first = m.gFoodFirstForm[fi];
    for (int j = first; j < first + m.gFoodFormCount[fi]; ++j) {
      auto ji = static_cast<std::size_t>(j);
      std::string formCode = std::to_string(m.gFormCode[ji]);
      std::string label;
      FoodFormLabel(m, formCode, label);
      w.Col(19).Text(label);
      cells(m.gFormResidue[ji], m.gFormAdj1[ji], m.gFormAdj2[ji]);
    }
  }
  return w.take();
}

bool WriteResidueListing(ModOrmid& m, Platform& p, const WindowSettings& s,
                         const std::string& fileName) {
  std::string error;
  if (p.WriteFile(fileName, ListResidueFile(m, s, p.Now()), FileKind::WorkingFile, error))
    return true;
  p.MessageBox("The residue file listing " + fileName + " could not be written in the folder " +
                   m.gWorkingDir + ": " + error + ". The last listing was left as it was.",
               "Residue File Listing", MsgIcon::Exclamation, MsgButtons::OK);
  return false;
}
}  // namespace ormid
