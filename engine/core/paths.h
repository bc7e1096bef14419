// Path conventions of the module. On Windows a path separator is "\" (or
// "/") and a drive is "X:"; on other systems the separator is "/" and an
// absolute path stands where Windows wants a drive.
#pragma once

#include <string>
#include <string_view>

namespace ormid {

bool IsPathSeparator(char c);
// True when the text names a drive (Windows: second character ":"; elsewhere: starts with "/").
bool HasDrive(std::string_view path);
enum class PathStyle { Windows, Posix };
#ifdef _WIN32
inline constexpr PathStyle kNativePaths = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePaths = PathStyle::Posix;
#endif
// True when a report file name carries a path: on Windows a "\" or a ":"
// ("/" is an illegal character there, not a path); elsewhere also a "/".
bool ContainsPath(std::string_view name, PathStyle style = kNativePaths);
// Position of the last separator, or npos.
std::size_t LastSeparator(std::string_view path);
// The file name without folders and drive.
std::string FileNameOnly(std::string_view path);
// Trims blanks (spaces) from both ends.
std::string TrimBlanks(std::string_view text);
// Trims blanks and tabs from both ends: a cell of a table the program reads
// (residue tables, group files, scenario files).
std::string TrimCell(std::string_view text);
std::string ToUpper(std::string_view text);
// ASCII letters in lower case, the rest as it is (names compared without case).
std::string ToLower(std::string_view text);

}  // namespace ormid
