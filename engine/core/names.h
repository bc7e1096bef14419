// Names as a reader tells them apart: the chemicals of an assessment group
// and a batch's scenario ids (with the files they name). Two texts are one
// name when they differ only in case or in how their letters are composed,
// so that "Café" typed with "é" or with "e" and a combining accent, and "Ét"
// and "ét", are one chemical, and two scenarios whose files a case-blind
// file system would mix up are refused.
#pragma once

#include <string>
#include <string_view>

namespace ormid {

// The text a name is compared by: case folded (full folding: "ß" is "ss")
// and in canonical decomposition (NFD), with libunistring. A text that is
// not UTF-8 is compared by its bytes, with ASCII letters in lower case.
std::string FoldedName(std::string_view name);

// Whether a and b are the same name.
bool SameName(std::string_view a, std::string_view b);

// Whether the text holds a control character: one below U+0020 (the line
// feed and NUL among them), DEL, or one of U+0080 to U+009F.
bool HoldsControlCharacter(std::string_view text);

}  // namespace ormid
