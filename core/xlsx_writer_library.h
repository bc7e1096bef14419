// libxlsxwriter, which writes the Excel workbooks, and the part of it this
// program calls. Where the build names the library's file (Linux), it is
// loaded when the first workbook is written and not with the program: it
// brings zlib, minizip and OpenSSL with it, whose loading took about a
// sixth of a short long-term run that writes no workbook.
#pragma once

#include <xlsxwriter.h>

#include <string>

namespace ormid {

struct XlsxWriter {
  decltype(&::workbook_new_opt) workbook_new_opt = nullptr;
  decltype(&::workbook_set_properties) workbook_set_properties = nullptr;
  decltype(&::workbook_add_worksheet) workbook_add_worksheet = nullptr;
  decltype(&::workbook_add_format) workbook_add_format = nullptr;
  decltype(&::workbook_close) workbook_close = nullptr;
  decltype(&::worksheet_write_string) worksheet_write_string = nullptr;
  decltype(&::worksheet_write_number) worksheet_write_number = nullptr;
  decltype(&::worksheet_set_column) worksheet_set_column = nullptr;
  decltype(&::worksheet_freeze_panes) worksheet_freeze_panes = nullptr;
  decltype(&::worksheet_autofilter) worksheet_autofilter = nullptr;
  decltype(&::format_set_bold) format_set_bold = nullptr;
  decltype(&::format_set_num_format) format_set_num_format = nullptr;
  decltype(&::format_set_bg_color) format_set_bg_color = nullptr;
  decltype(&::format_set_font_color) format_set_font_color = nullptr;
  decltype(&::lxw_strerror) lxw_strerror = nullptr;

  // Closes a workbook. The library dates every workbook with gmtime(),
  // whose result lives in one buffer for the whole program, so workbooks
  // closed on several threads at once (a batch's scenarios, each with its
  // exports) take turns.
  lxw_error CloseWorkbook(lxw_workbook* book) const;
};

// The library, loaded on the first call; nullptr when it cannot be loaded,
// with error saying which file and why.
const XlsxWriter* LoadXlsxWriter(std::string& error);

// Loads the library from the named file into x; false, with error naming
// the file and the reason, when the file cannot be loaded or lacks one of
// the functions.
bool LoadXlsxWriterFrom(const char* file, XlsxWriter& x, std::string& error);

}  // namespace ormid
