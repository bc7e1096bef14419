// Closing a workbook through libxlsxwriter: it dates the workbook with
// gmtime(), whose result lives in one buffer for the whole program, so
// workbooks closed on several threads at once (a batch's scenarios, each
// with its exports) take turns.
#pragma once

#include <xlsxwriter.h>

#include <mutex>

namespace ormid {

inline lxw_error CloseWorkbook(lxw_workbook* book) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  return workbook_close(book);
}

}  // namespace ormid
