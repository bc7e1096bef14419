#include "export/table_writer.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>

#include "core/float_text.h"
#include "core/json_text.h"
#include "core/paths.h"
#include "core/platform.h"
#include "core/utf8.h"
#include "export/workbook.h"

namespace ormid {

namespace {

bool IsPlainCsvField(std::string_view field);

constexpr std::size_t kChunk = 64 * 1024;

// The shortest texts of the numbers a table writes, each worked out once
// while it stays in a small direct-mapped cache: residues, factors and doses
// come again in every subgroup's rows, and working out a shortest text
// costs more than looking it up.
class FloatTexts {
 public:
  FloatTexts() : slots_(std::size_t{1} << kBits) {}
  // The text of a finite value.
  std::string_view Of(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    Slot& s = slots_[(bits * 2654435761u) >> (32 - kBits)];
    if (s.size == 0 || s.bits != bits) {
      char* end = WriteShortestText(s.text, s.text + sizeof s.text, value);
      if (end == s.text) return {};
      s.bits = bits;
      s.size = static_cast<std::uint8_t>(end - s.text);
    }
    return {s.text, s.size};
  }

 private:
  static constexpr int kBits = 12;
  struct Slot {
    std::uint32_t bits = 0;
    std::uint8_t size = 0;  // 0: empty
    char text[kLongestFloatText];
  };
  std::vector<Slot> slots_;
};

// The text of a cell as CSV and JSON write it; empty for an empty cell.
void AppendCellText(std::string& out, const Cell& c, FloatTexts& floats) {
  if (auto* t = std::get_if<std::string_view>(&c)) {
    out.append(*t);
  } else if (auto* f = std::get_if<float>(&c); f && std::isfinite(*f)) {
    out.append(floats.Of(*f));
  } else if (auto* i = std::get_if<long long>(&c)) {
    char buffer[32];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, *i);
    if (r.ec == std::errc()) out.append(buffer, r.ptr);
  } else if (auto* d = std::get_if<double>(&c); d && std::isfinite(*d)) {
    // The shortest text that reads back to the same double.
    char buffer[32];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, *d);
    if (r.ec == std::errc()) out.append(buffer, r.ptr);
  }
}

// A file written piece by piece that replaces the old one only whole.
class StreamedTable : public TableWriter {
 public:
  // Exports are replaced whole but, unlike saved reports, not forced to the
  // disk: a run writes them again byte for byte (see docs/decisions.md).
  StreamedTable(Platform& p, const TableSpec& spec)
      : spec_(spec), file_(p, spec.path, FileKind::WorkingFile) {}
  bool Open(std::string& error) { return file_.Open(error); }

 protected:
  void Flush(bool always) {
    if (!failed_ && (always || buffer_.size() >= kChunk)) {
      failed_ = !file_.Write(buffer_, error_);
      buffer_.clear();
    }
  }
  bool Finish(std::string& error) {
    Flush(true);
    if (failed_) {
      error = error_;
      file_.Abandon();
      return false;
    }
    return file_.Commit(error);
  }
  const TableSpec& spec_;
  std::string buffer_;
  FloatTexts floats_;

 private:
  FileReplacement file_;
  bool failed_ = false;
  std::string error_;
};

class CsvTable : public StreamedTable {
 public:
  CsvTable(Platform& p, const TableSpec& spec) : StreamedTable(p, spec) {
    for (std::size_t i = 0; i < spec.columns.size(); ++i) {
      if (i) buffer_ += ',';
      AppendCsvField(buffer_, spec.columns[i].name);
    }
    buffer_ += "\r\n";
  }
  void Row(const std::vector<Cell>& cells, bool) override {
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (i) buffer_ += ',';
      if (auto* t = std::get_if<std::string_view>(&cells[i]))
        AppendCsvField(buffer_, *t);
      else
        AppendCellText(buffer_, cells[i], floats_);
    }
    buffer_ += "\r\n";
    Flush(false);
  }
  bool Commit(std::string& error) override { return Finish(error); }
};

