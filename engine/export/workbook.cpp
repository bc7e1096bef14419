#include "export/workbook.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "core/record_file.h"

namespace ormid {

lxw_error CloseWorkbook(lxw_workbook* book) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  return workbook_close(book);
}

std::string NewWorkbookFile() {
  std::error_code ec;
  const auto folder = std::filesystem::temp_directory_path(ec);
  if (ec) return "";
  std::string name = (folder / "ormid-workbook-XXXXXX").string();
  const int fd = mkstemp(name.data());
  if (fd < 0) return "";
  close(fd);
  return name;
}

std::optional<std::string> TakeWorkbookFile(const std::string& name) {
  auto bytes = ReadWholeFile(name);
  std::remove(name.c_str());
  return bytes;
}

}  // namespace ormid
