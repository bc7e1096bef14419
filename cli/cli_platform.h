// The platform of a program without a window: message boxes on standard
// error as "TITLE: TEXT", questions answered from the command line.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "core/platform.h"
#include "manifest/output_digests.h"

namespace ormid::cli {

class CliPlatform : public Platform {
 public:
  // yes answers Yes to every Yes/No question (the overwrite questions).
  CliPlatform(std::ostream& err, bool yes) : err_(err), yes_(yes) {}

  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon,
                       MsgButtons buttons) override;
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string&) override;
  std::optional<std::string> OpenFileDialog(const FileDialogRequest&) override;
  // The clock, or SOURCE_DATE_EPOCH (UTC) when it is set; the first reading
  // holds for the whole command, so that a run's reports and its manifest
  // carry one date.
  DateTime Now() override;
  // Whether Now() comes from SOURCE_DATE_EPOCH (the clock is read first).
  bool ClockIsUtc() {
    Now();
    return utc_;
  }

  // Files are written and renamed as on any platform; with `digests` set,
  // their digests are taken on the way.
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path,
                                               std::string& error) override;
  bool ReplaceFile(const std::string& from, const std::string& to, std::string& error) override;
  void RemoveFile(const std::string& path) override;
  OutputDigests* digests = nullptr;

 private:
  std::ostream& err_;
  bool yes_;
  std::optional<DateTime> now_;
  bool utc_ = false;
};

// A message of the program's own that names texts it read: each of its
// lines (they end in CR LF) as TerminalText, so that only the message's own
// line ends break it.
std::string TerminalMessage(std::string_view text);

// Sets the clock of every command run from now on in this process (a
// re-run repeats its recorded date and clock); nullopt gives it back.
void OverrideClock(std::optional<DateTime> t, bool utc);

// SOURCE_DATE_EPOCH in seconds, when it is set to a number.
std::optional<long long> SourceDateEpoch();

}  // namespace ormid::cli
