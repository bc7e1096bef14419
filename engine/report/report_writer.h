// The report line writer: places texts and numbers at fixed columns of CR LF
// terminated lines, keeping the current column as a printer would.
#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ormid {

struct CellPattern;

// Takes the finished lines of a long report as it is written.
class ReportSink {
 public:
  virtual ~ReportSink() = default;
  virtual void Take(std::string_view lines) = 0;
};

class ReportWriter {
 public:
  // Hands the finished lines to sink whenever they reach `chunk` bytes, so
  // that a long report is never held whole (nullptr: keeps all the text).
  void SendTo(ReportSink* sink, std::size_t chunk) {
    sink_ = sink;
    chunk_ = chunk;
  }
  // Hands what is written to the sink now.
  void Flush() {
    if (sink_ && size_ > 0) sink_->Take(str());
    if (sink_) clear();
  }

  // A text item, written as it is.
  ReportWriter& Text(std::string_view text) {
    if (text.empty()) return *this;
    if (capacity_ - size_ < text.size() && Holds(text)) return Text(std::string(text));
    std::memcpy(Room(text.size()), text.data(), text.size());
    return *this;
  }
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
  ReportWriter& End() {
    char* end = Room(2);
    end[0] = '\r';
    end[1] = '\n';
    lineStart_ = scanned_ = size_;
    if (sink_ && size_ >= chunk_) Flush();
    return *this;
  }
  // Text then end of line.
  ReportWriter& Line(std::string_view text) { return Text(text).End(); }

  // Current column (1 for the first character of a line).
  int column();
  // The text written so far.
  std::string_view str() const { return {data_.get(), size_}; }
  // The text written so far, which the writer then forgets.
  std::string take() {
    std::string text(str());
    clear();
    return text;
  }
  // Empties the text (keeping its room); the current line, if any, goes
  // with it.
  void clear() { size_ = lineStart_ = scanned_ = 0; }

 private:
  // Room for n more characters at the end of the text, which now counts
  // them; returns where they go.
  char* Room(std::size_t n) {
    if (capacity_ - size_ < n) Grow(n);
    char* at = data_.get() + size_;
    size_ += n;
    return at;
  }
  void Grow(std::size_t n);
  // Whether a text lies in the buffer (which growing would free).
  bool Holds(std::string_view text) const {
    const std::less<const char*> before;
    return data_ && !before(text.data(), data_.get()) &&
           before(text.data(), data_.get() + capacity_);
  }

  // The text: size_ characters in a buffer of capacity_.
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  // Where the current line starts, as far as the text up to scanned_ shows:
  // a text item may carry its own line breaks, and the text after scanned_
  // is searched for them only when the column is needed.
  std::size_t lineStart_ = 0;
  std::size_t scanned_ = 0;
  ReportSink* sink_ = nullptr;
  std::size_t chunk_ = 0;
};

}  // namespace ormid