// The manifest, the column names, then the rows as arrays in the columns'
// order, one row a line: a table of every food of every subgroup stays
// within twice its CSV's size, where rows as objects repeating the column
// names would take four times.
class JsonTable : public StreamedTable {
 public:
  JsonTable(Platform& p, const TableSpec& spec, const nlohmann::json& manifest)
      : StreamedTable(p, spec) {
    buffer_ += "{\n\"manifest\": ";
    buffer_ += JsonText(manifest, 2);
    buffer_ += ",\n\"columns\": [";
    for (std::size_t i = 0; i < spec.columns.size(); ++i) {
      if (i) buffer_ += ", ";
      AppendJsonString(buffer_, spec.columns[i].name);
    }
    buffer_ += "],\n";
    AppendJsonString(buffer_, spec.jsonKey);
    buffer_ += ": [";
  }
  void Row(const std::vector<Cell>& cells, bool) override {
    buffer_ += rows_++ ? ",\n[" : "\n[";
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (i) buffer_ += ',';
      const Cell& c = cells[i];
      if (auto* t = std::get_if<std::string_view>(&c)) {
        AppendJsonString(buffer_, *t);
      } else if (auto* f = std::get_if<float>(&c); f && !std::isfinite(*f)) {
        buffer_ += "null";
      } else if (auto* d = std::get_if<double>(&c); d && !std::isfinite(*d)) {
        buffer_ += "null";
      } else if (std::holds_alternative<std::monostate>(c)) {
        buffer_ += "null";
      } else {
        AppendCellText(buffer_, c, floats_);
      }
    }
    buffer_ += ']';
    Flush(false);
  }
  bool Commit(std::string& error) override {
    buffer_ += "\n]\n}\n";
    return Finish(error);
  }

 private:
  std::size_t rows_ = 0;
};

// Manifest members as "key.sub[0].name" and their values, for the Run sheet.
void Flatten(const nlohmann::json& j, const std::string& key,
             std::vector<std::pair<std::string, const nlohmann::json*>>& out) {
  if (j.is_object()) {
    for (auto it = j.begin(); it != j.end(); ++it)
      Flatten(it.value(), key.empty() ? it.key() : key + "." + it.key(), out);
  } else if (j.is_array()) {
    for (std::size_t i = 0; i < j.size(); ++i)
      Flatten(j[i], key + "[" + std::to_string(i) + "]", out);
  } else {
    out.emplace_back(key, &j);
  }
}

class XlsxTable : public TableWriter {
 public:
  XlsxTable(Platform& p, const TableSpec& spec, const nlohmann::json& manifest)
      : p_(p), spec_(spec), temp_(NewWorkbookFile()) {
    if (temp_.empty()) return;
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    book_ = workbook_new_opt(temp_.c_str(), &options);
    if (!book_) return;
    if (spec.created != 0) {
      lxw_doc_properties properties{};
      properties.created = static_cast<time_t>(spec.created);
      workbook_set_properties(book_, &properties);
    }
    bold_ = workbook_add_format(book_);
    format_set_bold(bold_);
    // The figures' sheet comes first and is the one a spreadsheet opens on
    // (and the one a conversion to CSV takes); the manifest follows.
    sheet_ = workbook_add_worksheet(book_, spec.sheet.c_str());
    worksheet_activate(sheet_);
    WriteRunSheet(manifest);
    widths_.assign(spec.columns.size(), 8);
    for (std::size_t i = 0; i < spec.columns.size(); ++i) {
      const Column& c = spec.columns[i];
      worksheet_write_string(sheet_, 0, Col(i), c.name, bold_);
      Widen(i, std::string_view(c.name).size());
      formats_.push_back({FormatOf(c.excelFormat, false), FormatOf(c.excelFormat, true)});
    }
    worksheet_freeze_panes(sheet_, 1, 0);
  }
  ~XlsxTable() override {
    if (book_) {
      // Never committed: drop the workbook without leaving a file behind.
      CloseWorkbook(book_);
    }
    if (!temp_.empty()) std::remove(temp_.c_str());
  }
  bool Created() const { return book_ != nullptr; }

