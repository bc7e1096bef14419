#include "manifest/sha256.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ormid {

namespace {

struct ContextFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct FileClose {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Opens a file for reading only when it is a regular file: a device, a
// pipe or a folder named as an input would never end, or block the open.
std::FILE* OpenRegularFile(const std::string& path) {
#ifdef _WIN32
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return nullptr;
  return std::fopen(path.c_str(), "rb");
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* f = ::fdopen(fd, "rb");
  if (!f) ::close(fd);
  return f;
#endif
}

std::string Hex(const unsigned char* digest, unsigned int length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    out += kDigits[digest[i] >> 4];
    out += kDigits[digest[i] & 15];
  }
  return out;
}

// Feeds read(buffer, size) -> count into a SHA-256 until it returns 0.
template <class Read>
std::optional<std::string> Digest(Read read) {
  std::unique_ptr<EVP_MD_CTX, ContextFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), Sha256Method(), nullptr) != 1) return std::nullopt;
  std::vector<unsigned char> buffer(1 << 16);
  for (;;) {
    long n = read(buffer.data(), buffer.size());
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    if (EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<std::size_t>(n)) != 1)
      return std::nullopt;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return std::nullopt;
  return Hex(digest, length);
}

}  // namespace

const EVP_MD* Sha256Method() {
  static EVP_MD* const method = [] {
    // A digest depends on nothing in the system's OpenSSL configuration, and
    // reading it, with every cipher's name, costs a run about a millisecond:
    // OpenSSL is started with its default provider alone.
    OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_NO_ADD_ALL_CIPHERS |
                            OPENSSL_INIT_NO_ADD_ALL_DIGESTS,
                        nullptr);
    return EVP_MD_fetch(nullptr, "SHA256", nullptr);
  }();
  return method ? method : EVP_sha256();
}

std::optional<FileDigest> DigestFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileClose> f(OpenRegularFile(path));
  if (!f) return std::nullopt;
  FileDigest d;
  auto hex = Digest([&](unsigned char* buffer, std::size_t size) -> long {
    std::size_t n = std::fread(buffer, 1, size, f.get());
    if (n == 0 && std::ferror(f.get())) return -1;
    d.size += n;
    return static_cast<long>(n);
  });
  if (!hex) return std::nullopt;
  d.sha256 = *hex;
  return d;
}

std::string Sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, Sha256Method(), nullptr) != 1)
    return std::string();
  return Hex(digest, length);
}

}  // namespace ormid
