#include "core/xlsx_writer_library.h"

#include <mutex>

#ifdef ORMID_XLSXWRITER_FILE
#include <dlfcn.h>
#endif

namespace ormid {

lxw_error XlsxWriter::CloseWorkbook(lxw_workbook* book) const {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  return workbook_close(book);
}

#ifdef ORMID_XLSXWRITER_FILE

bool LoadXlsxWriterFrom(const char* file, XlsxWriter& x, std::string& error) {
  void* library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    error = std::string("the Excel library ") + file + " cannot be loaded (" +
            (why ? why : "unknown reason") + ")";
    return false;
  }
  bool complete = true;
  auto find = [&](auto& function, const char* name) {
    function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
    if (!function && complete) {
      complete = false;
      error = std::string("the Excel library ") + file + " has no function " + name;
    }
  };
  find(x.workbook_new_opt, "workbook_new_opt");
  find(x.workbook_set_properties, "workbook_set_properties");
  find(x.workbook_add_worksheet, "workbook_add_worksheet");
  find(x.workbook_add_format, "workbook_add_format");
  find(x.workbook_close, "workbook_close");
  find(x.worksheet_write_string, "worksheet_write_string");
  find(x.worksheet_write_number, "worksheet_write_number");
  find(x.worksheet_set_column, "worksheet_set_column");
  find(x.worksheet_freeze_panes, "worksheet_freeze_panes");
  find(x.worksheet_autofilter, "worksheet_autofilter");
  find(x.format_set_bold, "format_set_bold");
  find(x.format_set_num_format, "format_set_num_format");
  find(x.format_set_bg_color, "format_set_bg_color");
  find(x.format_set_font_color, "format_set_font_color");
  find(x.lxw_strerror, "lxw_strerror");
  // The library stays loaded for the rest of the program: workbooks may be
  // written at any time, on any thread.
  if (!complete) dlclose(library);
  return complete;
}

const XlsxWriter* LoadXlsxWriter(std::string& error) {
  static XlsxWriter x;
  static std::string problem;
  static const bool loaded = LoadXlsxWriterFrom(ORMID_XLSXWRITER_FILE, x, problem);
  if (!loaded) error = problem;
  return loaded ? &x : nullptr;
}

#else

// Linked with the program.
bool LoadXlsxWriterFrom(const char*, XlsxWriter& x, std::string&) {
  x.workbook_new_opt = &::workbook_new_opt;
  x.workbook_set_properties = &::workbook_set_properties;
  x.workbook_add_worksheet = &::workbook_add_worksheet;
  x.workbook_add_format = &::workbook_add_format;
  x.workbook_close = &::workbook_close;
  x.worksheet_write_string = &::worksheet_write_string;
  x.worksheet_write_number = &::worksheet_write_number;
  x.worksheet_set_column = &::worksheet_set_column;
  x.worksheet_freeze_panes = &::worksheet_freeze_panes;
  x.worksheet_autofilter = &::worksheet_autofilter;
  x.format_set_bold = &::format_set_bold;
  x.format_set_num_format = &::format_set_num_format;
  x.format_set_bg_color = &::format_set_bg_color;
  x.format_set_font_color = &::format_set_font_color;
  x.lxw_strerror = &::lxw_strerror;
  return true;
}

const XlsxWriter* LoadXlsxWriter(std::string& error) {
  static XlsxWriter x;
  static const bool loaded = LoadXlsxWriterFrom(nullptr, x, error);
  return loaded ? &x : nullptr;
}

#endif

}  // namespace ormid
