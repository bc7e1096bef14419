#include "delivery/report_delivery.h"

#include <cstdio>

#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/record_file.h"
#include "core/run_host.h"
#include "core/window_settings.h"
#include "exposure/long_term_report.h"
#include "residue/residue_listing.h"

namespace ormid {

const DeliveryTexts* TextsForKind(RunKind kind) {
  static const DeliveryTexts kLongTerm{"Send Ormid Report to:",
                                       "Last Ormid Report",
                                       "Report sent to Printer",
                                       "Report saved as file ",
                                       "Save Ormid Analysis report as:",
                                       "Ormid Analysis reports (*.OR10)|*.OR10",
                                       "OR10",
                                       "the long-term report"};
  static const DeliveryTexts kCommodity{"Send Commodity Contribution Report to:",
                                        "Last Commodity Contribution Report",
                                        "Commodity Contribution Report sent to Printer",
                                        "Commodity Contribution Report saved as file ",
                                        "Save commodity contribution report as:",
                                        "Commodity Contribution reports (*.CC10)|*.CC10",
                                        "CC10",
                                        "the commodity contribution report"};
  static const DeliveryTexts kListing{"Send Residue File report to:",
                                      "Current Residue File",
                                      "Residue File Report sent to Printer",
                                      "Residue File Report saved as file ",
                                      "Save residue file report as:",
                                      "Residue file reports (*.OR1)|*.OR1",
                                      "OR1",
                                      "the residue file listing"};
  static const DeliveryTexts kCumulative{"Send Cumulative Report to:",
                                         "Cumulative Analysis",
                                         "Cumulative Report sent to Printer",
                                         "Cumulative Report saved as file ",
                                         "Save cumulative report as:",
                                         "Cumulative reports (*.CU10)|*.CU10",
                                         "CU10",
                                         "the cumulative report"};
  static const DeliveryTexts kAggregate{"Send Aggregate Report to:",
                                        "Aggregate Analysis",
                                        "Aggregate Report sent to Printer",
                                        "Aggregate Report saved as file ",
                                        "Save aggregate report as:",
                                        "Aggregate reports (*.AG10)|*.AG10",
                                        "AG10",
                                        "the aggregate report"};
  switch (kind) {
    case RunKind::LongTerm:
      return &kLongTerm;
    case RunKind::Commodity:
      return &kCommodity;
    case RunKind::Listing:
      return &kListing;
    case RunKind::Cumulative:
      return &kCumulative;
    case RunKind::Aggregate:
      return &kAggregate;
    case RunKind::Headroom:
    case RunKind::ResidueBuild:
      break;
  }
  return nullptr;
}

const DeliveryTexts* TextsForReportCode(int code) {
  const std::optional<RunKind> kind = RunKindFromReportCode(code);
  return kind ? TextsForKind(*kind) : nullptr;
}

bool PrintReportText(std::string_view text, PrinterSink& sink) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (sink.Stopped()) return false;
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
  return true;
}

std::string WithReportExtension(const std::string& name, RunKind kind) {
  const DeliveryTexts* texts = TextsForKind(kind);
  if (!texts || name.empty()) return name;
  std::string last = FileNameOnly(name);
  if (last.empty() || last.find('.') != std::string::npos) return name;
  return name + "." + texts->extension;
}

bool ChooseSaveFile(ModOrmid& m, Platform& p, const std::function<void()>& readSetupFile) {
  const DeliveryTexts* texts = TextsForReportCode(m.gReportKind);
  if (m.gResiduePath.empty() && readSetupFile) readSetupFile();
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
    if (!chosen || chosen->empty()) return false;
    // A name typed without an extension gets the kind's, so that the saved
    // report shows in the dialog's filter and is proposed again.
    std::string name =
        texts ? WithReportExtension(*chosen, *RunKindFromReportCode(m.gReportKind)) : *chosen;
    if (p.FileExists(name)) {
      auto answer = p.MessageBox("File " + name + " already exists. Write over?", "Warning!",
                                 MsgIcon::Question, MsgButtons::YesNoCancel);
      if (answer == MsgAnswer::No) continue;
      if (answer != MsgAnswer::Yes) return false;
    }
    m.gSaveFileName = name;
    m.gReportDest = kDestDiskFile;
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

namespace {

// Every line, the last one included, ends with CR LF in a saved copy.
std::string WithCrLfLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t e = text.find_first_of("\r\n", i);
    if (e == std::string_view::npos) e = text.size();
    out.append(text.substr(i, e - i)).append("\r\n");
    if (e < text.size() && text[e] == '\r') ++e;
    if (e < text.size() && text[e] == '\n') ++e;
    i = e;
  }
  return out;
}

void ReportSaved(ModOrmid& m, Platform& p, const DeliveryTexts& texts, bool saved,
                 const std::string& error) {
  if (!saved) {
    p.MessageBox("The report could not be saved as file " + m.gSaveFileName + ": " + error + ".",
                 "Action not completed", MsgIcon::Exclamation, MsgButtons::OK);
    return;
  }
  auto modified = p.FileModified(m.gSaveFileName);
  p.MessageBox(std::string(texts.savedPrefix) + m.gSaveFileName +
                   "\r\nNote that this file is dated " +
                   (modified ? GeneralDateText(*modified) : std::string("(unknown)")),
               "Action completed", MsgIcon::Information, MsgButtons::OK);
}

