#include "setup/window_checks.h"

#include "core/numbers.h"
#include "core/paths.h"
#include "core/platform.h"

namespace ormid {

bool CheckEndpointValue(Platform& p, const std::string& endpoint, const std::string& text) {
  if (TrimBlanks(text).empty() || IsValidNumber(text)) return true;
  p.MessageBox("Invalid " + endpoint + " value.", "Ormid Analysis", MsgIcon::Information,
               MsgButtons::OK);
  return false;
}

bool CheckReportFileNameBox(Platform& p, const std::string& text) {
  std::string name = TrimBlanks(text);
  if (name.empty()) return true;
  if (name.find_first_of(":\\") == std::string::npos) {
    if (name.find_first_of("\"?*/<>|") == std::string::npos) return true;
    p.MessageBox(
        "Illegal character in filename " + name + "  Do not use the following characters: ?*/<>|\"",
        "Illegal filename", MsgIcon::Information, MsgButtons::OK);
    return false;
  }
  p.MessageBox(
      "Do not include a path with the report filename (or do not use the characters \\ or : in "
      "the filename).",
      "KAVRI Quenna Module", MsgIcon::Information, MsgButtons::OK);
  return false;
}

void ShowHelpSequence(Platform& p) {
  const std::string br = "\r\n\r\n";
  const std::string more = "                        Do you want to see more help messages?";
  const std::string title = "KAVRI-FCID Ormid Module -- Help";
  std::string first =
      "To start, click on 'File', 'Open Residue File' in the top menu bar; then select the "
      "residue file type you wish to use in the ormid analysis. You must close one residue file "
      "before you can open another." +
      br +
      "The current path to the residue files is retrieved from the KAVRI set up file; the path "
      "can be changed in the residue file dialog box." +
      br +
      "After the file is open, specify the toxicology endpoint(s) to be used (with value "
      "desired), and whether or not to use the second adjustement factor in the residue file "
      "for each food/foodform. " +
      br +
      "Click on 'Run Analysis-Ormid Analysis' to compute the ormid analysis for all "
      "subpopulations (subpopulations checked on the right side of the screen only apply to "
      "commodity analyses). Then click on 'Show Last Ormid Rpt' to display the report to "
      "screen." +
      br + more;
  if (p.MessageBox(first, title, MsgIcon::Information, MsgButtons::YesNo) == MsgAnswer::No) return;
  std::string second =
      "For a Commodity Contribution analysis for specific subpopulations, click on the "
      "'Complete' and/or 'Critical' task boxes as needed; then select the subpopulations to be "
      "included in this analysis. Click on 'Run Analysis-Commodity Analysis' on the main menu. "
      "Then press 'Show Last Commodity Rpt' to view report." +
      br +
      "If you click on 'Critical Commodity Contribution Analysis' you must also select the "
      "minimum contribution at the food/foodform and crop group levels to be reported (these "
      "text boxes are only visible when the critical option is acivated)." +
      br +
      "If you click on 'Save Reports to File' you must specify a filename (w/o extension). The "
      "reports generated will be saved to that file name in the same folder (directory) that "
      "the residue file is read from. (Extensions are automatically assigned: OR1 for residue "
      "file listings, OR10 for Ormid Analysis Report; CC10 for Commodity Contribution Report)" +
      br + more;
  if (p.MessageBox(second, title, MsgIcon::Information, MsgButtons::YesNo) == MsgAnswer::No) return;
  std::string third =
      "Click on the toxicology endpoints to be used in the analysis; designated endpoints must "
      "have non-zero values. You can use both NOEL and RfD or NOEL and PAD, but you cannot use "
      "both RfD and PAD in the same analysis. Q* must always be used alone." +
      br +
      "You can always View/Print/Save-to-disk the last Ormid Analysis or Commodity Contribution "
      "report generated (even from a previous session) by clicking on the corresponding button "
      "at the bottom of the screen." +
      br +
      "The 'Run Comment' box at the bottom left allows you to modify any comment retrieved from "
      "the residue file or add a new comment. This comment is included in all report headers." +
      br + "Click on 'File-Exit' to terminate this program and return to the main KAVRI program.";
  p.MessageBox(third, title, MsgIcon::Information, MsgButtons::OK);
}

}  // namespace ormid
