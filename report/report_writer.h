// The report line writer: places texts and numbers at fixed columns of CR LF
// terminated lines, keeping the current column as a printer would.
#pragma once

#include <string>
#include <string_view>

namespace ormid {

struct CellPattern;

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
  // A number cell aligned on its pattern (AlignedCell).
  ReportWriter& Cell(float value, const CellPattern& pattern);
  // Ends the current line with CR LF.
  ReportWriter& End();
  // Text then end of line.
  ReportWriter& Line(std::string_view text) { return Text(text).End(); }

  // Current column (1 for the first character of a line).
  int column();
  const std::string& str() const { return out_; }
  std::string take() {
    lineStart_ = scanned_ = 0;
    return std::move(out_);
  }
  // Empties the text; the current line, if any, goes with it.
  void clear() {
    out_.clear();
    lineStart_ = scanned_ = 0;
  }

 private:
  std::string out_;
  // Where the current line starts, as far as the text up to scanned_ shows:
  // a text item may carry its own line breaks, and the text after scanned_
  // is searched for them only when the column is needed.
  std::size_t lineStart_ = 0;
  std::size_t scanned_ = 0;
};

}  // namespace ormid
