#include "report/report_writer.h"

#include <algorithm>

#include "report/number_format.h"

namespace ormid {

void ReportWriter::Grow(std::size_t n) {
  const std::size_t capacity = std::max({std::size_t{4096}, capacity_ * 2, size_ + n});
  auto data = std::make_unique_for_overwrite<char[]>(capacity);
  if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
  data_ = std::move(data);
  capacity_ = capacity;
}

int ReportWriter::column() {
  if (scanned_ < size_) {
    const std::string_view unseen = str().substr(scanned_);
    if (unseen.find('\n') != std::string_view::npos) lineStart_ = scanned_ + unseen.rfind('\n') + 1;
    scanned_ = size_;
  }
  return static_cast<int>(size_ - lineStart_) + 1;
}

ReportWriter& ReportWriter::Col(int n) {
  if (n < 1) n = 1;
  int at = column();
  if (at > n) {
    End();
    at = 1;
  }
  if (at < n) {
    const auto blanks = static_cast<std::size_t>(n - at);
    std::memset(Room(blanks), ' ', blanks);
    scanned_ = size_;
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
  const bool seen = scanned_ == size_;
  char* at = Room(kMaxCellLength);
  size_ -= kMaxCellLength - WriteAlignedCell(at, value, pattern);
  if (seen) scanned_ = size_;
  return *this;
}

}  // namespace ormid
