#include "core/platform.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ormid {

MsgAnswer AnswerUnattended(MsgButtons buttons, bool yes) {
  switch (buttons) {
    case MsgButtons::OK:
      return MsgAnswer::OK;
    case MsgButtons::OKCancel:
      return MsgAnswer::Cancel;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
    case MsgButtons::YesNoDefaultNo:
      return yes ? MsgAnswer::Yes : MsgAnswer::No;
  }
  return MsgAnswer::OK;
}

namespace {

long long ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return getpid();
#endif
}

}  // namespace

namespace fs = std::filesystem;

bool Platform::FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(fs::path(path), ec);
}

std::optional<DateTime> Platform::FileModified(const std::string& path) {
  std::error_code ec;
  auto ft = fs::last_write_time(fs::path(path), ec);
  if (ec) return std::nullopt;
  auto sys = std::chrono::file_clock::to_sys(ft);
  return ToDateTime(
      std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count(), false);
}

std::string TemporaryNameFor(const std::string& path) {
  // The process id keeps two programs on one working folder from writing
  // into each other's temporary file.
  static const std::string suffix = "." + std::to_string(ProcessId()) + ".ormid-tmp";
  return path + suffix;
}

namespace {

// Whether the process with this id is running (on Windows: assumed, so
// that nothing of a running program is removed).
bool ProcessRunning(long long pid) {
#ifdef _WIN32
  (void)pid;
  return true;
#else
  return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH);
#endif
}

}  // namespace

void RemoveStaleTemporaryFiles(const std::string& folder) {
  static const std::string kSuffix = ".ormid-tmp";
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= kSuffix.size() ||
        name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
      continue;
    const std::string stem = name.substr(0, name.size() - kSuffix.size());
    const std::size_t dot = stem.rfind('.');
    if (dot == std::string::npos || dot + 1 == stem.size() ||
        stem.find_first_not_of("0123456789", dot + 1) != std::string::npos)
      continue;
    const long long pid = std::atoll(stem.c_str() + dot + 1);
    std::error_code ignored;
    if (pid != ProcessId() && !ProcessRunning(pid) &&
        std::filesystem::is_regular_file(std::filesystem::symlink_status(it->path(), ignored)))
      std::filesystem::remove(it->path(), ignored);
  }
}

namespace {

// A file on the disk, through the C library's streams.
class DiskFile : public OutputFile {
 public:
  explicit DiskFile(std::FILE* f) : f_(f) {}
  ~DiskFile() override {
    if (f_) std::fclose(f_);
  }

  bool Write(std::string_view bytes, std::string& error) override {
    if (!f_ || std::fwrite(bytes.data(), 1, bytes.size(), f_) != bytes.size()) {
      return Failed(error);
    }
    return true;
  }

  bool Sync(std::string& error) override {
    if (!f_ || std::fflush(f_) != 0) return Failed(error);
#ifdef _WIN32
    if (_commit(_fileno(f_)) != 0) return Failed(error);
#else
    if (fsync(fileno(f_)) != 0) return Failed(error);
#endif
    return true;
  }

  bool Close(std::string& error) override {
    if (!f_) return Failed(error);
    const bool ok = std::fclose(f_) == 0 || Failed(error);
    f_ = nullptr;
    return ok;
  }

 private:
  static bool Failed(std::string& error) {
    error = errno != 0 ? std::strerror(errno) : "write error";
    return false;
  }
  std::FILE* f_;
};

}  // namespace

namespace {

// Creates the file new: an existing file or link of that name is not
// followed (a link planted under a temporary file's name does not send the
// bytes elsewhere).
std::FILE* CreateNew(const std::string& path) {
#ifdef _WIN32
  int fd = -1;
  if (_sopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYNO,
               _S_IREAD | _S_IWRITE) != 0)
    return nullptr;
  std::FILE* f = _fdopen(fd, "wb");
  if (!f) _close(fd);
#else
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, "wb");
  if (!f) ::close(fd);
#endif
  return f;
}

}  // namespace

std::unique_ptr<OutputFile> Platform::CreateOutputFile(const std::string& path,
                                                       std::string& error) {
  std::FILE* f = CreateNew(path);
  if (!f && errno == EEXIST) {
    // What a run killed before its end left under this name, or a link put
    // there: removed (a link itself, not what it points to), then made anew.
    std::remove(path.c_str());
    f = CreateNew(path);
  }
  if (!f) {
    error = std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<DiskFile>(f);
}

bool Platform::WriteFile(const std::string& path, const std::string& bytes, FileKind kind,
                         std::string& error) {
  FileReplacement file(*this, path, kind);
  return file.Open(error) && file.Write(bytes, error) && file.Commit(error);
}

bool FileReplacement::Open(std::string& error) {
  Abandon();
  file_ = p_.CreateOutputFile(TemporaryNameFor(path_), error);
  return file_ != nullptr;
}

bool FileReplacement::Write(std::string_view bytes, std::string& error) {
  if (!file_) {
    error = "the file is not open";
    return false;
  }
  return file_->Write(bytes, error) || Fail();
}

bool FileReplacement::Commit(std::string& error) {
  if (!file_) {
    error = "the file is not open";
    return false;
  }
  const bool closed = (kind_ != FileKind::SavedCopy || file_->Sync(error)) && file_->Close(error);
  file_.reset();
  if (!closed || !p_.ReplaceFile(TemporaryNameFor(path_), path_, error)) {
    p_.RemoveFile(TemporaryNameFor(path_));
    return false;
  }
  return true;
}

void FileReplacement::Abandon() {
  if (!file_) return;
  file_.reset();
  p_.RemoveFile(TemporaryNameFor(path_));
}

bool FileReplacement::Fail() {
  Abandon();
  return false;
}

bool Platform::ReplaceFile(const std::string& from, const std::string& to, std::string& error) {
  std::error_code ec;
  fs::rename(fs::path(from), fs::path(to), ec);
  if (ec) error = ec.message();
  return !ec;
}

void Platform::RemoveFile(const std::string& path) {
  std::error_code ignored;
  fs::remove(fs::path(path), ignored);
}

std::string Platform::CurrentDir() {
  std::error_code ec;
  auto p = fs::current_path(ec);
  return ec ? std::string() : p.string();
}

bool Platform::ChangeDir(const std::string& path) {
  std::error_code ec;
  fs::current_path(fs::path(path), ec);
  return !ec;
}

std::string FormatReportDate(const DateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", t.month, t.day, t.year);
  return buf;
}

std::string FormatReportTime(const DateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return buf;
}

DateTime ToDateTime(long long secondsSinceEpoch, bool utc) {
  std::time_t tt = static_cast<std::time_t>(secondsSinceEpoch);
  std::tm tm{};
#ifdef _WIN32
  if (utc)
    gmtime_s(&tm, &tt);
  else
    localtime_s(&tm, &tt);
#else
  if (utc)
    gmtime_r(&tt, &tm);
  else
    localtime_r(&tt, &tm);
#endif
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace ormid
