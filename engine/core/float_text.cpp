#include "core/float_text.h"

#include <charconv>
#include <system_error>

namespace ormid {

std::string ShortestText(float value) {
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return "nan";
  return std::string(buffer, end);
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
