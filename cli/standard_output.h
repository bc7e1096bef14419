// Standard output as ormid-cli writes it: through a buffer of its own onto
// the file descriptor, so that a write that fails (a full disk, a closed
// pipe) is known with its reason, and the command's exit status tells it.
#pragma once

#include <iosfwd>
#include <streambuf>

namespace ormid::cli {

class StandardOutput : public std::streambuf {
 public:
  explicit StandardOutput(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }
  StandardOutput(const StandardOutput&) = delete;
  StandardOutput& operator=(const StandardOutput&) = delete;

  // Writes what is left and closes the descriptor. Returns the command's
  // `status`, or, when anything could not be written, 1 (2 for a usage
  // error) after a message on `err`.
  int Finish(int status, std::ostream& err);

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  // Writes the buffer out; false once a write has failed.
  bool Drain();

  int fd_;
  int error_ = 0;  // errno of the first write that failed
  bool wrote_ = false;
  char buffer_[1 << 14];
};

}  // namespace ormid::cli
