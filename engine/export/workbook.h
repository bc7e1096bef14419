// What the Excel writers share around libxlsxwriter.
#pragma once

#include <xlsxwriter.h>

namespace ormid {

// Closes a workbook (the library writes the whole file then). The library
// dates every workbook with gmtime(), whose result lives in one buffer for
// the whole program, so workbooks closed on several threads at once (a
// batch's scenarios, each with its exports) take turns.
lxw_error CloseWorkbook(lxw_workbook* book);

}  // namespace ormid
