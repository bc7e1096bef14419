#include "manifest/output_digests.h"

#include <openssl/evp.h>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace ormid {

namespace {

struct ContextFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

std::string Hex(const unsigned char* digest, unsigned int length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    out += kDigits[digest[i] >> 4];
    out += kDigits[digest[i] & 15];
  }
  return out;
}

}  // namespace

std::string DigestKey(const std::string& path) {
  std::error_code ec;
  auto full = std::filesystem::absolute(path, ec);
  return ec ? path : full.lexically_normal().string();
}

// Passes every write on to the file and feeds it to a SHA-256; a file
// closed after every write succeeded has its digest recorded.
//
// The first megabyte is written and hashed at once. A larger file (a
// full-size report, an export) is written and hashed on a thread of its own,
// so that the run's thread only gathers the bytes: they go in pieces of a
// quarter megabyte into a bounded queue of recycled buffers, the thread is
// woken once a piece, and the writer waits only when the thread falls a
// whole queue behind. A write that fails there is told by the next Write,
// or by Sync or Close, with the file's own error. Every few megabytes the
// thread also has the system start writing the file to the disk (see
// OutputFile::StartWriteBack), so that putting a large file in place of an
// old one at the run's end does not wait for all of it.
class DigestingFile : public OutputFile {
 public:
  DigestingFile(OutputDigests& digests, std::string key, std::unique_ptr<OutputFile> file)
      : digests_(digests), key_(std::move(key)), file_(std::move(file)), ctx_(EVP_MD_CTX_new()) {
    digests_.known_.erase(key_);
    hashing_ = ctx_ && EVP_DigestInit_ex(ctx_.get(), Sha256Method(), nullptr) == 1;
  }
  // A file dropped without Close: what is still queued is not written.
  ~DigestingFile() override {
    {
      std::lock_guard lock(mutex_);
      full_.clear();
    }
    Stop();
  }

  bool Write(std::string_view bytes, std::string& error) override {
    if (!ok_) return Failed(error);
    size_ += bytes.size();
    if (!thread_.joinable()) {
      if (direct_ + bytes.size() <= kDirectBytes) {
        direct_ += bytes.size();
        if (!file_->Write(bytes, error)) {
          ok_ = false;
          return false;
        }
        Update(bytes);
        return true;
      }
      thread_ = std::thread([this] { Work(); });
    }
    if (piece_.capacity() < kPieceBytes) piece_.reserve(kPieceBytes);
    piece_.append(bytes.data(), bytes.size());
    if (piece_.size() >= kPieceBytes && !Hand()) return Failed(error);
    return true;
  }

  bool Sync(std::string& error) override {
    if (!Drain()) return Failed(error);
    return file_->Sync(error);
  }

  bool Close(std::string& error) override {
    const bool written = Drain();
    Stop();
    if (failed_) {  // a write on the thread failed: its error, not the close's
      std::string ignored;
      file_->Close(ignored);
      return Failed(error);
    }
    if (!file_->Close(error)) return false;
    if (ok_ && written && hashing_) {
      unsigned char digest[EVP_MAX_MD_SIZE];
      unsigned int length = 0;
      if (EVP_DigestFinal_ex(ctx_.get(), digest, &length) == 1)
        digests_.known_[key_] = FileDigest{size_, Hex(digest, length)};
    }
    ok_ = false;
    return true;
  }

 private:
  static constexpr std::size_t kDirectBytes = 1 << 20;
  static constexpr std::size_t kPieceBytes = 256 << 10;
  static constexpr std::size_t kQueuePieces = 8;
  static constexpr std::size_t kWriteBackBytes = 8 << 20;

  void Update(std::string_view bytes) {
    hashing_ = hashing_ && EVP_DigestUpdate(ctx_.get(), bytes.data(), bytes.size()) == 1;
  }

  // The error of the write that failed (on the thread, or here).
  bool Failed(std::string& error) {
    ok_ = false;
    std::lock_guard lock(mutex_);
    error = error_.empty() ? "the file could not be written" : error_;
    return false;
  }

  // Puts the gathered piece on the queue; false once a write has failed.
  bool Hand() {
    std::unique_lock lock(mutex_);
    if (!piece_.empty()) {
      changed_.wait(lock, [&] { return full_.size() < kQueuePieces || failed_; });
      full_.push_back(std::move(piece_));
      piece_ = std::string();
      if (!free_.empty()) {
        piece_ = std::move(free_.back());
        free_.pop_back();
      }
      piece_.clear();
      changed_.notify_all();
    }
    return !failed_;
  }

  // Hands the last piece and waits until everything is written and hashed;
  // false when a write failed.
  bool Drain() {
    if (!ok_) return false;
    if (!thread_.joinable()) return true;
    if (!Hand()) return false;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return (full_.empty() && !busy_) || failed_; });
    return !failed_;
  }

  void Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return !full_.empty() || done_; });
      if (full_.empty() || failed_) return;
      std::string piece = std::move(full_.front());
      full_.pop_front();
      busy_ = true;
      lock.unlock();
      std::string error;
      const bool written = file_->Write(piece, error);
      if (written) {
        Update(piece);
        notWrittenBack_ += piece.size();
        if (notWrittenBack_ >= kWriteBackBytes) {
          file_->StartWriteBack();
          notWrittenBack_ = 0;
        }
      }
      lock.lock();
      busy_ = false;
      if (!written) {
        failed_ = true;
        error_ = error;
        full_.clear();
      }
      free_.push_back(std::move(piece));
      changed_.notify_all();
      if (failed_) return;
    }
  }

  void Stop() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  OutputDigests& digests_;
  std::string key_;
  std::unique_ptr<OutputFile> file_;
  std::unique_ptr<EVP_MD_CTX, ContextFree> ctx_;
  bool hashing_ = false;
  bool ok_ = true;  // every write so far went through (as far as this thread knows)
  std::uint64_t size_ = 0;
  std::size_t direct_ = 0;
  std::string piece_;               // bytes gathered for the next piece
  std::size_t notWrittenBack_ = 0;  // written since the last StartWriteBack (thread only)

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> full_;
  std::vector<std::string> free_;
  bool busy_ = false;    // the thread is writing a piece
  bool failed_ = false;  // a write on the thread failed, with error_
  bool done_ = false;
  std::string error_;
};

std::unique_ptr<OutputFile> OutputDigests::Watch(const std::string& path,
                                                 std::unique_ptr<OutputFile> file) {
  if (!file) return file;
  return std::make_unique<DigestingFile>(*this, DigestKey(path), std::move(file));
}

void OutputDigests::Moved(const std::string& from, const std::string& to) {
  const std::string target = DigestKey(to);
  known_.erase(target);
  auto it = known_.find(DigestKey(from));
  if (it == known_.end()) return;
  known_[target] = it->second;
  known_.erase(it);
}

void OutputDigests::Removed(const std::string& path) {
  known_.erase(DigestKey(path));
}

std::optional<FileDigest> OutputDigests::Of(const std::string& path) const {
  auto it = known_.find(DigestKey(path));
  if (it == known_.end()) return std::nullopt;
  return it->second;
}

}  // namespace ormid
