#include "core/utf8.h"

#include <unistr.h>
#include <uniwidth.h>

#include <cstdio>

namespace ormid {

namespace {

// The length of the valid sequence starting at text[i], 0 when there is none.
std::size_t SequenceAt(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;   // no overlong forms
    if (c == 0xED) high = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return length;
}

}  // namespace

std::size_t ValidUtf8Prefix(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t n = SequenceAt(text, i);
    if (n == 0) return i;
    i += n;
  }
  return i;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = SequenceAt(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(text, i, n);
      i += n;
    }
  }
  return out;
}

namespace {

// The text with its control characters escaped; line feeds kept when
// lineEnds is set.
std::string Escaped(std::string_view text, bool lineEnds) {
  const std::string valid = ValidUtf8(text);
  std::string out;
  char escaped[8];
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const auto c = static_cast<unsigned char>(valid[i]);
    if ((c < 0x20 && (c != '\n' || !lineEnds)) || c == 0x7F) {
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else if (c == 0xC2 && i + 1 < valid.size() &&
               static_cast<unsigned char>(valid[i + 1]) <= 0x9F) {
      // The control characters U+0080 to U+009F, which terminals obey too.
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned char>(valid[++i]));
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

std::string PrintableText(std::string_view text) {
  return Escaped(text, true);
}

std::string TerminalText(std::string_view text) {
  return Escaped(text, false);
}

namespace {

// Each character of printable text with its columns.
template <typename Visit>
void EachCharacter(const std::string& printable, Visit visit) {
  const auto* s = reinterpret_cast<const uint8_t*>(printable.data());
  std::size_t at = 0;
  while (at < printable.size()) {
    ucs4_t c = 0;
    const int length = u8_mbtouc(&c, s + at, printable.size() - at);
    const int columns = uc_width(c, "UTF-8");
    if (!visit(at, static_cast<std::size_t>(length),
               columns < 0 ? 1u : static_cast<std::size_t>(columns)))
      return;
    at += static_cast<std::size_t>(length);
  }
}

}  // namespace

std::size_t DisplayWidth(std::string_view text) {
  std::size_t width = 0;
  EachCharacter(TerminalText(text), [&](std::size_t, std::size_t, std::size_t columns) {
    width += columns;
    return true;
  });
  return width;
}

std::string FitToWidth(std::string_view text, std::size_t width) {
  const std::string printable = TerminalText(text);
  std::size_t total = 0;
  EachCharacter(printable, [&](std::size_t, std::size_t, std::size_t columns) {
    total += columns;
    return true;
  });
  if (total <= width) return printable + std::string(width - total, ' ');
  if (width == 0) return "";
  // Whole characters within width - 1 columns, then the mark.
  std::string out;
  std::size_t used = 0;
  EachCharacter(printable, [&](std::size_t at, std::size_t length, std::size_t columns) {
    if (used + columns > width - 1) return false;
    out.append(printable, at, length);
    used += columns;
    return true;
  });
  out += '~';
  return out + std::string(width - 1 - used, ' ');
}

std::string QuotedText(const std::string& text) {
  constexpr std::size_t kShown = 60;
  if (text.size() <= kShown) return "\"" + TerminalText(text) + "\"";
  const std::size_t cut = ValidUtf8Prefix(std::string_view(text).substr(0, kShown));
  return "\"" + TerminalText(text.substr(0, cut)) + "...\" (" + std::to_string(text.size()) +
         " bytes)";
}

}  // namespace ormid