// The printer steps: the note shows while the job runs and goes only after
// the closing message. A cancelled print dialog is the user's choice.
void PrintText(ModOrmid& m, Platform& p, DeliveryUi& ui, const DeliveryTexts& texts,
               const std::string* text) {
  m.gReportDest = kDestNone;
  ui.SetPrinterNote(true);
  std::string error;
  PrintOutcome outcome = PrintOutcome::Failed;
  if (text)
    outcome = ui.PrintFile(*text, error);
  else
    error = "it cannot be read";
  switch (outcome) {
    case PrintOutcome::Printed:
      p.MessageBox(texts.printedMessage, "Action completed", MsgIcon::Information, MsgButtons::OK);
      break;
    case PrintOutcome::Failed:
      p.MessageBox("Ormid could not print " + std::string(texts.reportName) + ": " + error + ".",
                   "Action not completed", MsgIcon::Exclamation, MsgButtons::OK);
      break;
    case PrintOutcome::Cancelled:
      break;
  }
  ui.SetPrinterNote(false);
}

}  // namespace

void DeliverTo(ModOrmid& m, Platform& p, DeliveryUi& ui, RunKind kind, const std::string& source) {
  const DeliveryTexts* texts = TextsForKind(kind);
  if (!texts) return;
  switch (m.gReportDest) {
    case kDestDiskFile: {
      std::string error;
      bool saved = CopyReportFile(p, source, m.gSaveFileName, error);
      if (saved) ui.ReportSaved(kind, m.gSaveFileName);
      ReportSaved(m, p, *texts, saved, error);
      return;
    }
    case kDestPrinter: {
      auto text = ReadWholeFile(source);
      PrintText(m, p, ui, *texts, text ? &*text : nullptr);
      return;
    }
    case kDestScreen:
      ui.ShowViewer(texts->viewerCaption, source, kind);
      return;
    default:
      return;
  }
}

void DeliverShownText(ModOrmid& m, Platform& p, DeliveryUi& ui, RunKind kind,
                      const std::string& text) {
  const DeliveryTexts* texts = TextsForKind(kind);
  if (!texts) return;
  if (m.gReportDest == kDestDiskFile) {
    std::string error;
    bool saved = p.WriteFile(m.gSaveFileName, WithCrLfLines(text), FileKind::SavedCopy, error);
    if (saved) ui.ReportSaved(kind, m.gSaveFileName);
    ReportSaved(m, p, *texts, saved, error);
  } else if (m.gReportDest == kDestPrinter) {
    PrintText(m, p, ui, *texts, &text);
  }
}

void DeliverReport(ModOrmid& m, Platform& p, DeliveryUi& ui, RunKind kind,
                   const std::string& source, int preset) {
  m.gReportDest = static_cast<Int16>(preset);
  m.gReportKind = static_cast<Int16>(ReportCodeOf(kind));
  const DeliveryTexts* texts = TextsForKind(kind);
  ui.ChooseDestination(texts ? texts->dialogCaption : "");
  if (m.gReportDest == kDestNone) return;
  DeliverTo(m, p, ui, kind, source);
}

bool SaveReportPdf(
    ModOrmid& m, Platform& p, RunKind kind,
    const std::function<PrintOutcome(std::string& pdf, std::string& error)>& render) {
  const DeliveryTexts* texts = TextsForKind(kind);
  if (!texts) return false;
  std::string proposal = FileNameOnly(m.gSaveFileName);
  auto dot = proposal.rfind('.');
  proposal = proposal.empty() ? std::string() : proposal.substr(0, dot) + ".pdf";
  std::string name;
  for (;;) {
    FileDialogRequest request;
    // A PDF goes with the reports, in the working folder, not among the
    // residue files.
    request.initialDir = m.gWorkingDir;
    request.title = "Save report as PDF:";
    request.filter = "PDF documents (*.pdf)|*.pdf";
    request.fileName = proposal;
    auto chosen = p.SaveFileDialog(request);
    if (!chosen || chosen->empty()) return false;
    name = *chosen;
    if (FileNameOnly(name).find('.') == std::string::npos) name += ".pdf";
    if (!p.FileExists(name)) break;
    auto answer = p.MessageBox("File " + name + " already exists. Write over?", "Warning!",
                               MsgIcon::Question, MsgButtons::YesNoCancel);
    if (answer == MsgAnswer::Yes) break;
    if (answer != MsgAnswer::No) return false;
    proposal = name;
  }
  std::string pdf, error;
  const PrintOutcome made = render(pdf, error);
  if (made == PrintOutcome::Cancelled) return false;
  if (made != PrintOutcome::Printed || !p.WriteFile(name, pdf, FileKind::SavedCopy, error)) {
    p.MessageBox("The report could not be saved as file " + name + ": " + error + ".",
                 "Action not completed", MsgIcon::Exclamation, MsgButtons::OK);
    return false;
  }
  // "Report saved as file " becomes "Report saved as PDF file ".
  std::string prefix = texts->savedPrefix;
  prefix.insert(prefix.size() - 5, "PDF ");
  p.MessageBox(prefix + name, "Action completed", MsgIcon::Information, MsgButtons::OK);
  return true;
}

bool RunResidueListing(ModOrmid& m, Platform& p, DeliveryUi& ui, const WindowSettings& s,
                       Control& focus) {
  if (!CheckResidueListing(m, p, s, focus)) return false;
  m.gReportDest = kDestNone;
  m.gReportKind = static_cast<Int16>(ReportCodeOf(RunKind::Listing));
  ui.ChooseDestination(TextsForKind(RunKind::Listing)->dialogCaption);
  if (m.gReportDest == kDestNone) return false;
  if (!WriteResidueListing(m, p, s, kResidueListingFile)) return false;
  DeliverTo(m, p, ui, RunKind::Listing, kResidueListingFile);
  return true;
}

}  // namespace ormid
