// Printing a report text on a QPrinter in the report font, 8 point: a form
// feed line starts a new page, and a page that is full continues on the next.
#pragma once

#include <string>
#include <string_view>

class QPrinter;

namespace ormid {

// False with error when the printer cannot be started.
bool PrintReportOn(QPrinter& printer, std::string_view text, std::string& error);

}  // namespace ormid
