// Report delivery: the destination dialog's choices, the save dialog loop of
// its Disk File button, printing a report's lines, and the delivery of a
// temporary report to the screen, the printer or a file.
#pragma once

#include <string>
#include <string_view>

#include "core/platform.h"

namespace ormid {

struct ModOrmid;

// The texts of one report kind (1 residue listing, 2 commodity, 4 long-term).
struct DeliveryTexts {
  const char* dialogCaption;
  const char* viewerCaption;
  const char* printedMessage;
  const char* savedPrefix;
  const char* saveTitle;
  const char* filter;
  const char* extension;  // OR1, CC10, OR10
};
// Texts of a kind; nullptr for an unknown kind.
const DeliveryTexts* TextsForKind(int kind);

// Where the printed lines of a report go.
class PrinterSink {
 public:
  virtual ~PrinterSink() = default;
  virtual void PrintLine(std::string_view line) = 0;
  virtual void NewPage() = 0;
};

// Prints a report text: a line starting with a form feed starts a new page
// and is not printed; every other line (an empty one too) is printed.
void PrintReportText(std::string_view text, PrinterSink& sink);

// What the desktop supplies to delivery: the modal destination dialog, the
// viewer, the printer and the printer note of the main window.
class DeliveryUi {
 public:
  virtual ~DeliveryUi() = default;
  // Shows the destination dialog with its caption; its buttons set
  // m.gReportDest (closing it otherwise leaves the preset).
  virtual void ChooseDestination(const std::string& caption) = 0;
  virtual void ShowViewer(const std::string& caption, const std::string& file) = 0;
  // Prints the file's text; false with error on a printer problem.
  virtual bool PrintFile(const std::string& text, std::string& error) = 0;
  virtual void SetPrinterNote(bool visible) = 0;
};

// The Disk File button: the save dialog (proposing the last saved name of
// the same kind), the overwrite question and its loop. True when a file was
// chosen: gSaveFileName and gReportDest = 3 are set and the destination
// dialog closes; false leaves the destination dialog open.
bool ChooseSaveFile(ModOrmid& m, Platform& p);

// A date and time in the general form of the system ("3/5/2024 9:07:01 AM").
std::string GeneralDateText(const DateTime& t);

// Delivers the temporary report `source` of `kind`, after presetting
// gReportDest to `preset` and asking for the destination.
void DeliverReport(ModOrmid& m, Platform& p, DeliveryUi& ui, int kind, const std::string& source,
                   int preset);

// The delivery after the destination is known (gReportDest).
void DeliverTo(ModOrmid& m, Platform& p, DeliveryUi& ui, int kind, const std::string& source);

}  // namespace ormid
