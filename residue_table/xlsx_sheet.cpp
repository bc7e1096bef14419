#include "residue_table/xlsx_sheet.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <new>
#include <stdexcept>

#include "core/float_text.h"

namespace ormid {
namespace {

// Sheet XML is handed to the compressor in pieces of about this size.
constexpr std::size_t kPiece = 64 * 1024;

void Put16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, unsigned long value) {
  Put16(out, static_cast<unsigned>(value & 0xFFFF));
  Put16(out, static_cast<unsigned>((value >> 16) & 0xFFFF));
}

void Patch32(std::string& out, std::size_t at, unsigned long value) {
  for (int i = 0; i < 4; ++i)
    out[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Every member is dated 1 January 1980, 00:00 (the earliest a zip date can
// say), so that the same table makes the same bytes.
constexpr unsigned kDosTime = 0;
constexpr unsigned kDosDate = (1 << 5) | 1;

void AppendNumber(std::string& out, std::size_t n) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out.append(digits, end);
}

// A cell reference such as "B12"; rowText is the row's number as text.
void AppendReference(std::string& out, std::size_t column, std::string_view rowText) {
  char letters[4];
  int n = 0;
  for (std::size_t c = column + 1; c > 0 && n < 4; c = (c - 1) / 26)
    letters[n++] = static_cast<char>('A' + (c - 1) % 26);
  while (n > 0) out += letters[--n];
  out += rowText;
}

// Text as XML character data: the markup characters as entities and the
// control characters XML has no place for as the _xHHHH_ escapes spreadsheet
// programs read back.
void AppendEscaped(std::string& out, std::string_view text) {
  std::size_t plain = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const char* entity = nullptr;
    char control[8];
    if (c == '&')
      entity = "&amp;";
    else if (c == '<')
      entity = "&lt;";
    else if (c == '>')
      entity = "&gt;";
    else if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
      static const char hex[] = "0123456789ABCDEF";
      control[0] = '_', control[1] = 'x', control[2] = '0', control[3] = '0';
      control[4] = hex[c >> 4], control[5] = hex[c & 15], control[6] = '_', control[7] = 0;
      entity = control;
    } else {
      continue;
    }
    out.append(text.substr(plain, i - plain));
    out += entity;
    plain = i + 1;
  }
  out.append(text.substr(plain));
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

const char kXmlStart[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

std::string ContentTypes() {
  return std::string(kXmlStart) +
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/xl/workbook.xml\" "
         "ContentType=\"application/"
         "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
         "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
         "ContentType=\"application/"
         "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
         "<Override PartName=\"/xl/styles.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
         "</Types>";
}

std::string PackageRelationships() {
  return std::string(kXmlStart) +
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
         "officeDocument\" Target=\"xl/workbook.xml\"/>"
         "</Relationships>";
}

std::string Workbook(std::string_view sheetName) {
  return std::string(kXmlStart) +
         "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
         "<bookViews><workbookView/></bookViews><sheets><sheet name=\"" +
         std::string(sheetName) + "\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
}

std::string WorkbookRelationships() {
  return std::string(kXmlStart) +
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
         "Target=\"worksheets/sheet1.xml\"/>"
         "<Relationship Id=\"rId2\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
         "Target=\"styles.xml\"/>"
         "</Relationships>";
}

// One font and the one cell format every cell has.
std::string Styles() {
  return std::string(kXmlStart) +
         "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
         "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/>"
         "</font></fonts>"
         "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
         "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
         "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
         "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
         "</cellStyleXfs>"
         "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
         "xfId=\"0\"/></cellXfs>"
         "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
         "</cellStyles></styleSheet>";
}

// The sheet's XML, handed to the archive in pieces.
void WriteSheet(ZipArchive& zip, const std::vector<TableRow>& rows,
                const std::vector<double>& widths) {
  std::string xml;
  xml.reserve(kPiece + 4096);
  std::size_t lastRow = 0, lastColumn = 0;
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < rows[r].size(); ++c)
      if (!rows[r][c].text.empty()) {
        lastRow = r + 1;
        lastColumn = std::max(lastColumn, c + 1);
      }
  xml += kXmlStart;
  xml +=
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<dimension ref=\"A1";
  if (lastRow > 0) {
    xml += ':';
    std::string rowText;
    AppendNumber(rowText, lastRow);
    AppendReference(xml, lastColumn - 1, rowText);
  }
  xml +=
      "\"/><sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"/></sheetViews>"
      "<sheetFormatPr defaultRowHeight=\"15\"/>";
  if (!widths.empty()) {
    xml += "<cols>";
    for (std::size_t c = 0; c < widths.size(); ++c) {
      // The width Excel stores for a column that shows this many characters
      // of its default font: 5 pixels of padding on 7-pixel digits, in 1/256.
      const double width = std::floor((widths[c] + 5.0 / 7.0) * 256) / 256;
      char text[32];
      const auto end = std::to_chars(text, text + sizeof text, width).ptr;
      xml += "<col min=\"";
      AppendNumber(xml, c + 1);
      xml += "\" max=\"";
      AppendNumber(xml, c + 1);
      xml += "\" width=\"";
      xml.append(text, end);
      xml += "\" customWidth=\"1\"/>";
    }
    xml += "</cols>";
  }
  xml += "<sheetData>";
  std::string rowText;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const TableRow& row = rows[r];
    bool any = false;
    for (const TableCell& cell : row) any = any || !cell.text.empty();
    if (!any) continue;
    rowText.clear();
    AppendNumber(rowText, r + 1);
    xml += "<row r=\"";
    xml += rowText;
    xml += "\">";
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::string& text = row[c].text;
      if (text.empty()) continue;
      xml += "<c r=\"";
      AppendReference(xml, c, rowText);
      const auto value = row[c].number ? ReadFloatText(text) : std::nullopt;
      if (value && std::isfinite(*value)) {
        // The shortest text of the 32-bit figure, which a spreadsheet reads
        // as the double nearest to it: the sheet shows 0.1, not 0.100000001.
        xml += "\"><v>";
        xml += text;
        xml += "</v></c>";
      } else {
        xml += IsBlank(text.front()) || IsBlank(text.back())
                   ? "\" t=\"inlineStr\"><is><t xml:space=\"preserve\">"
                   : "\" t=\"inlineStr\"><is><t>";
        AppendEscaped(xml, text);
        xml += "</t></is></c>";
      }
    }
    xml += "</row>";
    if (xml.size() >= kPiece) {
      zip.Write(xml);
      xml.clear();
    }
  }
  xml +=
      "</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
      "header=\"0.3\" footer=\"0.3\"/></worksheet>";
  zip.Write(xml);
}

}  // namespace

