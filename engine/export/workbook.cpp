#include "export/workbook.h"

#include <mutex>

namespace ormid {

lxw_error CloseWorkbook(lxw_workbook* book) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  return workbook_close(book);
}

}  // namespace ormid
