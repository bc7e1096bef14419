// The report line writer: places texts and numbers at fixed columns of CR LF
// terminated lines, keeping the current column as a printer would.
#pragma once

#include <string>
#include <string_view>

namespace ormid {

class ReportWriter {
 public:
  // A text item, written as it is.
  ReportWriter& Text(std::string_view text);
  // A column move to column n (1-based): blanks up to column n; nothing when
  // the next character goes to column n anyway; when the line has passed
  // column n, a new line that starts with n-1 blanks.
  ReportWriter& Col(int n);
  // Numeric items: the short number text followed by one trailing blank.
  ReportWriter& Num(float value);
  ReportWriter& Num(double value);
  ReportWriter& Num(int value);
  // Ends the current line with CR LF.
  ReportWriter& End();
  // Text then end of line.
  ReportWriter& Line(std::string_view text) { return Text(text).End(); }

  // Current column (1 for the first character of a line).
  int column() const { return column_; }
  const std::string& str() const { return out_; }
  std::string take() { return std::move(out_); }
  // Room for this many bytes of text, so that a long report is not copied
  // each time it outgrows its buffer.
  void Reserve(std::size_t bytes) { out_.reserve(bytes); }
  void clear() {
    out_.clear();
    column_ = 1;
  }

 private:
  std::string out_;
  int column_ = 1;
};

}  // namespace ormid
