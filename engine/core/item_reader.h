// Free-format item input over a whole text file held in memory: items
// separated by commas or line ends, leading blanks skipped, double-quoted
// items that may contain commas and line breaks, and whole-line reads.
// Nothing is ever read past the end of the data; every failure leaves a
// description in error().
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ormid {

class ItemReader {
 public:
  explicit ItemReader(std::string data) : data_(std::move(data)) {}

  // Reads a whole file; nullopt when it cannot be opened or read.
  static std::optional<ItemReader> FromFile(const std::string& path);

  // True when nothing is left to read.
  bool AtEnd() const { return pos_ >= data_.size(); }

  // One item as text (quotes removed). False, with error() set, at the end of the data.
  bool ReadText(std::string& out);
  // One item as a 16-bit integer (rounded, halves to even). An empty item reads as 0.
  bool ReadInt16(std::int16_t& out);
  // One item as a 32-bit float (via double, rounded once). An empty item reads as 0.
  bool ReadFloat(float& out);
  // The rest of the current line without its line break.
  bool ReadLine(std::string& out);
  // A count line: the text after its first "=" (the whole line without one),
  // its leading numeric prefix rounded to a 16-bit integer.
  bool ReadCountLine(std::int16_t& out);

  // Line number (1-based) where the last read started.
  int line() const { return itemLine_; }
  // What went wrong, with the line: "line 4: the file ends here".
  const std::string& error() const { return error_; }

 private:
  bool RawItem(std::string& out, bool& quoted);
  bool Fail(const std::string& what);
  bool NumberItem(double& value, std::string& raw);
  void SkipLineBreak();

  std::string data_;
  std::size_t pos_ = 0;
  int currentLine_ = 1;
  int itemLine_ = 1;
  std::string error_;
};

}  // namespace ormid
