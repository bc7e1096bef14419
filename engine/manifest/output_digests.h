// Digests of the files a run writes, taken while their bytes go out, so that
// the manifest need not read a large report or export back to hash it.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/platform.h"
#include "manifest/sha256.h"

namespace ormid {

class OutputDigests {
 public:
  // A file being written through `file` at `path`: its digest is known once
  // it is closed.
  std::unique_ptr<OutputFile> Watch(const std::string& path, std::unique_ptr<OutputFile> file);
  // A written file renamed into place keeps its digest under its new name.
  void Moved(const std::string& from, const std::string& to);
  // A removed file has no digest any more.
  void Removed(const std::string& path);
  // The digest of the file now at path, when it was written here.
  std::optional<FileDigest> Of(const std::string& path) const;

 private:
  friend class DigestingFile;
  std::map<std::string, FileDigest> known_;
};

// The full name a digest is kept under.
std::string DigestKey(const std::string& path);

}  // namespace ormid