struct ZipArchive::Stream {
  z_stream z{};
};

ZipArchive::ZipArchive() : stream_(std::make_unique<Stream>()) {
  // Raw deflate (the zip headers stand in for zlib's), fastest level: a
  // sheet of repeated markup still shrinks to a seventh.
  if (deflateInit2(&stream_->z, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK)
    throw std::bad_alloc();
}

ZipArchive::~ZipArchive() {
  deflateEnd(&stream_->z);
}

void ZipArchive::Begin(std::string_view name) {
  Member& m = members_.emplace_back();
  m.name = std::string(name);
  m.offset = out_.size();
  m.crc = crc32(0, nullptr, 0);
  Put32(out_, 0x04034b50);
  Put16(out_, 20);  // version needed to extract: 2.0, deflate
  Put16(out_, 0);   // flags
  Put16(out_, 8);   // deflated
  Put16(out_, kDosTime);
  Put16(out_, kDosDate);
  Put32(out_, 0);  // crc, packed and full size: filled in by End()
  Put32(out_, 0);
  Put32(out_, 0);
  Put16(out_, static_cast<unsigned>(name.size()));
  Put16(out_, 0);  // no extra field
  out_ += name;
}

void ZipArchive::Deflate(std::string_view bytes, int flush) {
  z_stream& z = stream_->z;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  for (;;) {
    const std::size_t at = out_.size();
    const std::size_t room = std::max<std::size_t>(kPiece, bytes.size() / 4);
    out_.resize(at + room);
    z.next_out = reinterpret_cast<Bytef*>(out_.data() + at);
    z.avail_out = static_cast<uInt>(room);
    const int status = deflate(&z, flush);
    out_.resize(at + room - z.avail_out);
    if (status == Z_STREAM_END) return;
    if (status != Z_OK && status != Z_BUF_ERROR) throw std::runtime_error("deflate failed");
    if (flush == Z_NO_FLUSH && z.avail_in == 0 && z.avail_out > 0) return;
  }
}

void ZipArchive::Write(std::string_view bytes) {
  Member& m = members_.back();
  m.crc = crc32_z(m.crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
  m.size += bytes.size();
  Deflate(bytes, Z_NO_FLUSH);
}

void ZipArchive::End() {
  Deflate(std::string_view(), Z_FINISH);
  deflateReset(&stream_->z);
  Member& m = members_.back();
  const std::size_t data = m.offset + 30 + m.name.size();
  m.packed = out_.size() - data;
  if (m.packed > 0xFFFFFFFFu || m.size > 0xFFFFFFFFu || out_.size() > 0xFFFFFFFFu)
    throw std::length_error("the workbook is too large for a zip archive without zip64");
  Patch32(out_, m.offset + 14, m.crc);
  Patch32(out_, m.offset + 18, m.packed);
  Patch32(out_, m.offset + 22, m.size);
}

std::string ZipArchive::Finish() {
  const std::size_t directory = out_.size();
  for (const Member& m : members_) {
    Put32(out_, 0x02014b50);
    Put16(out_, 20);  // made by: MS-DOS attributes, version 2.0
    Put16(out_, 20);
    Put16(out_, 0);
    Put16(out_, 8);
    Put16(out_, kDosTime);
    Put16(out_, kDosDate);
    Put32(out_, m.crc);
    Put32(out_, m.packed);
    Put32(out_, m.size);
    Put16(out_, static_cast<unsigned>(m.name.size()));
    Put16(out_, 0);  // extra field
    Put16(out_, 0);  // comment
    Put16(out_, 0);  // disk
    Put16(out_, 0);  // internal attributes
    Put32(out_, 0);  // external attributes
    Put32(out_, m.offset);
    out_ += m.name;
  }
  const std::size_t size = out_.size() - directory;
  Put32(out_, 0x06054b50);
  Put16(out_, 0);
  Put16(out_, 0);
  Put16(out_, static_cast<unsigned>(members_.size()));
  Put16(out_, static_cast<unsigned>(members_.size()));
  Put32(out_, size);
  Put32(out_, directory);
  Put16(out_, 0);  // no comment
  return std::move(out_);
}

std::string XlsxSheetBytes(std::string_view sheetName, const std::vector<TableRow>& rows,
                           const std::vector<double>& widths) {
  ZipArchive zip;
  const auto member = [&](std::string_view name, const std::string& bytes) {
    zip.Begin(name);
    zip.Write(bytes);
    zip.End();
  };
  member("[Content_Types].xml", ContentTypes());
  member("_rels/.rels", PackageRelationships());
  member("xl/workbook.xml", Workbook(sheetName));
  member("xl/_rels/workbook.xml.rels", WorkbookRelationships());
  member("xl/styles.xml", Styles());
  zip.Begin("xl/worksheets/sheet1.xml");
  WriteSheet(zip, rows, widths);
  zip.End();
  return zip.Finish();
}

}  // namespace ormid