  void Row(const std::vector<Cell>& cells, bool highlight) override {
    // A sheet holds LXW_ROW_MAX rows, the heading among them: the rows past
    // it are counted, and the workbook is refused rather than cut short.
    if (row_ + 1 >= LXW_ROW_MAX) {
      ++rowsPast_;
      return;
    }
    ++row_;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const Cell& c = cells[i];
      const bool mark = highlight && static_cast<int>(i) == spec_.highlightColumn;
      lxw_format* f = mark ? formats_[i].second : formats_[i].first;
      if (auto* t = std::get_if<std::string_view>(&c);
          t && spec_.columns[i].type == CellType::PrintedNumber && WritePrinted(i, *t, mark)) {
        Widen(i, t->size());
      } else if (t) {
        // The workbook's XML takes valid UTF-8 only.
        if (IsValidUtf8(*t))
          text_.assign(*t);
        else
          text_ = ValidUtf8(*t);
        worksheet_write_string(sheet_, row_, Col(i), text_.c_str(), f);
        Widen(i, t->size());
      } else if (auto* n = std::get_if<long long>(&c)) {
        worksheet_write_number(sheet_, row_, Col(i), static_cast<double>(*n), f);
      } else if (auto* v = std::get_if<float>(&c); v && std::isfinite(*v)) {
        // The double nearest the float's shortest text, so that Excel shows
        // the figure as it reads in the other formats.
        const std::string_view text = floats_.Of(*v);
        double nearest = 0;
        std::from_chars(text.data(), text.data() + text.size(), nearest);
        worksheet_write_number(sheet_, row_, Col(i), nearest, f);
        Widen(i, 12);
      } else if (auto* d = std::get_if<double>(&c); d && std::isfinite(*d)) {
        worksheet_write_number(sheet_, row_, Col(i), *d, f);
        Widen(i, 12);
      }
    }
  }

  bool Commit(std::string& error) override {
    if (!book_) {
      error = "the workbook could not be created";
      return false;
    }
    if (rowsPast_ > 0) {
      error = "the table has " + std::to_string(row_ + rowsPast_) +
              " rows and a workbook's sheet holds " + std::to_string(LXW_ROW_MAX - 1) +
              " below its heading; write it as CSV or JSON";
      return false;
    }
    for (std::size_t i = 0; i < widths_.size(); ++i)
      worksheet_set_column(sheet_, Col(i), Col(i), static_cast<double>(widths_[i]) + 2, nullptr);
    worksheet_autofilter(sheet_, 0, 0, row_, Col(spec_.columns.size() - 1));
    lxw_error status = CloseWorkbook(book_);
    book_ = nullptr;
    std::optional<std::string> bytes = TakeWorkbookFile(temp_);
    temp_.clear();
    if (status != LXW_NO_ERROR || !bytes) {
      error = status != LXW_NO_ERROR ? lxw_strerror(status) : "the workbook could not be read back";
      while (!error.empty() && error.back() == '.') error.pop_back();
      return false;
    }
    // In place of the old file only whole, as every export.
    return p_.WriteFile(spec_.path, *bytes, FileKind::WorkingFile, error);
  }

 private:
  static lxw_col_t Col(std::size_t i) { return static_cast<lxw_col_t>(i); }
  // A printed figure ("1.420", "0.0004500", "1.500E+08") as a number cell
  // whose format shows the same digits. False when the text is no number.
  bool WritePrinted(std::size_t i, std::string_view text, bool marked) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value)) return false;
    std::string format;
    const auto exponent = text.find_first_of("eE");
    const std::string_view mantissa = text.substr(0, exponent);
    const auto point = mantissa.find('.');
    const std::size_t decimals = point == std::string_view::npos ? 0 : mantissa.size() - point - 1;
    format = decimals ? "0." + std::string(decimals, '0') : "0";
    if (exponent != std::string_view::npos) format += "E+00";
    worksheet_write_number(sheet_, row_, Col(i), value, FormatOf(format.c_str(), marked));
    return true;
  }
  // One format per number format and marking, shared by every column that
  // uses it: libxlsxwriter looks a format up by its contents on each cell
  // unless it is the first of its kind, so a second, equal format would be
  // hashed again for every cell it is written with. General without the
  // marking is the sheet's default and needs no format at all.
  lxw_format* FormatOf(const char* numberFormat, bool marked) {
    if (!*numberFormat && !marked) return nullptr;
    const std::pair<std::string, bool> key{numberFormat, marked};
    for (const auto& [k, f] : shared_)
      if (k == key) return f;
    lxw_format* f = workbook_add_format(book_);
    if (*numberFormat) format_set_num_format(f, numberFormat);
    if (marked) {
      format_set_bg_color(f, 0xFFC7CE);
      format_set_font_color(f, 0x9C0006);
    }
    shared_.emplace_back(key, f);
    return f;
  }
  void Widen(std::size_t i, std::size_t width) {
    widths_[i] = std::min<std::size_t>(std::max(widths_[i], width), 60);
  }
  void WriteRunSheet(const nlohmann::json& manifest) {
    lxw_worksheet* run = workbook_add_worksheet(book_, "Run");
    worksheet_write_string(run, 0, 0, "key", bold_);
    worksheet_write_string(run, 0, 1, "value", bold_);
    std::vector<std::pair<std::string, const nlohmann::json*>> items;
    Flatten(manifest, "", items);
    std::size_t keyWidth = 8, valueWidth = 8;
    lxw_row_t r = 0;
    for (const auto& [key, value] : items) {
      ++r;
      worksheet_write_string(run, r, 0, ValidUtf8(key).c_str(), nullptr);
      keyWidth = std::max(keyWidth, key.size());
      if (value->is_number()) {
        worksheet_write_number(run, r, 1, value->get<double>(), nullptr);
      } else if (!value->is_null()) {
        std::string text = value->is_string() ? value->get<std::string>() : value->dump();
        worksheet_write_string(run, r, 1, ValidUtf8(text).c_str(), nullptr);
        valueWidth = std::max(valueWidth, text.size());
      }
    }
    worksheet_set_column(run, 0, 0, static_cast<double>(std::min<std::size_t>(keyWidth, 60)) + 2,
                         nullptr);
    worksheet_set_column(run, 1, 1, static_cast<double>(std::min<std::size_t>(valueWidth, 80)) + 2,
                         nullptr);
    worksheet_freeze_panes(run, 1, 0);
  }

  Platform& p_;
  const TableSpec& spec_;
  std::string temp_;
  lxw_workbook* book_ = nullptr;
  lxw_worksheet* sheet_ = nullptr;
  lxw_format* bold_ = nullptr;
  std::vector<std::pair<lxw_format*, lxw_format*>> formats_;
  std::vector<std::pair<std::pair<std::string, bool>, lxw_format*>> shared_;
  std::vector<std::size_t> widths_;
  std::string text_;  // a text cell's text, ended by a NUL for the library
  FloatTexts floats_;
  lxw_row_t row_ = 0;
  std::uint64_t rowsPast_ = 0;
};

}  // namespace

