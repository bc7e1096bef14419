#include "core/names.h"

#include <unicase.h>
#include <uninorm.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "core/paths.h"
#include "core/utf8.h"

namespace ormid {

std::string FoldedName(std::string_view name) {
  // Plain ASCII folds to A-Z lowered, whatever the locale (NFD leaves it
  // as it is): most names are, and a samples file folds two names a row.
  if (std::all_of(name.begin(), name.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    std::string out(name);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
  }
  if (!IsValidUtf8(name)) return ToLower(name);
  std::size_t length = 0;
  // No language: the folding is the same whatever the computer's locale.
  std::unique_ptr<uint8_t, decltype(&std::free)> folded(
      u8_casefold(reinterpret_cast<const uint8_t*>(name.data()), name.size(), nullptr, UNINORM_NFD,
                  nullptr, &length),
      &std::free);
  if (!folded) return ToLower(name);  // out of memory
  return std::string(reinterpret_cast<const char*>(folded.get()), length);
}

bool SameName(std::string_view a, std::string_view b) {
  return a == b || FoldedName(a) == FoldedName(b);
}

bool HoldsControlCharacter(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) return true;
    // U+0080 to U+009F in UTF-8.
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(text[i + 1]) <= 0x9F)
      return true;
  }
  return false;
}

}  // namespace ormid
