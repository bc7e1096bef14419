// Report delivery: the destination dialog's choices, the save dialog loop of
// its Disk File button, printing a report's lines, and the delivery of a
// temporary report (or of the report the viewer shows) to the screen, the
// printer or a file.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/platform.h"
#include "core/run_host.h"
#include "core/run_kind.h"

namespace ormid {

struct ModOrmid;
struct WindowSettings;
class RunHost;

// The texts of one report kind.
struct DeliveryTexts {
  const char* dialogCaption;
  const char* viewerCaption;
  const char* printedMessage;
  const char* savedPrefix;
  const char* saveTitle;
  const char* filter;
  const char* extension;   // OR1, CC10, OR10, CU10
  const char* reportName;  // "the long-term report", as failure messages name it
};
// Texts of a kind; nullptr for a kind whose report is not delivered.
const DeliveryTexts* TextsForKind(RunKind kind);
// Texts of the report kind gReportKind numbers (ReportCodeOf).
const DeliveryTexts* TextsForReportCode(int code);

// Where the printed lines of a report go.
class PrinterSink {
 public:
  virtual ~PrinterSink() = default;
  virtual void PrintLine(std::string_view line) = 0;
  virtual void NewPage() = 0;
  // True once the printing is to stop (the user cancelled it).
  virtual bool Stopped() const { return false; }
};

// Prints a report text: a line starting with a form feed starts a new page
// and is not printed; every other line (an empty one too) is printed.
// False when the sink stopped it before the end.
bool PrintReportText(std::string_view text, PrinterSink& sink);

enum class PrintOutcome {
  Printed,
  Cancelled,  // the user closed the print dialog: nothing to report
  Failed,
};

// What the desktop supplies to delivery: the modal destination dialog, the
// viewer, the printer and the printer note of the main window.
class DeliveryUi {
 public:
  virtual ~DeliveryUi() = default;
  // Shows the destination dialog with its caption; its buttons set
  // m.gReportDest (closing it otherwise leaves the preset).
  virtual void ChooseDestination(const std::string& caption) = 0;
  // Shows the report file of `kind` in the viewer under the caption.
  virtual void ShowViewer(const std::string& caption, const std::string& file, RunKind kind) = 0;
  // Prints a report text; Failed with error on a printer problem.
  virtual PrintOutcome PrintFile(const std::string& text, std::string& error) = 0;
  virtual void SetPrinterNote(bool visible) = 0;
  // A report of `kind` has been saved whole as the file the user named
  // (Disk File, the viewer's Save a Copy), before its closing message.
  virtual void ReportSaved(RunKind /*kind*/, const std::string& /*path*/) {}
};

// The Disk File button: the save dialog (proposing the last saved name of
// the same kind), the overwrite question and its loop. A name typed without
// an extension gets the kind's. True when a file was chosen: gSaveFileName
// and gReportDest = 3 are set and the destination dialog closes; false
// leaves the destination dialog open. readSetupFile reads the setup file
// again when the residue folder is not known.
bool ChooseSaveFile(ModOrmid& m, Platform& p, const std::function<void()>& readSetupFile = {});

// The name with the kind's extension when its last part has none.
std::string WithReportExtension(const std::string& name, RunKind kind);

// A date and time in the general form of the system ("3/5/2024 9:07:01 AM").
std::string GeneralDateText(const DateTime& t);

// Delivers the temporary report `source` of `kind`, after presetting
// gReportDest to `preset` and asking for the destination.
void DeliverReport(ModOrmid& m, Platform& p, DeliveryUi& ui, RunKind kind,
                   const std::string& source, int preset);

// The delivery after the destination is known (gReportDest).
void DeliverTo(ModOrmid& m, Platform& p, DeliveryUi& ui, RunKind kind, const std::string& source);

// The viewer's own Print and Save: the report text it shows goes to the
// printer (gReportDest = 2) or to gSaveFileName (3), with the messages of
// the destination dialog's Printer and Disk File.
void DeliverShownText(ModOrmid& m, Platform& p, DeliveryUi& ui, RunKind kind,
                      const std::string& text);

// The viewer's Save as PDF: asks for a file name (".pdf" added when it has
// no extension; the overwrite question and its loop as for Disk File), has
// render make the PDF document and writes it whole; a render the user
// cancelled writes nothing and says nothing. False when the user cancelled or
// the file could not be made (after a message).
bool SaveReportPdf(ModOrmid& m, Platform& p, RunKind kind,
                   const std::function<PrintOutcome(std::string& pdf, std::string& error)>& render);

// The residue file listing button: the checks, the destination, the listing
// written to "tempres.fil" and delivered. False when it stopped on a message
// or cancel; `focus` is then the control to correct, if any.
bool RunResidueListing(ModOrmid& m, Platform& p, DeliveryUi& ui, const WindowSettings& s,
                       Control& focus);

}  // namespace ormid
