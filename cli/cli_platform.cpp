#include "cli/cli_platform.h"

#include <cstdlib>
#include <ctime>
#include <ostream>

#include "core/utf8.h"

namespace ormid::cli {

MsgAnswer CliPlatform::MessageBox(const std::string& text, const std::string& title, MsgIcon,
                                  MsgButtons buttons) {
  err_ << title << ": " << text << "\n";
  err_.flush();
  return AnswerUnattended(buttons, yes_);
}

std::string CliPlatform::InputBox(const std::string& prompt, const std::string& title,
                                  const std::string&) {
  err_ << title << ": " << prompt << "\n";
  return "";
}

std::unique_ptr<OutputFile> CliPlatform::CreateOutputFile(const std::string& path,
                                                          std::string& error) {
  auto file = Platform::CreateOutputFile(path, error);
  return digests ? digests->Watch(path, std::move(file)) : std::move(file);
}

bool CliPlatform::ReplaceFile(const std::string& from, const std::string& to, std::string& error) {
  if (!Platform::ReplaceFile(from, to, error)) return false;
  if (digests) digests->Moved(from, to);
  return true;
}

void CliPlatform::RemoveFile(const std::string& path) {
  Platform::RemoveFile(path);
  if (digests) digests->Removed(path);
}

// The command line names its files: a dialog is never answered.
std::optional<std::string> CliPlatform::OpenFileDialog(const FileDialogRequest&) {
  return std::nullopt;
}

std::string TerminalMessage(std::string_view text) {
  std::string out;
  for (std::size_t at = 0;;) {
    const std::size_t end = text.find("\r\n", at);
    out += TerminalText(text.substr(at, end == std::string_view::npos ? end : end - at));
    if (end == std::string_view::npos) return out;
    out += "\r\n";
    at = end + 2;
  }
}

namespace {
std::optional<DateTime> gClockOverride;
bool gClockOverrideUtc = false;
}  // namespace

void OverrideClock(std::optional<DateTime> t, bool utc) {
  gClockOverride = t;
  gClockOverrideUtc = utc;
}

std::optional<long long> SourceDateEpoch() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (!epoch || !*epoch) return std::nullopt;
  char* end = nullptr;
  long long seconds = std::strtoll(epoch, &end, 10);
  if (!end || *end != '\0') return std::nullopt;
  return seconds;
}

DateTime CliPlatform::Now() {
  if (!now_ && gClockOverride) {
    now_ = gClockOverride;
    utc_ = gClockOverrideUtc;
  }
  if (!now_) {
    auto seconds = SourceDateEpoch();
    utc_ = seconds.has_value();
    now_ = ToDateTime(seconds.value_or(static_cast<long long>(std::time(nullptr))), utc_);
  }
  return *now_;
}

}  // namespace ormid::cli
