// Printing a report text on a printer or a PDF writer: pages with margins of
// 15 mm on every side, the report font at 8 point or smaller so that the
// report's widest line fits across the page, a form-feed line starting a new
// page, and a page that is full continuing on the next.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "delivery/report_delivery.h"

class QPagedPaintDevice;
class QPrinter;

namespace ormid {

inline constexpr double kPageMarginMm = 15.0;

// The columns a report of the kind must fit across the page: 80, the
// residue file listing 103, or more when one of its lines is longer.
int ReportColumns(std::string_view text, RunKind kind);

// Asked as each page starts: its number, and how much of the text has gone
// (0 to 1). False stops the printing.
using PageStep = std::function<bool(int page, double done)>;

// Sets the margins, then paints the text. Failed with error when the device
// cannot be started or finished; Cancelled when step stopped it (a printer's
// job is then aborted).
PrintOutcome PrintReportOn(QPagedPaintDevice& device, std::string_view text, int columns,
                           std::string& error, const PageStep& step = {});

// The report as a PDF document (A4 or the locale's Letter), written into bytes.
PrintOutcome ReportPdf(std::string_view text, RunKind kind, std::string& pdf, std::string& error,
                       const PageStep& step = {});

}  // namespace ormid
