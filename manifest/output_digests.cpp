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

// A SHA-256 fed on its own thread, so that hashing a large report costs the
// run no time while a second processor is free. The written bytes are
// gathered into pieces of a quarter megabyte, which go into a bounded queue
// of recycled buffers: the hashing thread is woken once a piece, not once a
// write, and the writer waits only when the hashing falls a whole queue
// behind.
class BackgroundDigest {
 public:
  BackgroundDigest() : ctx_(EVP_MD_CTX_new()) {
    ok_ = ctx_ && EVP_DigestInit_ex(ctx_.get(), Sha256Method(), nullptr) == 1;
  }
  ~BackgroundDigest() { Stop(); }

  void Add(std::string_view bytes) {
    if (!thread_.joinable()) {
      // Small files are hashed at once; a thread pays off only for more.
      if (direct_ + bytes.size() <= kDirectBytes) {
        Update(bytes);
        direct_ += bytes.size();
        return;
      }
      thread_ = std::thread([this] { Work(); });
    }
    if (piece_.capacity() < kPieceBytes) piece_.reserve(kPieceBytes);
    piece_.append(bytes.data(), bytes.size());
    if (piece_.size() >= kPieceBytes) Hand();
  }

  // The hexadecimal digest of everything added; nullopt when hashing failed.
  std::optional<std::string> Finish() {
    Hand();
    Stop();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok_ || EVP_DigestFinal_ex(ctx_.get(), digest, &length) != 1) return std::nullopt;
    return Hex(digest, length);
  }

 private:
  static constexpr std::size_t kDirectBytes = 1 << 20;
  static constexpr std::size_t kPieceBytes = 256 << 10;
  static constexpr std::size_t kQueuePieces = 8;

  // Puts the gathered piece on the queue for the hashing thread.
  void Hand() {
    if (piece_.empty()) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return full_.size() < kQueuePieces; });
    full_.push_back(std::move(piece_));
    piece_ = std::string();
    if (!free_.empty()) {
      piece_ = std::move(free_.back());
      free_.pop_back();
    }
    piece_.clear();
    piece_.reserve(kPieceBytes);
    changed_.notify_all();
  }

  void Update(std::string_view bytes) {
    ok_ = ok_ && EVP_DigestUpdate(ctx_.get(), bytes.data(), bytes.size()) == 1;
  }

  void Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return !full_.empty() || done_; });
      if (full_.empty()) return;
      std::string piece = std::move(full_.front());
      full_.pop_front();
      changed_.notify_all();
      lock.unlock();
      Update(piece);
      lock.lock();
      free_.push_back(std::move(piece));
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

  std::unique_ptr<EVP_MD_CTX, ContextFree> ctx_;
  bool ok_ = false;
  std::size_t direct_ = 0;
  std::string piece_;  // bytes gathered for the next piece
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> full_;
  std::vector<std::string> free_;
  bool done_ = false;
};

// Passes every write on and feeds it to a SHA-256; a file closed after
// every write succeeded has its digest recorded.
class DigestingFile : public OutputFile {
 public:
  DigestingFile(OutputDigests& digests, std::string key, std::unique_ptr<OutputFile> file)
      : digests_(digests), key_(std::move(key)), file_(std::move(file)) {
    digests_.known_.erase(key_);
  }
  bool Write(std::string_view bytes, std::string& error) override {
    if (!file_->Write(bytes, error)) return ok_ = false;
    if (ok_) digest_.Add(bytes);
    size_ += bytes.size();
    return true;
  }
  bool Sync(std::string& error) override { return file_->Sync(error); }
  bool Close(std::string& error) override {
    if (!file_->Close(error)) return false;
    if (ok_)
      if (auto hex = digest_.Finish()) digests_.known_[key_] = FileDigest{size_, std::move(*hex)};
    ok_ = false;
    return true;
  }

 private:
  OutputDigests& digests_;
  std::string key_;
  std::unique_ptr<OutputFile> file_;
  BackgroundDigest digest_;
  std::uint64_t size_ = 0;
  bool ok_ = true;
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
