#include "report/report_writer.h"

#include "report/number_format.h"

namespace ormid {

ReportWriter& ReportWriter::Text(std::string_view text) {
  out_ += text;
  // A text that carries its own line break restarts the column count. (Few
  // do: the forward search is the quick one.)
  const size_t lineFeed =
      text.find('\n') == std::string_view::npos ? std::string_view::npos : text.rfind('\n');
  if (lineFeed == std::string_view::npos) {
    column_ += static_cast<int>(text.size());
  } else {
    column_ = 1 + static_cast<int>(text.size() - lineFeed - 1);
  }
  return *this;
}

ReportWriter& ReportWriter::Col(int n) {
  if (n < 1) n = 1;
  if (column_ > n) End();
  if (column_ < n) {
    out_.append(static_cast<size_t>(n - column_), ' ');
    column_ = n;
  }
  return *this;
}

ReportWriter& ReportWriter::Num(float value) {
  return Text(ShortNumberText(value) + " ");
}

ReportWriter& ReportWriter::Num(double value) {
  return Text(ShortNumberText(value) + " ");
}

ReportWriter& ReportWriter::Num(int value) {
  return Text(ShortNumberText(value) + " ");
}

ReportWriter& ReportWriter::End() {
  out_ += "\r\n";
  column_ = 1;
  return *this;
}

}  // namespace ormid
