// SHA-256 digests of files and texts, as lowercase hexadecimal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct evp_md_st;  // OpenSSL's EVP_MD

namespace ormid {

struct FileDigest {
  std::uint64_t size = 0;
  std::string sha256;
};

// OpenSSL's SHA-256, looked up once for the whole program (a lookup per
// digest costs more than hashing a small report).
const ::evp_md_st* Sha256Method();

// The digest of a whole file; nullopt when it cannot be read.
std::optional<FileDigest> DigestFile(const std::string& path);
std::string Sha256Hex(std::string_view bytes);

}  // namespace ormid
