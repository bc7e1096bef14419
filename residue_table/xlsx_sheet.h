// An Excel workbook of one sheet, written straight from its rows: the sheet's
// XML is made piece by piece and compressed as it is made (at zlib's fastest
// level), into a zip archive with the few other parts a spreadsheet program
// needs. Far quicker for a table of every food form than a general workbook
// library, which spends most of its time on a slower compression level.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "residue_table/table_text.h"

namespace ormid {

// The workbook with one sheet named sheetName (plain letters, no XML
// characters): rows from row 1, a cell's text as a number cell when it is
// marked a number and reads as a finite number, else as a text cell; empty
// cells left out. widths: the columns' widths in characters, from column A.
std::string XlsxSheetBytes(std::string_view sheetName, const std::vector<TableRow>& rows,
                           const std::vector<double>& widths);

// A zip archive of members written one after the other, each deflated as its
// bytes come; the archive is built in memory.
class ZipArchive {
 public:
  ZipArchive();
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  void Begin(std::string_view name);  // a new member
  void Write(std::string_view bytes);
  void End();  // the member's checksum and sizes go into its header
  // The central directory after the members; the archive's bytes.
  std::string Finish();

 private:
  struct Member {
    std::string name;
    std::size_t offset = 0;
    unsigned long crc = 0;
    std::size_t packed = 0, size = 0;
  };
  void Deflate(std::string_view bytes, int flush);

  struct Stream;
  std::unique_ptr<Stream> stream_;
  std::string out_;
  std::vector<Member> members_;
};

}  // namespace ormid
