#include "core/paths.h"

#include <cctype>

namespace ormid {

bool IsPathSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

bool HasDrive(std::string_view path) {
#ifdef _WIN32
  return path.size() >= 2 && path[1] == ':';
#else
  return !path.empty() && path[0] == '/';
#endif
}

bool ContainsPath(std::string_view name, PathStyle style) {
  for (char c : name)
    if (c == '\\' || c == ':' || (style == PathStyle::Posix && c == '/')) return true;
  return false;
}

std::size_t LastSeparator(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i)
    if (IsPathSeparator(path[i - 1])) return i - 1;
  return std::string_view::npos;
}

std::string FileNameOnly(std::string_view path) {
  auto sep = LastSeparator(path);
  std::string_view name = sep == std::string_view::npos ? path : path.substr(sep + 1);
  auto colon = name.find(':');
  if (colon != std::string_view::npos) name = name.substr(colon + 1);
  return std::string(name);
}

std::string TrimBlanks(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  return std::string(text.substr(b, e - b));
}

std::string TrimCell(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::string();
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::string ToUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string ToLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace ormid
