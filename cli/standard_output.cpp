#include "cli/standard_output.h"

#include <cerrno>
#include <cstring>
#include <ostream>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "cli/command_line.h"

namespace ormid::cli {

namespace {

long WriteSome(int fd, const char* data, std::size_t n) {
#ifdef _WIN32
  return ::_write(fd, data, static_cast<unsigned>(n));
#else
  return static_cast<long>(::write(fd, data, n));
#endif
}

int Close(int fd) {
#ifdef _WIN32
  return ::_close(fd);
#else
  return ::close(fd);
#endif
}

}  // namespace

bool StandardOutput::Drain() {
  const char* at = pbase();
  const char* end = pptr();
  while (error_ == 0 && at < end) {
    const long n = WriteSome(fd_, at, static_cast<std::size_t>(end - at));
    if (n > 0) {
      at += n;
      wrote_ = true;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      error_ = n < 0 ? errno : EIO;
    }
  }
  // What cannot be written is dropped: the command goes on to its end, and
  // Finish tells why its output is missing.
  setp(buffer_, buffer_ + sizeof buffer_);
  return error_ == 0;
}

StandardOutput::int_type StandardOutput::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int StandardOutput::sync() {
  return Drain() ? 0 : -1;
}

int StandardOutput::Finish(int status, std::ostream& err) {
  Drain();
  // A descriptor that was never open is no fault of a command that wrote
  // nothing on it.
  if (Close(fd_) != 0 && error_ == 0 && (wrote_ || errno != EBADF)) error_ = errno;
  fd_ = -1;
  if (error_ == 0) return status;
  err << "ormid-cli: the output could not be written to standard output: " << std::strerror(error_)
      << "\n";
  return status == kExitUsage ? kExitUsage : kExitStopped;
}

}  // namespace ormid::cli
