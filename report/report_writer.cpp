#include "report/report_writer.h"

#include "report/number_format.h"

namespace ormid {

ReportWriter& ReportWriter::Text(std::string_view text) {
  out_ += text;
  return *this;
}

int ReportWriter::column() {
  if (scanned_ < out_.size()) {
    const std::string_view unseen = std::string_view(out_).substr(scanned_);
    if (unseen.find('\n') != std::string_view::npos) lineStart_ = scanned_ + unseen.rfind('\n') + 1;
    scanned_ = out_.size();
  }
  return static_cast<int>(out_.size() - lineStart_) + 1;
}

ReportWriter& ReportWriter::Col(int n) {
  if (n < 1) n = 1;
  int at = column();
  if (at > n) {
    End();
    at = 1;
  }
  if (at < n) {
    out_.append(static_cast<size_t>(n - at), ' ');
    scanned_ = out_.size();
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

ReportWriter& ReportWriter::Cell(float value, const CellPattern& pattern) {
  // A number cell holds no line break: when everything before it has been
  // searched, it need not be.
  const bool seen = scanned_ == out_.size();
  AppendAlignedCell(out_, value, pattern);
  if (seen) scanned_ = out_.size();
  return *this;
}

ReportWriter& ReportWriter::End() {
  out_ += "\r\n";
  lineStart_ = scanned_ = out_.size();
  return *this;
}

}  // namespace ormid
