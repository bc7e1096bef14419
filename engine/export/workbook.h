// What the Excel writers share around libxlsxwriter.
#pragma once

#include <xlsxwriter.h>

#include <optional>
#include <string>

namespace ormid {

// The library writes a workbook to a file it names itself. It is given a
// new private file in the system's temporary folder (made with mkstemp, so
// that nobody else's file or link is written to), and the finished bytes are
// taken back from it and put in place as any other file of the program.
// "" when no file can be made.
std::string NewWorkbookFile();
// The bytes of the finished workbook file, which is removed; nullopt when
// it cannot be read.
std::optional<std::string> TakeWorkbookFile(const std::string& name);

// Closes a workbook (the library writes the whole file then). The library
// dates every workbook with gmtime(), whose result lives in one buffer for
// the whole program, so workbooks closed on several threads at once (a
// batch's scenarios, each with its exports) take turns.
lxw_error CloseWorkbook(lxw_workbook* book);

}  // namespace ormid