std::optional<ExportFormat> ExportFormatOf(const std::string& path) {
  auto dot = path.rfind('.');
  if (dot == std::string::npos) return std::nullopt;
  const std::string ext = ToLower(path.substr(dot));
  if (ext == ".csv") return ExportFormat::Csv;
  if (ext == ".json") return ExportFormat::Json;
  if (ext == ".xlsx") return ExportFormat::Xlsx;
  return std::nullopt;
}

const char* ExportExtension(ExportFormat format) {
  switch (format) {
    case ExportFormat::Csv:
      return ".csv";
    case ExportFormat::Json:
      return ".json";
    case ExportFormat::Xlsx:
      return ".xlsx";
  }
  return ".csv";
}

namespace {
bool IsPlainCsvField(std::string_view field) {
  for (char c : field)
    if (c == ',' || c == '"' || c == '\r' || c == '\n') return false;
  return true;
}
}  // namespace

void AppendCsvField(std::string& out, std::string_view field) {
  if (IsPlainCsvField(field)) {
    out.append(field);
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::unique_ptr<TableWriter> OpenTable(Platform& p, const TableSpec& spec,
                                       const nlohmann::json& manifest, std::string& error) {
  switch (ExportFormatOf(spec.path).value_or(ExportFormat::Csv)) {
    case ExportFormat::Csv: {
      auto t = std::make_unique<CsvTable>(p, spec);
      if (!t->Open(error)) return nullptr;
      return t;
    }
    case ExportFormat::Json: {
      auto t = std::make_unique<JsonTable>(p, spec, manifest);
      if (!t->Open(error)) return nullptr;
      return t;
    }
    case ExportFormat::Xlsx: {
      // The workbook is put in place at its end; whether a file can be
      // made beside it is found out now, through the platform.
      const std::string temp = TemporaryNameFor(spec.path);
      auto probe = p.CreateOutputFile(temp, error);
      const bool created = probe && probe->Close(error);
      p.RemoveFile(temp);
      if (!created) return nullptr;
      auto t = std::make_unique<XlsxTable>(p, spec, manifest);
      if (!t->Created()) {
        error = "the workbook could not be created";
        return nullptr;
      }
      return t;
    }
  }
  return nullptr;
}

}  // namespace ormid
