#include "report/report_delivery.h"

#include <cstdio>

#include "app/startup.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/record_file.h"
#include "exposure/long_term_report.h"

namespace ormid {

const DeliveryTexts* TextsForKind(int kind) {
  static const DeliveryTexts kLongTerm{"Send Ormid Report to:",
                                       "Last Ormid Report",
                                       "Report sent to Printer",
                                       "Report saved as file ",
                                       "Save Ormid Analysis report as:",
                                       "Ormid Analysis reports (*.OR10)|*.OR10",
                                       "OR10"};
  static const DeliveryTexts kCommodity{"Send Commodity Contribution Report to:",
                                        "Last Commodity Contribution Report",
                                        "Commodity Contribution Report sent to Printer",
                                        "Commodity Contribution Report saved as file ",
                                        "Save commodity contribution report as:",
                                        "Commodity Contribution reports (*.CC10)|*.CC10",
                                        "CC10"};
  static const DeliveryTexts kListing{"Send Residue File report to:",
                                      "Current Residue File",
                                      "Residue File Report sent to Printer",
                                      "Residue File Report saved as file ",
                                      "Save residue file report as:",
                                      "Residue file reports (*.OR1)|*.OR1",
                                      "OR1"};
  switch (kind) {
    case kReportLongTerm:
      return &kLongTerm;
    case kReportCommodity:
      return &kCommodity;
    case kReportResidueListing:
      return &kListing;
    default:
      return nullptr;
  }
}

void PrintReportText(std::string_view text, PrinterSink& sink) {
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t e = text.find_first_of("\r\n", i);
    if (e == std::string_view::npos) e = text.size();
    std::string_view line = text.substr(i, e - i);
    if (!line.empty() && line[0] == '\f')
      sink.NewPage();
    else
      sink.PrintLine(line);
    if (e < text.size() && text[e] == '\r') ++e;
    if (e < text.size() && text[e] == '\n') ++e;
    i = e;
  }
}

bool ChooseSaveFile(ModOrmid& m, Platform& p) {
  const DeliveryTexts* texts = TextsForKind(m.gReportKind);
  if (m.gResiduePath.empty()) ReadSetupFile(m, p);
  for (;;) {
    FileDialogRequest request;
    request.initialDir = m.gResiduePath;
    request.title = texts ? texts->saveTitle : "";
    request.filter = texts ? texts->filter : "";
    if (texts) {
      std::string upper = ToUpper(m.gSaveFileName);
      std::string ext = texts->extension;
      if (upper.size() >= ext.size() &&
          upper.compare(upper.size() - ext.size(), ext.size(), ext) == 0)
        request.fileName = m.gSaveFileName;
    }
    auto chosen = p.SaveFileDialog(request);
    p.ChangeDir(m.gWorkingDir);
    if (!chosen || chosen->empty()) return false;
    if (p.FileExists(*chosen)) {
      auto answer = p.MessageBox("File " + *chosen + " already exists. Write over?", "Warning!",
                                 MsgIcon::Question, MsgButtons::YesNoCancel);
      if (answer == MsgAnswer::No) continue;
      if (answer != MsgAnswer::Yes) return false;
    }
    m.gSaveFileName = *chosen;
    m.gReportDest = 3;
    return true;
  }
}

std::string GeneralDateText(const DateTime& t) {
  int hour = t.hour % 12 == 0 ? 12 : t.hour % 12;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d/%d/%04d %d:%02d:%02d %s", t.month, t.day, t.year, hour,
                t.minute, t.second, t.hour < 12 ? "AM" : "PM");
  return buf;
}

void DeliverTo(ModOrmid& m, Platform& p, DeliveryUi& ui, int kind, const std::string& source) {
  const DeliveryTexts* texts = TextsForKind(kind);
  if (!texts) return;
  switch (m.gReportDest) {
    case 3: {
      std::string error;
      if (!CopyReportFile(p, source, m.gSaveFileName, error)) {
        p.MessageBox(
            "The report could not be saved as file " + m.gSaveFileName + ": " + error + ".",
            "Action not completed", MsgIcon::Exclamation, MsgButtons::OK);
        return;
      }
      auto modified = p.FileModified(m.gSaveFileName);
      p.MessageBox(std::string(texts->savedPrefix) + m.gSaveFileName +
                       "\r\nNote that this file is dated " +
                       (modified ? GeneralDateText(*modified) : std::string("(unknown)")),
                   "Action completed", MsgIcon::Information, MsgButtons::OK);
      return;
    }
    case 2: {
      m.gReportDest = 0;
      ui.SetPrinterNote(true);
      auto text = ReadWholeFile(source);
      std::string error;
      bool printed = text && ui.PrintFile(*text, error);
      ui.SetPrinterNote(false);
      if (!text) error = "the report " + source + " cannot be read";
      if (!printed) {
        p.MessageBox("The report " + source + " was not printed: " + error + ".",
                     "Action not completed", MsgIcon::Exclamation, MsgButtons::OK);
        return;
      }
      p.MessageBox(texts->printedMessage, "Action completed", MsgIcon::Information, MsgButtons::OK);
      return;
    }
    case 1:
      ui.ShowViewer(texts->viewerCaption, source);
      return;
    default:
      return;
  }
}

void DeliverReport(ModOrmid& m, Platform& p, DeliveryUi& ui, int kind, const std::string& source,
                   int preset) {
  m.gReportDest = static_cast<Int16>(preset);
  m.gReportKind = static_cast<Int16>(kind);
  const DeliveryTexts* texts = TextsForKind(kind);
  ui.ChooseDestination(texts ? texts->dialogCaption : "");
  if (m.gReportDest == 0) return;
  DeliverTo(m, p, ui, kind, source);
}

}  // namespace ormid
