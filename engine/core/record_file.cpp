#include "core/record_file.h"

#include <fstream>

namespace ormid {

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  // In one piece at the size the file has now, then on to its end should it
  // have grown meanwhile.
  std::string data;
  const std::streamoff size = in.tellg();
  in.seekg(0);
  if (size > 0) {
    data.resize(static_cast<std::size_t>(size));
    in.read(data.data(), size);
    data.resize(static_cast<std::size_t>(in.gcount()));
  }
  char block[4096];
  while (in.read(block, sizeof block) || in.gcount() > 0) {
    data.append(block, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return data;
}

bool RecordFile::Open(const std::string& path, int recordLength) {
  auto data = ReadWholeFile(path);
  if (!data) return false;
  *this = RecordFile(std::move(*data), recordLength);
  return true;
}

}  // namespace ormid
