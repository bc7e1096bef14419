#include "manifest/output_digests.h"

#include <openssl/evp.h>

#include <cstdint>
#include <filesystem>

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
class DigestingFile : public OutputFile {
 public:
  DigestingFile(OutputDigests& digests, std::string key, std::unique_ptr<OutputFile> file)
      : digests_(digests), key_(std::move(key)), file_(std::move(file)), ctx_(EVP_MD_CTX_new()) {
    digests_.known_.erase(key_);
    hashing_ = ctx_ && EVP_DigestInit_ex(ctx_.get(), Sha256Method(), nullptr) == 1;
  }

  bool Write(std::string_view bytes, std::string& error) override {
    if (!ok_) {
      error = "the file could not be written";
      return false;
    }
    if (!file_->Write(bytes, error)) {
      ok_ = false;
      return false;
    }
    size_ += bytes.size();
    hashing_ = hashing_ && EVP_DigestUpdate(ctx_.get(), bytes.data(), bytes.size()) == 1;
    return true;
  }

  bool Sync(std::string& error) override { return file_->Sync(error); }

  bool Close(std::string& error) override {
    if (!file_->Close(error)) return false;
    if (ok_ && hashing_) {
      unsigned char digest[EVP_MAX_MD_SIZE];
      unsigned int length = 0;
      if (EVP_DigestFinal_ex(ctx_.get(), digest, &length) == 1)
        digests_.known_[key_] = FileDigest{size_, Hex(digest, length)};
    }
    ok_ = false;
    return true;
  }

 private:
  OutputDigests& digests_;
  std::string key_;
  std::unique_ptr<OutputFile> file_;
  std::unique_ptr<EVP_MD_CTX, ContextFree> ctx_;
  bool hashing_ = false;
  bool ok_ = true;  // every write so far went through
  std::uint64_t size_ = 0;
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
