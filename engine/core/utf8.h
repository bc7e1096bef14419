// UTF-8 text: checked where outside text comes in, made valid where a
// format needs it (the XML of a workbook), and made safe to print on a
// terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ormid {

// The length of the longest prefix of text that is valid UTF-8 (text.size()
// when all of it is).
std::size_t ValidUtf8Prefix(std::string_view text);
inline bool IsValidUtf8(std::string_view text) {
  return ValidUtf8Prefix(text) == text.size();
}

// The text with every byte that is not part of a valid UTF-8 sequence
// replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// The text as a terminal may show it: valid UTF-8, with control characters
// other than the line end written as \xNN (or \u00NN), so that a name
// cannot move the cursor or change the terminal's state. For a program's
// own text of several lines.
std::string PrintableText(std::string_view text);

// A text from a file, a manifest or the run history as a piece of one line
// on a terminal: as PrintableText, with line feeds and carriage returns
// written as \x0A and \x0D too, so that a name can neither start a line of
// its own nor write over one. Every text the command line prints that it
// read or recorded goes through here.
std::string TerminalText(std::string_view text);

// The columns a terminal gives the text (TerminalText of it, so a control
// character counts as its escape): 2 for a wide letter, 0 for a combining
// mark, 1 for any other.
std::size_t DisplayWidth(std::string_view text);

// The text as TerminalText, exactly `width` columns wide: blanks after it,
// or cut at a whole character with "~" as its last column.
std::string FitToWidth(std::string_view text, std::size_t width);

// A text of a file in a message: quoted and printable on one line (as
// TerminalText), cut after 60 bytes
// (at a whole character) with its length, so that a hostile file's text
// cannot make a message unreadable: "\"abc...\" (10000 bytes)".
std::string QuotedText(const std::string& text);

}  // namespace ormid
