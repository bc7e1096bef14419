#include "core/record_file.h"

#include <fstream>
#include <iterator>

namespace ormid {

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
