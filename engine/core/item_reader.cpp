#include "core/item_reader.h"

#include <cmath>

#include "core/numbers.h"
#include "core/record_file.h"

namespace ormid {

std::optional<ItemReader> ItemReader::FromFile(const std::string& path) {
  auto data = ReadWholeFile(path);
  if (!data) return std::nullopt;
  return ItemReader(std::move(*data));
}

bool ItemReader::Fail(const std::string& what) {
  error_ = "line " + std::to_string(itemLine_) + ": " + what;
  return false;
}

void ItemReader::SkipLineBreak() {
  if (pos_ < data_.size() && data_[pos_] == '\r') ++pos_;
  if (pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
  ++currentLine_;
}

bool ItemReader::RawItem(std::string& out, bool& quoted) {
  itemLine_ = currentLine_;
  out.clear();
  quoted = false;
  if (AtEnd()) return Fail("the file ends here");
  while (pos_ < data_.size() && (data_[pos_] == ' ' || data_[pos_] == '\t')) ++pos_;
  auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
  if (pos_ < data_.size() && data_[pos_] == '"') {
    quoted = true;
    ++pos_;
    // A quoted item runs to the next double quote, line breaks included (a
    // multi-line comment), or to the end of the data when none follows.
    while (pos_ < data_.size() && data_[pos_] != '"') {
      char c = data_[pos_++];
      if (c == '\n' || (c == '\r' && (pos_ >= data_.size() || data_[pos_] != '\n'))) ++currentLine_;
      out.push_back(c);
    }
    if (pos_ < data_.size()) ++pos_;
    // Anything between the closing quote and the delimiter is not part of the item.
    while (pos_ < data_.size() && data_[pos_] != ',' && !isBreak(data_[pos_])) ++pos_;
  } else {
    const std::size_t start = pos_;
    while (pos_ < data_.size() && data_[pos_] != ',' && !isBreak(data_[pos_])) ++pos_;
    std::size_t end = pos_;
    while (end > start && (data_[end - 1] == ' ' || data_[end - 1] == '\t')) --end;
    out.assign(data_.data() + start, end - start);
  }
  if (pos_ < data_.size()) {
    if (data_[pos_] == ',')
      ++pos_;
    else
      SkipLineBreak();
  }
  return true;
}

bool ItemReader::ReadText(std::string& out) {
  bool quoted;
  return RawItem(out, quoted);
}

bool ItemReader::NumberItem(double& value, std::string& raw) {
  bool quoted;
  if (!RawItem(raw, quoted)) return false;
  auto v = ParseNumberItem(raw);
  if (!v) return Fail("\"" + raw + "\" where a number belongs");
  if (!std::isfinite(*v)) return Fail("\"" + raw + "\" is not a usable number");
  value = *v;
  return true;
}

bool ItemReader::ReadInt16(std::int16_t& out) {
  double v;
  std::string raw;
  if (!NumberItem(v, raw)) return false;
  auto r = RoundToInt16(v);
  // The item's own text: a value far outside the range has no integer form.
  if (!r) return Fail("\"" + raw + "\" is beyond the 16-bit range");
  out = *r;
  return true;
}

bool ItemReader::ReadFloat(float& out) {
  double v;
  std::string raw;
  if (!NumberItem(v, raw)) return false;
  if (std::fabs(v) > 3.4028234663852886e38)
    return Fail("\"" + raw + "\" is beyond the single precision range");
  out = static_cast<float>(v);
  return true;
}

bool ItemReader::ReadLine(std::string& out) {
  itemLine_ = currentLine_;
  out.clear();
  if (AtEnd()) return Fail("the file ends here");
  while (pos_ < data_.size() && data_[pos_] != '\r' && data_[pos_] != '\n')
    out.push_back(data_[pos_++]);
  if (pos_ < data_.size()) SkipLineBreak();
  return true;
}

bool ItemReader::ReadCountLine(std::int16_t& out) {
  std::string text;
  if (!ReadLine(text)) return false;
  auto eq = text.find('=');
  std::string_view value = text;
  if (eq != std::string::npos) value = value.substr(eq + 1);
  auto r = RoundToInt16(LeadingNumber(value));
  if (!r) return Fail("\"" + text + "\" holds a count beyond the 16-bit range");
  out = *r;
  return true;
}

}  // namespace ormid
