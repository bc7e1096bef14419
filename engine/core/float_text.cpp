#include "core/float_text.h"

#include <algorithm>
#include <charconv>
#include <system_error>

namespace ormid {

namespace {

// Significant digits of a number's text: what lies between its first and
// last nonzero digit, the point and the exponent left out.
int SignificantDigits(const char* first, const char* last) {
  const char* e = std::find_if(first, last, [](char c) { return c == 'e' || c == 'E'; });
  int count = 0, zeros = 0;
  bool started = false;
  for (const char* c = first; c != e; ++c) {
    if (*c < '0' || *c > '9') continue;
    if (*c == '0') {
      if (started) ++zeros;
      continue;
    }
    count += started ? zeros + 1 : 1;
    zeros = 0;
    started = true;
  }
  return count;
}

}  // namespace

char* WriteShortestText(char* first, char* last, float value) {
  const auto plain = std::to_chars(first, last, value);
  if (plain.ec != std::errc()) return first;
  // The plain text is the shorter of the fixed and the exponent form, but a
  // large whole number comes out in full ("34519502848"), with digits past
  // those that tell the value apart: the exponent form then says only what
  // the figure holds ("3.4519503e+10").
  char scientific[32];
  const auto sci = std::to_chars(scientific, scientific + sizeof scientific, value,
                                 std::chars_format::scientific);
  if (sci.ec != std::errc() ||
      SignificantDigits(first, plain.ptr) <= SignificantDigits(scientific, sci.ptr))
    return plain.ptr;
  const auto size = static_cast<std::size_t>(sci.ptr - scientific);
  if (size > static_cast<std::size_t>(last - first)) return first;
  return std::copy(scientific, sci.ptr, first);
}

std::string ShortestText(float value) {
  char buffer[kLongestFloatText];
  char* end = WriteShortestText(buffer, buffer + sizeof buffer, value);
  if (end == buffer) return "nan";
  return std::string(buffer, end);
}

std::string ShortestText(double value) {
  char buffer[40];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

namespace {

template <typename Number>
std::string TableTextOf(Number value, bool scientific) {
  char buffer[400];
  const Number size = value < 0 ? -value : value;
  const bool fixed = !scientific && (size == 0 || (size >= Number(1e-7) && size < Number(1e7)));
  const auto made = std::to_chars(buffer, buffer + sizeof buffer, value,
                                  fixed ? std::chars_format::fixed : std::chars_format::scientific);
  if (made.ec != std::errc()) return "nan";
  return std::string(buffer, made.ptr);
}

}  // namespace

std::string TableText(float value, bool scientific) {
  return TableTextOf(value, scientific);
}

std::string TableText(double value, bool scientific) {
  return TableTextOf(value, scientific);
}

std::optional<float> ReadFloatText(std::string_view text) {
  float value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

}  // namespace ormid
